// Adding the installation directory to the search path through a PATH line
// in the boot drive's "autoexec.bat", and taking it out again.
#ifndef QUILLPACK_UNINSTALL_STARTUP_PATH_H
#define QUILLPACK_UNINSTALL_STARTUP_PATH_H

#include "core/string.h"

// The boot drive's startup file; the message for the user, empty on success.
String EditStartupPath(const String& installDirectory, bool add);
// The same on the given startup file.
String EditStartupFile(const String& startupFile, const String& installDirectory, bool add);

#endif  // QUILLPACK_UNINSTALL_STARTUP_PATH_H
