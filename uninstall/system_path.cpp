#include "uninstall/system_path.h"

#include "platform/registry.h"
#include "uninstall/install_journal.h"
#include "records/system_path_text.h"
#include "uninstall/registration.h"

const char kEnvironmentKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kSystemPathEntryValue[] = "SystemPathEntry";

namespace {

const char kPathValue[] = "Path";
// A hung window is skipped after this long instead of holding up the run.
const UINT kBroadcastMilliseconds = 5000;

// The ANSI text as UTF-16LE units, the registry's own form.
bool ToUnits(const String& text, String& units) {
    units.Clear();
    if (text.IsEmpty()) return true;
    int count = MultiByteToWideChar(CP_ACP, 0, text.Text(), text.Length(), nullptr, 0);
    if (count <= 0) return false;
    units.SetLength(count * int32(sizeof(wchar_t)));
    return MultiByteToWideChar(CP_ACP, 0, text.Text(), text.Length(), reinterpret_cast<wchar_t*>(units.Buffer()),
                               count) == count;
}

PathValueResult EditPathValue(HKEY root, const char* keyPath, const String& text, bool add) {
    String units;
    if (!ToUnits(text, units)) return PathValueFailed;
    DWORD type = REG_NONE;
    String value;
    LONG read = ReadRawValue(root, keyPath, kPathValue, type, value);
    if (read == ERROR_FILE_NOT_FOUND) {
        if (!add) return PathValueUnchanged;
        type = REG_EXPAND_SZ;
        value.AppendBytes("\0\0", 2);
    } else if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        // A value of another type is not ours to reinterpret.
        return PathValueFailed;
    }
    PathEdit edit = add ? AddPathEntry(value, units) : RemovePathEntry(value, units);
    if (edit == PathRefused) return PathValueFailed;
    if (edit == PathUnchanged) return PathValueUnchanged;
    return WriteRawValue(root, keyPath, kPathValue, type, value) == ERROR_SUCCESS ? PathValueChanged
                                                                                  : PathValueFailed;
}

String CannotModify(const String& directory, bool add) {
    String message("Unable to modify the system Path value.  You will need to manually ");
    message += add ? "add " : "remove ";
    message += directory;
    message += add ? " to" : " from";
    message += " the PATH environment variable.\r\n\r\n";
    return message;
}

// Running programs that listen (the shell among them) read the new value.
void AnnounceEnvironment() {
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                        SMTO_ABORTIFHUNG, kBroadcastMilliseconds, nullptr);
}

bool OpenRegistration(const String& productName) {
    return IsRegistrableProductName(productName) &&
           OpenSoftwareKey(UninstallKeyPath(productName).Text(), false, RegOpenOnly) != OpenFailed;
}

}  // namespace

PathValueResult AddToPathValue(HKEY root, const char* keyPath, const String& directory) {
    return EditPathValue(root, keyPath, directory, true);
}

PathValueResult RemoveFromPathValue(HKEY root, const char* keyPath, const String& entry) {
    return EditPathValue(root, keyPath, entry, false);
}

String AddToSystemPath(const String& directory, const String& productName) {
    PathValueResult result = AddToPathValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, directory);
    if (result == PathValueFailed) return CannotModify(directory, true);
    if (result == PathValueUnchanged) return String();
    JournalAdd(JournalPathEntry, directory);
    // Without an uninstall key there is no uninstaller to take it out. A key
    // that cannot be written here fails the registration that follows, which
    // reports it.
    if (OpenRegistration(productName)) {
        WriteString(kSystemPathEntryValue, directory.Text());
        CloseKey();
    }
    AnnounceEnvironment();
    return String();
}

String RemoveFromSystemPath(const String& directory, const String& productName) {
    if (!OpenRegistration(productName)) return String();
    String entry = ReadString(kSystemPathEntryValue, "");
    String message;
    // An installation that found the directory there already added nothing.
    if (!entry.IsEmpty()) {
        PathValueResult result = RemoveFromPathValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, entry);
        if (result == PathValueFailed) {
            message = CannotModify(directory, false);
        } else {
            DeleteValue(kSystemPathEntryValue);
            if (result == PathValueChanged) AnnounceEnvironment();
        }
    }
    CloseKey();
    return message;
}
