// One entry of the system's Path value: adding the installation directory
// and taking it out again without touching any other entry.
//
// The value is handled as the registry stores it, UTF-16LE bytes, so that
// no character of another entry ever passes through a code page. Its
// entries are the units before the first zero unit, split at ";"; the
// terminating zero and anything after it are kept as they are.
#ifndef QUILLPACK_RECORDS_SYSTEM_PATH_TEXT_H
#define QUILLPACK_RECORDS_SYSTEM_PATH_TEXT_H

#include "core/string.h"

enum PathEdit {
    PathEdited,     // the value changed
    PathUnchanged,  // there was nothing to do
    PathRefused,    // the directory cannot be one entry (empty, or holds ";" or a zero)
};

// Two entries name the same folder: equal unit for unit once trailing
// backslashes are gone, letters A-Z in either case.
bool SamePathEntry(const String& a, const String& b);

// Appends directory (UTF-16LE, no terminator) as the last entry unless an
// entry equal to it by SamePathEntry is there. After ";" when the text has
// entries; when the text ends with ";", before a new closing ";", so that
// removing the entry with the separator after it restores the text.
PathEdit AddPathEntry(String& value, const String& directory);

// Removes the entry equal to entry unit for unit or, failing that, the first
// equal by SamePathEntry, together with the ";" after it, or for the last
// entry the ";" before it.
PathEdit RemovePathEntry(String& value, const String& entry);

#endif  // QUILLPACK_RECORDS_SYSTEM_PATH_TEXT_H
