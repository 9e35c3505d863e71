#include "platform/file_system.h"

#include <stdio.h>
#include <windows.h>

#include "platform/handles.h"

namespace {

FolderMadeFunction FolderMade = nullptr;

bool IsAsciiLetter(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

// "x:\" for the drive calls.
struct DriveRoot {
    explicit DriveRoot(char letter) {
        text[0] = letter;
        text[1] = ':';
        text[2] = '\\';
        text[3] = '\0';
    }
    char text[4];
};

String FromBuffer(const char* buffer, DWORD length, DWORD room) {
    String result;
    if (length > 0 && length < room) result.Assign(buffer, static_cast<int32>(length));
    return result;
}

}  // namespace

String ModulePath() {
    char buffer[MAX_PATH];
    return FromBuffer(buffer, GetModuleFileNameA(nullptr, buffer, MAX_PATH), MAX_PATH);
}

String ModuleDirectory() { return ParentDirectory(ModulePath()); }

String ModuleFileName() { return FileNamePart(ModulePath()); }

String PathInModuleDirectory(const String& name) { return JoinPath(ModuleDirectory(), name); }

String WindowsDirectory() {
    char buffer[MAX_PATH];
    return FromBuffer(buffer, GetWindowsDirectoryA(buffer, MAX_PATH), MAX_PATH);
}

String CurrentDirectory() {
    String result;
    result.SetLength(98);
    DWORD needed = GetCurrentDirectoryA(99, result.Buffer());
    if (needed > 98) {
        // Did not fit: the answer is the size to ask with.
        result.SetLength(static_cast<int32>(needed));
        GetCurrentDirectoryA(needed + 1, result.Buffer());
    } else if (needed == 0) {
        result.Clear();
        return result;
    }
    result.SyncLength();
    return result;
}

String ShortPathName(const String& path) {
    if (path.IsEmpty()) return String();
    int32 room = path.Length() * 2 > MAX_PATH ? path.Length() * 2 : MAX_PATH;
    String result;
    result.SetLength(room);
    DWORD length = GetShortPathNameA(path.Text(), result.Buffer(), static_cast<DWORD>(room));
    if (length == 0 || length >= static_cast<DWORD>(room)) return path;
    result.SyncLength();
    return result;
}

bool DirectoryExists(const String& path) {
    if (path.IsEmpty()) return false;
    String previous = CurrentDirectory();
    if (!SetCurrentDirectoryA(path.Text())) return false;
    SetCurrentDirectoryA(previous.Text());
    return true;
}

bool CreateDirectoryPath(const String& path) {
    // No system call takes a longer path; refusing it first also keeps a
    // hostile text of many thousand components from a recursion that holds
    // every parent at once.
    if (path.IsEmpty() || path.Length() >= MAX_PATH) return false;
    if (DirectoryExists(path)) return true;
    String parent = ParentDirectory(path);
    if (!parent.IsEmpty() && !DirectoryExists(parent)) {
        // A drive root is its own parent: a missing drive cannot be made.
        if (parent.Length() >= path.Length() || !CreateDirectoryPath(parent)) return false;
    }
    bool made = CreateDirectoryA(path.Text(), nullptr) != 0;
    if (made && FolderMade) FolderMade(path);
    return made || DirectoryExists(path);
}

void SetFolderMadeFunction(FolderMadeFunction function) { FolderMade = function; }

void CreateDirectoryOrDie(const String& path) {
    if (!CreateDirectoryPath(path)) FatalError("Unable to create directory:\r\n%s", path.Text());
}

bool RemoveEmptyDirectory(const String& path) {
    if (path.Length() <= 3) return false;
    String directory(path);
    directory.DropLastIf('\\');
    return RemoveDirectoryA(directory.Text()) != 0;
}

namespace {

bool HasNamespacePrefix(const String& path) {
    return path.Length() >= 4 && path.At(0) == '\\' && path.At(1) == '\\' &&
           (path.At(2) == '?' || path.At(2) == '.') && path.At(3) == '\\';
}

// The path the system will act on, for the guards of DeleteTree to judge:
// "\\?\" and "\\.\" taken off a drive path, then "/", "." and ".." and a
// relative start resolved. Empty for what is never deleted as a tree:
// device and volume paths (also a reserved name such as "CON", which
// resolves to one), other namespace forms, and the root of a network share.
String TreePath(const String& path) {
    String text = path;
    if (HasNamespacePrefix(text)) {
        text.DropFirst(4);
        if (!IsLetter(static_cast<unsigned char>(text.At(0))) || text.At(1) != ':') return String();
    }
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(text.Text(), MAX_PATH, buffer, nullptr);
    String resolved = FromBuffer(buffer, length, MAX_PATH);
    if (resolved.IsEmpty() || HasNamespacePrefix(resolved)) return String();
    if (resolved.At(0) == '\\' && resolved.At(1) == '\\') {
        // \\server\share\folder at the least.
        int32 server = resolved.Find('\\', 2);
        int32 share = server < 0 ? -1 : resolved.Find('\\', server + 1);
        if (share < 0 || share + 1 >= resolved.Length()) return String();
    }
    resolved.DropLastIf('\\');
    return resolved;
}

// The longest existing start of a full path with its short names made long;
// the part that does not exist yet is kept as written.
String LongPathName(const String& full) {
    String head = full;
    String tail;
    for (;;) {
        char buffer[MAX_PATH];
        DWORD length = GetLongPathNameA(head.Text(), buffer, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            String result;
            result.Assign(buffer, int32(length));
            return tail.IsEmpty() ? result : JoinPath(result, tail);
        }
        String name = FileNamePart(head);
        if (!StripLastComponent(head) || head.Length() <= 3 || name.IsEmpty()) return full;
        tail = tail.IsEmpty() ? name : JoinPath(name, tail);
    }
}

bool RemoveTree(const String& path) {
    bool complete = true;
    {
        WIN32_FIND_DATAA entry;
        FindHandle find(FindFirstFileA(JoinPath(path, "*.*").Text(), &entry));
        if (!find.IsValid()) return false;
        do {
            const char* name = entry.cFileName;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            String full = JoinPath(path, name);
            bool removed;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                removed = RemoveFile(full);
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A junction or link: remove the link, never what it points to.
                SetReadOnly(full, false);
                removed = RemoveDirectoryA(full.Text()) != 0;
            } else {
                removed = RemoveTree(full);
            }
            if (!removed) complete = false;
        } while (FindNextFileA(find.Get(), &entry));
    }  // the enumeration is closed before the directory goes
    // A read-only directory cannot be removed either.
    SetReadOnly(path, false);
    return RemoveEmptyDirectory(path) && complete;
}

}  // namespace

String CanonicalPath(const String& path) {
    if (path.IsEmpty()) return String();
    String full = TreePath(path);
    if (full.Length() == 2) full.Append('\\');  // the root "c:\" came back as "c:"
    if (full.Length() <= 3) return full;
    String result = LongPathName(full);
    result.DropLastIf('\\');
    return result;
}

bool IsCanonicalPath(const String& path) {
    return IsFullPath(path) && path.Compare(CanonicalPath(path), false) == 0;
}

bool SameCanonicalPath(const String& a, const String& b) {
    String first = CanonicalPath(a);
    return !first.IsEmpty() && first.Compare(CanonicalPath(b), false) == 0;
}

bool IsInsideFolder(const String& path, const String& folder) {
    String inner = CanonicalPath(path);
    String outer = CanonicalPath(folder);
    if (inner.IsEmpty() || outer.IsEmpty() || inner.Length() <= outer.Length()) return false;
    outer.EnsureLast('\\');
    return StartsWithPath(inner, outer);
}

bool DeleteTree(const String& path) {
    String tree = CanonicalPath(path);
    if (tree.Length() <= 3) return false;
    String windows = CanonicalPath(WindowsDirectory());
    if (windows.IsEmpty() || StartsWithPath(tree, windows)) return false;
    DWORD attributes = GetFileAttributesA(tree.Text());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // A link or junction given as the tree is removed as a link: its
    // target is somebody else's.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        SetReadOnly(tree, false);
        return RemoveDirectoryA(tree.Text()) != 0;
    }
    return RemoveTree(tree);
}

bool FileExists(const String& path) {
    if (path.IsEmpty()) return false;
    FILE* stream = fopen(path.Text(), "r");
    if (!stream) return false;
    fclose(stream);
    return true;
}

uint32 FileAttributes(const String& path) {
    if (path.IsEmpty()) return kNoAttributes;
    return GetFileAttributesA(path.Text());
}

bool SetAttributes(const String& path, uint32 bits) {
    if (path.IsEmpty()) return false;
    return SetFileAttributesA(path.Text(), bits) != 0;
}

bool SetReadOnly(const String& path, bool on) {
    uint32 bits = FileAttributes(path);
    if (bits == kNoAttributes) return false;
    if (((bits & kAttributeReadOnly) != 0) == on) return true;
    // "Normal" is only valid alone, so it never travels with other bits.
    bits &= ~static_cast<uint32>(FILE_ATTRIBUTE_NORMAL);
    bits = on ? (bits | kAttributeReadOnly) : (bits & ~kAttributeReadOnly);
    return SetAttributes(path, bits ? bits : FILE_ATTRIBUTE_NORMAL);
}

bool RemoveFile(const String& path) {
    if (path.IsEmpty()) return false;
    SetReadOnly(path, false);
    return DeleteFileA(path.Text()) != 0;
}

int32 FileSizeOf(const String& path) {
    if (path.IsEmpty()) return -1;
    FILE* stream = fopen(path.Text(), "rb");
    if (!stream) return -1;
    int32 size = -1;
    if (fseek(stream, 0, SEEK_END) == 0) size = static_cast<int32>(ftell(stream));
    fclose(stream);
    return size;
}

bool ReadWholeFile(const String& path, String& buffer) {
    if (path.IsEmpty()) return false;
    FILE* stream = fopen(path.Text(), "rb");
    if (!stream) return false;
    long size = -1;
    if (fseek(stream, 0, SEEK_END) == 0) size = ftell(stream);
    if (size < 0 || fseek(stream, 0, SEEK_SET) != 0) {
        fclose(stream);
        return false;
    }
    buffer.SetLength(static_cast<int32>(size));
    size_t got = size > 0 ? fread(buffer.Buffer(), 1, static_cast<size_t>(size), stream) : 0;
    fclose(stream);
    // A file that shrank meanwhile: hand back only what arrived.
    buffer.SetLength(static_cast<int32>(got));
    return true;
}

bool WriteWholeFile(const String& path, const void* bytes, int32 count) {
    return WriteFileBytes(path, bytes, count, false);
}

bool WriteFileBytes(const String& path, const void* bytes, int32 count, bool append) {
    if (path.IsEmpty() || count < 0) return false;
    HANDLE file = CreateFileA(path.Text(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = !append || SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER;
    ok = ok && (count == 0 || (bytes && WriteFile(file, bytes, DWORD(count), &put, nullptr) && put == DWORD(count)));
    // These are the records an uninstaller depends on: a full drive must
    // show here, not later, and nothing may stay in a buffer nobody checks.
    if (ok && count > 0) ok = FlushFileBuffers(file) != 0;
    if (!CloseHandle(file)) ok = false;
    return ok;
}

bool WriteBufferToFile(const String& path, const String& buffer) {
    return WriteWholeFile(path, buffer.Text(), buffer.Length());
}

bool DriveExists(char letter) {
    DriveRoot root(letter);
    return GetDriveTypeA(root.text) != DRIVE_NO_ROOT_DIR;
}

int32 ClusterSize(char letter) {
    if (!IsAsciiLetter(letter)) return -1;
    DriveRoot root(letter);
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(root.text, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
        return -1;
    }
    return static_cast<int32>(sectorsPerCluster * bytesPerSector);
}

int64 FreeSpace(char letter) {
    if (!IsAsciiLetter(letter)) return -1;
    DriveRoot root(letter);
    return FreeSpaceOfRoot(root.text);
}

int64 FreeSpaceOfRoot(const String& root) {
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(root.Text(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
        return -1;
    }
    return static_cast<int64>(sectorsPerCluster) * bytesPerSector * freeClusters;
}
