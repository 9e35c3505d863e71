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

}  // namespace

RemovalList::RemovalList(UpperCaseFunction upperCase)
    : upperCase_(upperCase ? upperCase : UpperCaseLetters), stale_(false), directories_(kRemovalDirectoryBuckets) {}

void RemovalList::Reset() {
    builder_.Take();
    text_.Clear();
    stale_ = false;
    directories_.Reset(kRemovalDirectoryBuckets);
}

void RemovalList::Record(const String& path, bool isDirectory) {
    if (path.IsEmpty()) return;
    if (isDirectory) {
        String key(path);
        upperCase_(key);
        if (!directories_.Set(key, true)) return;
        if (directories_.Count() > kEntriesPerBucket * directories_.BucketCount()) GrowDirectorySet();
        builder_.Append('~');
    }
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

void RemovalList::GrowDirectorySet() {
    Vector<String> keys;
    Cursor cursor;
    for (HashEntry* entry = directories_.GetFirst(cursor); entry; entry = directories_.GetNext(cursor))
        keys.Append(entry->key);
    // An odd count spreads the word sums of similar paths better than a
    // power of two would.
    directories_.Reset(directories_.BucketCount() * 2 + 1);
    for (int32 i = 0; i < keys.Count(); ++i) directories_.Set(keys[i], true);
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
