// Host for the shipped program: real message boxes owned by the main
// window, and an exit that takes both windows down first.
#include <windows.h>

#include "core/fatal.h"
#include "platform/globals.h"

void HostShowBox(const char* text, const char* caption, unsigned style, bool owned) {
    MessageBoxA(owned ? MainWindow : nullptr, text, caption, style);
}

void HostExit(int code) {
    if (MainWindow) {
        DestroyWindow(MainWindow);
        MainWindow = nullptr;
    }
    if (ProgressWindow) {
        DestroyWindow(ProgressWindow);
        ProgressWindow = nullptr;
    }
    ExitProcess(static_cast<UINT>(code));
}

const char* HostSystemErrorText() {
    static char* held = nullptr;
    if (held) {
        LocalFree(held);
        held = nullptr;
    }
    DWORD error = GetLastError();
    if (error == 0) return "";
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&held), 0, nullptr);
    return held ? held : "";
}
