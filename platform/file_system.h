// File-system services on top of the path text of core/paths.h: the
// program's own location, system directories, directories, files and
// drives. Failures are results (false, -1, empty text); nothing is shown,
// except that CreateDirectoryOrDie stops the program.
#ifndef QUILLPACK_PLATFORM_FILE_SYSTEM_H
#define QUILLPACK_PLATFORM_FILE_SYSTEM_H

#include "core/string.h"
#include "core/paths.h"

// Attribute bits value meaning "no such path or no answer".
const uint32 kNoAttributes = 0xFFFFFFFFu;
const uint32 kAttributeReadOnly = 0x01;
const uint32 kAttributeDirectory = 0x10;

String ModulePath();
String ModuleDirectory();
String ModuleFileName();
String PathInModuleDirectory(const String& name);
String WindowsDirectory();
String CurrentDirectory();
// The 8.3 form of an existing path; the path itself when there is none.
String ShortPathName(const String& path);

// The path as the system will act on it, for guards to compare: "\\?\"
// taken off a drive path, made full ("/", ".", ".." and a relative start
// resolved against the current directory), short 8.3 names made long as far
// as the path exists, and no trailing "\" except on a drive root. Empty for
// what is no drive path: devices, volumes, other namespaces, share roots.
String CanonicalPath(const String& path);

// A full drive path already in that form (letter case aside).
bool IsCanonicalPath(const String& path);

// Both name the same place once made canonical.
bool SameCanonicalPath(const String& a, const String& b);

// path lies strictly below folder, both made canonical.
bool IsInsideFolder(const String& path, const String& folder);

bool DirectoryExists(const String& path);
// True when the directory exists afterwards; missing parents are created
// first. A path that is its own parent (a missing drive) ends with false.
bool CreateDirectoryPath(const String& path);

// Every folder CreateDirectoryPath makes is told to this function, outer
// folders first, while one is set: an installation keeps them to remove
// what it made. Null stops the telling.
typedef void (*FolderMadeFunction)(const String& folder);
void SetFolderMadeFunction(FolderMadeFunction function);
void CreateDirectoryOrDie(const String& path);
// Never a drive root (three characters or fewer).
bool RemoveEmptyDirectory(const String& path);
// Removes the directory and everything below it, going on past failures;
// true only when all is gone. Refuses drive roots and the Windows directory.
bool DeleteTree(const String& path);

bool FileExists(const String& path);
uint32 FileAttributes(const String& path);
bool SetAttributes(const String& path, uint32 bits);
bool SetReadOnly(const String& path, bool on);
// Clears the read-only bit, then deletes.
bool RemoveFile(const String& path);
int32 FileSizeOf(const String& path);
// The whole file into buffer; a short read leaves only what was read.
bool ReadWholeFile(const String& path, String& buffer);
// Creates or empties the file and writes the bytes, flushed to the disk:
// true only when every byte arrived (a full drive is a failure).
bool WriteWholeFile(const String& path, const void* bytes, int32 count);
// The same, appending to an existing file when append is set.
bool WriteFileBytes(const String& path, const void* bytes, int32 count, bool append);
bool WriteBufferToFile(const String& path, const String& buffer);

bool DriveExists(char letter);
int32 ClusterSize(char letter);
int64 FreeSpace(char letter);
int64 FreeSpaceOfRoot(const String& root);

#endif  // QUILLPACK_PLATFORM_FILE_SYSTEM_H
