// Starting another program, optionally waiting for it, and showing a text
// file in the system's editor.
#ifndef QUILLPACK_PLATFORM_PROCESS_H
#define QUILLPACK_PLATFORM_PROCESS_H

#include "core/string.h"

enum LaunchOption : unsigned {
    LaunchWait = 0x01,           // wait until the process has ended
    LaunchIdle = 0x04,           // idle priority class
    LaunchHigh = 0x08,           // high priority class (wins over idle)
    LaunchHidden = 0x10,         // SW_HIDE
    LaunchMaximized = 0x20,      // SW_SHOWMAXIMIZED (wins over the other two)
    LaunchMinimized = 0x40,      // SW_MINIMIZE (wins over hidden)
    LaunchReportFailure = 0x80,  // a failed start shows an error box
};

// True when the process was created (and, with LaunchWait, has ended).
// The first word of the command line names the program.
bool LaunchProcess(const char* commandLine, unsigned options);

// Opens an existing text file in notepad, maximised; a missing file is
// skipped silently, a failed start shows an error box.
void ViewDocument(const String& path);

#endif  // QUILLPACK_PLATFORM_PROCESS_H
