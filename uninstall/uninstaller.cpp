#include "uninstall/uninstaller.h"

#include <windows.h>

#include "archive/format.h"
#include "archive/safe_name.h"
#include "core/fatal.h"
#include "core/paths.h"
#include "installer/install_log.h"
#include "records/quoted_list.h"
#include "uninstall/registration.h"
#include "platform/file_system.h"
#include "platform/protected_folders.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "records/installation_facts.h"
#include "records/removal_list.h"
#include "ui/background_window.h"
#include "ui/dialogs.h"
#include "uninstall/batch_script.h"
#include "uninstall/install_journal.h"
#include "uninstall/installation_record.h"
#include "uninstall/removal_record.h"
#include "uninstall/startup_path.h"
#include "uninstall/system_path.h"

namespace {

// Bounds the walks up a folder or key path, as a damaged path could be long.
const int kMaxLevels = 20;

// Nothing but file (or nothing at all) is left in folder: what the
// self-removal takes once the program has exited.
bool OnlyHolds(const String& folder, const String& file) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(JoinPath(folder, "*").Text(), &entry);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool only = true;
    do {
        const char* name = entry.cFileName;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        if (!SamePath(JoinPath(folder, name), file)) only = false;
    } while (only && FindNextFileA(find, &entry));
    FindClose(find);
    return only;
}

void AddLine(String& problems, const char* before, const String& what, const char* after) {
    problems.Append(before);
    problems.Append(what);
    problems.Append(after);
}

// What this run may touch: a place is acted on only when the registration
// and the installation's own record in its folder both name it. A folder
// without that record was made by an installer that kept none; its places
// are taken from the registration, under the guards that apply to all.
struct Trust {
    bool location = false;  // the installation directory and what it lists
    bool shared = false;    // the shared directory and its counted files
    bool keys = false;      // the product keys
    bool facts = false;     // the record was found and names this product
    InstallationFacts record;
};

Trust EstablishTrust(const String& productName, const String& location, const String& sharedDirectory,
                     const String& registryPath, int32 flags, String& problems) {
    Trust trust;
    if (location.IsEmpty() || !IsCanonicalPath(location)) {
        if (flags & NoRemovalList) {
            AddLine(problems, "The directory ", location, " cannot be expunged.\r\n");
        } else {
            AddLine(problems, "The installation directory \"", location,
                    "\" is not a complete path; nothing in it was removed.\r\n");
        }
        return trust;
    }
    if (!DirectoryExists(location)) {
        AddLine(problems, "The installation directory \"", location, "\" is missing.\r\n");
        return trust;
    }
    if (!LoadInstallationFacts(location, trust.record)) {
        trust.location = trust.shared = trust.keys = true;
        return trust;
    }
    if (trust.record.product.Compare(productName, false) != 0 ||
        !SameCanonicalPath(trust.record.installLocation, location)) {
        AddLine(problems, "The installation directory \"", location,
                "\" holds the record of another installation; nothing in it was removed.\r\n");
        return trust;
    }
    trust.facts = trust.location = true;
    trust.shared = sharedDirectory.IsEmpty() ? trust.record.sharedPath.IsEmpty()
                                             : SameCanonicalPath(trust.record.sharedPath, sharedDirectory);
    trust.keys = ProductKeyPath(trust.record.productRegistry).Compare(ProductKeyPath(registryPath), false) == 0;
    return trust;
}

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
        // A font other products also installed stays until the last one goes.
        String path = IsContainedName(file) ? JoinPath(fontsFolder, file) : String();
        int32 count = path.IsEmpty() ? 0 : SharedCount(path);
        if (count > 1) {
            SetSharedCount(path, count - 1);
            continue;
        }
        if ((flags & ConfirmFontRemoval) && !AutomaticMode) {
            String question("Do you want to delete the font '");
            question.Append(title);
            question.Append("'?");
            if (!Ask(question, "Delete Font?")) {
                SetSharedCount(path, 0);
                continue;  // stays installed, no longer listed
            }
        }
        // The font table may know the font by its full path (as a system
        // that resolved the bare name at registration does).
        bool removed = RemoveFontResourceA(file.Text()) || (!path.IsEmpty() && RemoveFontResourceA(path.Text()));
        if (removed) {
            // A file name from the registry that would leave the Fonts
            // folder is never deleted.
            if (!path.IsEmpty()) {
                RemoveFile(path);
                SetSharedCount(path, 0);
            }
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

void DeleteProductKeys(const String& registryPath, bool currentUser) {
    if (IsSystemKeyPath(registryPath)) return;
    String path = ProductKeyPath(registryPath);
    for (int i = 0; i < kMaxLevels; ++i) {
        if (path.IsEmpty()) return;
        if (!DeleteSoftwareKey(path.Text(), currentUser, i == 0 ? 0u : unsigned(RegOnlyIfEmpty))) return;
        if (!StripLastComponent(path)) return;
    }
}

void RemoveWholeDirectory(const String& location, const String& registered, String& problems) {
    if (IsProtectedFolder(location)) {
        problems.Append("The directory ");
        problems.Append(registered);
        problems.Append(" cannot be expunged.\r\n");
        return;
    }
    // The running uninstaller usually lives inside: what stays is removed by
    // the self-removal once the program has exited, so only a tree that is
    // still there with more than that in it is a failure.
    if (DeleteTree(location)) return;
    String uninstaller = JoinPath(location, "Uninstall.EXE");
    if (!DirectoryExists(location) || (OnlyHolds(location, uninstaller))) return;
    problems.Append("Unable to remove \"");
    problems.Append(location);
    problems.Append("\"\r\n");
}

void Unregister(const String& productName, const String& location, int32 flags, String& problems) {
    if (flags & EditPath) {
        String message = EditStartupPath(location, false);
        message.Append(RemoveFromSystemPath(location, productName));
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

void Report(const String& productName, const String& location, const String& problems) {
    // The caller's log first, so that failing to write it is reported too.
    String logProblem = LogUninstallation(productName, location, problems, RemovedAtRestart());
    if (AutomaticMode) return;
    String text(productName);
    if (problems.IsEmpty()) {
        text.Append(" has successfully been uninstalled.");
        AskUser(text, "Uninstall Successful", MB_OK | MB_ICONINFORMATION);
        if (!logProblem.IsEmpty()) ShowError("%s", logProblem.Text());
        return;
    }
    text.Append(" could not be completely uninstalled.\r\nThe following problems occurred:\r\n\r\n");
    text.Append(problems);
    text.Append(logProblem);
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
        // Only what this product counted in its shared folder: an item that
        // climbs out of it, or a path of its own elsewhere, names nothing
        // this product put there.
        String path;
        if (IsContainedName(item)) {
            path = SharedFilePath(item, sharedDirectory);
        } else if (IsFullPath(item) && IsInsideFolder(item, sharedDirectory)) {
            path = item;
        }
        if (path.IsEmpty()) {
            AddLine(problems, "Skipped the shared file \"", item, "\": it lies outside the shared directory.\r\n");
            continue;
        }
        int32 count = ReadInteger(path.Text(), 0);
        // Uncounted: not ours to take, whoever put it there.
        if (count < 1) {
            AddLine(problems, "Skipped the shared file \"", path, "\": it has no reference count.\r\n");
            continue;
        }
        WriteInteger(path.Text(), count - 1, RegRemoveIfEmpty);
        if (count - 1 >= 1) continue;
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

UninstallOutcome UninstallProduct(const String& productName) {
    UninstallOutcome outcome;
    String key = UninstallKeyPath(productName);
    if (!IsRegistrableProductName(productName) || !SoftwareKeyExists(key.Text(), false)) {
        String text("No product named '");
        text.Append(productName);
        text.Append("' is installed.");
        ShowError("%s", text.Text());
        return outcome;
    }
    if (OpenSoftwareKey(key.Text(), false, RegOpenOnly) == OpenFailed) {
        String text("Unable to access the uninstall information for:\r\n");
        text.Append(productName);
        text.Append("\r\n\r\nThe uninstallation cannot be performed.");
        ShowError("%s", text.Text());
        return outcome;
    }
    String registered = ReadString("InstallLocation", "");
    // A trailing backslash names the same folder; messages keep the text.
    String location = registered;
    if (location.Length() > 3) location.TrimRight('\\');
    int32 flags = ReadInteger("ProductFlags", 0);
    if (flags & AutomaticUninstall) AutomaticMode = true;
    RestoreBackground(location, flags);
    Confirm(productName, location, flags);

    // An installation of this product that was stopped half way is undone
    // from its journal first; when it was all there was, that is the whole
    // uninstallation.
    CloseKey();
    String undone;
    Vector<String> madeFolders;
    bool recovered = UndoUnfinishedInstallation(productName, &undone, &madeFolders);
    bool stillRegistered = OpenSoftwareKey(key.Text(), false, RegOpenOnly) != OpenFailed;
    if (stillRegistered && !ValueExists("UninstallString")) {
        CloseKey();
        stillRegistered = !DeleteSoftwareSubKey(kUninstallListKey, productName.Text(), false, 0);
    }
    if (!stillRegistered) {
        Report(productName, location, String());
        outcome.result = UninstallComplete;
        if (recovered) {
            // What only the running program kept from going.
            outcome.uninstaller = JoinPath(undone, "Uninstall.EXE");
            outcome.folders.Append(undone);
            for (int32 i = 0; i < madeFolders.Count(); ++i) outcome.folders.Append(madeFolders[i]);
        }
        return outcome;
    }

    String sharedDirectory = ReadString("SharedPath", "");
    String batch = ReadString("UninstallBatch1", "");
    if (!batch.IsEmpty()) {
        if (!RunBatch(location, batch, sharedDirectory))
            FatalError("%s", "Unable to run the pre-uninstallation batch.  The uninstaller must abort.");
        DeleteValue("UninstallBatch1");
    }

    String problems;
    String registryPath = ReadString("ProductRegistry", "");
    Trust trust = EstablishTrust(productName, location, sharedDirectory, registryPath, flags, problems);
    RemoveFonts(flags, problems);
    Vector<String> ancestors;
    if (trust.location) {
        RemovalFileState state = ApplyRemovalRecord(ScopeOfInstallation(CanonicalPath(location)), problems, ancestors);
        // A record the installation says it wrote, gone or unreadable: the
        // files it listed cannot be found, and saying "removed" would be false.
        bool expected = trust.facts && trust.record.removalList == RemovalListed;
        if (state == RemovalFileUnreadable || (state == RemovalFileMissing && expected)) {
            AddLine(problems, "The list of installed files \"", JoinPath(location, kRemovalFileName),
                    state == RemovalFileMissing ? "\" is missing.\r\n" : "\" cannot be read.\r\n");
        } else if (trust.facts && state == RemovalFileRead) {
            // Worked off: a later run finds no list and must not miss it.
            trust.record.removalList = RemovalRemoved;
            SaveInstallationFacts(location, trust.record);
        }
    }
    RemoveStartMenuFolder();

    String sharedFiles = ReadString("SharedFiles", "");
    if (!sharedFiles.IsEmpty() && !trust.shared) {
        AddLine(problems, "The shared directory \"", sharedDirectory,
                "\" is not the one the installation recorded; its files were left alone.\r\n");
    } else if (!sharedFiles.IsEmpty() && ReleaseSharedFiles(sharedFiles, sharedDirectory, problems)) {
        // Once released, the items leave the registration, so that a second
        // run after a partial uninstallation never lowers another product's
        // counts.
        DeleteValue("SharedFiles");
    }
    if (!sharedDirectory.IsEmpty() && trust.shared) RemoveEmptyDirectory(sharedDirectory);

    if (!registryPath.IsEmpty()) {
        if (trust.keys) {
            DeleteProductKeys(registryPath, false);
            DeleteProductKeys(registryPath, true);
            DeleteValue("ProductRegistry");
        } else {
            AddLine(problems, "The registry key \"", registryPath,
                    "\" is not the one the installation recorded; it was left alone.\r\n");
        }
    }
    if ((flags & NoRemovalList) && trust.location) RemoveWholeDirectory(location, registered, problems);

    if (problems.IsEmpty()) Unregister(productName, location, flags, problems);
    CloseKey();
    Report(productName, location, problems);
    if (!problems.IsEmpty()) {
        outcome.result = UninstallPartial;
        return outcome;
    }
    if (trust.facts) RemoveInstallationFacts(location);
    outcome.result = UninstallComplete;
    // The self-removal takes the registered uninstaller, whichever program
    // is running, then its folder and the folders made above it when empty.
    outcome.uninstaller = JoinPath(CanonicalPath(location), "Uninstall.EXE");
    outcome.folders.Append(CanonicalPath(location));
    SortLongestFirst(ancestors);
    for (int32 i = 0; i < ancestors.Count(); ++i) outcome.folders.Append(ancestors[i]);
    // Files that wait for the restart keep these folders until then: the
    // system removes them after the files.
    outcome.restartNeeded = !RemovedAtRestart().IsEmpty();
    if (outcome.restartNeeded) {
        for (int32 i = 0; i < outcome.folders.Count(); ++i)
            MoveFileExA(outcome.folders[i].Text(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return outcome;
}
