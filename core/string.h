// The one text type and growable byte buffer, plus the small helpers on
// NUL-terminated text that live beside it. Portable: no windows.h here.
#ifndef QUILLPACK_CORE_STRING_H
#define QUILLPACK_CORE_STRING_H

#include <stdarg.h>
#include <stddef.h>

#include "core/checksum.h"
#include "core/fatal.h"
#include "core/memory.h"
#include "core/types.h"

const int32 kMaxStringLength = 1073741824;
const int32 kFormatBufferSize = 32768;

// Shared scratch target of every printf-style formatting call.
extern char* FormatBuffer;

class String {
public:
    String() : buffer_(nullptr), length_(0), capacity_(0) {}
    String(const char* text);  // NOLINT: implicit on purpose, texts convert freely
    String(const String& other);
    explicit String(int32 length);
    ~String();

    static String FromFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

    String& operator=(const String& other) { return Assign(other); }
    String& operator=(const char* text) { return Assign(text); }
    String& Assign(const String& other);
    String& Assign(const char* text);
    String& Assign(const void* data, int32 count);
    String& AssignMax(const char* text, int32 max);
    void Clear();
    void Resize(int32 n);
    void SyncLength();
    void Adopt(char* block, int32 count);
    char* Release();

    int32 Length() const { return length_; }
    int32 Capacity() const { return capacity_; }
    const char* Text() const { return buffer_ ? buffer_ : EmptyText(); }
    // Writable block; null when the String owns none.
    char* Buffer() { return buffer_; }
    bool IsEmpty() const { return length_ == 0; }
    bool IsBlank() const;
    bool ConsistsOf(const char* set) const;
    void SetLength(int32 n);
    char* Extend(int32 n);
    void Shrink(int32 n) { SetLength(length_ - n); }
    char First() const { return length_ > 0 ? buffer_[0] : '\0'; }
    char Last() const { return length_ > 0 ? buffer_[length_ - 1] : '\0'; }
    bool StartsWith(char ch) const { return First() == ch; }
    bool EndsWith(char ch) const { return Last() == ch; }
    char At(int32 i) const { return (i < 0 || i >= length_) ? '\0' : buffer_[i]; }
    char* Pointer(int32 i);
    bool SetAt(int32 i, char ch);
    uint32 Checksum() const { return ::Checksum(buffer_, length_); }
    void MakeUpper();

    void Append(char ch);
    void Append(const char* text, int32 max = kAll);
    void Append(const String& other, int32 max = kAll);
    void AppendBytes(const void* data, int32 count);
    bool EnsureLast(char ch);
    void Insert(int32 pos, char ch, int32 count);
    void Insert(int32 pos, const char* text, int32 max = kAll);
    void Insert(int32 pos, const String& other, int32 max = kAll);
    void InsertBytes(int32 pos, const void* data, int32 count);
    String& operator+=(char ch) { Append(ch); return *this; }
    String& operator+=(const char* text) { Append(text); return *this; }
    String& operator+=(const String& other) { Append(other); return *this; }

    bool Delete(int32 pos, int32 count);
    bool Truncate(int32 pos) { return Delete(pos, kAll); }
    int32 DropFirst(int32 n);
    int32 DropLast(int32 n);
    int32 DropBoth(int32 n);
    char PopFirst();
    bool DropFirstIf(char ch);
    bool DropLastIf(char ch);
    bool DropFirstIfIn(const char* set);
    bool DropPrefix(const char* text, int32 max = kAll);
    bool Unwrap(char ch);
    bool TruncateAt(char ch);
    int32 RemoveChar(char ch);
    int32 Remove(const char* text, int32 max, bool caseFlag);
    int32 TrimRight(char ch);
    int32 TrimRightSet(const char* set);
    int32 TrimLeftSet(const char* set);
    int32 TrimRight();
    int32 TrimLeft();
    int32 Trim();

    int32 Find(char ch, int32 from = 0, bool caseFlag = true) const;
    int32 Find(const char* text, int32 from = 0, bool caseFlag = true) const;
    int32 FindLast(char ch, int32 from = kAll) const;
    int32 FindFirstOf(const char* set, int32 from = 0) const;
    int32 FindFirstNotOf(const char* set, int32 from = 0) const;
    int32 FindNumber(int32 from = 0) const;
    int Compare(const char* text, bool caseFlag, int32 max = kAll) const;
    int Compare(const String& other, bool caseFlag, int32 max = kAll) const;
    bool operator==(const String& other) const;
    bool operator!=(const String& other) const { return !(*this == other); }

    String Mid(int32 pos, int32 count = kAll) const;
    bool CopyTo(String& dest, int32 count, int32 pos) const;
    String Cut(int32 pos, int32 count);
    String TakeLine();
    String TakeQuoted(char delimiter, int32 pos);
    String TakeToken();
    int32 ReplaceAll(const char* find, const char* with, bool caseFlag);

    double ToDouble(int32 from = 0) const;
    int32 ToInt() const;
    int32 ParseInt(int32& pos) const;
    int32 ParseIntAt(int32 pos) const { return ParseInt(pos); }

    String& Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    String& AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    String& FormatV(const char* format, va_list args);
    String& AppendFormatV(const char* format, va_list args);

    static const char* EmptyText();

private:
    char* buffer_;
    int32 length_;
    int32 capacity_;
};

String operator+(const String& a, char ch);
String operator+(const String& a, const char* text);
String operator+(const String& a, const String& b);
String operator+(const char* text, const String& b);

bool IsDigit(int c);
bool IsLetter(int c);
bool IsSpace(int c);
int ToUpper(int c);
int32 TextToInt(const char* text);
char LastChar(const char* text);
void PadFront(char* buffer, char ch, int32 n);

#endif  // QUILLPACK_CORE_STRING_H
