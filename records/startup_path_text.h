// The PATH line that an installation adds to the boot drive's startup
// batch file, and finding it again in the file's content. The line counts
// only as a whole line: text that merely contains it (a "SET PATH=..." of
// the user's, or the line of a directory whose name continues ours) is
// neither taken as ours nor cut apart.
#ifndef QUILLPACK_RECORDS_STARTUP_PATH_TEXT_H
#define QUILLPACK_RECORDS_STARTUP_PATH_TEXT_H

#include "core/string.h"

// "PATH=%PATH%;<directory>" followed by CR LF.
String StartupPathLine(const String& shortDirectory);

// What has to be appended to content so that it holds line (with its CR
// LF, letter case significant): nothing when it is there, else the line,
// after a CR LF when content does not end with LF.
String StartupPathAddition(const String& content, const String& line);

// Removes the line (with its CR LF, letter case ignored), or, failing
// that, the line's text where it stands alone without CR LF (the last line
// with no line end, or one ended by a bare LF). False with content
// unchanged when there is neither.
bool RemoveStartupPathLine(String& content, const String& line);

#endif  // QUILLPACK_RECORDS_STARTUP_PATH_TEXT_H
