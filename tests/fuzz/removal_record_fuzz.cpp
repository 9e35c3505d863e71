// Fuzz target for the reader of "Uninstall.DAT" (any bytes may be in that
// file) and for the other line-by-line texts of the uninstall area.
//   - the reader keeps only full paths without line-end or NUL bytes;
//   - NextLine splits exactly as TakeLine does;
//   - what the reader found, recorded again, reads back the same, with
//     each path once;
//   - the batch script and the startup file edits keep their line ends
//     whole and never read outside the input;
//   - a hostile path in a SET line stays one quoted value: two quotes, %
//     only in pairs, no line end;
//   - the chunked line reader gives NextLine's lines (cut at its limit)
//     whatever the chunk sizes, and the line rules only accept what lies
//     where they say.
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
    // Each file once, in the order first seen.
    Check(files2.Count() == list.FileCount() && files2.Count() <= files.Count());
    for (int32 i = 0, j = 0; i < files2.Count(); ++i) {
        while (j < files.Count() && !SameText(files[j], files2[i])) ++j;
        Check(j < files.Count());
    }
    for (int32 i = 0; i < files2.Count() && files2.Count() <= 256; ++i)
        for (int32 j = 0; j < i; ++j) Check(files2[i].Compare(files2[j], false) != 0);
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

void CheckSetLines(const String& hostile) {
    BatchSettings settings;
    settings.directory = hostile;
    settings.sharedDirectory = hostile;
    settings.installerPath = hostile;
    String script = ScriptText("", settings, true);
    int32 position = 0;
    String line;
    int32 sets = 0;
    while (NextLine(script, position, line)) {
        if (line.Compare("SET ", true, 4) != 0) continue;
        ++sets;
        int32 quotes = 0;
        for (int32 i = 0; i < line.Length(); ++i) {
            if (line.At(i) == '"') ++quotes;
            if (line.At(i) != '%') continue;
            int32 run = 0;
            while (line.At(i + run) == '%') ++run;
            Check(run % 2 == 0);
            i += run - 1;
        }
        Check(quotes == 2 && line.At(4) == '"' && line.Last() == '"');
    }
    Check(hostile.IsEmpty() || sets == 6);
}

struct Lines : LineSink {
    void Line(const String& line, bool cut) override {
        lines.Append(line);
        cuts.Append(cut);
    }
    Vector<String> lines;
    Vector<bool> cuts;
};

void CheckSplitter(const String& text, uint8_t chunkSeed) {
    const int32 kMax = 64;
    LineSplitter splitter(kMax);
    Lines got;
    int32 chunk = 1 + chunkSeed % 97;
    for (int32 at = 0; at < text.Length(); at += chunk)
        splitter.Feed(text.Text() + at, text.Length() - at < chunk ? text.Length() - at : chunk, got);
    splitter.Finish(got);
    int32 position = 0, i = 0;
    String line;
    while (NextLine(text, position, line)) {
        Check(i < got.lines.Count());
        String expected(line);
        if (expected.Length() > kMax) expected.SetLength(kMax);
        Check(SameText(got.lines[i], expected));
        Check(got.cuts[i] == (line.Length() > kMax));
        ++i;
    }
    // NextLine reports no empty last line after a final line end.
    Check(i == got.lines.Count());

    Vector<String> links;
    links.Append("C:\\Users\\u\\Desktop");
    const String install("C:\\Apps\\Tool");
    for (int32 k = 0; k < got.lines.Count(); ++k) {
        String path(got.lines[k]);
        bool directory = path.DropFirstIf('~');
        RemovalLineKind kind = ClassifyRemovalLine(path, directory, install, links);
        if (kind == RemovalInside || kind == RemovalOwnFile) Check(StartsWithPath(path, "C:\\Apps\\Tool\\"));
        if (kind == RemovalShortcut) Check(!directory && StartsWithPath(path, "C:\\Users\\u\\Desktop\\"));
        if (kind == RemovalAncestor) Check(directory && path.Length() > 3 && StartsWithPath(install, path));
    }
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
    if (size <= 4096) CheckSetLines(text);
    CheckSplitter(text, size > 0 ? data[size - 1] : 0);
    return 0;
}
