#include "uninstall/install_journal.h"

#include <windows.h>

#include "archive/safe_name.h"
#include "core/fatal.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "records/removal_list.h"
#include "uninstall/installation_record.h"
#include "uninstall/registration.h"
#include "uninstall/removal_record.h"
#include "uninstall/system_path.h"

namespace {

const char kPendingValue[] = "InstallationPending";
const char kBackupSuffix[] = ".qpk-backup";

// The one run of this process.
struct Journal {
    bool active = false;
    String directory;
    String productName;
    HANDLE file = INVALID_HANDLE_VALUE;
    Vector<JournalEntry> entries;
    Vector<String> foldersMade;
    PathSet stored;
};
Journal Current;

void Append(const JournalEntry& entry) {
    Current.entries.Append(entry);
    if (Current.file == INVALID_HANDLE_VALUE) return;
    // Not flushed: what a killed process wrote is still in the system's
    // buffers and reaches the disk; a flush per file would cost a disk sync.
    String line = JournalLine(entry);
    DWORD put = 0;
    WriteFile(Current.file, line.Text(), DWORD(line.Length()), &put, nullptr);
}

void FolderMade(const String& folder) {
    String canonical = CanonicalPath(folder);
    if (canonical.IsEmpty()) canonical = folder;
    if (!Current.active) {
        Current.foldersMade.Append(canonical);
        return;
    }
    JournalEntry entry;
    entry.kind = JournalFolder;
    entry.path = canonical;
    Append(entry);
}

void CloseJournalFile() {
    if (Current.file != INVALID_HANDLE_VALUE) CloseHandle(Current.file);
    Current.file = INVALID_HANDLE_VALUE;
}

void StopHandlerRollBack() { RollBackJournal(); }

String UpperCased(const String& path) {
    String key(path);
    if (key.Buffer()) CharUpperBuffA(key.Buffer(), DWORD(key.Length()));
    return key;
}

bool IsRunningProgram(const String& path) { return SameCanonicalPath(path, ModulePath()); }

void ChangeCount(const String& path, int32 by) {
    if (OpenSoftwareKey(kSharedCountsKey, false, RegOpenOnly) == OpenFailed) return;
    int32 count = ReadInteger(path.Text(), 0) + by;
    if (count <= 0) {
        DeleteValue(path.Text());
    } else {
        WriteInteger(path.Text(), count);
    }
    CloseKey();
}

void ForgetFont(const String& displayName, const String& file) {
    if (!RemoveFontResourceA(file.Text())) RemoveFontResourceA(JoinPath(FontsFolder(), file).Text());
    if (OpenSoftwareKey(kFontsKey, false, RegOpenOnly) == OpenFailed) return;
    if (ReadString(displayName.Text(), "").Compare(file, false) == 0) DeleteValue(displayName.Text());
    CloseKey();
}

void UndoOne(const JournalEntry& entry) {
    switch (entry.kind) {
        case JournalFile:
        case JournalShortcut:
            // The running uninstaller goes with its self-removal.
            if (!IsRunningProgram(entry.path)) RemoveFile(entry.path);
            break;
        case JournalReplaced:
            if (FileAttributes(entry.other) == kNoAttributes) break;
            RemoveFile(entry.path);
            MoveFileExA(entry.other.Text(), entry.path.Text(), MOVEFILE_REPLACE_EXISTING);
            break;
        case JournalFont:
            ForgetFont(entry.path, entry.other);
            break;
        case JournalKey:
            DeleteSoftwareKey(entry.path.Text(), entry.other.Compare("HKCU", false) == 0);
            break;
        case JournalCountRaised:
            ChangeCount(entry.path, -1);
            break;
        case JournalCountReleased:
            ChangeCount(entry.path, +1);
            break;
        case JournalPathEntry:
            RemoveFromPathValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, entry.path);
            break;
        case JournalFolder:
            break;
    }
}

// Everything in reverse, files before the folders that hold them (the
// record itself is one of the files).
void UndoEntries(const Vector<JournalEntry>& entries) {
    Vector<JournalEntry>& all = const_cast<Vector<JournalEntry>&>(entries);
    for (int32 i = all.Count() - 1; i >= 0; --i) {
        if (all[i].kind != JournalFolder) UndoOne(all[i]);
    }
    for (int32 i = all.Count() - 1; i >= 0; --i) {
        if (all[i].kind == JournalFolder) RemoveEmptyDirectory(all[i].path);
    }
}

void ClearPendingMark(const String& productName) {
    String key = UninstallKeyPath(productName);
    if (OpenSoftwareKey(key.Text(), false, RegOpenOnly) == OpenFailed) return;
    DeleteValue(kPendingValue);
    CloseKey();
}

bool Below(const String& path, const String& folder) { return !folder.IsEmpty() && IsInsideFolder(path, folder); }

bool AtOrBelow(const String& path, const String& folder) {
    return !folder.IsEmpty() && (SameCanonicalPath(path, folder) || IsInsideFolder(path, folder));
}

// A journal read from disk may have been written by anybody who can write
// the installation folder: each line must name a place such a run uses.
class JournalScope {
public:
    explicit JournalScope(const InstallationFacts& facts)
        : facts_(facts), removal_(ScopeOfInstallation(CanonicalPath(facts.installLocation))) {
        fonts_ = FontsFolder();
        menus_[0] = ProgramsFolder();
        menus_[1] = DesktopFolder();
    }

    bool Allows(const JournalEntry& entry) const {
        const String& install = facts_.installLocation;
        const String& shared = facts_.sharedPath;
        switch (entry.kind) {
            case JournalFolder:
                return AtOrBelow(entry.path, install) || AtOrBelow(install, entry.path) ||
                       AtOrBelow(entry.path, shared) || AtOrBelow(shared, entry.path) ||
                       Below(entry.path, menus_[0]) || Below(entry.path, menus_[1]);
            case JournalFile:
            case JournalReplaced:
                if (entry.kind == JournalReplaced && entry.other.Compare(entry.path + kBackupSuffix, false) != 0)
                    return false;
                return Below(entry.path, install) || Below(entry.path, shared) || InFonts(entry.path);
            case JournalShortcut:
                return ClassifyRemovalLine(CanonicalPath(entry.path), false, removal_.installDirectory,
                                           removal_.linkFolders) != RemovalOutside;
            case JournalFont:
                return IsContainedName(entry.other);
            case JournalCountRaised:
            case JournalCountReleased:
                return Below(entry.path, shared) || InFonts(entry.path);
            case JournalKey:
                return (entry.other == "HKLM" || entry.other == "HKCU") && IsOwnKey(entry.path);
            case JournalPathEntry:
                return SameCanonicalPath(entry.path, install);
        }
        return false;
    }

private:
    bool InFonts(const String& path) const { return SameCanonicalPath(ParentDirectory(path), fonts_); }

    // The product's key or one of the keys above it that the run made, or
    // the product's own uninstall key; never one of the system's.
    bool IsOwnKey(const String& path) const {
        if (path.Compare(UninstallKeyPath(facts_.product), false) == 0) return true;
        String product = ProductKeyPath(facts_.productRegistry);
        if (product.IsEmpty() || IsSystemKeyPath(path)) return false;
        String within(path);
        within.Append('\\');
        return product.Compare(path, false) == 0 || StartsWithPath(product, within);
    }

    const InstallationFacts& facts_;
    RemovalScope removal_;
    String fonts_;
    String menus_[2];
};

}  // namespace

void WatchFoldersMade(const Vector<String>* leftByUndoing) {
    Current.foldersMade.Clear();
    // Told inner ones first; kept outer ones first.
    for (int32 i = leftByUndoing ? leftByUndoing->Count() - 1 : -1; i >= 0; --i)
        Current.foldersMade.Append(const_cast<Vector<String>&>(*leftByUndoing)[i]);
    SetFolderMadeFunction(FolderMade);
}

const Vector<String>& FoldersMade() { return Current.foldersMade; }

bool BeginJournal(const InstallationFacts& facts, bool onDisk) {
    Current.directory = facts.installLocation;
    Current.productName = facts.product;
    Current.entries.Clear();
    Current.stored.Reset();
    Current.active = true;
    SetStopHandler(StopHandlerRollBack);
    for (int32 i = 0; i < Current.foldersMade.Count(); ++i) {
        JournalEntry entry;
        entry.kind = JournalFolder;
        entry.path = Current.foldersMade[i];
        Current.entries.Append(entry);
    }
    if (!onDisk) return true;
    // The record of an installation copied over stays aside until this run
    // is complete; otherwise the record is itself one of the run's files.
    String path = JoinPath(Current.directory, kFactsFileName);
    String backup = path + kBackupSuffix;
    JournalEntry record;
    record.path = path;
    if (FileAttributes(path) == kNoAttributes) {
        record.kind = JournalFile;
    } else {
        record.kind = JournalReplaced;
        record.other = backup;
        RemoveFile(backup);
        if (!MoveFileExA(path.Text(), backup.Text(), 0)) return false;
    }
    Current.entries.Append(record);
    Current.stored.Add(UpperCased(path));
    InstallationFacts installing = facts;
    installing.complete = false;
    String text = FactsText(installing);
    for (int32 i = 0; i < Current.entries.Count(); ++i) text += JournalLine(Current.entries[i]);
    if (!WriteBufferToFile(path, text)) return false;
    Current.file = CreateFileA(path.Text(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Current.file == INVALID_HANDLE_VALUE) return false;
    if (SetFilePointer(Current.file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) return false;

    // The mark through which a later run finds this one; a key made for it
    // is this run's to remove.
    String key = UninstallKeyPath(facts.product);
    if (!SoftwareKeyExists(key.Text(), false)) JournalAdd(JournalKey, key, "HKLM");
    if (OpenSoftwareKey(key.Text(), false) == OpenFailed) return false;
    bool marked = WriteString(kPendingValue, Current.directory.Text());
    CloseKey();
    return marked;
}

bool JournalActive() { return Current.active; }

void JournalAdd(JournalKind kind, const String& path, const String& other) {
    if (!Current.active) return;
    JournalEntry entry;
    entry.kind = kind;
    entry.path = path;
    entry.other = other;
    Append(entry);
}

bool PrepareToStore(const String& path) {
    if (!Current.active) return true;
    // Written already by this run (an archive may name a file twice): the
    // first line stands, and a copy of our own must not be kept as the old one.
    if (!Current.stored.Add(UpperCased(path))) return true;
    if (FileAttributes(path) == kNoAttributes) {
        JournalAdd(JournalFile, path);
        return true;
    }
    String backup = path + kBackupSuffix;
    RemoveFile(backup);
    // Journaled first: a kill between the two leaves a line whose copy does
    // not exist, which an undo passes over. Copied, not moved: a file in use
    // stays where it is and its writing fails as it would without us.
    JournalAdd(JournalReplaced, path, backup);
    return CopyFileA(path.Text(), backup.Text(), FALSE) != 0;
}

bool CompleteJournal(const InstallationFacts& facts, bool keepRecord) {
    if (!Current.active) return true;
    bool onDisk = Current.file != INVALID_HANDLE_VALUE;
    SetStopHandler(nullptr);
    SetFolderMadeFunction(nullptr);
    if (onDisk) ClearPendingMark(Current.productName);
    CloseJournalFile();
    for (int32 i = 0; i < Current.entries.Count(); ++i) {
        const JournalEntry& entry = Current.entries[i];
        if (entry.kind == JournalReplaced) RemoveFile(entry.other);
    }
    Current.active = false;
    Current.entries.Clear();
    if (!keepRecord) {
        if (onDisk) RemoveInstallationFacts(facts.installLocation);
        return true;
    }
    InstallationFacts complete = facts;
    complete.complete = true;
    return SaveInstallationFacts(facts.installLocation, complete);
}

void RollBackJournal() {
    if (!Current.active) return;
    Current.active = false;
    SetStopHandler(nullptr);
    SetFolderMadeFunction(nullptr);
    bool onDisk = Current.file != INVALID_HANDLE_VALUE;
    CloseJournalFile();
    UndoEntries(Current.entries);
    if (onDisk) ClearPendingMark(Current.productName);
    Current.entries.Clear();
}

bool UndoUnfinishedInstallation(const String& productName, String* undoneDirectory, Vector<String>* folders) {
    if (!IsRegistrableProductName(productName)) return false;
    String key = UninstallKeyPath(productName);
    if (OpenSoftwareKey(key.Text(), false, RegOpenOnly) == OpenFailed) return false;
    String directory = ReadString(kPendingValue, "");
    CloseKey();
    if (directory.IsEmpty()) return false;

    InstallationFacts facts;
    String text;
    String record = JoinPath(directory, kFactsFileName);
    bool ours = IsCanonicalPath(directory) && FileSizeOf(record) >= 0 && FileSizeOf(record) <= 64 * 1024 * 1024 &&
                ReadWholeFile(record, text) && ReadFactsText(text, facts) && !facts.complete &&
                facts.product.Compare(productName, false) == 0 && SameCanonicalPath(facts.installLocation, directory);
    if (ours) {
        Vector<JournalEntry> all, allowed;
        ReadJournal(text, all);
        JournalScope scope(facts);
        for (int32 i = 0; i < all.Count(); ++i) {
            if (scope.Allows(all[i])) allowed.Append(all[i]);
        }
        UndoEntries(allowed);
        if (undoneDirectory) *undoneDirectory = CanonicalPath(directory);
        for (int32 i = allowed.Count() - 1; folders && i >= 0; --i) {
            if (allowed[i].kind == JournalFolder && DirectoryExists(allowed[i].path)) folders->Append(allowed[i].path);
        }
    }
    ClearPendingMark(productName);
    return ours;
}
