#include "ui/dialogs.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include "platform/globals.h"

String DirectoryPrompt;
HWND ProgressBar = nullptr;

namespace {

// The caller's directory while "ChooseDirDlg" is open.
String* targetDirectory = nullptr;

const char kAbortQuestion[] = "Installation is not complete.  Are you sure you want to abort?";

// Frees a shell item list with the shell's allocator.
class ItemList {
public:
    ItemList() = default;
    ~ItemList() {
        if (list_) CoTaskMemFree(list_);
    }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    LPITEMIDLIST* Receive() { return &list_; }
    void Adopt(LPITEMIDLIST list) { list_ = list; }
    LPITEMIDLIST Get() const { return list_; }

private:
    LPITEMIDLIST list_ = nullptr;
};

BOOL InitTextDialog(HWND dialog, LPARAM text) {
    SetDlgItemTextA(dialog, IDC_DOCUMENT, text ? reinterpret_cast<const char*>(text) : "");
    CenterWindow(dialog);
    return TRUE;
}

BOOL InitChooseDirectory(HWND dialog, LPARAM directory) {
    targetDirectory = reinterpret_cast<String*>(directory);
    CenterWindow(dialog);
    SetDlgItemTextA(dialog, IDC_HEADING, DirectoryPrompt.Text());
    SetDlgItemTextA(dialog, IDC_DIRECTORY, targetDirectory ? targetDirectory->Text() : "");
    SendDlgItemMessageA(dialog, IDC_DIRECTORY, EM_LIMITTEXT, MAX_PATH - 1, 0);
    return TRUE;
}

INT_PTR CALLBACK ChooseDirectoryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return InitChooseDirectory(dialog, lParam);
        case WM_COMMAND:
            switch (wParam) {
                case IDC_ACCEPT:
                    if (targetDirectory) *targetDirectory = DialogItemText(dialog, IDC_DIRECTORY);
                    EndDialog(dialog, 1);
                    return TRUE;
                case IDC_REFUSE:
                    EndDialog(dialog, 0);
                    return TRUE;
                case IDC_BROWSE: {
                    String directory = DialogItemText(dialog, IDC_DIRECTORY);
                    if (BrowseForDirectory(dialog, directory))
                        SetDlgItemTextA(dialog, IDC_DIRECTORY, directory.Text());
                    return TRUE;
                }
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM directory) {
    if (message == BFFM_INITIALIZED) {
        CenterWindow(browser);
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, directory);
    }
    return 0;
}

BOOL InitProgress(HWND dialog, LPARAM productName) {
    CenterWindow(dialog);
    RECT frame = {0, 0, 0, 0};
    HWND marker = GetDlgItem(dialog, IDC_PROGRESS_FRAME);
    if (marker) {
        GetWindowRect(marker, &frame);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&frame), 2);
    }
    ProgressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, frame.left - 1, frame.top - 1,
                                  frame.right - frame.left + 3, frame.bottom - frame.top + 3, dialog, nullptr,
                                  Instance, nullptr);
    // Over the frame, whatever order the siblings were made in.
    if (ProgressBar) SetWindowPos(ProgressBar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    String heading;
    heading.Format("Installing %s...", productName ? reinterpret_cast<const char*>(productName) : "");
    SetDlgItemTextA(dialog, IDC_HEADING, heading.Text());
    return TRUE;
}

void ConfirmAbort(HWND dialog) {
    if (MessageBoxA(dialog, kAbortQuestion, "Abort", MB_ICONQUESTION | MB_YESNO) == IDYES) AbortProgram();
}

}  // namespace

void StartUserInterface() {
    // Loaded here rather than imported: comctl32 is not among the DLLs that
    // Windows takes only from the system directory, and by now the start has
    // limited the search to it. It stays loaded for the progress bar.
    HMODULE controlsLibrary = LoadLibraryA("comctl32.dll");
    if (!controlsLibrary) return;
    typedef BOOL(WINAPI * InitFunction)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFunction>(
        reinterpret_cast<void*>(GetProcAddress(controlsLibrary, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    if (init) init(&controls);
}

void CenterWindow(HWND window) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    int width = rect.right - rect.left + 1;
    int height = rect.bottom - rect.top + 1;
    if (width > screenWidth) width = screenWidth;
    if (height > screenHeight) height = screenHeight;
    int x = (screenWidth - width) >> 1;
    int y = (screenHeight - height) >> 1;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    MoveWindow(window, x, y, width, height, FALSE);
}

String WindowText(HWND window) {
    String text;
    if (!window) return text;
    const int length = GetWindowTextLengthA(window);
    if (length <= 0) return text;
    text.Resize(length);
    const int copied = GetWindowTextA(window, text.Buffer(), length + 1);
    if (copied > length) FatalCheck("qpk", 1223);
    // The reported length may be an upper bound (double-byte text).
    text.SetLength(copied);
    return text;
}

String DialogItemText(HWND dialog, int id) {
    if (!dialog) return String();
    return WindowText(GetDlgItem(dialog, id));
}

INT_PTR ShowTextDialog(const char* templateName, const char* text) {
    return DialogBoxParamA(Instance, templateName, MainWindow, TextDialogProc, reinterpret_cast<LPARAM>(text));
}

INT_PTR CALLBACK TextDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return InitTextDialog(dialog, lParam);
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_ACCEPT:
                case IDC_REFUSE:
                    EndDialog(dialog, LOWORD(wParam));
                    return TRUE;
                default:
                    // Escape and the close box arrive here: they do nothing.
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

bool ChooseDirectory(String& directory) {
    const INT_PTR result = DialogBoxParamA(Instance, "ChooseDirDlg", MainWindow, ChooseDirectoryProc,
                                           reinterpret_cast<LPARAM>(&directory));
    targetDirectory = nullptr;
    // Installing into a directory nobody was shown would be a silent guess.
    if (result == -1) FatalError("The installation directory dialog could not be shown.\r\n%s", SystemErrorText());
    return result != 0;
}

bool BrowseForDirectory(HWND owner, String& directory) {
    const bool comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    bool chosen = false;
    {
        ItemList root;
        if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, root.Receive())) || !root.Get())
            FatalCheck("qpk", 1295);
        BROWSEINFOA info = {};
        info.hwndOwner = owner;
        info.pidlRoot = root.Get();
        info.lpszTitle = DirectoryPrompt.Text();
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        info.lpfn = BrowseCallback;
        info.lParam = reinterpret_cast<LPARAM>(directory.Text());
        ItemList picked;
        picked.Adopt(SHBrowseForFolderA(&info));
        if (picked.Get()) {
            char path[MAX_PATH] = "";
            if (SHGetPathFromIDListA(picked.Get(), path) && path[0]) {
                directory = path;
                chosen = true;
            }
        }
    }
    if (comStarted) CoUninitialize();
    return chosen;
}

HWND CreateProgressWindow(const char* productName) {
    ProgressWindow = CreateDialogParamA(Instance, "ProgressDlg", MainWindow, ProgressDialogProc,
                                        reinterpret_cast<LPARAM>(productName));
    return ProgressWindow;
}

void DestroyProgressWindow() {
    if (ProgressWindow) DestroyWindow(ProgressWindow);
    ProgressWindow = nullptr;
    ProgressBar = nullptr;
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return InitProgress(dialog, lParam);
        case WM_COMMAND:
            if (lParam && LOWORD(wParam) == IDC_REFUSE) ConfirmAbort(dialog);
            return FALSE;
        case WM_DESTROY:
            // Nothing may post to the bar once it is gone.
            if (ProgressBar && GetParent(ProgressBar) == dialog) ProgressBar = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

bool SetProgressText(const char* format, ...) {
    String text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    if (ProgressWindow) SetDlgItemTextA(ProgressWindow, IDC_STEP, text.Text());
    return PumpMessages();
}

bool SetProgressLine(const String& text) {
    if (ProgressWindow) SetDlgItemTextA(ProgressWindow, IDC_STEP, text.Text());
    return PumpMessages();
}

int AskUser(const String& text, const char* caption, unsigned style) {
    return MessageBoxA(MainWindow, text.Text(), caption, style);
}

bool SetProgressPercent(int32 percent) {
    if (!ProgressBar) return false;
    PostMessageA(ProgressBar, PBM_SETPOS, WPARAM(percent), 0);
    return PumpMessages();
}

bool PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        const bool ending = message.message == WM_DESTROY || message.message == WM_CLOSE || message.message == WM_QUIT;
        // Lets the keyboard reach the progress window's Abort button.
        if (!(ProgressWindow && IsDialogMessageA(ProgressWindow, &message))) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (ending) return true;
    }
    return false;
}
