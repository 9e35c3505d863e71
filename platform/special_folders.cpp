#include "platform/special_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/file_system.h"
#include "platform/handles.h"
#include "platform/registry.h"

namespace {

String UserShellFolder(const char* name) {
    String path("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\");
    path.Append(name);
    return ReadPathValue(HKEY_CURRENT_USER, path.Text(), "");
}

String MachineSetting(const char* name) {
    String path("Software\\Microsoft\\Windows\\CurrentVersion\\");
    path.Append(name);
    return ReadPathValue(HKEY_LOCAL_MACHINE, path.Text(), "");
}

String OrFallback(const String& folder, const String& base, const char* name) {
    return folder.IsEmpty() ? JoinPath(base, name) : folder;
}

// The link path as the shell wants it: UTF-16 in 260 characters with the
// terminator. False when it does not fit, rather than saving a cut path.
bool WidePath(const String& link, WCHAR (&wide)[MAX_PATH]) {
    ZeroMemory(wide, sizeof wide);
    if (link.IsEmpty()) return false;
    int needed = MultiByteToWideChar(CP_ACP, 0, link.Text(), link.Length(), nullptr, 0);
    if (needed <= 0 || needed >= MAX_PATH) return false;
    return MultiByteToWideChar(CP_ACP, 0, link.Text(), link.Length(), wide, MAX_PATH) == needed;
}

bool CreateShortcutIn(const String& folder, const String& name, const char* target, const char* arguments,
                      const char* workingDirectory, String* linkOut) {
    String link = JoinPath(folder, name);
    bool created = CreateShortcut(link, target, arguments, workingDirectory);
    if (linkOut) *linkOut = link;
    return created;
}

}  // namespace

String DesktopFolder() { return OrFallback(UserShellFolder("Desktop"), WindowsDirectory(), "Desktop"); }

String FontsFolder() { return OrFallback(UserShellFolder("Fonts"), WindowsDirectory(), "Fonts"); }

String StartMenuFolder() {
    return OrFallback(UserShellFolder("Start Menu"), WindowsDirectory(), "Start Menu");
}

String ProgramsFolder() {
    String folder = UserShellFolder("Programs");
    return folder.IsEmpty() ? JoinPath(StartMenuFolder(), "Programs") : folder;
}

String StartupFolder() {
    // The value is "Startup"; the folder made in its absence is "StartUp".
    String folder = UserShellFolder("Startup");
    return folder.IsEmpty() ? JoinPath(ProgramsFolder(), "StartUp") : folder;
}

String ProgramFilesFolder() {
    String folder = MachineSetting("ProgramFilesDir");
    return folder.IsEmpty() ? String("c:\\Program Files") : folder;
}

String CommonFilesFolder() {
    String folder = MachineSetting("CommonFilesDir");
    return folder.IsEmpty() ? JoinPath(ProgramFilesFolder(), "Common Files") : folder;
}

char BootDrive() {
    String boot = MachineSetting("Setup\\BootDir");
    char letter = DriveLetterOf(boot);
    return letter ? letter : 'C';
}

bool CreateShortcut(String& link, const char* target, const char* arguments, const char* workingDirectory) {
    ComApartment com;
    if (!com.Ready()) return false;
    ComPointer<IShellLinkA> shellLink;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                shellLink.Receive()))) {
        return false;
    }
    if (!target) target = "";
    shellLink->SetPath(target);
    shellLink->SetIconLocation(target, 0);
    if (arguments) shellLink->SetArguments(arguments);
    if (workingDirectory) shellLink->SetWorkingDirectory(workingDirectory);

    ComPointer<IPersistFile> persist;
    if (FAILED(shellLink->QueryInterface(IID_IPersistFile, persist.Receive()))) return false;
    if (link.Find(".LNK", 0, false) < 0) link.Append(".LNK");
    CreateDirectoryPath(ParentDirectory(link));
    WCHAR wide[MAX_PATH];
    if (!WidePath(link, wide)) return false;
    return persist->Save(wide, TRUE) == S_OK;
}

bool CreateDesktopShortcut(const String& name, const char* target, const char* arguments,
                           const char* workingDirectory, String* linkOut) {
    return CreateShortcutIn(DesktopFolder(), name, target, arguments, workingDirectory, linkOut);
}

bool CreateProgramsShortcut(const String& name, const char* target, const char* arguments,
                            const char* workingDirectory, String* linkOut) {
    return CreateShortcutIn(ProgramsFolder(), name, target, arguments, workingDirectory, linkOut);
}
