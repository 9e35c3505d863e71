/* Stands in for a DLL an attacker leaves beside a setup program. Loading it
   leaves "<its own path>.loaded" holding the loading program's path; it then
   refuses to stay, since it has none of the exports the real one offers. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    char path[MAX_PATH + 8];
    char program[MAX_PATH];
    DWORD length, programLength, written;
    HANDLE marker;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    lstrcpyA(path + length, ".loaded");
    programLength = GetModuleFileNameA(NULL, program, MAX_PATH);
    if (programLength >= MAX_PATH) programLength = 0;
    marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE) {
        WriteFile(marker, program, programLength, &written, NULL);
        CloseHandle(marker);
    }
    return FALSE;
}
