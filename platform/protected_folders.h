// Folders that belong to the system or to its users as a whole, which no
// product may claim as its own to delete whole.
#ifndef QUILLPACK_PLATFORM_PROTECTED_FOLDERS_H
#define QUILLPACK_PLATFORM_PROTECTED_FOLDERS_H

#include "core/string.h"

// True for a drive root, for the Windows, program-files, common-files,
// shared application data, fonts, desktop and start-menu folders (the
// user's and the machine's), the folder holding the user profiles, every
// profile with its documents, desktop and application-data folders, and for
// every folder above one of these. Decided on the canonical paths, so no
// spelling ("\.", "/", 8.3 names, a relative path) slips past. A path that
// cannot be made canonical is protected too.
bool IsProtectedFolder(const String& directory);

#endif  // QUILLPACK_PLATFORM_PROTECTED_FOLDERS_H
