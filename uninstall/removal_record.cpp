#include "uninstall/removal_record.h"

#include <windows.h>

#include "core/vector.h"
#include "core/text_builder.h"
#include "core/removal_list.h"
#include "platform/file_system.h"

const char kRemovalFileName[] = "Uninstall.DAT";

namespace {

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

void ApplyRemovalRecord(const String& installDirectory, String& problems) {
    ResetRemovalRecord();
    // Without a directory the names would be taken in the current one.
    if (installDirectory.IsEmpty()) return;
    String text;
    if (!ReadWholeFile(JoinPath(installDirectory, kRemovalFileName), text)) text.Clear();
    Vector<String> files, directories;
    SplitRemovalText(text, files, directories);
    text.Clear();

    // Thousands of failures are possible (a locked tree): collect them in a
    // doubling text and hand them over in one piece.
    TextBuilder failed;
    for (int32 i = 0; i < files.Count(); ++i) {
        const String& file = files[i];
        if (!IsExistingFile(file)) continue;
        if (RemoveFile(file)) continue;
        AddProblem(failed, "Unable to delete", file);
        RecordRemovalPath(file, false);
    }
    SortLongestFirst(directories);
    for (int32 i = 0; i < directories.Count(); ++i) {
        const String& directory = directories[i];
        if (!DirectoryExists(directory)) continue;
        if (RemoveEmptyDirectory(directory)) continue;
        AddProblem(failed, "Unable to remove", directory);
        RecordRemovalPath(directory, true);
    }
    problems += failed.Take();

    RemoveFile(JoinPath(installDirectory, "Install.LOG"));
    SaveRemovalRecord(installDirectory);
    ResetRemovalRecord();
}
