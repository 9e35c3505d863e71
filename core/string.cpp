#include "core/string.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kEmptyText[1] = {'\0'};
const char kWhitespace[] = " \r\n\t";

// Growth keeps blocks tight: exact size plus this much slack.
const int32 kSlack = 25;
// A block shrinks only when more than this many bytes would stay free.
const int32 kShrinkThreshold = 512;

bool InSet(const char* set, char ch) {
    return set && ch != '\0' && strchr(set, ch) != nullptr;
}

int32 TextLength(const char* text) {
    return text ? static_cast<int32>(strlen(text)) : 0;
}

int32 Min(int32 a, int32 b) { return a < b ? a : b; }

int MemoryCompareNoCase(const void* a, const void* b, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(a);
    const unsigned char* q = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < n; ++i) {
        int x = ToUpper(p[i]), y = ToUpper(q[i]);
        if (x != y) return x - y;
    }
    return 0;
}

bool SameChar(char a, char b, bool caseFlag) {
    return caseFlag ? a == b : ToUpper(static_cast<unsigned char>(a)) == ToUpper(static_cast<unsigned char>(b));
}

}  // namespace

char* FormatBuffer = nullptr;

const char* String::EmptyText() { return kEmptyText; }

String::String(const char* text) : buffer_(nullptr), length_(0), capacity_(0) {
    int32 n = TextLength(text);
    if (n == 0) return;
    if (n > kMaxStringLength) FatalCheck("Core32", 623);
    buffer_ = static_cast<char*>(malloc(size_t(n) + kSlack));
    if (!buffer_) FatalError("Out of memory");
    capacity_ = n + kSlack;
    length_ = n;
    memcpy(buffer_, text, size_t(n) + 1);
}

String::String(const String& other) : buffer_(nullptr), length_(0), capacity_(0) { Assign(other); }

String::String(int32 length) : buffer_(nullptr), length_(0), capacity_(0) { SetLength(length); }

String::~String() { free(buffer_); }

String String::FromFormat(const char* format, ...) {
    String result;
    va_list args;
    va_start(args, format);
    result.AppendFormatV(format, args);
    va_end(args);
    return result;
}

String& String::Assign(const String& other) {
    if (this != &other) Assign(other.buffer_, other.length_);
    return *this;
}

String& String::Assign(const char* text) {
    if (!text) {
        Clear();
        return *this;
    }
    return Assign(text, TextLength(text));
}

String& String::Assign(const void* data, int32 count) {
    if (!data || count <= 0) {
        Clear();
        return *this;
    }
    // The source may lie inside this block; copy it out before resizing.
    if (buffer_ && data >= buffer_ && data < buffer_ + capacity_) {
        String copy;
        copy.Assign(data, count);
        Free(buffer_);
        buffer_ = copy.Release();
        length_ = count;
        capacity_ = count + kSlack;
        return *this;
    }
    SetLength(count);
    memmove(buffer_, data, size_t(count));
    return *this;
}

String& String::AssignMax(const char* text, int32 max) {
    if (!text) {
        Clear();
        return *this;
    }
    int32 n = 0;
    while (n < max && text[n] != '\0') ++n;
    return Assign(text, n);
}

void String::Clear() {
    free(buffer_);
    buffer_ = nullptr;
    length_ = 0;
    capacity_ = 0;
}

void String::Resize(int32 n) {
    Clear();
    if (n > 0) SetLength(n);
}

void String::SyncLength() { SetLength(buffer_ ? TextLength(buffer_) : 0); }

void String::Adopt(char* block, int32 count) {
    free(buffer_);
    buffer_ = nullptr;
    length_ = capacity_ = 0;
    if (!block || count < 1) {
        free(block);
        return;
    }
    buffer_ = static_cast<char*>(Reallocate(block, size_t(count) + 1));
    capacity_ = count + 1;
    length_ = count;
    buffer_[count] = '\0';
}

char* String::Release() {
    char* block = buffer_;
    buffer_ = nullptr;
    length_ = capacity_ = 0;
    return block;
}

bool String::IsBlank() const { return ConsistsOf(kWhitespace); }

bool String::ConsistsOf(const char* set) const {
    for (int32 i = 0; i < length_; ++i)
        if (!InSet(set, buffer_[i])) return false;
    return true;
}

void String::SetLength(int32 n) {
    if (n <= 0) {
        Clear();
        return;
    }
    if (n == length_) return;
    if (n >= capacity_ || n < capacity_ - kShrinkThreshold) {
        if (n > kMaxStringLength) FatalCheck("Core32", 623);
        buffer_ = static_cast<char*>(Reallocate(buffer_, size_t(n) + kSlack));
        capacity_ = n + kSlack;
    }
    length_ = n;
    buffer_[n] = '\0';
}

char* String::Extend(int32 n) {
    if (n < 0) FatalCheck("Core32", 2478);
    int32 old = length_;
    if (n > kMaxStringLength - old) FatalCheck("Core32", 623);
    SetLength(old + n);
    return buffer_ ? buffer_ + old : const_cast<char*>(kEmptyText);
}

char* String::Pointer(int32 i) {
    if (i < 0 || i >= length_) FatalCheck("Core32", 563);
    return buffer_ + i;
}

bool String::SetAt(int32 i, char ch) {
    if (i < 0 || i >= length_) return false;
    buffer_[i] = ch;
    if (ch == '\0') length_ = i;
    return true;
}

void String::MakeUpper() {
    for (int32 i = 0; i < length_ && buffer_[i] != '\0'; ++i)
        buffer_[i] = static_cast<char>(ToUpper(static_cast<unsigned char>(buffer_[i])));
}

void String::Append(char ch) { InsertBytes(length_, &ch, 1); }

void String::Append(const char* text, int32 max) {
    if (!text) return;
    int32 n = 0;
    while (n < max && text[n] != '\0') ++n;
    InsertBytes(length_, text, n);
}

void String::Append(const String& other, int32 max) { InsertBytes(length_, other.buffer_, Min(other.length_, max)); }

void String::AppendBytes(const void* data, int32 count) { InsertBytes(length_, data, count); }

bool String::EnsureLast(char ch) {
    if (Last() == ch && length_ > 0) return false;
    Append(ch);
    return true;
}

void String::Insert(int32 pos, char ch, int32 count) {
    if (count <= 0) return;
    if (pos < 0) pos = 0;
    if (pos > length_) pos = length_;
    if (count > kMaxStringLength - length_) FatalCheck("Core32", 623);
    int32 old = length_;
    SetLength(old + count);
    memmove(buffer_ + pos + count, buffer_ + pos, size_t(old - pos));
    memset(buffer_ + pos, ch, size_t(count));
}

void String::Insert(int32 pos, const char* text, int32 max) {
    if (!text) return;
    int32 n = 0;
    while (n < max && text[n] != '\0') ++n;
    InsertBytes(pos, text, n);
}

void String::Insert(int32 pos, const String& other, int32 max) { InsertBytes(pos, other.buffer_, Min(other.length_, max)); }

void String::InsertBytes(int32 pos, const void* data, int32 count) {
    if (!data || count <= 0) return;
    if (pos < 0) pos = 0;
    if (pos > length_) pos = length_;
    if (count > kMaxStringLength - length_) FatalCheck("Core32", 623);
    // Inserting a piece of ourselves: the block may move when it grows.
    if (buffer_ && data >= buffer_ && data < buffer_ + capacity_) {
        String copy;
        copy.Assign(data, count);
        InsertBytes(pos, copy.buffer_, count);
        return;
    }
    int32 old = length_;
    SetLength(old + count);
    memmove(buffer_ + pos + count, buffer_ + pos, size_t(old - pos));
    memcpy(buffer_ + pos, data, size_t(count));
}

bool String::Delete(int32 pos, int32 count) {
    if (pos >= length_) return false;
    if (pos < 0) {
        count += pos;  // reduced by -pos
        pos = 0;
    }
    if (count <= 0) return false;
    if (count < length_ - pos) {
        memmove(buffer_ + pos, buffer_ + pos + count, size_t(length_ - pos - count) + 1);
        SetLength(length_ - count);
    } else {
        SetLength(pos);
    }
    return true;
}

int32 String::DropFirst(int32 n) {
    if (n <= 0) return 0;
    n = Min(n, length_);
    Delete(0, n);
    return n;
}

int32 String::DropLast(int32 n) {
    if (n <= 0) return 0;
    int32 keep = length_ - n > 0 ? length_ - n : 0;
    int32 removed = length_ - keep;
    SetLength(keep);
    return removed;
}

int32 String::DropBoth(int32 n) { return DropFirst(n) + DropLast(n); }

char String::PopFirst() {
    char ch = First();
    DropFirst(1);
    return ch;
}

bool String::DropFirstIf(char ch) {
    if (length_ == 0 || buffer_[0] != ch) return false;
    DropFirst(1);
    return true;
}

bool String::DropLastIf(char ch) {
    if (length_ == 0 || buffer_[length_ - 1] != ch) return false;
    DropLast(1);
    return true;
}

bool String::DropFirstIfIn(const char* set) {
    if (length_ == 0 || !InSet(set, buffer_[0])) return false;
    DropFirst(1);
    return true;
}

bool String::DropPrefix(const char* text, int32 max) {
    int32 n = Min(TextLength(text), max);
    if (n <= 0 || length_ < n) return false;
    if (MemoryCompareNoCase(buffer_, text, size_t(n)) != 0) return false;
    DropFirst(n);
    return true;
}

bool String::Unwrap(char ch) {
    if (length_ < 2 || buffer_[0] != ch || buffer_[length_ - 1] != ch) return false;
    DropBoth(1);
    return true;
}

bool String::TruncateAt(char ch) {
    int32 i = Find(ch, 0, true);
    if (i < 0) return false;
    Truncate(i);
    return true;
}

int32 String::RemoveChar(char ch) {
    int32 out = 0;
    for (int32 i = 0; i < length_; ++i)
        if (buffer_[i] != ch) buffer_[out++] = buffer_[i];
    int32 removed = length_ - out;
    if (removed) SetLength(out);
    return removed;
}

int32 String::Remove(const char* text, int32 max, bool caseFlag) {
    int32 n = TextLength(text);
    int32 removed = 0, from = 0;
    while (n > 0 && removed < max) {
        int32 at = Find(text, from, caseFlag);
        if (at < 0) break;
        Delete(at, n);
        from = at;
        ++removed;
    }
    return removed;
}

int32 String::TrimRight(char ch) {
    int32 n = 0;
    while (n < length_ && buffer_[length_ - 1 - n] == ch) ++n;
    return DropLast(n);
}

int32 String::TrimRightSet(const char* set) {
    int32 n = 0;
    while (n < length_ && InSet(set, buffer_[length_ - 1 - n])) ++n;
    return DropLast(n);
}

int32 String::TrimLeftSet(const char* set) {
    int32 n = 0;
    while (n < length_ && InSet(set, buffer_[n])) ++n;
    return DropFirst(n);
}

int32 String::TrimRight() { return TrimRightSet(kWhitespace); }
int32 String::TrimLeft() { return TrimLeftSet(kWhitespace); }
int32 String::Trim() { return TrimLeft() + TrimRight(); }

int32 String::Find(char ch, int32 from, bool caseFlag) const {
    for (int32 i = from > 0 ? from : 0; i < length_; ++i)
        if (SameChar(buffer_[i], ch, caseFlag)) return i;
    return -1;
}

int32 String::Find(const char* text, int32 from, bool caseFlag) const {
    int32 n = TextLength(text);
    if (n == 0) return -1;
    for (int32 i = from > 0 ? from : 0; i <= length_ - n; ++i) {
        int32 j = 0;
        while (j < n && SameChar(buffer_[i + j], text[j], caseFlag)) ++j;
        if (j == n) return i;
    }
    return -1;
}

int32 String::FindLast(char ch, int32 from) const {
    for (int32 i = Min(from, length_ - 1); i >= 0; --i)
        if (buffer_[i] == ch) return i;
    return -1;
}

int32 String::FindFirstOf(const char* set, int32 from) const {
    if (!set || !*set || from >= length_) return -1;
    for (int32 i = from > 0 ? from : 0; i < length_; ++i)
        if (InSet(set, buffer_[i])) return i;
    return -1;
}

int32 String::FindFirstNotOf(const char* set, int32 from) const {
    if (!set) return -1;
    for (int32 i = from > 0 ? from : 0; i < length_; ++i)
        if (!InSet(set, buffer_[i])) return i;
    return -1;
}

int32 String::FindNumber(int32 from) const {
    for (int32 i = from > 0 ? from : 0; i < length_; ++i) {
        char c = buffer_[i];
        if (IsDigit(c) || c == '+' || c == '-' || c == '.') return i;
    }
    return -1;
}

int String::Compare(const char* text, bool caseFlag, int32 max) const {
    int32 n = TextLength(text);
    if (n == 0) return length_ == 0 ? 0 : 1;
    if (!buffer_) return -1;
    int32 count = Min(Min(length_, n) + 1, max);
    if (count <= 0) return 0;
    return caseFlag ? memcmp(buffer_, text, size_t(count)) : MemoryCompareNoCase(buffer_, text, size_t(count));
}

int String::Compare(const String& other, bool caseFlag, int32 max) const {
    if (!buffer_) return -1;
    int32 count = Min(Min(length_, other.length_) + 1, max);
    if (count <= 0) return 0;
    const char* text = other.Text();
    return caseFlag ? memcmp(buffer_, text, size_t(count)) : MemoryCompareNoCase(buffer_, text, size_t(count));
}

bool String::operator==(const String& other) const {
    return length_ == other.length_ && (length_ == 0 || memcmp(buffer_, other.buffer_, size_t(length_)) == 0);
}

String String::Mid(int32 pos, int32 count) const {
    String part;
    CopyTo(part, count, pos);
    return part;
}

bool String::CopyTo(String& dest, int32 count, int32 pos) const {
    if (pos < 0) pos = 0;
    if (count > length_ - pos) count = length_ - pos;
    if (count <= 0) {
        dest.Clear();
        return false;
    }
    dest.Assign(buffer_ + pos, count);
    return true;
}

String String::Cut(int32 pos, int32 count) {
    String part = Mid(pos, count);
    Delete(pos, count);
    return part;
}

String String::TakeLine() {
    int32 i = 0;
    while (i < length_ && buffer_[i] != '\r' && buffer_[i] != '\n' && buffer_[i] != '\0') ++i;
    if (i == length_) {
        String line(Text());
        Clear();
        return line;
    }
    String line = Mid(0, i);
    int32 drop = i + 1;
    char a = buffer_[i], b = At(i + 1);
    if ((a == '\r' && b == '\n') || (a == '\n' && b == '\r')) ++drop;
    DropFirst(drop);
    return line;
}

String String::TakeQuoted(char delimiter, int32 pos) {
    String part;
    if (length_ == 0 || pos < 0 || pos >= length_ || buffer_[pos] != delimiter) return part;
    int32 i = pos + 1;
    int32 close = -1;
    while (i < length_) {
        if (buffer_[i] == delimiter) {
            if (At(i + 1) == delimiter) {
                Delete(i + 1, 1);  // a doubled delimiter stands for one
            } else {
                close = i;
                break;
            }
        }
        ++i;
    }
    if (close < 0) {
        part = Mid(pos + 1);
        Truncate(pos);
    } else {
        part = Mid(pos + 1, close - pos - 1);
        Delete(pos, close - pos + 1);
    }
    return part;
}

String String::TakeToken() {
    String token;
    TrimLeft();
    while (length_ > 0) {
        if (buffer_[0] == '"') {
            token.Append(TakeQuoted('"', 0));
            continue;
        }
        char ch = PopFirst();
        if (IsSpace(static_cast<unsigned char>(ch))) break;
        token.Append(ch);
    }
    return token;
}

int32 String::ReplaceAll(const char* find, const char* with, bool caseFlag) {
    int32 findLength = TextLength(find);
    if (findLength == 0) return 0;
    int32 withLength = TextLength(with);
    if (findLength == withLength) {
        int32 count = 0;
        for (int32 p = Find(find, 0, caseFlag); p >= 0; p = Find(find, p + findLength, caseFlag)) {
            memcpy(buffer_ + p, with, size_t(withLength));
            ++count;
        }
        return count;
    }
    // Rebuild in one pass into a fresh text; the replacement is never searched.
    String result;
    int32 count = 0, from = 0;
    for (int32 p = Find(find, 0, caseFlag); p >= 0; p = Find(find, p + findLength, caseFlag)) {
        result.AppendBytes(buffer_ + from, p - from);
        result.AppendBytes(with, withLength);
        from = p + findLength;
        ++count;
    }
    if (count == 0) return 0;
    result.AppendBytes(buffer_ + from, length_ - from);
    Assign(result);
    return count;
}

double String::ToDouble(int32 from) const {
    int32 i = FindNumber(from);
    if (i < 0) return 0.0;
    String number = Mid(i);
    number.RemoveChar(',');
    return atof(number.Text());
}

int32 String::ToInt() const {
    int32 i = FindNumber(0);
    if (i < 0) return 0;
    String number = Mid(i);
    number.RemoveChar(',');
    return atoi(number.Text());
}

int32 String::ParseInt(int32& pos) const {
    if (pos < 0 || pos >= length_) return INT32_MIN;
    bool negative = false;
    if (buffer_[pos] == '+' || buffer_[pos] == '-') negative = buffer_[pos++] == '-';
    uint32 value = 0;
    while (pos < length_ && IsDigit(buffer_[pos])) value = value * 10 + uint32(buffer_[pos++] - '0');
    return negative ? int32(0u - value) : int32(value);
}

String& String::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
    return *this;
}

String& String::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
    return *this;
}

String& String::FormatV(const char* format, va_list args) {
    Clear();
    return AppendFormatV(format, args);
}

String& String::AppendFormatV(const char* format, va_list args) {
    if (!FormatBuffer) FatalCheck("Core32", 72);
    if (!format) return *this;
    // Bounded by the scratch buffer: a result that does not fit is fatal
    // rather than cut short silently.
    int written = vsnprintf(FormatBuffer, kFormatBufferSize, format, args);
    if (written < 0 || written >= kFormatBufferSize) {
        FormatBuffer[0] = '\0';
        FatalCheck("Core32", 7360);
    }
    Append(FormatBuffer, written);
    return *this;
}

String operator+(const String& a, char ch) {
    String result(a);
    result.Append(ch);
    return result;
}

String operator+(const String& a, const char* text) {
    String result(a);
    result.Append(text);
    return result;
}

String operator+(const String& a, const String& b) {
    String result(a);
    result.Append(b);
    return result;
}

String operator+(const char* text, const String& b) {
    String result(text);
    result.Append(b);
    return result;
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsSpace(int c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
int ToUpper(int c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

int32 TextToInt(const char* text) {
    if (!text) return 0;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    uint32 value = 0;
    while (IsDigit(*text)) value = value * 10 + uint32(*text++ - '0');
    return negative ? int32(0u - value) : int32(value);
}

char LastChar(const char* text) {
    if (!text) FatalCheck("Core32", 5087);
    size_t n = strlen(text);
    return n ? text[n - 1] : '\0';
}

void PadFront(char* buffer, char ch, int32 n) {
    if (!buffer) FatalCheck("Core32", 5642);
    if (n <= 0) return;
    memmove(buffer + n, buffer, strlen(buffer) + 1);
    memset(buffer, ch, size_t(n));
}
