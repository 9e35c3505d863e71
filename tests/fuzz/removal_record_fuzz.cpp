// Fuzz target for the reader of "Uninstall.DAT" (any bytes may be in that
// file) and for the other line-by-line texts of the uninstall area.
//   - the reader keeps only full paths without line-end or NUL bytes;
//   - NextLine splits exactly as TakeLine does;
//   - what the reader found, recorded again, reads back the same, with
//     each directory once;
//   - the batch script and the startup file edits keep their line ends
//     whole and never read outside the input.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "records/batch_text.h"
#include "core/paths.h"
#include "records/removal_list.h"
#include "records/startup_path_text.h"
#include "core/text_lines.h"

namespace {

void Check(bool condition) {
    if (!condition) abort();
}

bool SameText(const String& a, const String& b) { return a == b; }

void CheckPaths(Vector<String>& paths) {
    for (int32 i = 0; i < paths.Count(); ++i) {
        const String& p = paths[i];
        Check(IsFullPath(p));
        Check(p.Find('\r') < 0 && p.Find('\n') < 0 && int32(strlen(p.Text())) == p.Length());
    }
}

void CheckLinesAgainstTakeLine(const String& text) {
    String consumed(text);
    int32 position = 0;
    String line;
    while (NextLine(text, position, line)) {
        Check(!consumed.IsEmpty());
        Check(SameText(line, consumed.TakeLine()));
    }
    Check(consumed.IsEmpty());
    Check(position == text.Length());
}

void CheckRoundTrip(const String& text) {
    Vector<String> files, directories;
    SplitRemovalText(text, files, directories);
    CheckPaths(files);
    CheckPaths(directories);

    RemovalList list;
    for (int32 i = 0; i < files.Count(); ++i) list.Record(files[i], false);
    for (int32 i = 0; i < directories.Count(); ++i) list.Record(directories[i], true);
    Vector<String> files2, directories2;
    SplitRemovalText(list.Text(), files2, directories2);
    Check(files2.Count() == files.Count());
    for (int32 i = 0; i < files.Count(); ++i) Check(SameText(files[i], files2[i]));
    Check(directories2.Count() == list.DirectoryCount());
    Check(directories2.Count() <= directories.Count());
    // Pairwise: only for small sets.
    for (int32 i = 0; i < directories2.Count() && directories2.Count() <= 256; ++i)
        for (int32 j = 0; j < i; ++j) Check(directories2[i].Compare(directories2[j], false) != 0);

    SortLongestFirst(directories);
    for (int32 i = 1; i < directories.Count(); ++i) Check(directories[i - 1].Length() >= directories[i].Length());
}

void CheckCrLf(const String& text) {
    for (int32 i = 0; i < text.Length(); ++i) {
        if (text.At(i) == '\r') Check(text.At(i + 1) == '\n');
        if (text.At(i) == '\n') Check(i > 0 && text.At(i - 1) == '\r');
    }
}

void CheckBatchAndStartup(const String& text, bool automatic) {
    BatchSettings settings;
    settings.directory = "C:\\Program Files\\Tool";
    String script = ScriptText(text, settings, automatic);
    CheckCrLf(script);
    if (automatic) {
        int32 position = 0;
        String line;
        while (NextLine(script, position, line)) Check(!IsPauseLine(line));
    }

    String line = StartupPathLine("C:\\PROGRA~1\\TOOL");
    String added(text);
    added += StartupPathAddition(text, line);
    Check(StartupPathAddition(added, line).IsEmpty());
    String removed(added);
    Check(RemoveStartupPathLine(removed, line));
    Check(removed.Length() < added.Length());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    String text;
    text.AppendBytes(data, int32(size));
    CheckRoundTrip(text);
    // TakeLine moves the rest on every line: keep the oracle to small inputs.
    if (size <= 8192) CheckLinesAgainstTakeLine(text);
    CheckBatchAndStartup(text, size > 0 && (data[0] & 1));
    return 0;
}
