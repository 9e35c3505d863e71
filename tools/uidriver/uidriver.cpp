// uidriver: drives the installer's windows from end-to-end tests. It finds a
// top-level window by caption, reads its texts and pixels, presses buttons,
// types into fields and takes screenshots. Exit code 0 on success, 1 when
// the window or control is not there (after waiting), 2 on bad usage.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kDefaultTimeoutMs = 20000;

std::string TextOf(HWND window) {
    char buffer[8192] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                        &copied);
    return buffer;
}

std::string ClassOf(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct Search {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    char caption[512] = {};
    GetWindowTextA(window, caption, sizeof caption);
    // A caption ending in '*' matches every caption that starts with the rest.
    size_t n = strlen(search->caption);
    bool prefix = n > 0 && search->caption[n - 1] == '*';
    if (prefix ? strncmp(caption, search->caption, n - 1) == 0 : strcmp(caption, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintCaption(HWND window, LPARAM) {
    char caption[512] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (IsWindowVisible(window) && caption[0]) printf("%s\n", caption);
    return TRUE;
}

HWND FindTopLevel(const char* caption) {
    Search search = {caption, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(const char* caption, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindTopLevel(caption)) return window;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::string WithoutAmpersands(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '&') out += c;
    return out;
}

// A control by "#id" or by its text (accelerator ampersands ignored).
HWND FindControl(HWND parent, const char* which) {
    if (which[0] == '#') return GetDlgItem(parent, atoi(which + 1));
    for (HWND child : Children(parent))
        if (WithoutAmpersands(TextOf(child)) == WithoutAmpersands(which)) return child;
    return nullptr;
}

bool SaveScreenshot(const char* path) {
    HDC screen = GetDC(nullptr);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    DWORD stride = ((DWORD(width) * 3 + 3) & ~3u), imageSize = stride * DWORD(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    bool ok = false;
    if (FILE* out = fopen(path, "wb")) {
        ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
             fwrite(bits, imageSize, 1, out) == 1;
        ok = (fclose(out) == 0) && ok;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

// Runs a program to its end and prints its full exit code (the Unix side of
// Wine keeps only the low eight bits).
int Run(int argc, char** argv) {
    // An argument that holds its own quotes (/u:"Name") is passed exactly as
    // given; others are quoted only when they hold blanks.
    std::string line;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        bool quote = arg.find('"') == std::string::npos && (arg.empty() || arg.find_first_of(" \t") != std::string::npos);
        if (i) line += ' ';
        line += quote ? '"' + arg + '"' : arg;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fprintf(stderr, "uidriver: cannot start %s (error %lu)\n", argv[0], GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("exit code: %lu\n", code);
    fflush(stdout);
    return 0;
}

// Ends every process with this executable name, so a test that failed half
// way leaves no window behind for the next one.
int KillAll(const char* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, name) != 0) continue;
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    return 0;
}

int Usage() {
    fprintf(stderr,
            "usage: uidriver wait CAPTION [ms] | gone CAPTION [ms] | text CAPTION | controls CAPTION\n"
            "       | click CAPTION BUTTON|#id | type CAPTION #id TEXT | key CAPTION #id VK\n"
            "       | pixel CAPTION X Y | rect CAPTION | close CAPTION | list | screenshot FILE.bmp | run EXE [ARGS...] | kill EXENAME\n"
            "       | shortcut LINK.LNK\n");
    return 2;
}

// Reads a shell link back the way the shell would: target, arguments and
// working directory, one per line.
int PrintShortcut(const char* path) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    int result = 1;
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) &&
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(wide, STGM_READ))) {
        char target[MAX_PATH] = {}, arguments[1024] = {}, directory[MAX_PATH] = {};
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetArguments(arguments, sizeof arguments);
        link->GetWorkingDirectory(directory, MAX_PATH);
        printf("target: %s\narguments: %s\nworking directory: %s\n", target, arguments, directory);
        result = 0;
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    return result;
}

int Fail(const char* what, const char* caption) {
    fprintf(stderr, "uidriver: %s not found: %s\n", what, caption);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    // Texts are printed as they are, without a second CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    std::string verb = argv[1];
    if (verb == "list") {
        EnumWindows(PrintCaption, 0);
        return 0;
    }
    if (verb == "screenshot") return argc == 3 && SaveScreenshot(argv[2]) ? 0 : 1;
    if (verb == "kill" && argc == 3) return KillAll(argv[2]);
    if (verb == "run" && argc >= 3) return Run(argc - 2, argv + 2);
    if (verb == "shortcut" && argc == 3) return PrintShortcut(argv[2]);
    if (argc < 3) return Usage();
    const char* caption = argv[2];

    if (verb == "gone") {
        DWORD timeout = argc > 3 ? DWORD(atoi(argv[3])) : kDefaultTimeoutMs;
        DWORD start = GetTickCount();
        while (FindTopLevel(caption)) {
            if (GetTickCount() - start >= timeout) return 1;
            Sleep(50);
        }
        return 0;
    }

    DWORD timeout = (verb == "wait" && argc > 3) ? DWORD(atoi(argv[3])) : kDefaultTimeoutMs;
    HWND window = WaitFor(caption, timeout);
    if (!window) return Fail("window", caption);
    // Let a freshly shown dialog finish initialising its controls.
    Sleep(150);

    if (verb == "wait") return 0;
    if (verb == "text") {
        for (HWND child : Children(window))
            if (ClassOf(child) == "Static") {
                std::string text = TextOf(child);
                if (!text.empty()) printf("%s\n", text.c_str());
            }
        return 0;
    }
    if (verb == "controls") {
        for (HWND child : Children(window))
            printf("%d\t%s\t%s\n", GetDlgCtrlID(child), ClassOf(child).c_str(), TextOf(child).c_str());
        return 0;
    }
    if (verb == "rect") {
        RECT r;
        GetWindowRect(window, &r);
        printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (verb == "close") {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (verb == "pixel" && argc == 5) {
        HDC dc = GetDC(window);
        COLORREF c = GetPixel(dc, atoi(argv[3]), atoi(argv[4]));
        ReleaseDC(window, dc);
        printf("%02X%02X%02X\n", GetRValue(c), GetGValue(c), GetBValue(c));
        return 0;
    }
    if (argc < 4) return Usage();
    HWND control = FindControl(window, argv[3]);
    if (!control) return Fail("control", argv[3]);
    if (verb == "click") {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
        return 0;
    }
    if (verb == "type" && argc == 5) {
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        return 0;
    }
    if (verb == "key" && argc == 5) {
        WPARAM key = WPARAM(strtol(argv[4], nullptr, 0));
        PostMessageA(control, WM_KEYDOWN, key, 0);
        PostMessageA(control, WM_KEYUP, key, 0);
        return 0;
    }
    return Usage();
}
