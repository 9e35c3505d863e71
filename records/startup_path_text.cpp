#include "records/startup_path_text.h"

namespace {

bool StartsLine(const String& content, int32 at) {
    char before = content.At(at - 1);
    return at == 0 || before == '\n' || before == '\r';
}

bool EndsLine(const String& content, int32 at) {
    char after = content.At(at);
    return at >= content.Length() || after == '\n' || after == '\r';
}

// First occurrence of text that begins a line and, with wholeLine, also
// ends one; -1 when there is none.
int32 FindLine(const String& content, const String& text, bool caseFlag, bool wholeLine) {
    for (int32 at = content.Find(text.Text(), 0, caseFlag); at >= 0; at = content.Find(text.Text(), at + 1, caseFlag)) {
        if (StartsLine(content, at) && (!wholeLine || EndsLine(content, at + text.Length()))) return at;
    }
    return -1;
}

}  // namespace

String StartupPathLine(const String& shortDirectory) {
    String line("PATH=%PATH%;");
    line += shortDirectory;
    line += "\r\n";
    return line;
}

String StartupPathAddition(const String& content, const String& line) {
    String addition;
    if (FindLine(content, line, true, false) >= 0) return addition;
    if (!content.EndsWith('\n')) addition = "\r\n";
    addition += line;
    return addition;
}

bool RemoveStartupPathLine(String& content, const String& line) {
    int32 at = FindLine(content, line, false, false);
    if (at >= 0) return content.Delete(at, line.Length());
    String bare(line);
    bare.TrimRightSet("\r\n");
    at = bare.IsEmpty() ? -1 : FindLine(content, bare, false, true);
    if (at < 0) return false;
    return content.Delete(at, bare.Length());
}
