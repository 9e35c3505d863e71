// Running one of an archive's batch scripts through the command
// interpreter, with SET lines that describe the installation.
#ifndef QUILLPACK_UNINSTALL_BATCH_SCRIPT_H
#define QUILLPACK_UNINSTALL_BATCH_SCRIPT_H

#include "core/string.h"

// The expanded %comspec%, set once at start-up.
extern String CommandInterpreter;

// Writes "PLOVEK1.BAT" and "PLOVEK2.BAT" into directory, runs them there
// and waits for the end while window messages keep being dispatched, then
// deletes both. A blank script runs nothing and counts as success. False
// when a file could not be written, the interpreter could not start, or it
// never ran the script (its first command leaves a mark); the script's own
// exit status is not looked at.
bool RunBatch(const String& directory, const String& script, const String& sharedDirectory);

#endif  // QUILLPACK_UNINSTALL_BATCH_SCRIPT_H
