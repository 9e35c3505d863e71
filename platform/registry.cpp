#include "platform/registry.h"

#include <string.h>

#include "core/paths.h"
#include "core/stack.h"
#include "platform/handles.h"

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

// Opens an existing key for the moment of one operation; never creates.
LONG OpenExisting(HKEY parent, const char* path, RegistryKey& key) {
    return RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, key.Receive());
}

// Whether the key has neither sub-keys nor values; unknown when the query
// fails.
bool QueryEmpty(HKEY key, bool& empty) {
    DWORD subKeys = 0, values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    empty = subKeys == 0 && values == 0;
    return true;
}

int32 ListSubKeysOf(HKEY key, List<String>* names) {
    char name[kKeyNameRoom];
    int32 count = 0;
    for (DWORD index = 0;; ++index) {
        LONG result = RegEnumKeyA(key, index, name, kKeyNameRoom);
        if (result != ERROR_SUCCESS) {
            SetLastError(result == ERROR_NO_MORE_ITEMS ? 0 : static_cast<DWORD>(result));
            break;
        }
        names->Append(String(name));
        ++count;
    }
    return count;
}

// Deletes parent\name with everything below it. Only existing keys are
// opened, so a missing key is left missing (and counts as deleted) rather
// than made in order to be deleted.
bool DeleteTree(HKEY parent, const char* name, unsigned options) {
    // An empty name would name the parent itself and take everything below it.
    if (!name || !name[0]) return false;
    {
        RegistryKey key;
        LONG opened = OpenExisting(parent, name, key);
        if (opened == ERROR_FILE_NOT_FOUND) return true;
        if (opened == ERROR_SUCCESS) {
            if (options & RegOnlyIfEmpty) {
                bool empty = false;
                // A key whose contents cannot be told is not taken for empty.
                if (!QueryEmpty(key.Get(), empty) || !empty) return false;
            }
            // Collect first: deleting while enumerating would shift the indexes.
            List<String> children;
            ListSubKeysOf(key.Get(), &children);
            Cursor cursor;
            for (String* child = children.GetFirst(cursor); child; child = children.GetNext(cursor)) {
                DeleteTree(key.Get(), child->Text(), options);
            }
        }
    }
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

// Deletes child below an existing parent; a missing parent has nothing to
// delete and is not created either.
bool DeleteBelow(HKEY root, const String& parentPath, const char* child, unsigned options) {
    RegistryKey parent;
    LONG opened = OpenExisting(root, parentPath.Text(), parent);
    if (opened == ERROR_FILE_NOT_FOUND) return child && child[0];
    if (opened != ERROR_SUCCESS) return false;
    return DeleteTree(parent.Get(), child, options);
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
    RegistryKey key;
    return OpenExisting(SoftwareRoot(currentUser), SoftwarePath(path).Text(), key) == ERROR_SUCCESS;
}

bool IsKeyEmpty() {
    bool empty = true;
    if (current && !QueryEmpty(current, empty)) return true;
    return empty;
}

int32 ListSubKeys(List<String>* names) {
    if (!current || !names) return 0;
    return ListSubKeysOf(current, names);
}

bool DeleteSubKey(const char* name, unsigned options) {
    if (!current) return false;
    return DeleteTree(current, name, options);
}

bool DeleteSoftwareKey(const char* path, bool currentUser, unsigned options) {
    if (!path) return false;
    String parent, child;
    SplitPath(SoftwarePath(path), parent, child);
    return DeleteBelow(SoftwareRoot(currentUser), parent, child.Text(), options);
}

bool DeleteSoftwareSubKey(const char* parentPath, const char* childName, bool currentUser, unsigned options) {
    if (!parentPath) return false;
    return DeleteBelow(SoftwareRoot(currentUser), SoftwarePath(parentPath), childName, options);
}

bool DeleteValue(const char* name) {
    if (!current || !name) return false;
    return RegDeleteValueA(current, name) == ERROR_SUCCESS;
}

bool ValueExists(const char* name) {
    if (!current) return false;
    return RegQueryValueExA(current, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool ReadValue(const char* name, RegistryValue& value) {
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

String ReadString(const char* name, const char* defaultText) {
    RegistryValue value;
    if (!ReadValue(name, value)) return String(defaultText);
    return value.ToText();
}

int32 ReadInteger(const char* name, int32 defaultValue) {
    RegistryValue value;
    if (!ReadValue(name, value)) return defaultValue;
    return value.ToInteger();
}

bool ReadBool(const char* name, bool defaultValue) {
    RegistryValue value;
    if (!ReadValue(name, value)) return defaultValue;
    return value.ToBool();
}

String ReadPathValue(HKEY root, const char* path, const char* defaultText) {
    if (!path || !path[0]) return String(defaultText);
    String keyPath, valueName;
    SplitPath(path, keyPath, valueName);
    keyPath.DropLastIf('\\');
    if (OpenKey(root, keyPath.Text(), RegOpenOnly) == OpenFailed) return String(defaultText);
    String text = ReadString(valueName.Text(), "");
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

namespace {

// Value names are at most 16,383 characters.
const int kValueNameRoom = 16384;
// A value may change size between asking for it and reading it.
const int kReadAttempts = 4;

// The name as the wide API wants it, in a String used as a buffer.
bool WideName(const char* name, String& wide) {
    if (!name) name = "";
    int units = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (units <= 0 || units > kValueNameRoom) return false;
    wide.SetLength(units * int32(sizeof(wchar_t)));
    return MultiByteToWideChar(CP_ACP, 0, name, -1, reinterpret_cast<wchar_t*>(wide.Buffer()), units) == units;
}

const wchar_t* WideText(const String& wide) { return reinterpret_cast<const wchar_t*>(wide.Text()); }

}  // namespace

LONG ReadRawValue(HKEY root, const char* keyPath, const char* name, DWORD& type, String& data) {
    data.Clear();
    type = REG_NONE;
    String wideName;
    if (!WideName(name, wideName)) return ERROR_INVALID_PARAMETER;
    RegistryKey key;
    LONG result = RegOpenKeyExA(root, keyPath ? keyPath : "", 0, KEY_QUERY_VALUE, key.Receive());
    if (result != ERROR_SUCCESS) return result;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD size = 0;
        result = RegQueryValueExW(key.Get(), WideText(wideName), nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS) return result;
        if (size == 0) return ERROR_SUCCESS;
        if (size > DWORD(kMaxStringLength)) return ERROR_NOT_ENOUGH_MEMORY;
        data.SetLength(int32(size));
        DWORD got = size;
        result = RegQueryValueExW(key.Get(), WideText(wideName), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.Buffer()), &got);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) {
            data.Clear();
            return result;
        }
        // It may have shrunk in between: never more than arrived.
        data.SetLength(int32(got < size ? got : size));
        return ERROR_SUCCESS;
    }
    data.Clear();
    return ERROR_MORE_DATA;
}

LONG WriteRawValue(HKEY root, const char* keyPath, const char* name, DWORD type, const String& data) {
    String wideName;
    if (!WideName(name, wideName)) return ERROR_INVALID_PARAMETER;
    RegistryKey key;
    LONG result = RegOpenKeyExA(root, keyPath ? keyPath : "", 0, KEY_SET_VALUE, key.Receive());
    if (result != ERROR_SUCCESS) return result;
    return RegSetValueExW(key.Get(), WideText(wideName), 0, type, reinterpret_cast<const BYTE*>(data.Text()),
                          DWORD(data.Length()));
}
