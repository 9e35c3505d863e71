// Helpers for the user-interface tests: packed bitmaps built byte by byte,
// reading pixels back, finding and driving windows from a second thread
// while the test thread runs a modal dialog, and screenshots.
#ifndef QUILLPACK_TESTS_UI_UI_TEST_SUPPORT_H
#define QUILLPACK_TESTS_UI_UI_TEST_SUPPORT_H

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/globals.h"
#include "ui/bitmap.h"

namespace uitest {

inline void Put16(std::string& s, size_t at, uint32_t v) { memcpy(&s[at], &v, 2); }  // little-endian hosts
inline void Put32(std::string& s, size_t at, uint32_t v) { memcpy(&s[at], &v, 4); }

inline size_t Stride(int width, int bits) { return size_t((width * bits + 31) / 32 * 4); }

// A BITMAPINFOHEADER image with `tableEntries` 4-byte entries (and the three
// masks for BI_BITFIELDS) and zeroed pixel rows.
inline std::string InfoBitmap(int width, int height, int bits, uint32_t colorsUsed, uint32_t tableEntries,
                              uint32_t compression = BI_RGB) {
    size_t masks = compression == BI_BITFIELDS ? 12 : 0;
    size_t rows = size_t(height < 0 ? -height : height);
    std::string s(40 + masks + tableEntries * 4 + Stride(width, bits) * rows, '\0');
    Put32(s, 0, 40);
    Put32(s, 4, uint32_t(width));
    Put32(s, 8, uint32_t(height));
    Put16(s, 12, 1);
    Put16(s, 14, uint32_t(bits));
    Put32(s, 16, compression);
    Put32(s, 32, colorsUsed);
    return s;
}

// A BITMAPCOREHEADER image with its full 3-byte color table.
inline std::string CoreBitmap(int width, int height, int bits) {
    size_t entries = bits <= 8 ? (size_t(1) << bits) : 0;
    std::string s(12 + entries * 3 + Stride(width, bits) * size_t(height), '\0');
    Put32(s, 0, 12);
    Put16(s, 4, uint32_t(width));
    Put16(s, 6, uint32_t(height));
    Put16(s, 8, 1);
    Put16(s, 10, uint32_t(bits));
    return s;
}

// The client area of a window, or any DC area, copied into 32-bit pixels.
class Capture {
public:
    Capture(HDC source, int x, int y, int width, int height) : width_(width), height_(height) {
        pixels_.resize(size_t(width) * size_t(height));
        HDC memory = CreateCompatibleDC(source);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
        GdiFlush();
        const uint32_t* p = static_cast<const uint32_t*>(bits);
        for (size_t i = 0; i < pixels_.size(); ++i) pixels_[i] = p[i];
        SelectObject(memory, old);
        DeleteObject(dib);
        DeleteDC(memory);
    }
    static Capture OfWindow(HWND window) {
        RECT client;
        GetClientRect(window, &client);
        HDC dc = GetDC(window);
        Capture c(dc, 0, 0, client.right, client.bottom);
        ReleaseDC(window, dc);
        return c;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // As a COLORREF (red in the low byte).
    COLORREF At(int x, int y) const {
        uint32_t v = pixels_[size_t(y) * size_t(width_) + size_t(x)];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    // Saves as a bottom-up 24-bit ".BMP" through the program's own writer.
    bool Save(const std::string& path) const {
        std::string packed = InfoBitmap(width_, height_, 24, 0, 0);
        for (int y = 0; y < height_; ++y) {
            size_t row = 40 + Stride(width_, 24) * size_t(height_ - 1 - y);
            for (int x = 0; x < width_; ++x) {
                COLORREF c = At(x, y);
                packed[row + size_t(x) * 3] = char(GetBValue(c));
                packed[row + size_t(x) * 3 + 1] = char(GetGValue(c));
                packed[row + size_t(x) * 3 + 2] = char(GetRValue(c));
            }
        }
        Bitmap image;
        return image.LoadFromBytes(packed.data(), int32(packed.size())) && image.SaveToFile(path.c_str());
    }

private:
    int width_, height_;
    std::vector<uint32_t> pixels_;
};

// Writes the whole screen to artifacts/<name>.bmp in the working directory.
inline void SaveScreenshot(const std::string& name) {
    CreateDirectoryA("artifacts", nullptr);
    HDC screen = GetDC(nullptr);
    Capture shot(screen, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    ReleaseDC(nullptr, screen);
    std::string path = "artifacts\\" + name + ".bmp";
    DeleteFileA(path.c_str());
    if (!shot.Save(path)) fprintf(stderr, "could not save %s\n", path.c_str());
}

inline void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A visible top-level window with that caption, or null after the timeout.
inline HWND WaitForWindow(const char* caption, int timeoutMs = 8000) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        HWND w = FindWindowA(nullptr, caption);
        if (w && IsWindowVisible(w)) return w;
        Pause(20);
    }
    return nullptr;
}

inline bool WaitUntilGone(HWND window, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs && IsWindow(window); waited += 20) Pause(20);
    return !IsWindow(window);
}

inline BOOL CALLBACK FindOwned(HWND w, LPARAM p) {
    HWND* s = reinterpret_cast<HWND*>(p);  // owner, found
    if (GetWindow(w, GW_OWNER) != s[0] || !IsWindowVisible(w)) return TRUE;
    s[1] = w;
    return FALSE;
}

// A visible top-level window owned by `owner`, or null after the timeout.
inline HWND WaitForOwnedWindow(HWND owner, int timeoutMs = 8000) {
    HWND search[2] = {owner, nullptr};
    for (int waited = 0; waited < timeoutMs && !search[1]; waited += 20) {
        EnumWindows(FindOwned, reinterpret_cast<LPARAM>(search));
        if (!search[1]) Pause(20);
    }
    return search[1];
}

inline std::string Text(HWND window) {
    char buffer[1024] = "";
    // Cross-thread: the system copies the text through the owner's queue.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                        3000, nullptr);
    return buffer;
}
inline std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

inline void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Sends a key to whichever control has the keyboard focus in the window's thread.
inline void PressKey(HWND window, UINT key) {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    HWND target = GetGUIThreadInfo(thread, &gui) && gui.hwndFocus ? gui.hwndFocus : window;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

inline bool IsCentred(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    int sx = GetSystemMetrics(SM_CXSCREEN) / 2, sy = GetSystemMetrics(SM_CYSCREEN) / 2;
    return abs(cx - sx) <= 1 && abs(cy - sy) <= 1;
}

}  // namespace uitest

#endif  // QUILLPACK_TESTS_UI_UI_TEST_SUPPORT_H
