#include "uninstall/uninstaller.h"

#include <windows.h>

#include "archive/format.h"
#include "archive/safe_name.h"
#include "core/fatal.h"
#include "core/paths.h"
#include "core/quoted_list.h"
#include "uninstall/registration.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "ui/background_window.h"
#include "ui/dialogs.h"
#include "uninstall/batch_script.h"
#include "uninstall/removal_record.h"
#include "uninstall/startup_path.h"

namespace {

// Bounds the walks up a folder or key path, as a damaged path could be long.
const int kMaxLevels = 20;

bool Ask(const String& text, const char* caption) {
    return AskUser(text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void RestoreBackground(const String& location, int32 flags) {
    SetBackgroundTitle(ReadString("DisplayTitle", "").Text());
    SetBackgroundTitleColor(COLORREF(ReadInteger("TitleColor", int32(GetSysColor(COLOR_WINDOWTEXT)))));
    COLORREF top = COLORREF(ReadInteger("TopColor", int32(GetSysColor(COLOR_WINDOW))));
    COLORREF bottom = COLORREF(ReadInteger("BottomColor", 0));
    SetBackgroundColors(top, bottom);
    SetBackgroundMono(ReadBool("MonoColor", true));
    if (flags & BackgroundFile) LoadBackgroundBitmap(JoinPath(location, "Installer Background.BMP").Text());
    RepaintBackground();
}

void Confirm(const String& productName, const String& location, int32 flags) {
    if (AutomaticMode) return;
    String text("This will uninstall ");
    text.Append(productName);
    text.Append(".\r\n\r\n");
    if (flags & NoRemovalList) {
        text.Append("WARNING: you should first move any personal files located in:\r\n");
        text.Append(location);
        text.Append("\r\n\r\nThis directory will be completely removed.\r\n\r\n");
    }
    text.Append("Do you wish to proceed?");
    if (!Ask(text, "Uninstall")) ExitProgram(ExitCancelled);
}

// The Fonts key names a font by the display name it was registered under.
void ForgetFontValue(const String& title, const String& file) {
    if (OpenSoftwareKey(kFontsKey, false, RegOpenOnly) == OpenFailed) return;
    const char* name = title.IsEmpty() ? file.Text() : title.Text();
    if (ReadString(name, "").Compare(file, false) == 0) DeleteValue(name);
    CloseKey();
}

void RemoveFonts(int32 flags, String& problems) {
    String list = ReadString("ProductFonts", "");
    if (list.IsEmpty()) return;
    String kept;
    bool changed = false;
    String fontsFolder = FontsFolder();
    String title, file;
    int32 pos = 0;
    while (TakeFontItem(list, pos, title, file)) {
        if ((flags & ConfirmFontRemoval) && !AutomaticMode) {
            String question("Do you want to delete the font '");
            question.Append(title);
            question.Append("'?");
            if (!Ask(question, "Delete Font?")) continue;  // stays installed, no longer listed
        }
        // The font table may know the font by its full path (as a system
        // that resolved the bare name at registration does).
        bool removed = RemoveFontResourceA(file.Text()) ||
                       (IsContainedName(file) && RemoveFontResourceA(JoinPath(fontsFolder, file).Text()));
        if (removed) {
            // A file name from the registry that would leave the Fonts
            // folder is never deleted.
            if (IsContainedName(file)) RemoveFile(JoinPath(fontsFolder, file));
            ForgetFontValue(title, file);
            changed = true;
        } else {
            problems.Append("Failed to remove font ");
            problems.Append(file);
            problems.Append("\r\n");
            AppendFontItem(kept, title, file);
        }
    }
    WriteString("ProductFonts", kept.Text());
    if (changed) SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
}

// Removes the product's start-menu folder and the parents it emptied, but
// never the programs folder itself or anything above it.
void RemoveStartMenuFolder() {
    String relative = ReadString("ProductStartMenu", "");
    if (relative.IsEmpty() || !IsContainedName(relative)) return;
    String programs = ProgramsFolder();
    String folder = JoinPath(programs, relative);
    for (int i = 0; i < kMaxLevels; ++i) {
        if (folder.Length() <= programs.Length() || !StartsWithPath(folder, programs)) return;
        if (!RemoveEmptyDirectory(folder)) return;
        if (!StripLastComponent(folder)) return;
    }
}

// Keys below "Software" that belong to the system and its registrations: a
// product key path starting with one of these is never deleted, whatever a
// damaged or hostile registration says.
bool IsSystemKeyPath(const String& path) {
    static const char* const kSystemKeys[] = {"Microsoft", "Classes", "Policies", "Wow6432Node", "Clients",
                                              "RegisteredApplications", "ODBC", "Wine"};
    String first = path;
    first.TrimLeftSet("\\ ");
    first.TruncateAt('\\');
    first.Trim();
    if (first.IsEmpty()) return true;
    for (const char* key : kSystemKeys) {
        if (first.Compare(key, false) == 0) return true;
    }
    return false;
}

void DeleteProductKeys(const String& registryPath, bool currentUser) {
    if (IsSystemKeyPath(registryPath)) return;
    String path = registryPath;
    for (int i = 0; i < kMaxLevels; ++i) {
        if (path.IsEmpty()) return;
        if (!DeleteSoftwareKey(path.Text(), currentUser, i == 0 ? 0u : unsigned(RegOnlyIfEmpty))) return;
        if (!StripLastComponent(path)) return;
    }
}

// The special folders and everything above them: a registration that
// points its directory at one of these must never have it deleted whole.
bool IsProtectedFolder(const String& directory) {
    if (directory.Length() <= 3) return true;
    const String folders[] = {WindowsDirectory(), ProgramFilesFolder(), CommonFilesFolder(), DesktopFolder(),
                              StartMenuFolder(),  ProgramsFolder(),     StartupFolder(),     FontsFolder()};
    for (const String& folder : folders) {
        if (folder.IsEmpty()) continue;
        if (SamePath(directory, folder)) return true;
        String within = directory;
        within.EnsureLast('\\');
        if (StartsWithPath(folder, within)) return true;
    }
    return false;
}

void RemoveWholeDirectory(const String& location, String& problems) {
    if (IsProtectedFolder(location)) {
        problems.Append("The directory ");
        problems.Append(location);
        problems.Append(" cannot be expunged.\r\n");
        return;
    }
    // The running uninstaller usually lives inside: what stays is removed by
    // the self-removal once the program has exited.
    DeleteTree(location);
}

void Unregister(const String& productName, const String& location, int32 flags, String& problems) {
    if (flags & EditPath) {
        String message = EditStartupPath(location, false);
        if (!message.IsEmpty()) ShowError("%s", message.Text());
    }
    String batch = ReadString("UninstallBatch2", "");
    if (!batch.IsEmpty()) {
        if (!RunBatch(DriveRootOf(location), batch, String())) {
            problems.Append("Failed to run the post-uninstallation batch.\r\n");
            return;
        }
    }
    DeleteValue("UninstallBatch2");
    if (!DeleteSoftwareSubKey(kUninstallListKey, productName.Text(), false, 0)) {
        problems.Append(
            "The application could not be unregistered in the operating system.\r\n\tIt will still be listed as an "
            "installed program.\r\nHowever, this should not cause any problems with your system or\r\ninterfere "
            "with future installations.\r\n");
    }
}

void Report(const String& productName, const String& problems) {
    if (AutomaticMode) return;
    String text(productName);
    if (problems.IsEmpty()) {
        text.Append(" has successfully been uninstalled.");
        AskUser(text, "Uninstall Successful", MB_OK | MB_ICONINFORMATION);
        return;
    }
    text.Append(" could not be completely uninstalled.\r\nThe following problems occurred:\r\n\r\n");
    text.Append(problems);
    text.Append("\r\nYou can attempt to complete the uninstallation at another time.");
    AskUser(text, "Uninstall", MB_OK | MB_ICONWARNING);
}

}  // namespace

bool ReleaseSharedFiles(const String& sharedFilesList, const String& sharedDirectory, String& problems) {
    if (OpenSoftwareKey(kSharedCountsKey, false) == OpenFailed) {
        problems.Append("REGISTRY ERROR: Unable to decrement common file reference counts.\r\n\r\n");
        return false;
    }
    String item;
    int32 pos = 0;
    while (TakeSharedFileItem(sharedFilesList, pos, item)) {
        // A relative item that climbs out of the shared directory names
        // nothing this product put there.
        if (!IsContainedName(item) && !IsFullPath(item)) continue;
        String path = SharedFilePath(item, sharedDirectory);
        if (path.IsEmpty()) continue;
        int32 count = ReadInteger(path.Text(), 0);
        if (count >= 1) {
            WriteInteger(path.Text(), count - 1, RegRemoveIfEmpty);
            if (count - 1 >= 1) continue;
        }
        if (!FileExists(path)) continue;
        if (!AutomaticMode) {
            String question("The following shared file is no longer used:\r\n");
            question.Append(path);
            question.Append("\r\n\r\nDo you want to delete this file?");
            if (!Ask(question, "Delete shared file?")) continue;
        }
        RemoveFile(path);
    }
    CloseKey();
    return true;
}

UninstallResult UninstallProduct(const String& productName) {
    String key = UninstallKeyPath(productName);
    if (!IsRegistrableProductName(productName) || !SoftwareKeyExists(key.Text(), false)) {
        String text("No product named '");
        text.Append(productName);
        text.Append("' is installed.");
        ShowError("%s", text.Text());
        return UninstallNotPossible;
    }
    if (OpenSoftwareKey(key.Text(), false, RegOpenOnly) == OpenFailed) {
        String text("Unable to access the uninstall information for:\r\n");
        text.Append(productName);
        text.Append("\r\n\r\nThe uninstallation cannot be performed.");
        ShowError("%s", text.Text());
        return UninstallNotPossible;
    }
    String location = ReadString("InstallLocation", "");
    int32 flags = ReadInteger("ProductFlags", 0);
    if (flags & AutomaticUninstall) AutomaticMode = true;
    RestoreBackground(location, flags);
    Confirm(productName, location, flags);

    String sharedDirectory = ReadString("SharedPath", "");
    String batch = ReadString("UninstallBatch1", "");
    if (!batch.IsEmpty()) {
        if (!RunBatch(location, batch, sharedDirectory))
            FatalError("%s", "Unable to run the pre-uninstallation batch.  The uninstaller must abort.");
        DeleteValue("UninstallBatch1");
    }

    String problems;
    RemoveFonts(flags, problems);
    ApplyRemovalRecord(location, problems);
    RemoveStartMenuFolder();

    String sharedFiles = ReadString("SharedFiles", "");
    // Once released, the items leave the registration, so that a second run
    // after a partial uninstallation never lowers another product's counts.
    if (!sharedFiles.IsEmpty() && ReleaseSharedFiles(sharedFiles, sharedDirectory, problems))
        DeleteValue("SharedFiles");
    if (!sharedDirectory.IsEmpty()) RemoveEmptyDirectory(sharedDirectory);

    String registryPath = ReadString("ProductRegistry", "");
    if (!registryPath.IsEmpty()) {
        DeleteProductKeys(registryPath, false);
        DeleteProductKeys(registryPath, true);
        DeleteValue("ProductRegistry");
    }
    if ((flags & NoRemovalList) && !location.IsEmpty()) RemoveWholeDirectory(location, problems);

    if (problems.IsEmpty()) Unregister(productName, location, flags, problems);
    CloseKey();
    Report(productName, problems);
    return problems.IsEmpty() ? UninstallComplete : UninstallPartial;
}
