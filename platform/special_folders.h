// The folders the shell records for the user and the machine, found in the
// registry with a fixed fallback each, and shell links (".LNK" files).
#ifndef QUILLPACK_PLATFORM_SPECIAL_FOLDERS_H
#define QUILLPACK_PLATFORM_SPECIAL_FOLDERS_H

#include "core/string.h"

// Each is read afresh from the registry; an empty or missing value falls
// back to a folder below the Windows directory (or "c:\Program Files").
String DesktopFolder();
String FontsFolder();
String StartMenuFolder();
String ProgramsFolder();
String StartupFolder();
String ProgramFilesFolder();
String CommonFilesFolder();

// Upper-case letter of the boot drive, 'C' when the setting is unusable.
char BootDrive();

// Writes a shell link. ".LNK" is appended to link unless it already holds
// that text anywhere (any case); link receives the name used. Null
// arguments or directory are left unset; an empty text is set as empty.
// False for a link path of 260 characters or more.
bool CreateShortcut(String& link, const char* target, const char* arguments, const char* workingDirectory);

// The same in the desktop or programs folder; name may hold sub-folders,
// which are created. linkOut, when given, receives the link path even
// after a failure.
bool CreateDesktopShortcut(const String& name, const char* target, const char* arguments,
                           const char* workingDirectory, String* linkOut);
bool CreateProgramsShortcut(const String& name, const char* target, const char* arguments,
                            const char* workingDirectory, String* linkOut);

#endif  // QUILLPACK_PLATFORM_SPECIAL_FOLDERS_H
