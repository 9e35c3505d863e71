// A program that shows one box, as the setup's first window does, with or
// without the limited DLL search ("restricted" on its command line). After
// the box it loads msimg32.dll by name; exit code 0: the system's copy came,
// 3: none loaded, 4: a copy from elsewhere.
#include <windows.h>

#include <string.h>

#include "platform/safe_start.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    if (strcmp(commandLine, "restricted") == 0 && !RestrictDllSearch()) return 5;
    MessageBoxA(nullptr, "Ready", "DLL probe", MB_OK);
    HMODULE library = LoadLibraryA("msimg32.dll");
    if (!library) return 3;
    char system[MAX_PATH];
    char loaded[MAX_PATH];
    UINT systemLength = GetSystemDirectoryA(system, MAX_PATH);
    DWORD loadedLength = GetModuleFileNameA(library, loaded, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH || loadedLength <= systemLength) return 4;
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, system, systemLength, loaded, systemLength) ==
                       CSTR_EQUAL &&
                   loaded[systemLength] == '\\'
               ? 0
               : 4;
}
