#include "core/byte_stream.h"

#include <string.h>

namespace {

// Positions are kept in 0..kAll; sums are taken in 64 bits so a hostile
// count can neither wrap the position nor fool a bounds test.
int32 Saturate(int64 value) {
    if (value < 0) return 0;
    if (value > kAll) return kAll;
    return int32(value);
}

}  // namespace

void ByteStream::Clear() {
    position_ = 0;
    bytes_.Clear();
}

bool ByteStream::Seek(int32 pos) {
    if (pos < 0 || pos > bytes_.Length()) return false;
    position_ = pos;
    return true;
}

void ByteStream::Skip(int32 n) {
    if (n > 0) Advance(n);
}

void ByteStream::Advance(int32 n) { position_ = Saturate(int64(position_) + n); }

bool ByteStream::Read(void* data, int32 n) {
    if (n == 0) return true;
    if (!data || n < 0) return false;
    int64 length = bytes_.Length();
    int64 end = int64(position_) + n;
    if (end <= length) {
        memcpy(data, bytes_.Text() + position_, n);
        Advance(n);
        return true;
    }
    int64 over = end - length;
    int32 present = n > over ? int32(n - over) : 0;
    if (present > 0) memcpy(data, bytes_.Text() + position_, present);
    memset(static_cast<char*>(data) + present, 0, n - present);
    Advance(n);
    return false;
}

bool ByteStream::ReadAppend(String& target, int32 n) {
    if (n <= 0) return true;
    // Only what is present is worth allocating for; a hostile count must
    // not make us reserve a huge block just to throw it away.
    int64 available = int64(bytes_.Length()) - position_;
    if (available < n) {
        Advance(n);
        return false;
    }
    char* room = target.Extend(n);
    return Read(room, n);
}

bool ByteStream::ReadText(String& target) {
    if (AtEnd()) {
        target.Clear();
        return false;
    }
    const char* start = bytes_.Text() + position_;
    int32 left = bytes_.Length() - position_;
    const char* nul = static_cast<const char*>(memchr(start, '\0', left));
    int32 count = nul ? int32(nul - start) : left;
    if (count == 0) {
        target.Clear();
    } else {
        target.Assign(start, count);
    }
    position_ += count;
    if (!nul) return false;
    position_ += 1;
    return true;
}

ByteStream& ByteStream::ReadInt32(int32& value) {
    Read(&value, 4);
    return *this;
}

ByteStream& ByteStream::ReadFileDate(FileDate& date) {
    Read(&date, sizeof(FileDate));
    return *this;
}

bool ByteStream::EnsureLength(int32 p) {
    if (p < bytes_.Capacity()) {
        if (bytes_.Length() < p) bytes_.SetLength(p);
        return false;
    }
    bytes_.SetLength(p);
    return true;
}

char* ByteStream::Reserve(int32 n) {
    if (n < 0) n = 0;
    int32 start = position_;
    int32 oldLength = bytes_.Length();
    int64 end = int64(position_) + n;
    // Past kAll the length check of SetLength stops the program.
    EnsureLength(end > kAll ? kAll : int32(end));
    // A write that starts beyond the end leaves a gap; zero it rather than
    // expose whatever the allocator left there.
    if (start > oldLength) memset(bytes_.Buffer() + oldLength, 0, start - oldLength);
    position_ = int32(end);
    return bytes_.Buffer() ? bytes_.Buffer() + start : nullptr;
}

bool ByteStream::Write(const void* data, int32 n) {
    if (n < 1 || !data) return false;
    memcpy(Reserve(n), data, n);
    return true;
}

bool ByteStream::Fill(char ch, int32 n) {
    if (n < 1) return false;
    memset(Reserve(n), ch, n);
    return true;
}

bool ByteStream::CopyBack(int32 from, int32 n) {
    if (from < 0 || n <= 0) return false;
    if (int64(from) + n > position_) return false;
    if (position_ < 0 || position_ > bytes_.Length()) return false;
    EnsureLength(Saturate(int64(position_) + n));
    char* block = bytes_.Buffer();
    memcpy(block + position_, block + from, n);
    position_ += n;
    return true;
}
