#include "ui/background_window.h"

#include "core/numbers.h"
#include "platform/globals.h"

namespace {

const char kClassName[] = "QPK Window Classs";
const double kLargestTitlePoints = 22;
const double kSmallestTitlePoints = 6;

// Process-wide: read by every paint, changed by start-up, manifest and uninstaller.
BackgroundSettings settings;
bool classRegistered = false;

// Owns one GDI object for the length of a scope.
class GdiObject {
public:
    explicit GdiObject(HGDIOBJ object) : object_(object) {}
    ~GdiObject() {
        if (object_) DeleteObject(object_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ Get() const { return object_; }

private:
    HGDIOBJ object_;
};

void FillWithColor(HDC dc, const RECT& rect, COLORREF color) {
    GdiObject brush(CreateSolidBrush(color));
    FillRect(dc, &rect, static_cast<HBRUSH>(brush.Get()));
}

int32 Red(COLORREF c) { return int32(c & 0xFF); }
int32 Green(COLORREF c) { return int32((c >> 8) & 0xFF); }
int32 Blue(COLORREF c) { return int32((c >> 16) & 0xFF); }

// Horizontal bands from the top color to the bottom color; each band
// already carries one step, so the last of n bands has the bottom color.
// Some heights (1050 pixels, say) leave one band more than n; it keeps the
// bottom color instead of stepping past it and wrapping round.
void DrawGradient(HDC dc, const RECT& client) {
    const int32 extent = client.bottom - client.top + 1;
    int32 band = extent / 224;
    if (band < 1) band = 1;
    if (band > 8) band = 8;
    const int32 steps = extent / band;
    int32 r = Red(settings.topColor);
    int32 g = Green(settings.topColor);
    int32 b = Blue(settings.topColor);
    EvenStepper red, green, blue;
    red.Setup(r - Red(settings.bottomColor), steps);
    green.Setup(g - Green(settings.bottomColor), steps);
    blue.Setup(b - Blue(settings.bottomColor), steps);
    RECT fill = client;
    fill.right = client.right + 1;
    int32 stepsLeft = steps;
    for (int32 y = client.top; y < client.bottom; y += band) {
        fill.top = y;
        fill.bottom = y + band;
        if (stepsLeft > 0) {
            --stepsLeft;
            r -= red.Next();
            g -= green.Next();
            b -= blue.Next();
        }
        FillWithColor(dc, fill, RGB(r & 0xFF, g & 0xFF, b & 0xFF));
    }
}

LRESULT EraseBackground(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    if (!settings.bitmap.IsEmpty()) {
        settings.bitmap.Draw(dc, client, SRCCOPY);
    } else if (settings.monoColor) {
        FillWithColor(dc, client, settings.topColor);
    } else {
        DrawGradient(dc, client);
    }
    return 1;
}

bool IsBlankTitle(const String& title) { return title.IsEmpty() || title.ConsistsOf(" \r\n\t"); }

HFONT CreateTitleFontOfSize(HDC dc, double points) {
    const int height = -int(GetDeviceCaps(dc, LOGPIXELSY) * points / 72);
    return CreateFontA(height, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, 0, "Times New Roman");
}

LRESULT Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc && !IsBlankTitle(settings.title)) {
        RECT client;
        GetClientRect(window, &client);
        HFONT font = CreateTitleFont(dc, settings.title.Text(), client.right, nullptr);
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, settings.titleColor);
        TextOutA(dc, 0, 0, settings.title.Text(), settings.title.Length());
        SelectObject(dc, previous);
        DeleteObject(font);
    }
    EndPaint(window, &paint);
    return 0;
}

}  // namespace

const BackgroundSettings& CurrentBackground() { return settings; }

void SetDefaultBackground() {
    settings.title.Clear();
    settings.titleColor = GetSysColor(COLOR_WINDOWTEXT);
    settings.topColor = GetSysColor(COLOR_WINDOW);
    settings.bottomColor = 0;
    settings.monoColor = true;
    settings.bitmap.Clear();
}

HFONT CreateTitleFont(HDC dc, const char* title, LONG limit, int32* points) {
    const int length = lstrlenA(title);
    double size = kLargestTitlePoints;
    for (;;) {
        HFONT font = CreateTitleFontOfSize(dc, size);
        if (size <= kSmallestTitlePoints) {
            if (points) *points = int32(size);
            return font;
        }
        HGDIOBJ previous = SelectObject(dc, font);
        SIZE extent = {0, 0};
        const bool measured = GetTextExtentPoint32A(dc, title, length, &extent) != 0;
        SelectObject(dc, previous);
        if (measured && extent.cx < limit) {
            if (points) *points = int32(size);
            return font;
        }
        DeleteObject(font);
        size -= 1;
    }
}

LRESULT CALLBACK BackgroundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return EraseBackground(window, reinterpret_cast<HDC>(wParam));
        case WM_PAINT:
            return Paint(window);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateBackgroundWindow(HWND parent) {
    if (!classRegistered) {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = BackgroundWindowProc;
        windowClass.hInstance = Instance;
        windowClass.lpszClassName = kClassName;
        if (!RegisterClassA(&windowClass)) FatalCheck("ginstall", 157);
        classRegistered = true;
    }
    // Created at the screen's size rather than 0 x 0: maximising covers the
    // screen either way on Windows, but Wine without a window manager later
    // shrinks a maximised window back to the size it was created with.
    HWND window = CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                  GetSystemMetrics(SM_CYSCREEN), parent, nullptr, Instance, nullptr);
    if (!window) FatalCheck("ginstall", 162);
    MainWindow = window;
    ShowWindow(window, SW_SHOWMAXIMIZED);
    return window;
}

void SetBackgroundTitle(const char* title) { settings.title = title; }

void SetBackgroundTitleColor(COLORREF color) { settings.titleColor = color; }

void SetBackgroundColors(COLORREF top, COLORREF bottom) {
    settings.topColor = top;
    settings.bottomColor = bottom;
    settings.monoColor = top == bottom;
}

void SetBackgroundMono(bool mono) { settings.monoColor = mono; }

bool SetBackgroundBitmap(const void* packed, int32 count) {
    Bitmap candidate;
    if (!candidate.LoadFromBytes(packed, count)) return false;
    return settings.bitmap.LoadFromBytes(packed, count);
}

bool LoadBackgroundBitmap(const char* path) {
    if (settings.bitmap.LoadFromFile(path)) return true;
    settings.bitmap.Clear();
    return false;
}

bool SaveBackgroundBitmap(const char* path) {
    if (settings.bitmap.IsEmpty()) return false;
    return settings.bitmap.SaveToFile(path);
}

void RepaintBackground() {
    if (!MainWindow) return;
    InvalidateRect(MainWindow, nullptr, TRUE);
    UpdateWindow(MainWindow);
}
