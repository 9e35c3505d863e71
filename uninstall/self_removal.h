// Deleting the running uninstaller once it has exited: a program cannot
// delete its own file, so a small batch file keeps trying after it is gone.
#ifndef QUILLPACK_UNINSTALL_SELF_REMOVAL_H
#define QUILLPACK_UNINSTALL_SELF_REMOVAL_H

#include "core/string.h"

enum SelfRemovalResult {
    SelfRemovalStarted = 0,
    SelfRemovalNotWritten = 1,
    SelfRemovalNotStarted = 2,
};

// The batch text that deletes program, then its folder when empty, then
// itself. Every path is quoted; it waits about a second between tries and
// gives up after about a minute rather than spinning forever.
String SelfRemovalScript(const String& program, const String& batchPath);

// Writes the batch into the user's temporary folder under a name of its
// own, starts it minimised in the background and raises this process so
// that it ends first.
SelfRemovalResult RemoveUninstaller();

#endif  // QUILLPACK_UNINSTALL_SELF_REMOVAL_H
