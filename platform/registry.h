// The one door to the Windows registry. The module keeps a current key and
// a stack of the keys that were current before, so callers open a key,
// read and write its values by name, and close it again, nesting freely.
#ifndef QUILLPACK_PLATFORM_REGISTRY_H
#define QUILLPACK_PLATFORM_REGISTRY_H

#include <windows.h>

#include "core/list.h"
#include "core/string.h"

enum RegistryOption : unsigned {
    RegRemoveIfEmpty = 0x08,  // writing 0 or empty text deletes the value
    RegOnlyIfEmpty = 0x20,    // delete a key only without sub-keys and values
    RegOpenOnly = 0x40,       // never create the key
};

// Results of OpenKey and its family.
enum OpenResult {
    OpenFailed = 0,
    OpenedExisting = 1,
    CreatedNew = 2,
};

// A value as read: integer, text (without its terminating zero) or bytes.
class RegistryValue {
public:
    enum Kind { Integer, Text, Bytes };

    RegistryValue() : kind_(Integer), integer_(0) {}

    Kind GetKind() const { return kind_; }
    void SetInteger(int32 value);
    // Text and bytes share the buffer; the caller fills Data().
    String& SetKind(Kind kind);
    String& Data() { return data_; }

    bool ToBool() const;
    int32 ToInteger() const;
    String ToText() const;

private:
    Kind kind_;
    int32 integer_;
    String data_;
};

// Opening: on success the current key is pushed and the new key becomes
// current; each success is paired with one CloseKey.
int OpenKey(HKEY root, const char* subKey, unsigned options = 0);
int OpenSubKey(const char* subKey, unsigned options = 0);
// "Software\" + path under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE.
int OpenSoftwareKey(const char* path, bool currentUser, unsigned options = 0);
// Closes the current key and returns to the one before it.
void CloseKey();
HKEY CurrentKey();
// Opens and closes at once; the current key is not touched.
bool SoftwareKeyExists(const char* path, bool currentUser);
bool IsKeyEmpty();
// Appends the current key's sub-key names; returns how many were added.
int32 ListSubKeys(List<String>* names);

// Deletes a sub-key of the current key with all its sub-keys. A missing
// sub-key counts as deleted. Deleting never creates a key: keys are only
// opened when they exist, and the current key is not touched.
bool DeleteSubKey(const char* name, unsigned options = 0);
bool DeleteSoftwareKey(const char* path, bool currentUser, unsigned options = 0);
bool DeleteSoftwareSubKey(const char* parentPath, const char* childName, bool currentUser,
                          unsigned options = 0);
bool DeleteValue(const char* name);
bool ValueExists(const char* name);

// Reading from the current key; false/default when the value is missing or
// of a type the program does not read.
bool ReadValue(const char* name, RegistryValue& value);
String ReadString(const char* name, const char* defaultText);
int32 ReadInteger(const char* name, int32 defaultValue);
bool ReadBool(const char* name, bool defaultValue);
// A value by full path: key path, last "\", value name. A missing value
// gives the empty text; an empty path or a key that cannot be opened gives
// the default.
String ReadPathValue(HKEY root, const char* path, const char* defaultText);

// Writing to the current key; false without one.
bool WriteString(const char* name, const char* text, unsigned options = 0);
bool WriteInteger(const char* name, int32 value, unsigned options = 0);
bool WriteBool(const char* name, bool flag);

// A value's type and bytes exactly as stored, under an existing key given
// by its full path; the current key is not touched. Through the wide API,
// so no character of a text value passes through the ANSI code page.
// ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a missing key or value, or the
// system's error code.
LONG ReadRawValue(HKEY root, const char* keyPath, const char* name, DWORD& type, String& data);
LONG WriteRawValue(HKEY root, const char* keyPath, const char* name, DWORD type, const String& data);

// The key creation call, replaceable so tests can reach the disposition check.
typedef LONG(WINAPI* RegistryCreateKeyCall)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM,
                                            LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
RegistryCreateKeyCall ReplaceRegistryCreateKey(RegistryCreateKeyCall call);

#endif  // QUILLPACK_PLATFORM_REGISTRY_H
