#include "platform/safe_start.h"

#include <windows.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

bool RestrictDllSearch() {
    // Both are looked up rather than imported: a static import of either
    // would keep the program from starting on systems without it.
    // kernel32 is always loaded, so asking for its handle loads nothing.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return false;
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // The theme code loads this one later through the system's own
        // delayed imports, which some systems resolve on the search path the
        // process started with: taken now, from the system directory, it is
        // the copy every later load finds.
        LoadLibraryA("msimg32.dll");
        return true;
    }
    // Older systems still search the program's own folder first; this only
    // drops the current directory.
    auto setDirectory = reinterpret_cast<SetDllDirectoryFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory) setDirectory("");
    return false;
}
