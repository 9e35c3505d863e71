#include "uninstall/registration.h"

#include "archive/format.h"
#include "archive/safe_name.h"
#include "core/file_date.h"
#include "core/paths.h"
#include "records/quoted_list.h"
#include "core/text_builder.h"
#include "records/version_text.h"
#include "platform/registry.h"
#include "ui/dialogs.h"
#include "uninstall/install_journal.h"

const char kUninstallListKey[] = "Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kSharedCountsKey[] = "Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kFontsKey[] = "Microsoft\\Windows NT\\CurrentVersion\\Fonts";

namespace {


// Takes back one reference (in the open SharedDLLs key).
void ReleaseCount(const String& path) {
    // Journaled first: an undo that finds it not lowered raises one count
    // too many, which keeps a file rather than losing another product's.
    JournalAdd(JournalCountReleased, path);
    int32 count = ReadInteger(path.Text(), 0);
    if (count <= 1) {
        DeleteValue(path.Text());
    } else {
        WriteInteger(path.Text(), count - 1);
    }
}

// Journaled once raised: an undo never lowers a count this run did not raise.
void RaiseCount(const String& path) {
    WriteInteger(path.Text(), ReadInteger(path.Text(), 0) + 1);
    JournalAdd(JournalCountRaised, path);
}

// Takes back one reference of every item of a previous installation's list.
void ReleasePreviousCounts(const String& sharedDirectory, const String& previousList) {
    String item;
    int32 pos = 0;
    while (TakeSharedFileItem(previousList, pos, item)) {
        String path = SharedFilePath(item, sharedDirectory);
        if (!path.IsEmpty()) ReleaseCount(path);
    }
}

// The outermost key of the path that does not exist yet is what this run
// makes: an undo deletes it with everything below.
void JournalFirstMissingKey(const String& registryPath, bool currentUser) {
    if (!JournalActive()) return;
    String path = ProductKeyPath(registryPath);
    int32 from = 0;
    while (from <= path.Length()) {
        int32 end = path.Find('\\', from);
        if (end < 0) end = path.Length();
        String prefix;
        prefix.Assign(path.Text(), end);
        if (!prefix.IsEmpty() && !SoftwareKeyExists(prefix.Text(), currentUser)) {
            JournalAdd(JournalKey, prefix, currentUser ? "HKCU" : "HKLM");
            return;
        }
        from = end + 1;
    }
}

// The stored files' total in whole kilobytes, rounded up, as a DWORD holds it.
uint32 KilobytesRoundedUp(int64 bytes) {
    if (bytes <= 0) return 0;
    int64 kilobytes = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    return kilobytes > int64(0xFFFFFFFFu) ? 0xFFFFFFFFu : uint32(kilobytes);
}

void WriteDword(const char* name, uint32 value) { WriteInteger(name, int32(value)); }

// Values 1 to 23 of the record and the four the list of installed
// programs shows besides; individual results are not examined.
void WriteRecordValues(const UninstallRecordValues& values, const String& command) {
    WriteString("UninstallString", command.Text());
    WriteString("QuietUninstallString", UninstallCommand(values.uninstallerPath, values.productName, true).Text());
    WriteString("DisplayName", values.productName.Text());
    WriteString("InstallSource", values.installerPath.Text());
    WriteString("DisplayVersion", values.version.Text(), RegRemoveIfEmpty);
    WriteString("Publisher", values.publisher.Text(), RegRemoveIfEmpty);
    WriteString("InstallLocation", values.installDirectory.Text());
    WriteString("InstallDate", NowStampText().Text());
    if (HasVersionParts(values.version)) {
        WriteInteger("VersionMajor", VersionMajor(values.version));
        WriteInteger("VersionMinor", VersionMinor(values.version));
    } else {
        // A previous installation's parts would belong to another version.
        DeleteValue("VersionMajor");
        DeleteValue("VersionMinor");
    }
    WriteString("ProductRegistry", values.registryPath.Text(), RegRemoveIfEmpty);
    WriteString("ProductStartMenu", values.startMenuFolder.Text(), RegRemoveIfEmpty);
    WriteString("SharedPath", values.sharedDirectory.Text(), RegRemoveIfEmpty);
    WriteString("ProductFonts", values.fontsList.Text(), RegRemoveIfEmpty);
    WriteInteger("ProductFlags", values.flags);
    WriteString("UninstallBatch1", values.uninstallBatch1.Text(), RegRemoveIfEmpty);
    WriteString("UninstallBatch2", values.uninstallBatch2.Text(), RegRemoveIfEmpty);
    WriteString("SharedFiles", values.sharedFilesList.Text(), RegRemoveIfEmpty);
    WriteString("DisplayTitle", values.displayTitle.Text());
    if (values.flags & (CustomColors | BackgroundFile)) {
        WriteDword("TitleColor", values.titleColor);
    } else {
        DeleteValue("TitleColor");
    }
    WriteDword("TopColor", values.topColor);
    WriteDword("BottomColor", values.bottomColor);
    WriteBool("MonoColor", values.monoColor);

    WriteString("DisplayIcon", values.displayIcon.Text(), RegRemoveIfEmpty);
    WriteDword("EstimatedSize", KilobytesRoundedUp(values.estimatedSizeBytes));
    WriteInteger("NoModify", 1);
    WriteInteger("NoRepair", 1);
}

}  // namespace

String UninstallKeyPath(const String& productName) { return JoinPath(kUninstallListKey, productName); }

bool IsRegistrableProductName(const String& productName) {
    return !productName.IsEmpty() && productName.Find('\\') < 0;
}

String UninstallCommand(const String& uninstallerPath, const String& productName, bool quiet) {
    String command("\"");
    command.Append(uninstallerPath);
    command.Append(quiet ? "\" /a /u:\"" : "\" /u:\"");
    command.Append(productName);
    command.Append('"');
    return command;
}

String CountSharedFiles(const String& sharedDirectory, const Vector<String>& sharedNames,
                        const String& previousList, String& problems) {
    if (OpenSoftwareKey(kSharedCountsKey, false) == OpenFailed) {
        problems.Append("REGISTRY ERROR:  Unable to increment common file reference counts.\r\n\r\n");
        // Nothing was counted; the registration still in place holds its
        // references, which nothing has taken back.
        return previousList;
    }
    if (!previousList.IsEmpty()) ReleasePreviousCounts(sharedDirectory, previousList);

    // Built by doubling: archives with thousands of shared files exist.
    TextBuilder list;
    Vector<String>& names = const_cast<Vector<String>&>(sharedNames);  // read only; At() is not const
    for (int32 i = 0; i < names.Count(); ++i) {
        const String& name = names.At(i);
        // Only what lies inside the shared directory is counted, so the
        // uninstaller finds each item where it was counted.
        if (name.IsEmpty() || !IsContainedName(name)) continue;
        String path = SharedFilePath(name, sharedDirectory);
        if (path.IsEmpty()) continue;
        RaiseCount(path);
        AppendSharedFileItem(list, name);
    }
    CloseKey();
    return list.Take();
}

void PrepareProductKeys(const String& registryPath, String& problems) {
    if (registryPath.IsEmpty()) return;
    SetProgressText("%s", "Preparing registry...");
    bool created = true;
    const bool hives[] = {false, true};  // machine, then user
    for (bool currentUser : hives) {
        JournalFirstMissingKey(registryPath, currentUser);
        if (OpenSoftwareKey(registryPath.Text(), currentUser) == OpenFailed) {
            created = false;
        } else {
            CloseKey();
        }
    }
    if (!created) {
        problems.Append("Failure creating registry keys: ");
        problems.Append(registryPath);
        problems.Append("\r\n\r\n");
    }
}

bool WriteUninstallRecord(const UninstallRecordValues& values, String& problems) {
    SetProgressText("%s", "Storing uninstall info...");
    bool written = false;
    if (IsRegistrableProductName(values.productName) &&
        OpenSoftwareKey(UninstallKeyPath(values.productName).Text(), false) != OpenFailed) {
        String command = UninstallCommand(values.uninstallerPath, values.productName, false);
        WriteRecordValues(values, command);
        written = ReadString("UninstallString", "") == command;
        CloseKey();
    }
    if (!written) {
        problems.Append("Unable to register the uninstall information.  Uninstall will not work properly.\r\n\r\n");
    }
    return written;
}

void CountFonts(const String& fontsFolder, const String& fontsList, const String& previousList) {
    if (fontsList.IsEmpty() && previousList.IsEmpty()) return;
    if (OpenSoftwareKey(kSharedCountsKey, false) == OpenFailed) return;
    String title, file;
    int32 pos = 0;
    while (TakeFontItem(previousList, pos, title, file)) {
        if (IsContainedName(file)) ReleaseCount(JoinPath(fontsFolder, file));
    }
    pos = 0;
    while (TakeFontItem(fontsList, pos, title, file)) {
        if (!IsContainedName(file)) continue;
        RaiseCount(JoinPath(fontsFolder, file));
    }
    CloseKey();
}

RegisteredLists ReadRegisteredLists(const String& productName) {
    RegisteredLists lists;
    if (!IsRegistrableProductName(productName)) return lists;
    if (OpenSoftwareKey(UninstallKeyPath(productName).Text(), false, RegOpenOnly) == OpenFailed) return lists;
    // A key without an uninstall command is no registration: nothing it
    // names was ever counted by a finished installation.
    if (ValueExists("UninstallString")) {
        lists.sharedFiles = ReadString("SharedFiles", "");
        lists.fonts = ReadString("ProductFonts", "");
    }
    CloseKey();
    return lists;
}

int32 SharedCount(const String& path) {
    if (path.IsEmpty() || OpenSoftwareKey(kSharedCountsKey, false, RegOpenOnly) == OpenFailed) return 0;
    int32 count = ReadInteger(path.Text(), 0);
    CloseKey();
    return count < 0 ? 0 : count;
}

void SetSharedCount(const String& path, int32 count) {
    if (path.IsEmpty() || OpenSoftwareKey(kSharedCountsKey, false, RegOpenOnly) == OpenFailed) return;
    if (count <= 0) {
        DeleteValue(path.Text());
    } else {
        WriteInteger(path.Text(), count);
    }
    CloseKey();
}

String ProductKeyPath(const String& registryPath) {
    String path(registryPath);
    path.TrimRightSet("\\ ");
    return path;
}

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
