#include "platform/registry.h"

#include <string.h>

#include "core/paths.h"

// The key stack's fatal text names its element type.
template <>
struct TypeName<HKEY> {
    static const char* Name() { return "HKEY"; }
};

namespace {

const char kSource[] = "registry";
// First query size: most values the program reads fit.
const DWORD kFirstQuerySize = 32;
// Key names are at most 255 characters.
const DWORD kKeyNameRoom = 256;

HKEY current = nullptr;
Stack<HKEY> saved;
RegistryCreateKeyCall createKey = RegCreateKeyExA;

HKEY SoftwareRoot(bool currentUser) {
    return currentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

String SoftwarePath(const char* path) {
    String full("Software\\");
    full.Append(path);
    return full;
}

void MakeCurrent(HKEY key) {
    saved.Push(current);
    current = key;
}

// The same rules for a value that fitted the first query and one read in
// a second query, so the type alone decides what a value reads as.
bool Decode(DWORD type, const byte* data, DWORD size, RegistryValue& value) {
    switch (type) {
    case REG_SZ:
        // The terminating zero is not content; a value stored without one
        // keeps all its characters.
        if (size > 0 && data[size - 1] == 0) --size;
        value.SetKind(RegistryValue::Text).Assign(data, static_cast<int32>(size));
        return true;
    case REG_BINARY:
    case REG_MULTI_SZ:
        value.SetKind(RegistryValue::Bytes).Assign(data, static_cast<int32>(size));
        return true;
    case REG_DWORD:
        if (size != 4) return false;
        value.SetInteger(static_cast<int32>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                            (static_cast<uint32>(data[3]) << 24)));
        return true;
    default:
        return false;
    }
}

}  // namespace

void RegistryValue::SetInteger(int32 value) {
    kind_ = Integer;
    integer_ = value;
    data_.Clear();
}

String& RegistryValue::SetKind(Kind kind) {
    kind_ = kind;
    integer_ = 0;
    return data_;
}

bool RegistryValue::ToBool() const {
    return kind_ == Integer ? integer_ != 0 : !data_.IsEmpty();
}

int32 RegistryValue::ToInteger() const {
    return kind_ == Integer ? integer_ : TextToInt(data_.Text());
}

String RegistryValue::ToText() const {
    if (kind_ != Integer) return data_;
    String text;
    text.Format("%d", integer_);
    return text;
}

RegistryCreateKeyCall ReplaceRegistryCreateKey(RegistryCreateKeyCall call) {
    RegistryCreateKeyCall previous = createKey;
    createKey = call ? call : RegCreateKeyExA;
    return previous;
}

int OpenKey(HKEY root, const char* subKey, unsigned options) {
    if (!subKey) subKey = "";
    HKEY key = nullptr;
    int result;
    if (options & RegOpenOnly) {
        if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return OpenFailed;
        result = OpenedExisting;
    } else {
        DWORD disposition = 0;
        char noClass[] = "";
        if (createKey(root, subKey, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      &disposition) != ERROR_SUCCESS) {
            return OpenFailed;
        }
        if (disposition == REG_CREATED_NEW_KEY) {
            result = CreatedNew;
        } else if (disposition == REG_OPENED_EXISTING_KEY) {
            result = OpenedExisting;
        } else {
            FatalCheck(kSource, 795);
        }
    }
    MakeCurrent(key);
    return result;
}

int OpenSubKey(const char* subKey, unsigned options) {
    if (!current) return OpenFailed;
    return OpenKey(current, subKey, options);
}

int OpenSoftwareKey(const char* path, bool currentUser, unsigned options) {
    if (!path) return OpenFailed;
    return OpenKey(SoftwareRoot(currentUser), SoftwarePath(path).Text(), options);
}

void CloseKey() {
    if (current) RegCloseKey(current);
    // Every open is paired with one close; an extra close is a program fault
    // and stops with the stack's own check.
    current = saved.Pop();
}

HKEY CurrentKey() { return current; }

bool SoftwareKeyExists(const char* path, bool currentUser) {
    if (!path) return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(SoftwareRoot(currentUser), SoftwarePath(path).Text(), 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool IsKeyEmpty() {
    if (!current) return true;
    DWORD subKeys = 0, values = 0;
    if (RegQueryInfoKeyA(current, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return true;
    }
    return subKeys == 0 && values == 0;
}

int32 ListSubKeys(List<String>* names) {
    if (!current || !names) return 0;
    char name[kKeyNameRoom];
    int32 count = 0;
    for (DWORD index = 0;; ++index) {
        LONG result = RegEnumKeyA(current, index, name, kKeyNameRoom);
        if (result != ERROR_SUCCESS) {
            SetLastError(result == ERROR_NO_MORE_ITEMS ? 0 : static_cast<DWORD>(result));
            break;
        }
        names->Append(String(name));
        ++count;
    }
    return count;
}

bool DeleteSubKey(const char* name, unsigned options) {
    // An empty name would name the current key itself and take everything
    // below it.
    if (!current || !name || !name[0]) return false;
    if (options & RegOnlyIfEmpty) {
        if (OpenSubKey(name, 0) != OpenFailed) {
            bool empty = IsKeyEmpty();
            CloseKey();
            if (!empty) return false;
        }
    }
    if (OpenSubKey(name, 0) != OpenFailed) {
        // Collect first: deleting while enumerating would shift the indexes.
        List<String> children;
        ListSubKeys(&children);
        Cursor cursor;
        for (String* child = children.GetFirst(cursor); child; child = children.GetNext(cursor)) {
            DeleteSubKey(child->Text(), options);
        }
        CloseKey();
    }
    return RegDeleteKeyA(current, name) == ERROR_SUCCESS;
}

bool DeleteSoftwareKey(const char* path, bool currentUser, unsigned options) {
    if (!path) return false;
    String parent, child;
    SplitPath(SoftwarePath(path), parent, child);
    if (OpenKey(SoftwareRoot(currentUser), parent.Text(), 0) == OpenFailed) return false;
    bool deleted = DeleteSubKey(child.Text(), options);
    CloseKey();
    return deleted;
}

bool DeleteSoftwareSubKey(const char* parentPath, const char* childName, bool currentUser, unsigned options) {
    if (!parentPath) return false;
    if (OpenSoftwareKey(parentPath, currentUser, 0) == OpenFailed) return false;
    bool deleted = DeleteSubKey(childName, options);
    CloseKey();
    return deleted;
}

bool DeleteValue(const char* name) {
    if (!current || !name) return false;
    return RegDeleteValueA(current, name) == ERROR_SUCCESS;
}

bool ValueExists(const char* name) {
    if (!current) return false;
    return RegQueryValueExA(current, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool ReadValue(const char* name, RegistryValue& value, unsigned options) {
    if (!current) return false;
    byte first[kFirstQuerySize];
    DWORD type = 0;
    DWORD size = kFirstQuerySize;
    LONG result = RegQueryValueExA(current, name, nullptr, &type, first, &size);
    if (result == ERROR_FILE_NOT_FOUND) return false;
    if (result == ERROR_SUCCESS) return Decode(type, first, size, value);
    if (result != ERROR_MORE_DATA) FatalCheck(kSource, 360);

    if (type != REG_SZ && type != REG_BINARY && type != REG_MULTI_SZ) return false;
    String buffer;
    buffer.SetLength(static_cast<int32>(size));
    DWORD got = size;
    if (RegQueryValueExA(current, name, nullptr, &type, reinterpret_cast<byte*>(buffer.Buffer()), &got) !=
        ERROR_SUCCESS) {
        return false;
    }
    // The value may have shrunk in between: never more than arrived.
    if (got > size) got = size;
    return Decode(type, reinterpret_cast<const byte*>(buffer.Text()), got, value);
}

String ReadString(const char* name, const char* defaultText, unsigned options) {
    RegistryValue value;
    if (!ReadValue(name, value, options)) return String(defaultText);
    return value.ToText();
}

int32 ReadInteger(const char* name, int32 defaultValue, unsigned options) {
    RegistryValue value;
    if (!ReadValue(name, value, options)) return defaultValue;
    return value.ToInteger();
}

bool ReadBool(const char* name, bool defaultValue, unsigned options) {
    RegistryValue value;
    if (!ReadValue(name, value, options)) return defaultValue;
    return value.ToBool();
}

String ReadPathValue(HKEY root, const char* path, const char* defaultText, unsigned options) {
    if (!path || !path[0]) return String(defaultText);
    String keyPath, valueName;
    SplitPath(path, keyPath, valueName);
    keyPath.DropLastIf('\\');
    if (OpenKey(root, keyPath.Text(), 0) == OpenFailed) return String(defaultText);
    String text = ReadString(valueName.Text(), "", options);
    CloseKey();
    return text;
}

bool WriteString(const char* name, const char* text, unsigned options) {
    if (!current) return false;
    if (!text) text = "";
    if ((options & RegRemoveIfEmpty) && !text[0]) return DeleteValue(name);
    DWORD size = static_cast<DWORD>(strlen(text) + 1);
    return RegSetValueExA(current, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) ==
           ERROR_SUCCESS;
}

bool WriteInteger(const char* name, int32 value, unsigned options) {
    if (!current) return false;
    if ((options & RegRemoveIfEmpty) && value == 0) {
        DeleteValue(name);
        return true;
    }
    byte data[4] = {static_cast<byte>(value), static_cast<byte>(value >> 8), static_cast<byte>(value >> 16),
                    static_cast<byte>(value >> 24)};
    return RegSetValueExA(current, name, 0, REG_DWORD, data, 4) == ERROR_SUCCESS;
}

bool WriteBool(const char* name, bool flag) { return WriteInteger(name, flag ? 1 : 0, 0); }
