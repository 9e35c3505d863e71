#include "platform/globals.h"

HINSTANCE Instance = nullptr;
HWND MainWindow = nullptr;
HWND ProgressWindow = nullptr;
