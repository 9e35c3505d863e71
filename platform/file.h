// One open file through an operating-system handle: exact-count transfers
// that answer true or false, a stack of saved positions and the last-write
// time in local time. No windows.h here: the archive reader includes it.
#ifndef QUILLPACK_PLATFORM_FILE_H
#define QUILLPACK_PLATFORM_FILE_H

#include "core/stack.h"
#include "core/string.h"
#include "core/file_date.h"

class File {
public:
    File();
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Each open closes first. A failed open leaves the File closed with the
    // path kept as its name; lastError is not touched by opening.
    bool Open(const String& path, bool read, bool write, bool exclusive);
    bool OpenForReading(const String& path, bool exclusive) { return Open(path, true, false, exclusive); }
    bool OpenForUpdate(const String& path, bool exclusive) { return Open(path, true, true, exclusive); }
    // Creates the file, or empties an existing one; read and write access.
    bool Create(const String& path, bool exclusive);
    void Close();
    // Takes over an already open handle (a HANDLE) with the given access.
    void Attach(void* handle, const String& name, bool read, bool write);

    bool IsOpen() const { return handle_ != nullptr; }
    bool CanRead() const { return canRead_; }
    bool CanWrite() const { return canWrite_; }
    const String& Name() const { return name_; }
    // Text of the most recent failed Read or Write; success leaves it alone.
    const String& LastError() const { return lastError_; }

    // Exactly count bytes or false. A short read keeps the bytes that came
    // and leaves the position after them.
    bool Read(void* destination, int32 count);
    // Four bytes as they lie in the file (little-endian); the result is dropped.
    File& ReadInt32(int32& value);
    // Bytes up to a zero byte (consumed, not stored) or the end of the file.
    String ReadCString();
    // Read at offset; the current position is the same afterwards.
    bool ReadAt(int32 offset, void* destination, int32 count);
    // buffer := count bytes from offset. False without reading when the
    // range is not inside the file; on a failed read the buffer is emptied.
    bool ReadRange(String& buffer, int32 offset, int32 count);

    bool Write(const void* source, int32 count);
    File& WriteText(const char* text);
    File& WriteText(const String& text);

    // -1 when closed or on failure.
    int32 Tell();
    bool Seek(int32 offset);
    // offset is 0 or negative: end + offset.
    bool SeekFromEnd(int32 offset);
    // -1 when closed; the position is unchanged.
    int32 Size();
    // Saves the current position (returned), then optionally moves.
    int32 PushPosition();
    int32 PushPosition(int32 offset);
    // Returns to the last saved position; with none saved: fatal gfile 749.
    int32 PopPosition();
    // End of file at the current position; needs write access.
    bool Truncate();
    bool Flush();

    // Last-write time in local time. False for a null date or a closed file.
    bool GetTime(FileDate* date);
    // Flushes, then sets only the last-write time from a local date. A file
    // written through this same handle needs no flush: a time set on the
    // handle stays (what copying a file does), and a flush costs a disk
    // sync per file.
    bool SetTime(const FileDate& date, bool flushFirst = true);

private:
    bool Fail(const char* text);

    void* handle_;
    String name_;
    Stack<int32> positions_;
    bool canRead_;
    bool canWrite_;
    String lastError_;
};

// Appends the text (null: nothing) to the file, creating it when missing.
// No terminator or line end is added. False without a path or on failure.
bool AppendText(const char* path, const char* text);

#endif  // QUILLPACK_PLATFORM_FILE_H
