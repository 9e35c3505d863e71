// Walking a text line by line without consuming it. The line ends are those
// of String::TakeLine: CR, LF or NUL, where CR LF and LF CR count as one;
// a last line needs no line end. Taking lines from the front of a large
// text with TakeLine moves the rest each time; this walks an index instead.
#ifndef QUILLPACK_CORE_TEXT_LINES_H
#define QUILLPACK_CORE_TEXT_LINES_H

#include "core/string.h"

// The line starting at position (advanced past the line and its end).
// False, with an empty line, once position has reached the end.
bool NextLine(const String& text, int32& position, String& line);

#endif  // QUILLPACK_CORE_TEXT_LINES_H
