#include "records/quoted_list.h"

#include "core/paths.h"

namespace {

const char kQuote = '"';

bool IsBlankChar(char ch) { return ch == ' ' || ch == '\r' || ch == '\n' || ch == '\t'; }

// The item in double quotes with every quote inside written twice.
void AppendQuoted(TextBuilder& out, const String& item) {
    const char* text = item.Text();
    int32 length = item.Length();
    out.Append(kQuote);
    int32 from = 0;
    for (int32 i = 0; i < length; ++i) {
        if (text[i] != kQuote) continue;
        out.AppendBytes(text + from, i + 1 - from);  // up to and with the quote
        out.Append(kQuote);
        from = i + 1;
    }
    out.AppendBytes(text + from, length - from);
    out.Append(kQuote);
}

// A String grows by a few bytes at a time: the quoted item is written
// into room made for it at once.
void AppendQuotedOnce(String& out, const String& item) {
    const char* text = item.Text();
    int64 size = int64(item.Length()) + 2;
    for (int32 i = 0; i < item.Length(); ++i) size += text[i] == kQuote ? 1 : 0;
    if (size > kMaxStringLength) FatalCheck("Core32", 623);  // the limit every String keeps
    char* p = out.Extend(int32(size));
    *p++ = kQuote;
    for (int32 i = 0; i < item.Length(); ++i) {
        if (text[i] == kQuote) *p++ = kQuote;
        *p++ = text[i];
    }
    *p = kQuote;
}

// One quoted item at pos; a doubled quote inside stands for one, and an
// item without its closing quote runs to the end of the text. False (pos
// and item untouched) when pos is not at a quote; an empty item is taken.
bool ReadQuoted(const String& list, int32& pos, String& item) {
    const char* text = list.Text();
    int32 length = list.Length();
    if (pos < 0 || pos >= length || text[pos] != kQuote) return false;
    // Runs between doubled quotes are copied whole; the builder keeps a
    // text of many doubled quotes linear.
    TextBuilder taken;
    int32 from = pos + 1;
    int32 i = from;
    for (;;) {
        if (i >= length) {
            taken.AppendBytes(text + from, i - from);
            break;
        }
        if (text[i] != kQuote) {
            ++i;
            continue;
        }
        taken.AppendBytes(text + from, i - from);
        if (i + 1 < length && text[i + 1] == kQuote) {
            taken.Append(kQuote);
            i += 2;
            from = i;
            continue;
        }
        ++i;  // the closing quote
        break;
    }
    pos = i;
    item = taken.Take();
    return true;
}

int32 SkipBlanks(const String& list, int32 pos) {
    while (pos < list.Length() && IsBlankChar(list.Text()[pos])) ++pos;
    return pos;
}

}  // namespace

void AppendSharedFileItem(String& list, const String& name) {
    if (!list.IsEmpty()) list.Append(';');
    AppendQuotedOnce(list, name);
}

void AppendSharedFileItem(TextBuilder& list, const String& name) {
    if (!list.IsEmpty()) list.Append(';');
    AppendQuoted(list, name);
}

bool TakeSharedFileItem(const String& list, int32& pos, String& item) {
    int32 at = pos;
    String taken;
    if (!ReadQuoted(list, at, taken) || taken.IsEmpty()) {
        item.Clear();
        return false;
    }
    if (at < list.Length() && list.Text()[at] == ';') ++at;
    pos = at;
    item = taken;
    return true;
}

bool TakeSharedFileItem(String& rest, String& item) {
    int32 pos = 0;
    if (!TakeSharedFileItem(rest, pos, item)) return false;
    rest.DropFirst(pos);
    return true;
}

void AppendFontItem(String& list, const String& title, const String& file) {
    AppendQuotedOnce(list, title);
    list.Append(' ');
    AppendQuotedOnce(list, file);
    list.Append(' ');
}

void AppendFontItem(TextBuilder& list, const String& title, const String& file) {
    AppendQuoted(list, title);
    list.Append(' ');
    AppendQuoted(list, file);
    list.Append(' ');
}

bool TakeFontItem(const String& list, int32& pos, String& title, String& file) {
    int32 at = SkipBlanks(list, pos);
    String takenTitle, takenFile;
    bool found = ReadQuoted(list, at, takenTitle) && !takenTitle.IsEmpty();
    if (found) {
        at = SkipBlanks(list, at);
        found = ReadQuoted(list, at, takenFile) && !takenFile.IsEmpty();
    }
    if (!found) {
        title.Clear();
        file.Clear();
        return false;
    }
    pos = at;
    title = takenTitle;
    file = takenFile;
    return true;
}

bool TakeFontItem(String& rest, String& title, String& file) {
    int32 pos = 0;
    if (!TakeFontItem(rest, pos, title, file)) return false;
    rest.DropFirst(pos);
    return true;
}

String SharedFilePath(const String& item, const String& sharedDirectory) {
    if (item.IsEmpty()) return String();
    if (item.First() == '\\' || item.At(1) == ':') return item;
    if (sharedDirectory.IsEmpty()) return String();
    return JoinPath(sharedDirectory, item);
}
