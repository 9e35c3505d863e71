#include "core/text_lines.h"

bool NextLine(const String& text, int32& position, String& line) {
    int32 length = text.Length();
    if (position < 0) position = 0;
    if (position >= length) {
        line.Clear();
        return false;
    }
    const char* p = text.Text();
    int32 end = position;
    while (end < length && p[end] != '\r' && p[end] != '\n' && p[end] != '\0') ++end;
    line.Assign(p + position, end - position);
    if (end < length) {
        char a = p[end];
        char b = end + 1 < length ? p[end + 1] : '\0';
        ++end;
        if ((a == '\r' && b == '\n') || (a == '\n' && b == '\r')) ++end;
    }
    position = end;
    return true;
}
