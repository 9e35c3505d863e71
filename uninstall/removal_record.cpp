#include "uninstall/removal_record.h"

#include <windows.h>
#include <shlobj.h>

#include "core/hash_table.h"
#include "core/text_builder.h"
#include "platform/file_system.h"
#include "platform/handles.h"
#include "platform/special_folders.h"
#include "records/removal_list.h"

const char kRemovalFileName[] = "Uninstall.DAT";

namespace {

// A line longer than any path the system takes names nothing real.
const int32 kMaxLine = 2 * MAX_PATH;
// Skipped lines named one by one in the report; a damaged file of millions
// of lines is summed up after these.
const int32 kSkippedNamed = 20;
const DWORD kChunk = 64 * 1024;

void UpperCaseWithSystem(String& text) {
    if (text.Buffer()) CharUpperBuffA(text.Buffer(), static_cast<DWORD>(text.Length()));
}

RemovalList CurrentRecord(UpperCaseWithSystem);

void AddProblem(TextBuilder& problems, const char* what, const String& path) {
    problems.Append(what);
    problems.Append(" \"");
    problems.Append(path);
    problems.Append("\"\r\n");
}

// By attributes rather than by opening it: a file held open by another
// program cannot be opened either, and it must be reported and stay listed,
// not be skipped as if it were gone.
bool IsExistingFile(const String& path) {
    uint32 attributes = FileAttributes(path);
    return attributes != kNoAttributes && !(attributes & kAttributeDirectory);
}

bool InUse(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// Paths given to the system to delete at the next restart, upper-cased.
PathSet Scheduled;
TextBuilder ScheduledText;

bool ScheduleRemoval(const String& path) {
    if (!MoveFileExA(path.Text(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
    String key(path);
    UpperCaseWithSystem(key);
    Scheduled.Add(key);
    ScheduledText.Append("Removed at restart: ");
    ScheduledText.Append(path);
    ScheduledText.AppendBytes("\r\n", 2);
    return true;
}

bool IsScheduled(const String& path) {
    String key(path);
    UpperCaseWithSystem(key);
    return Scheduled.Contains(key);
}

bool HoldsOnlyScheduled(const String& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(JoinPath(folder, "*").Text(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool only = true;
    do {
        const char* name = entry.cFileName;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        if (!IsScheduled(JoinPath(folder, name))) only = false;
    } while (only && FindNextFileA(find, &entry));
    FindClose(find);
    return only;
}

void AddShellFolder(Vector<String>& folders, int csidl) {
    char buffer[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        String canonical = CanonicalPath(buffer);
        if (!canonical.IsEmpty()) folders.Append(canonical);
    }
}

// Reads the file in pieces, handing each line that lies inside the scope to
// Accept and each other one to Skip.
class RecordReader : public LineSink {
public:
    explicit RecordReader(const RemovalScope& scope) : scope_(scope) {}

    RemovalFileState Read(const String& path) {
        KernelHandle file(CreateFileA(path.Text(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RemovalFileMissing
                                                                                   : RemovalFileUnreadable;
        }
        LineSplitter splitter(kMaxLine);
        String chunk;
        chunk.SetLength(int32(kChunk));
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file.Get(), chunk.Buffer(), kChunk, &got, nullptr)) return RemovalFileUnreadable;
            if (got == 0) break;
            splitter.Feed(chunk.Text(), int32(got), *this);
        }
        splitter.Finish(*this);
        return RemovalFileRead;
    }

    void Line(const String& text, bool cut) override {
        if (text.IsEmpty() && !cut) return;
        String path = text;
        bool isDirectory = path.DropFirstIf('~');
        RemovalLineKind kind = RemovalOutside;
        String canonical;
        if (!cut && IsFullPath(path)) {
            canonical = CanonicalPath(path);
            kind = ClassifyRemovalLine(canonical, isDirectory, scope_.installDirectory, scope_.linkFolders);
        }
        if (kind == RemovalOwnFile) return;
        if (kind == RemovalOutside) {
            Skip(text);
        } else {
            Accept(canonical, isDirectory, kind);
        }
    }

protected:
    virtual void Accept(const String& path, bool isDirectory, RemovalLineKind kind) = 0;
    virtual void Skip(const String&) {}

    const RemovalScope& scope_;
};

class Remover : public RecordReader {
public:
    Remover(const RemovalScope& scope, Vector<String>& ancestors)
        : RecordReader(scope), ancestors_(ancestors), seen_(kRemovalDirectoryBuckets) {}

    void Accept(const String& path, bool isDirectory, RemovalLineKind kind) override {
        if (!isDirectory) {
            if (!IsExistingFile(path) || RemoveFile(path)) return;
            // Held open by a program: gone at the next restart, if the
            // system takes the request.
            if (InUse(GetLastError()) && ScheduleRemoval(path)) return;
            AddProblem(failed_, "Unable to delete", path);
            RecordRemovalPath(path, false);
            return;
        }
        String key(path);
        UpperCaseWithSystem(key);
        if (!seen_.Set(key, true)) return;
        (kind == RemovalAncestor ? ancestors_ : directories_).Append(path);
    }

    void Skip(const String& line) override {
        if (++skipped_ > kSkippedNamed) return;
        failed_.Append("Skipped \"");
        failed_.Append(line);
        failed_.Append("\": it lies outside this installation.\r\n");
    }

    // The directories, inner ones first; then the report.
    String Finish() {
        SortLongestFirst(directories_);
        for (int32 i = 0; i < directories_.Count(); ++i) {
            const String& directory = directories_[i];
            if (!DirectoryExists(directory)) continue;
            if (RemoveEmptyDirectory(directory)) continue;
            // Empty once the files waiting for the restart are gone: it
            // follows them then.
            if (HoldsOnlyScheduled(directory) && ScheduleRemoval(directory)) continue;
            AddProblem(failed_, "Unable to remove", directory);
            RecordRemovalPath(directory, true);
        }
        if (skipped_ > kSkippedNamed) {
            String more;
            more.Format("%ld more lines of Uninstall.DAT were skipped.\r\n", long(skipped_ - kSkippedNamed));
            failed_.Append(more);
        }
        return failed_.Take();
    }

private:
    Vector<String>& ancestors_;
    Vector<String> directories_;
    HashTable seen_;
    TextBuilder failed_;
    int32 skipped_ = 0;
};

class Merger : public RecordReader {
public:
    explicit Merger(const RemovalScope& scope) : RecordReader(scope) {}
    void Accept(const String& path, bool isDirectory, RemovalLineKind) override {
        RecordRemovalPath(path, isDirectory);
    }
};

}  // namespace

void ResetRemovalRecord() { CurrentRecord.Reset(); }

void RecordRemovalPath(const String& path, bool isDirectory) { CurrentRecord.Record(path, isDirectory); }

const String& RemovalRecordText() { return CurrentRecord.Text(); }

bool SaveRemovalRecord(const String& installDirectory) {
    String path = JoinPath(installDirectory, kRemovalFileName);
    if (CurrentRecord.IsEmpty()) {
        RemoveFile(path);
        return true;
    }
    return WriteBufferToFile(path, CurrentRecord.Text());
}

RemovalScope ScopeOfInstallation(const String& canonicalInstallDirectory) {
    RemovalScope scope;
    scope.installDirectory = canonicalInstallDirectory;
    const String folders[] = {DesktopFolder(), ProgramsFolder(), StartupFolder()};
    for (const String& folder : folders) {
        String canonical = CanonicalPath(folder);
        if (!canonical.IsEmpty()) scope.linkFolders.Append(canonical);
    }
    const int shellFolders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS, CSIDL_STARTUP, CSIDL_COMMON_DESKTOPDIRECTORY,
                                CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_STARTUP};
    for (int csidl : shellFolders) AddShellFolder(scope.linkFolders, csidl);
    return scope;
}

RemovalFileState ApplyRemovalRecord(const RemovalScope& scope, String& problems, Vector<String>& ancestors) {
    ResetRemovalRecord();
    // Without a directory the names would be taken in the current one.
    if (scope.installDirectory.IsEmpty()) return RemovalFileMissing;
    String file = JoinPath(scope.installDirectory, kRemovalFileName);
    Remover remover(scope, ancestors);
    RemovalFileState state = remover.Read(file);
    problems += remover.Finish();

    RemoveFile(JoinPath(scope.installDirectory, "Install.LOG"));
    // An unreadable record stays as it is for the next run.
    if (state == RemovalFileRead) SaveRemovalRecord(scope.installDirectory);
    ResetRemovalRecord();
    return state;
}

void MergeRemovalRecord(const RemovalScope& scope) {
    if (scope.installDirectory.IsEmpty()) return;
    Merger merger(scope);
    merger.Read(JoinPath(scope.installDirectory, kRemovalFileName));
}

const String& RemovedAtRestart() {
    static String text;
    text = ScheduledText.Take();
    ScheduledText.Append(text);
    return text;
}
