// The installation directory as one entry of the system's Path value,
// which current Windows reads where it never reads the startup file. The
// entry an installation added is named in its uninstall key, so that the
// uninstaller takes out only that one, never an equal entry the user had.
#ifndef QUILLPACK_UNINSTALL_SYSTEM_PATH_H
#define QUILLPACK_UNINSTALL_SYSTEM_PATH_H

#include <windows.h>

#include "core/string.h"

// The machine's environment key, below HKEY_LOCAL_MACHINE.
extern const char kEnvironmentKey[];
// The uninstall key's value naming the entry the installation added.
extern const char kSystemPathEntryValue[];

enum PathValueResult {
    PathValueChanged,
    PathValueUnchanged,  // the entry was there (adding) or was not (removing)
    PathValueFailed,     // not read or not written, of a type other than text, or no single entry
};

// Adds directory to the "Path" value under root\keyPath unless an equal
// entry is there, keeping the value's type (a missing value is made as an
// expandable string) and every other byte. Removing takes out the entry
// named (see RemovePathEntry). The text is converted from the ANSI code page.
PathValueResult AddToPathValue(HKEY root, const char* keyPath, const String& directory);
PathValueResult RemoveFromPathValue(HKEY root, const char* keyPath, const String& entry);

// The machine's Path: the change is recorded in the product's uninstall key
// (when it exists) and announced to every window; the message for the user,
// empty on success.
String AddToSystemPath(const String& directory, const String& productName);
// Takes out the entry the product's uninstall key names, if any.
String RemoveFromSystemPath(const String& directory, const String& productName);

#endif  // QUILLPACK_UNINSTALL_SYSTEM_PATH_H
