#include "platform/protected_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "core/vector.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/special_folders.h"

namespace {

const char kProfileListKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The folders of a profile that hold the user's own files and settings.
const char* const kProfileFolders[] = {"Documents",        "My Documents",      "Desktop",
                                       "AppData\\Roaming", "AppData\\Local",    "AppData\\LocalLow",
                                       "Application Data", "Local Settings\\Application Data"};

void Add(Vector<String>& folders, const String& folder) {
    String canonical = CanonicalPath(folder);
    if (!canonical.IsEmpty()) folders.Append(canonical);
}

String Expanded(const String& text) {
    char buffer[MAX_PATH];
    DWORD length = ExpandEnvironmentStringsA(text.Text(), buffer, MAX_PATH);
    return length > 0 && length <= MAX_PATH ? String(buffer) : text;
}

void AddShellFolder(Vector<String>& folders, int csidl) {
    char buffer[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) Add(folders, buffer);
}

void AddProfile(Vector<String>& folders, const String& profile) {
    if (profile.IsEmpty()) return;
    Add(folders, profile);
    for (const char* name : kProfileFolders) Add(folders, JoinPath(profile, name));
}

// Every profile the machine knows of, not only the running user's: an
// elevated uninstaller must not take another user's documents either.
void AddProfiles(Vector<String>& folders) {
    if (OpenKey(HKEY_LOCAL_MACHINE, kProfileListKey, RegOpenOnly) == OpenFailed) return;
    Add(folders, Expanded(ReadString("ProfilesDirectory", "")));
    List<String> names;
    ListSubKeys(&names);
    Cursor cursor;
    for (String* name = names.GetFirst(cursor); name; name = names.GetNext(cursor)) {
        if (OpenSubKey(name->Text(), RegOpenOnly) == OpenFailed) continue;
        AddProfile(folders, Expanded(ReadString("ProfileImagePath", "")));
        CloseKey();
    }
    CloseKey();
}

Vector<String> ProtectedFolders() {
    Vector<String> folders;
    const String known[] = {WindowsDirectory(), ProgramFilesFolder(), CommonFilesFolder(), DesktopFolder(),
                            StartMenuFolder(),  ProgramsFolder(),     StartupFolder(),     FontsFolder()};
    for (const String& folder : known) Add(folders, folder);
    const int shellFolders[] = {CSIDL_WINDOWS,          CSIDL_SYSTEM,           CSIDL_PROGRAM_FILES,
                                CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
                                CSIDL_COMMON_APPDATA,   CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_DESKTOPDIRECTORY,
                                CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS,  CSIDL_COMMON_STARTUP,
                                CSIDL_PERSONAL,         CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,
                                CSIDL_DESKTOPDIRECTORY, CSIDL_FONTS};
    for (int csidl : shellFolders) AddShellFolder(folders, csidl);
    char profile[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile))) {
        AddProfile(folders, profile);
        Add(folders, ParentDirectory(CanonicalPath(profile)));
    }
    AddProfiles(folders);
    return folders;
}

}  // namespace

bool IsProtectedFolder(const String& directory) {
    String canonical = CanonicalPath(directory);
    if (canonical.Length() <= 3) return true;
    String within = canonical;
    within.Append('\\');
    Vector<String> folders = ProtectedFolders();
    for (int32 i = 0; i < folders.Count(); ++i) {
        const String& folder = folders[i];
        if (folder.Compare(canonical, false) == 0 || StartsWithPath(folder, within)) return true;
    }
    return false;
}
