#include "records/removal_list.h"

#include "core/paths.h"
#include "core/text_lines.h"

namespace {

// A bucket holds this many directories on average before the set doubles;
// with a fixed bucket count every lookup would walk a list as long as the
// installation is deep.
const int32 kEntriesPerBucket = 4;

void UpperCaseLetters(String& text) { text.MakeUpper(); }

int CompareLongestFirst(const String& a, const String& b) {
    return a.Length() > b.Length() ? -1 : a.Length() < b.Length() ? 1 : 0;
}

// An odd count spreads the word sums of similar paths better than a power
// of two would.
void Grow(HashTable& set) {
    Vector<String> keys;
    Cursor cursor;
    for (HashEntry* entry = set.GetFirst(cursor); entry; entry = set.GetNext(cursor)) keys.Append(entry->key);
    set.Reset(set.BucketCount() * 2 + 1);
    for (int32 i = 0; i < keys.Count(); ++i) set.Set(keys[i], true);
}


bool EndsWithNoCase(const String& text, const char* tail) {
    String end(tail);
    return text.Length() >= end.Length() &&
           String(text.Text() + text.Length() - end.Length()).Compare(end, false) == 0;
}

// path lies strictly below folder.
bool IsBelow(const String& path, const String& folder) {
    if (folder.IsEmpty() || path.Length() <= folder.Length() + 1) return false;
    String within(folder);
    within.EnsureLast('\\');
    return StartsWithPath(path, within);
}

}  // namespace

bool PathSet::Add(const String& key) {
    if (!set_.Set(key, true)) return false;
    if (set_.Count() > kEntriesPerBucket * set_.BucketCount()) Grow(set_);
    return true;
}

RemovalList::RemovalList(UpperCaseFunction upperCase)
    : upperCase_(upperCase ? upperCase : UpperCaseLetters),
      stale_(false) {}

void RemovalList::Reset() {
    builder_.Take();
    text_.Clear();
    stale_ = false;
    directories_.Reset();
    files_.Reset();
}

void RemovalList::Record(const String& path, bool isDirectory) {
    if (path.IsEmpty()) return;
    String key(path);
    upperCase_(key);
    if (!(isDirectory ? directories_ : files_).Add(key)) return;
    if (isDirectory) builder_.Append('~');
    builder_.Append(path);
    builder_.AppendBytes("\r\n", 2);
    stale_ = true;
}

const String& RemovalList::Text() {
    if (stale_) {
        text_ = builder_.Take();
        builder_.Append(text_);
        stale_ = false;
    }
    return text_;
}

void SplitRemovalText(const String& text, Vector<String>& files, Vector<String>& directories) {
    int32 position = 0;
    String line;
    while (NextLine(text, position, line)) {
        bool isDirectory = line.DropFirstIf('~');
        if (!IsFullPath(line)) continue;
        if (isDirectory) {
            directories.Append(line);
        } else {
            files.Append(line);
        }
    }
}

void SortLongestFirst(Vector<String>& paths) { paths.Sort(CompareLongestFirst); }

RemovalLineKind ClassifyRemovalLine(const String& path, bool isDirectory, const String& installDirectory,
                                    const Vector<String>& linkFolders) {
    if (!IsFullPath(path) || installDirectory.IsEmpty()) return RemovalOutside;
    if (IsBelow(path, installDirectory)) {
        if (isDirectory || !SamePath(ParentDirectory(path), installDirectory)) return RemovalInside;
        String name = FileNamePart(path);
        static const char* const kOwnFiles[] = {"Uninstall.EXE", "Uninstall.DAT", "Uninstall.INI"};
        for (const char* own : kOwnFiles) {
            if (name.Compare(own, false) == 0) return RemovalOwnFile;
        }
        return RemovalInside;
    }
    if (isDirectory) {
        // Never a drive root, and never the installation directory itself,
        // which the uninstaller still runs from.
        return path.Length() > 3 && IsBelow(installDirectory, path) ? RemovalAncestor : RemovalOutside;
    }
    if (!EndsWithNoCase(path, ".LNK")) return RemovalOutside;
    for (int32 i = 0; i < linkFolders.Count(); ++i) {
        if (IsBelow(path, const_cast<Vector<String>&>(linkFolders)[i])) return RemovalShortcut;
    }
    return RemovalOutside;
}

void LineSplitter::Emit(LineSink& sink) {
    sink.Line(line_, cut_);
    line_.Clear();
    cut_ = false;
}

void LineSplitter::Feed(const char* data, int32 count, LineSink& sink) {
    int32 start = 0;
    for (int32 i = 0; i < count; ++i) {
        char ch = data[i];
        if (ch != '\r' && ch != '\n' && ch != '\0') {
            lastEnd_ = '\0';
            continue;
        }
        // The second half of a CR LF or LF CR pair ends nothing more.
        bool pairHalf = (ch == '\r' && lastEnd_ == '\n') || (ch == '\n' && lastEnd_ == '\r');
        if (!pairHalf) {
            int32 room = maxLine_ - line_.Length();
            int32 take = i - start;
            if (take > room) {
                take = room < 0 ? 0 : room;
                cut_ = true;
            }
            if (take > 0) line_.AppendBytes(data + start, take);
            Emit(sink);
        }
        lastEnd_ = pairHalf ? '\0' : ch;
        start = i + 1;
    }
    int32 room = maxLine_ - line_.Length();
    int32 take = count - start;
    if (take > room) {
        take = room < 0 ? 0 : room;
        cut_ = true;
    }
    if (take > 0) line_.AppendBytes(data + start, take);
}

void LineSplitter::Finish(LineSink& sink) {
    if (!line_.IsEmpty() || cut_) Emit(sink);
    lastEnd_ = '\0';
}
