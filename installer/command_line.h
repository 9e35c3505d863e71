// The installer's command line: splitting into atoms and applying them.
#ifndef QUILLPACK_INSTALLER_COMMAND_LINE_H
#define QUILLPACK_INSTALLER_COMMAND_LINE_H

#include "core/string.h"

// Atoms beyond this many are ignored without a message.
const int32 kMaxAtoms = 19;

struct CommandLineOptions {
    bool automatic = false;
    bool uninstall = false;
    String directory;    // /d:, overrides the archive's default directory
    String productName;  // /n: or /u:, the later one wins
    String logPath;      // /log:, a file that gets this run's log entry too
};

// Splits `text` (the command line after the program name) and applies each
// atom. A bad atom ends the program with the usage box.
void ParseCommandLine(const char* text, CommandLineOptions& options);

// Applies one atom; used by ParseCommandLine.
void ApplyAtom(String atom, CommandLineOptions& options);

[[noreturn]] void UsageError(const char* message);

#endif  // QUILLPACK_INSTALLER_COMMAND_LINE_H
