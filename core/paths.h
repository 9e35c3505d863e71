// Path text: joining, splitting, completing and checking paths with "\" as
// the separator. Pure text handling, no file-system access, so it is the
// same everywhere and tested natively. Letters A-Z compare without case.
#ifndef QUILLPACK_CORE_PATHS_H
#define QUILLPACK_CORE_PATHS_H

#include "core/string.h"

// The directory and the name joined with exactly one "\". An empty name
// gives the directory; a name starting with "\" replaces a trailing "\" of
// the directory; "c:" and "app" give "c:app".
String JoinPath(const String& directory, const String& name);

// The path without its last component. A drive root and a bare drive are
// their own parents (c:\ and c:); a relative name or "\name" has none (empty).
String ParentDirectory(const String& path);

// Replaces the path by its parent; false (path unchanged) when it has none.
bool StripLastComponent(String& path);

// Text after the last "\", else after the first ":", else the whole path.
String FileNamePart(const String& path);

// Splits at the last "\" (directory keeps it), else after a drive "x:".
// False only when there is neither and the name is empty.
bool SplitPath(const String& path, String& directory, String& name);

// Appends "." and the extension when the last component has no "." yet.
// A null extension appends nothing. False when the component already has one.
bool AddExtension(String& path, const char* extension);

// A bare name (no "\" or ":") becomes JoinPath(base, name).
bool QualifyName(String& name, const String& base);

// Completes a drive-relative, rooted or relative path against a full base.
// False (path unchanged) for a full path or a base that is not full.
bool MakeAbsolute(String& path, const String& base);

// "x:\..." (the first character is not examined).
bool IsFullPath(const String& path);

// Upper-case drive letter of "x:...", or '\0'.
char DriveLetterOf(const String& path);

// "x:\" with the letter as written, or the empty text.
String DriveRootOf(const String& path);

// Acceptable as an installation directory: none of / " < > | * ? : ;
// apart from the drive's colon; may be enclosed in double quotes.
bool IsLegalPath(const String& path);

// Equal ignoring case once every trailing "\" is removed from both.
bool SamePath(const String& a, const String& b);

// True when path begins with prefix, ignoring the case of A-Z.
bool StartsWithPath(const String& path, const String& prefix);

#endif  // QUILLPACK_CORE_PATHS_H
