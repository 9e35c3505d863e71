/* Holds a file open without sharing, as a program using it would, until a
   flag file disappears. Prints "held" once the handle is open. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("cannot open %s: %lu\n", argv[1], GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    while (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) Sleep(100);
    CloseHandle(file);
    return 0;
}
