// A String used as a block of bytes with a read/write position: the reader
// of the archive's records and the decompressor's output buffer.
//
// Records: 32-bit integers little-endian, texts NUL-terminated, raw runs of
// known length, FileDate as 24 bytes. Reads past the end yield zeros and
// empty texts, so a cut record is noticed from its values, never by a crash.
#ifndef QUILLPACK_CORE_BYTE_STREAM_H
#define QUILLPACK_CORE_BYTE_STREAM_H

#include "core/string.h"
#include "core/file_date.h"

class ByteStream {
public:
    ByteStream() : position_(0) {}

    String& Bytes() { return bytes_; }
    const String& Bytes() const { return bytes_; }
    int32 Position() const { return position_; }

    void Rewind() { position_ = 0; }
    void Clear();
    // pos outside 0..length: false and nothing changes.
    bool Seek(int32 pos);
    // May move beyond the end; later reads then give zeros. Negative n is
    // ignored so the position never goes below 0.
    void Skip(int32 n);
    bool AtEnd() const { return position_ < 0 || position_ >= bytes_.Length(); }

    // True when all n bytes were present; missing bytes are zeroed. The
    // position advances by n in every case except bad arguments.
    bool Read(void* data, int32 n);
    // Appends n bytes to target; on a short read target keeps only its
    // earlier content. The position advances by n either way.
    bool ReadAppend(String& target, int32 n);
    // One NUL-terminated text; false when the end came before a NUL.
    bool ReadText(String& target);
    ByteStream& ReadInt32(int32& value);
    ByteStream& ReadFileDate(FileDate& date);

    // Advances the position by n, extends the length to it and returns the
    // first of the n bytes (address taken after any reallocation).
    char* Reserve(int32 n);
    bool Write(const void* data, int32 n);
    bool Fill(char ch, int32 n);
    // Copies n bytes lying wholly before the position to the position.
    // Overlapping or out-of-range sources are refused and write nothing.
    bool CopyBack(int32 from, int32 n);
    // Makes the length at least p; true when the block had to be regrown.
    bool EnsureLength(int32 p);

private:
    void Advance(int32 n);

    String bytes_;
    int32 position_;
};

#endif  // QUILLPACK_CORE_BYTE_STREAM_H
