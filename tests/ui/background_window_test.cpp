#include "ui/background_window.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/globals.h"
#include "ui_test_support.h"

namespace {

using uitest::Capture;

class BackgroundWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Instance = GetModuleHandleA(nullptr);
        SetDefaultBackground();
        window_ = CreateBackgroundWindow();
        Settle();
    }
    static void TearDownTestSuite() {
        DestroyWindow(window_);
        MainWindow = nullptr;
    }
    void SetUp() override {
        SetDefaultBackground();
        FillScreen();
        Repaint();
    }
    static void FillScreen() {
        SetWindowPos(window_, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    static void Settle() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    static void Repaint() {
        RepaintBackground();
        Settle();
        GdiFlush();
    }
    // Resizes the window and lets it erase into an off-screen image of the
    // same size, so any height can be checked whatever the screen is.
    static Capture Erase(int width, int height) {
        SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        Settle();
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP image = CreateCompatibleBitmap(screen, width, height);
        HGDIOBJ old = SelectObject(memory, image);
        SendMessageA(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
        Capture c(memory, 0, 0, width, height);
        SelectObject(memory, old);
        DeleteObject(image);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        FillScreen();
        return c;
    }
    // What the user sees of the window, which covers the screen.
    static Capture Shot() {
        Capture c = Capture::OfWindow(window_);
        EXPECT_EQ(c.Width(), GetSystemMetrics(SM_CXSCREEN));
        EXPECT_EQ(c.Height(), GetSystemMetrics(SM_CYSCREEN));
        return c;
    }
    static int CountColor(const Capture& c, COLORREF color, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < std::min(y1, c.Height()); ++y)
            for (int x = x0; x < std::min(x1, c.Width()); ++x) n += c.At(x, y) == color;
        return n;
    }
    static HWND window_;
};
HWND BackgroundWindow::window_ = nullptr;

TEST_F(BackgroundWindow, IsABorderlessMaximisedPopupFilledWithItsColor) {
    // A fresh one, reusing the class, checked after the system had time to settle its size.
    HWND fresh = CreateBackgroundWindow();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(MainWindow, fresh);
    Settle();
    uitest::Pause(300);
    Settle();
    char name[64] = "";
    GetClassNameA(fresh, name, sizeof name);
    EXPECT_STREQ(name, "QPK Window Classs");
    const LONG style = GetWindowLongA(fresh, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_SYSMENU));
    EXPECT_TRUE(IsWindowVisible(fresh) && IsZoomed(fresh));
    RECT r;
    GetWindowRect(fresh, &r);
    EXPECT_TRUE(r.left <= 0 && r.top <= 0 && r.right >= GetSystemMetrics(SM_CXSCREEN) &&
                r.bottom >= GetSystemMetrics(SM_CYSCREEN));
    DestroyWindow(fresh);
    MainWindow = window_;
    Repaint();
    const Capture defaults = Shot();
    EXPECT_EQ(defaults.At(0, 0), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(defaults.At(defaults.Width() - 1, defaults.Height() - 1), GetSysColor(COLOR_WINDOW));
    SetBackgroundColors(RGB(10, 120, 230), RGB(10, 120, 230));
    EXPECT_TRUE(CurrentBackground().monoColor);
    Repaint();
    const Capture c = Shot();
    for (int y = 0; y < c.Height(); y += 37) {
        for (int x = 0; x < c.Width(); x += 41) ASSERT_EQ(c.At(x, y), RGB(10, 120, 230)) << x << "," << y;
    }
}

// The color of band k (counted from 1) when n bands step from top to bottom:
// each component has moved k/n of its way, rounded toward the top color.
COLORREF ExpectedBand(COLORREF top, COLORREF bottom, int k, int n) {
    auto component = [&](int shift) {
        const int t = int(top >> shift & 0xFF), b = int(bottom >> shift & 0xFF);
        const int d = t - b, magnitude = d < 0 ? -d : d;
        const int moved = int(int64_t(k) * magnitude / n);
        return t - (d < 0 ? -moved : moved);
    };
    return RGB(component(0), component(8), component(16));
}

TEST_F(BackgroundWindow, GradientBandsFollowTheWindowHeight) {
    const COLORREF top = RGB(250, 0, 40), bottom = RGB(5, 255, 40);
    SetBackgroundColors(top, bottom);
    EXPECT_FALSE(CurrentBackground().monoColor);
    const struct { int height, band, steps; } cases[] = {
        {200, 1, 201}, {480, 2, 240}, {600, 2, 300}, {768, 3, 256}, {864, 3, 288}, {1024, 4, 256}, {1200, 5, 240},
        // One band more than steps: the extra band keeps the bottom color
        // instead of stepping past it (green would wrap round to 0).
        {1600, 7, 228},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("height " + std::to_string(c.height));
        const Capture image = Erase(24, c.height);
        for (int y = 0; y < c.height; ++y) {
            int k = y / c.band + 1;
            if (k > c.steps) k = c.steps;
            ASSERT_EQ(image.At(0, y), ExpectedBand(top, bottom, k, c.steps)) << "row " << y;
            ASSERT_EQ(image.At(23, y), image.At(0, y)) << "row " << y;
        }
        EXPECT_TRUE(c.height == 200 || image.At(0, c.height - 1) == bottom);
    }
}

TEST_F(BackgroundWindow, GradientCoversTheScreenAndOneColorStaysThatColor) {
    SetBackgroundColors(RGB(0, 0, 255), RGB(0, 0, 0));
    Repaint();
    const Capture c = Shot();
    const int n = (c.Height() + 1) / std::min(8, std::max(1, (c.Height() + 1) / 224));
    EXPECT_EQ(c.At(0, 0), ExpectedBand(RGB(0, 0, 255), 0, 1, n));
    EXPECT_EQ(c.At(c.Width() - 1, c.Height() - 1), RGB(0, 0, 0));
    EXPECT_EQ(c.At(c.Width() / 2, c.Height() / 2) & 0xFFFF, 0u);
    uitest::SaveScreenshot("background_gradient");

    SetBackgroundColors(RGB(7, 8, 9), RGB(7, 8, 9));
    SetBackgroundMono(false);
    const Capture image = Erase(8, 480);
    EXPECT_EQ(image.At(0, 0), RGB(7, 8, 9));
    EXPECT_EQ(image.At(7, 479), RGB(7, 8, 9));
}

TEST_F(BackgroundWindow, BitmapIsStretchedOverTheWholeWindow) {
    // Bottom-up rows: the first row in the data is the bottom of the image.
    std::string info = uitest::InfoBitmap(2, 2, 24, 0, 0);
    const unsigned char rows[] = {0, 0, 255, 0, 255, 0, 0, 0, /* */ 255, 0, 0, 255, 255, 255, 0, 0};
    info.replace(40, sizeof rows, reinterpret_cast<const char*>(rows), sizeof rows);
    std::string core = uitest::CoreBitmap(2, 2, 8);
    const unsigned char palette[] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
    core.replace(12, sizeof palette, reinterpret_cast<const char*>(palette), sizeof palette);
    const unsigned char indices[] = {0, 1, 0, 0, 2, 3, 0, 0};
    core.replace(12 + 768, sizeof indices, reinterpret_cast<const char*>(indices), sizeof indices);

    for (const std::string* data : {&info, &core}) {
        SetBackgroundColors(RGB(1, 2, 3), RGB(1, 2, 3));
        ASSERT_TRUE(SetBackgroundBitmap(data->data(), int32(data->size())));
        Repaint();
        const Capture c = Shot();
        const int w = c.Width(), h = c.Height();
        EXPECT_EQ(c.At(w / 4, h / 4), RGB(0, 0, 255));
        EXPECT_EQ(c.At(3 * w / 4, h / 4), RGB(255, 255, 255));
        EXPECT_EQ(c.At(w / 4, 3 * h / 4), RGB(255, 0, 0));
        EXPECT_EQ(c.At(3 * w / 4, 3 * h / 4), RGB(0, 255, 0));
        EXPECT_EQ(c.At(0, 0), RGB(0, 0, 255));
        EXPECT_EQ(c.At(w - 1, h - 1), RGB(0, 255, 0));
    }
    SetBackgroundTitle("Quillpack Sample Product");
    SetBackgroundTitleColor(RGB(255, 255, 0));
    Repaint();
    uitest::SaveScreenshot("background_bitmap");
}

TEST_F(BackgroundWindow, RefusedBitmapKeepsTheColors) {
    const std::string bad = uitest::InfoBitmap(2, 2, 24, 0, 0).substr(0, 41);
    EXPECT_FALSE(SetBackgroundBitmap(bad.data(), int32(bad.size())));
    EXPECT_TRUE(CurrentBackground().bitmap.IsEmpty());
    SetBackgroundColors(RGB(9, 9, 9), RGB(9, 9, 9));
    Repaint();
    EXPECT_EQ(Shot().At(5, 5), RGB(9, 9, 9));
    EXPECT_FALSE(SaveBackgroundBitmap("unused.bmp"));
}

TEST_F(BackgroundWindow, TitleIsDrawnTopLeftInItsColorAndOnlyWhenNotBlank) {
    const COLORREF ground = RGB(0, 0, 128), ink = RGB(255, 0, 0);
    SetBackgroundColors(ground, ground);
    SetBackgroundTitleColor(ink);
    SetBackgroundTitle("Quillpack");
    Repaint();
    const Capture c = Shot();
    EXPECT_GT(CountColor(c, ink, 0, 0, 300, 50), 40);
    EXPECT_EQ(CountColor(c, ink, 0, 60, c.Width(), c.Height()), 0) << "title below its line";
    EXPECT_EQ(CountColor(c, ink, 400, 0, c.Width(), 60), 0) << "title not at the left";

    for (const char* blank : {"", "  \r\n\t "}) {
        SetBackgroundTitle(blank);
        Repaint();
        const Capture none = Shot();
        EXPECT_EQ(CountColor(none, ink, 0, 0, none.Width(), none.Height()), 0) << '"' << blank << '"';
        EXPECT_EQ(CountColor(none, ground, 0, 0, 300, 50), 300 * 50);
    }
}

TEST_F(BackgroundWindow, TitleFontShrinksFromTwentyTwoToSixPoints) {
    HDC dc = GetDC(window_);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    const char* title = "Quillpack Sample Product Setup";
    int previous = 22;
    bool reachedSmallest = false;
    for (LONG limit = 3000; limit >= 10; limit = limit * 4 / 5) {
        int32 points = 0;
        HFONT font = CreateTitleFont(dc, title, limit, &points);
        ASSERT_NE(font, nullptr);
        EXPECT_LE(points, previous);
        EXPECT_GE(points, 6);
        LOGFONTA face = {};
        GetObjectA(font, sizeof face, &face);
        EXPECT_EQ(face.lfHeight, -(dpi * points / 72));
        EXPECT_TRUE(face.lfWeight == FW_BOLD && face.lfItalic);
        EXPECT_STREQ(face.lfFaceName, "Times New Roman");
        if (points > 6) {
            HGDIOBJ old = SelectObject(dc, font);
            SIZE extent;
            GetTextExtentPoint32A(dc, title, int(strlen(title)), &extent);
            SelectObject(dc, old);
            EXPECT_LT(extent.cx, limit) << points << " points";
        }
        EXPECT_TRUE(limit != 3000 || points == 22);
        reachedSmallest = reachedSmallest || points == 6;
        previous = points;
        DeleteObject(font);
    }
    EXPECT_TRUE(reachedSmallest);
    ReleaseDC(window_, dc);
}

}  // namespace
