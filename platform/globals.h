// Process-wide window and instance handles, set at start-up.
#ifndef QUILLPACK_PLATFORM_GLOBALS_H
#define QUILLPACK_PLATFORM_GLOBALS_H

#include <windows.h>

extern HINSTANCE Instance;
// Owner of every message box and dialog; null until the background window exists.
extern HWND MainWindow;
// The modeless progress dialog while an installation runs.
extern HWND ProgressWindow;

#endif  // QUILLPACK_PLATFORM_GLOBALS_H
