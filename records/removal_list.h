// The text of "Uninstall.DAT": one line per thing to remove, a file's full
// path or "~" and a directory's full path, each ending in CR LF, in the
// order they were recorded. Each directory is listed once, compared without
// case. The caller supplies the upper-casing (the system's case mapping on
// Windows), so this stays portable and can be fuzzed natively.
#ifndef QUILLPACK_RECORDS_REMOVAL_LIST_H
#define QUILLPACK_RECORDS_REMOVAL_LIST_H

#include "core/hash_table.h"
#include "core/vector.h"
#include "core/string.h"
#include "core/text_builder.h"

// Upper-cases the text in place.
typedef void (*UpperCaseFunction)(String& text);

// The directory set starts with this many buckets.
const int32 kRemovalDirectoryBuckets = 40;

class RemovalList {
public:
    // Null: A-Z only.
    explicit RemovalList(UpperCaseFunction upperCase = nullptr);
    RemovalList(const RemovalList&) = delete;
    RemovalList& operator=(const RemovalList&) = delete;

    // Empties the text and the directory set.
    void Reset();
    // An empty path is ignored; a directory already recorded adds nothing.
    void Record(const String& path, bool isDirectory);
    // Exactly what the file would hold; copied out only after a change.
    const String& Text();
    bool IsEmpty() const { return builder_.IsEmpty(); }
    int32 DirectoryCount() const { return directories_.Count(); }
    int32 BucketCount() const { return directories_.BucketCount(); }

private:
    void GrowDirectorySet();

    UpperCaseFunction upperCase_;
    TextBuilder builder_;
    String text_;
    bool stale_;
    HashTable directories_;
};

// Splits a loaded "Uninstall.DAT" text: lines without their "~" go to
// directories, the others to files, each in file order. Empty lines and
// lines that are not full paths ("x:\...") are left out: a relative path
// would be taken against whatever the current directory happens to be.
// Any bytes are accepted.
void SplitRemovalText(const String& text, Vector<String>& files, Vector<String>& directories);

// Longest first, so inner directories go before those that hold them.
void SortLongestFirst(Vector<String>& paths);

#endif  // QUILLPACK_RECORDS_REMOVAL_LIST_H
