// The full-screen window behind every dialog: it paints the product's
// bitmap, one color or a banded gradient, and the display title in the
// top-left corner. The settings are process-wide and read on every paint.
#ifndef QUILLPACK_UI_BACKGROUND_WINDOW_H
#define QUILLPACK_UI_BACKGROUND_WINDOW_H

#include <windows.h>

#include "core/string.h"
#include "ui/bitmap.h"

struct BackgroundSettings {
    String title;
    COLORREF titleColor = 0;
    COLORREF topColor = 0;
    COLORREF bottomColor = 0;
    bool monoColor = true;
    Bitmap bitmap;
};

// Read access for whoever records the settings (the uninstall registration).
const BackgroundSettings& CurrentBackground();

// Title color COLOR_WINDOWTEXT, top color COLOR_WINDOW, bottom color 0,
// mono color true, no title and no bitmap.
void SetDefaultBackground();

// Registers the class once per process, creates the popup and shows it
// maximised; sets MainWindow. A failure ends the program (ginstall 157/162).
HWND CreateBackgroundWindow(HWND parent = nullptr);

LRESULT CALLBACK BackgroundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Setters for the manifest reader and the uninstaller. None of them repaints;
// call RepaintBackground once after a group of changes.
void SetBackgroundTitle(const char* title);
void SetBackgroundTitleColor(COLORREF color);
// Top and bottom; mono color becomes true exactly when they are equal.
void SetBackgroundColors(COLORREF top, COLORREF bottom);
// For restoring a recorded state where the mono flag was stored separately.
void SetBackgroundMono(bool mono);
// The packed bitmap (no 14-byte file header); false and the bitmap left as
// it was when the bytes are not a usable bitmap.
bool SetBackgroundBitmap(const void* packed, int32 count);
// Loads a ".BMP" file as the background; false and the bitmap emptied when
// it cannot be read (the colors then apply).
bool LoadBackgroundBitmap(const char* path);
// Writes the current background bitmap as a ".BMP" file; false when there is
// none or the file cannot be created.
bool SaveBackgroundBitmap(const char* path);

// Invalidates the whole background window with erasing and updates it now.
void RepaintBackground();

// The title font: "Times New Roman" bold italic from 22 points down until the
// title is narrower than `limit` pixels, never below 6 points. `points`
// receives the size chosen. The caller deletes the font.
HFONT CreateTitleFont(HDC dc, const char* title, LONG limit, int32* points);

#endif  // QUILLPACK_UI_BACKGROUND_WINDOW_H
