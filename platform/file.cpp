#include "platform/file.h"

#include "platform/file_system.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

namespace {

const char kSource[] = "gfile";

HANDLE AsHandle(void* handle) { return static_cast<HANDLE>(handle); }

DWORD ShareMode(bool exclusive) {
    return exclusive ? 0 : (FILE_SHARE_READ | FILE_SHARE_WRITE);
}

}  // namespace

File::File() : handle_(nullptr), canRead_(false), canWrite_(false) {}

File::~File() { Close(); }

bool File::Open(const String& path, bool read, bool write, bool exclusive) {
    Close();
    name_ = path;
    DWORD access = (read ? GENERIC_READ : 0) | (write ? GENERIC_WRITE : 0);
    HANDLE handle = CreateFileA(path.Text(), access, ShareMode(exclusive), nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    handle_ = handle;
    canRead_ = read;
    canWrite_ = write;
    return true;
}

bool File::Create(const String& path, bool exclusive) {
    Close();
    name_ = path;
    HANDLE handle = CreateFileA(path.Text(), GENERIC_READ | GENERIC_WRITE, ShareMode(exclusive), nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    handle_ = handle;
    canRead_ = canWrite_ = true;
    return true;
}

void File::Close() {
    // Opening never stores the invalid value, so finding it means the
    // handle came from somewhere that did not check.
    if (handle_ == INVALID_HANDLE_VALUE) FatalCheck(kSource, 520);
    if (handle_) CloseHandle(AsHandle(handle_));
    handle_ = nullptr;
    positions_.Clear();
    canRead_ = canWrite_ = false;
}

void File::Attach(void* handle, const String& name, bool read, bool write) {
    Close();
    name_ = name;
    handle_ = handle;
    canRead_ = handle && read;
    canWrite_ = handle && write;
}

bool File::Fail(const char* text) {
    lastError_ = text;
    return false;
}

bool File::Read(void* destination, int32 count) {
    if (count == 0) return true;
    if (count < 0) {
        lastError_.Format("Illegal block size %d", count);
        return false;
    }
    if (!destination) return Fail("NULL block pointer");
    if (!canRead_) return Fail("Read access denied");
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), destination, static_cast<DWORD>(count), &got, nullptr)) {
        return Fail(SystemErrorText());
    }
    if (got < static_cast<DWORD>(count)) return Fail("Read past end of file");
    return true;
}

File& File::ReadInt32(int32& value) {
    byte bytes[4] = {0, 0, 0, 0};
    Read(bytes, 4);
    value = static_cast<int32>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                               (static_cast<uint32>(bytes[3]) << 24));
    return *this;
}

String File::ReadCString() {
    String text;
    if (!handle_) return text;
    char ch;
    while (Read(&ch, 1) && ch != '\0') text.Append(ch);
    return text;
}

bool File::ReadAt(int32 offset, void* destination, int32 count) {
    PushPosition(offset);
    bool ok = Read(destination, count);
    PopPosition();
    return ok;
}

bool File::ReadRange(String& buffer, int32 offset, int32 count) {
    if (offset < 0 || count < 0) return false;
    if (static_cast<int64>(Size()) < static_cast<int64>(offset) + count) return false;
    buffer.SetLength(count);
    if (!ReadAt(offset, buffer.Buffer(), count)) {
        buffer.Clear();
        return false;
    }
    return true;
}

bool File::Write(const void* source, int32 count) {
    if (count == 0) return true;
    if (count < 0) return Fail("Illegal block size");
    if (!source) return Fail("NULL block pointer");
    if (!canWrite_) return Fail("Write access denied");
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), source, static_cast<DWORD>(count), &put, nullptr)) {
        return Fail(SystemErrorText());
    }
    if (put < static_cast<DWORD>(count)) return Fail("Not all data could be written");
    return true;
}

File& File::WriteText(const char* text) {
    if (text) Write(text, static_cast<int32>(strlen(text)));
    return *this;
}

File& File::WriteText(const String& text) {
    Write(text.Text(), text.Length());
    return *this;
}

int32 File::Tell() {
    if (!handle_) return -1;
    DWORD position = SetFilePointer(AsHandle(handle_), 0, nullptr, FILE_CURRENT);
    return position == INVALID_SET_FILE_POINTER ? -1 : static_cast<int32>(position);
}

bool File::Seek(int32 offset) {
    if (!handle_) return false;
    return SetFilePointer(AsHandle(handle_), offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool File::SeekFromEnd(int32 offset) {
    if (!handle_) return false;
    return SetFilePointer(AsHandle(handle_), offset, nullptr, FILE_END) != INVALID_SET_FILE_POINTER;
}

int32 File::Size() {
    if (!handle_) return -1;
    PushPosition();
    SeekFromEnd(0);
    int32 size = Tell();
    PopPosition();
    return size;
}

int32 File::PushPosition() {
    int32 position = Tell();
    positions_.Push(position);
    return position;
}

int32 File::PushPosition(int32 offset) {
    int32 position = PushPosition();
    Seek(offset);
    return position;
}

int32 File::PopPosition() {
    if (positions_.Count() == 0) FatalCheck(kSource, 749);
    int32 position = positions_.Pop();
    Seek(position);
    return position;
}

bool File::Truncate() {
    if (!canWrite_) return false;
    return SetEndOfFile(AsHandle(handle_)) != 0;
}

bool File::Flush() {
    if (!handle_) return false;
    return FlushFileBuffers(AsHandle(handle_)) != 0;
}

bool File::GetTime(FileDate* date) {
    if (!date || !handle_) return false;
    FILETIME written;
    if (!GetFileTime(AsHandle(handle_), nullptr, nullptr, &written)) return false;
    return date->FromFileTime(&written);
}

bool File::SetTime(const FileDate& date, bool flushFirst) {
    if (!handle_) return false;
    FILETIME local, universal;
    if (!date.ToLocalFileTime(&local) || !LocalFileTimeToFileTime(&local, &universal)) return false;
    // Data still in the system's buffers would otherwise move the time on
    // when it is written out.
    if (flushFirst) Flush();
    return SetFileTime(AsHandle(handle_), nullptr, nullptr, &universal) != 0;
}

bool AppendText(const char* path, const char* text) {
    if (!path) return false;
    return WriteFileBytes(path, text, text ? int32(strlen(text)) : 0, true);
}
