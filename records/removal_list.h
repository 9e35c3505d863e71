// The text of "Uninstall.DAT": one line per thing to remove, a file's full
// path or "~" and a directory's full path, each ending in CR LF, in the
// order they were recorded. Each path is listed once, compared without
// case, so that a previous installation's record merged in first adds no
// second line for what the new one stores again. The caller supplies the
// upper-casing (the system's case mapping on Windows), so this stays
// portable and can be fuzzed natively. Also the rules by which the
// uninstaller decides what a line may touch, and a reader that cuts a file
// of any size into lines in bounded memory.
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

// A set of keys that keeps its buckets about as full as the list grows, so
// that a lookup stays short at any size.
class PathSet {
public:
    PathSet() : set_(kRemovalDirectoryBuckets) {}
    // True when the key was not there yet.
    bool Add(const String& key);
    bool Contains(const String& key) { return set_.Find(key) != nullptr; }
    void Reset() { set_.Reset(kRemovalDirectoryBuckets); }
    int32 Count() const { return set_.Count(); }
    int32 BucketCount() const { return set_.BucketCount(); }

private:
    HashTable set_;
};

class RemovalList {
public:
    // Null: A-Z only.
    explicit RemovalList(UpperCaseFunction upperCase = nullptr);
    RemovalList(const RemovalList&) = delete;
    RemovalList& operator=(const RemovalList&) = delete;

    // Empties the text and the directory set.
    void Reset();
    // An empty path is ignored; a path already recorded adds nothing.
    void Record(const String& path, bool isDirectory);
    // Exactly what the file would hold; copied out only after a change.
    const String& Text();
    bool IsEmpty() const { return builder_.IsEmpty(); }
    int32 DirectoryCount() const { return directories_.Count(); }
    int32 FileCount() const { return files_.Count(); }
    int32 BucketCount() const { return directories_.BucketCount(); }

private:
    UpperCaseFunction upperCase_;
    TextBuilder builder_;
    String text_;
    bool stale_;
    PathSet directories_;
    PathSet files_;
};

// Splits a loaded "Uninstall.DAT" text: lines without their "~" go to
// directories, the others to files, each in file order. Empty lines and
// lines that are not full paths ("x:\...") are left out: a relative path
// would be taken against whatever the current directory happens to be.
// Any bytes are accepted.
void SplitRemovalText(const String& text, Vector<String>& files, Vector<String>& directories);

// Longest first, so inner directories go before those that hold them.
void SortLongestFirst(Vector<String>& paths);

// What one line of "Uninstall.DAT" may touch. The installation directory
// and the link folders (desktop, programs, startup) are canonical paths, and
// so is the line's path: the caller resolves them first.
enum RemovalLineKind {
    RemovalInside,     // a file or folder below the installation directory
    RemovalShortcut,   // a ".LNK" file below a link folder
    RemovalAncestor,   // a folder above the installation directory, removed only when empty
    RemovalOwnFile,    // the uninstaller's own files, which their own steps handle
    RemovalOutside,    // anything else: never touched, reported as skipped
};
RemovalLineKind ClassifyRemovalLine(const String& path, bool isDirectory, const String& installDirectory,
                                    const Vector<String>& linkFolders);

// Cuts text that arrives in pieces into lines (CR, LF, NUL, with CR LF and
// LF CR as one end) without holding more than maxLine bytes of a line: the
// rest of a longer line is dropped and the line handed on as cut.
class LineSink {
public:
    virtual void Line(const String& line, bool cut) = 0;

protected:
    ~LineSink() {}
};

class LineSplitter {
public:
    explicit LineSplitter(int32 maxLine) : maxLine_(maxLine), cut_(false), lastEnd_('\0') {}
    void Feed(const char* data, int32 count, LineSink& sink);
    // Hands on a last line that had no line end.
    void Finish(LineSink& sink);

private:
    void Emit(LineSink& sink);

    int32 maxLine_;
    String line_;
    bool cut_;
    char lastEnd_;  // the end character just seen, to join CR LF and LF CR
};

#endif  // QUILLPACK_RECORDS_REMOVAL_LIST_H
