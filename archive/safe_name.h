// The one rule for names that an archive joins to a base folder (record
// names, shortcut names, the start-menu folder, the publisher, font file
// names): they must stay inside that folder, as tar and unzip insist for
// their member names. Shared by the builder, its reader and the installer.
#ifndef QUILLPACK_ARCHIVE_SAFE_NAME_H
#define QUILLPACK_ARCHIVE_SAFE_NAME_H

#include "core/string.h"

// True when joining `name` to any folder gives a path inside that folder:
// no drive ("x:") or any other colon, no leading "\" or "/", no component
// made only of dots and spaces other than "." (Windows trims trailing dots
// and spaces, so ".. " would climb like ".."), and no component that is a
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension):
// "nul.txt" below any folder opens the device. "/" counts as a separator.
// The empty name is safe here; callers that need a name say so.
bool IsContainedName(const char* name);
inline bool IsContainedName(const String& name) { return IsContainedName(name.Text()); }

#endif  // QUILLPACK_ARCHIVE_SAFE_NAME_H
