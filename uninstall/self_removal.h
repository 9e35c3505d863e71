// Deleting the running uninstaller once it has exited: a program cannot
// delete its own file, so a small batch file keeps trying after it is gone.
#ifndef QUILLPACK_UNINSTALL_SELF_REMOVAL_H
#define QUILLPACK_UNINSTALL_SELF_REMOVAL_H

#include "core/string.h"
#include "core/vector.h"

enum SelfRemovalResult {
    SelfRemovalStarted = 0,
    SelfRemovalNotWritten = 1,
    SelfRemovalNotStarted = 2,
};

// The batch text that deletes program, then each folder in order when
// empty, then itself. Every path is quoted with its % doubled, so no path
// text runs as a command or expands a variable; it waits about a second
// between tries and gives up after about a minute rather than spinning
// forever.
String SelfRemovalScript(const String& program, const Vector<String>& folders, const String& batchPath);

// Deletes the registered uninstaller (once this process has exited, when it
// is the one running) and then the folders when empty: writes the batch
// into the user's temporary folder under a name of its own, starts it
// minimised in the background and raises this process so that it ends
// first. Never the running program when that is another file.
SelfRemovalResult RemoveUninstaller(const String& uninstaller, const Vector<String>& folders);

#endif  // QUILLPACK_UNINSTALL_SELF_REMOVAL_H
