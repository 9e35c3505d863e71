#include "records/removal_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/text_lines.h"

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

std::vector<std::string> Items(Vector<String>& v) {
    std::vector<std::string> items;
    for (int32 i = 0; i < v.Count(); ++i) items.push_back(Str(v[i]));
    return items;
}

TEST(RemovalList, DirectoriesOnceWithoutCaseBeforeTheirFiles) {
    RemovalList list;
    list.Record("C:\\App\\A", true);
    list.Record("C:\\App\\A\\one.txt", false);
    list.Record("c:\\app\\a", true);  // same directory, other case
    list.Record("C:\\App\\A\\B", true);
    list.Record("C:\\App\\A\\B\\two.txt", false);
    list.Record("c:\\APP\\A\\ONE.TXT", false);  // a file is listed once too
    list.Record("", true);
    list.Record("", false);
    EXPECT_EQ(Str(list.Text()),
              "~C:\\App\\A\r\nC:\\App\\A\\one.txt\r\n~C:\\App\\A\\B\r\nC:\\App\\A\\B\\two.txt\r\n");
    EXPECT_EQ(list.DirectoryCount(), 2);
    EXPECT_EQ(list.FileCount(), 2);

    list.Reset();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(Str(list.Text()), "");
    EXPECT_EQ(list.BucketCount(), kRemovalDirectoryBuckets);
    list.Record("C:\\App\\A", true);  // forgotten by the reset
    EXPECT_EQ(Str(list.Text()), "~C:\\App\\A\r\n");
}

TEST(RemovalList, UsesTheSuppliedCaseMapping) {
    // Stands for the system's mapping, which knows letters beyond A-Z.
    auto latin1 = [](String& text) {
        text.MakeUpper();
        for (int32 i = 0; i < text.Length(); ++i)
            if (text.At(i) == '\xe9') text.SetAt(i, '\xc9');
    };
    RemovalList system(latin1), plain;
    for (RemovalList* list : {&system, &plain}) {
        list->Record("C:\\caf\xe9", true);
        list->Record("C:\\CAF\xc9", true);
    }
    EXPECT_EQ(system.DirectoryCount(), 1);
    EXPECT_EQ(plain.DirectoryCount(), 2);
}

TEST(RemovalList, ManyDirectoriesSpreadOverMoreBuckets) {
    RemovalList list;
    const int32 n = 5000;
    char path[64];
    for (int32 i = 0; i < n; ++i) {
        snprintf(path, sizeof path, "C:\\Program Files\\Tool\\dir%05d", i);
        list.Record(path, true);
        list.Record(String(path) + "\\file.txt", false);
    }
    EXPECT_EQ(list.DirectoryCount(), n);
    EXPECT_GE(list.BucketCount() * 4, n);
    // Every directory is still known after the set regrew.
    int32 before = list.Text().Length();
    for (int32 i = 0; i < n; i += 7) {
        snprintf(path, sizeof path, "c:\\program files\\tool\\DIR%05d", i);
        list.Record(path, true);
    }
    EXPECT_EQ(list.Text().Length(), before);
    EXPECT_EQ(before, n * int32(strlen("~C:\\Program Files\\Tool\\dir00000\r\n") +
                                strlen("C:\\Program Files\\Tool\\dir00000\\file.txt\r\n")));
}

TEST(RemovalList, SplitsAnyLineEndsAndSkipsWhatIsNoFullPath) {
    struct {
        std::string text;
        std::vector<std::string> files, directories;
    } cases[] = {
        {"~C:\\A\r\nC:\\A\\f\r\n", {"C:\\A\\f"}, {"C:\\A"}},
        {"C:\\f\nC:\\g\n~C:\\d", {"C:\\f", "C:\\g"}, {"C:\\d"}},      // LF only, no final end
        {"C:\\f\rC:\\g\r", {"C:\\f", "C:\\g"}, {}},                   // CR only
        {"C:\\f\n\rC:\\g\r\n\r\n\n", {"C:\\f", "C:\\g"}, {}},         // LF CR pairs, empty lines
        {std::string("C:\\f\0junk\nC:\\g", 15), {"C:\\f", "C:\\g"}, {}},  // NUL ends a line
        {"~\r\n~~C:\\x\r\nrelative.txt\r\n\\rooted\r\nC:\r\n", {}, {}},
        {" C:\\lead\r\nC:\\trail \r\n", {"C:\\trail "}, {}},  // not trimmed
        {"", {}, {}},
    };
    for (const auto& c : cases) {
        String text;
        text.AppendBytes(c.text.data(), int32(c.text.size()));
        Vector<String> files, directories;
        SplitRemovalText(text, files, directories);
        EXPECT_EQ(Items(files), c.files) << c.text;
        EXPECT_EQ(Items(directories), c.directories) << c.text;
    }
}

TEST(RemovalList, DirectoriesSortLongestFirst) {
    Vector<String> paths;
    for (const char* p : {"C:\\A", "C:\\A\\B\\C", "C:\\Others", "C:\\A\\B"}) paths.Append(String(p));
    SortLongestFirst(paths);
    std::vector<std::string> sorted = Items(paths);
    ASSERT_EQ(sorted.size(), 4u);
    EXPECT_EQ(sorted[0], "C:\\Others");
    EXPECT_EQ(sorted[1], "C:\\A\\B\\C");
    EXPECT_EQ(sorted[2], "C:\\A\\B");
    EXPECT_EQ(sorted[3], "C:\\A");
}

TEST(TextLines, NextLineSplitsAsTakeLineDoes) {
    const std::string texts[] = {
        "one\r\ntwo", "one\n\rtwo", "one\n\ntwo", "one\r\rtwo\r", "a\r\n\r\nb\n", "\n", "\r", "x",
        std::string("a\0b\0\0c", 6), "\n\r\n\r", "no end", "",
    };
    for (const std::string& t : texts) {
        String consumed;
        consumed.AppendBytes(t.data(), int32(t.size()));
        const String text(consumed);
        std::vector<std::string> expected, got;
        while (!consumed.IsEmpty()) expected.push_back(Str(consumed.TakeLine()));
        int32 position = 0;
        String line;
        while (NextLine(text, position, line)) got.push_back(Str(line));
        EXPECT_EQ(got, expected) << "text of " << t.size() << " bytes";
        EXPECT_EQ(position, text.Length());
    }
}

// The uninstaller acts on a line only where the installation put things.
TEST(ClassifyRemovalLine, OnlyTheInstallationItsShortcutsAndFoldersAbove) {
    Vector<String> links;
    links.Append("C:\\Users\\u\\Desktop");
    links.Append("C:\\ProgramData\\Start Menu\\Programs");
    const String install = "C:\\Apps\\Tool";
    struct { const char* path; bool directory; RemovalLineKind kind; } cases[] = {
        {"C:\\Apps\\Tool\\a.txt", false, RemovalInside},
        {"c:\\apps\\tool\\Sub\\b.txt", false, RemovalInside},
        {"C:\\Apps\\Tool\\Sub", true, RemovalInside},
        {"C:\\Apps\\Tool\\uninstall.exe", false, RemovalOwnFile},
        {"C:\\Apps\\Tool\\Uninstall.DAT", false, RemovalOwnFile},
        {"C:\\Apps\\Tool\\Uninstall.INI", false, RemovalOwnFile},
        {"C:\\Apps\\Tool\\Sub\\Uninstall.EXE", false, RemovalInside},
        {"C:\\Apps\\Tool", true, RemovalOutside},   // it still holds the uninstaller
        {"C:\\Apps\\Tool", false, RemovalOutside},
        {"C:\\Apps\\Toolbox\\a.txt", false, RemovalOutside},
        {"C:\\Apps", true, RemovalAncestor},
        {"C:\\Apps", false, RemovalOutside},
        {"C:\\", true, RemovalOutside},
        {"C:\\Other\\precious.txt", false, RemovalOutside},
        {"C:\\Users\\u\\Desktop\\Tool.LNK", false, RemovalShortcut},
        {"C:\\Users\\u\\Desktop\\Sub\\tool.lnk", false, RemovalShortcut},
        {"C:\\Users\\u\\Desktop\\Tool.txt", false, RemovalOutside},
        {"C:\\Users\\u\\Desktop\\Tool.LNK", true, RemovalOutside},
        {"C:\\Users\\u\\Desktop.LNK", false, RemovalOutside},
        {"C:\\ProgramData\\Start Menu\\Programs\\V\\T.LNK", false, RemovalShortcut},
        {"relative\\a.txt", false, RemovalOutside},
        {"", false, RemovalOutside},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyRemovalLine(c.path, c.directory, install, links), c.kind) << c.path << " " << c.directory;
    EXPECT_EQ(ClassifyRemovalLine("C:\\Apps\\Tool\\a.txt", false, "", links), RemovalOutside);
}

struct Collected : LineSink {
    void Line(const String& line, bool cut) override { lines.push_back((cut ? "[cut]" : "") + Str(line)); }
    std::vector<std::string> lines;
};

// The same lines whatever the pieces the text arrives in, and never more
// than the longest line kept.
TEST(LineSplitter, PiecesOfAnySizeGiveTheSameLines) {
    const std::string text = std::string("one\r\ntwo\n\rthree\rfour\n\nsix\0seven\r\n", 33) + std::string(12, 'x') + "\nlast";
    const std::vector<std::string> expected = {"one", "two", "three", "four", "", "six", "seven", "[cut]xxxxxxxxxx",
                                               "last"};
    for (size_t piece : {size_t(1), size_t(2), size_t(3), size_t(7), text.size()}) {
        LineSplitter splitter(10);
        Collected sink;
        for (size_t at = 0; at < text.size(); at += piece)
            splitter.Feed(text.data() + at, int32(std::min(piece, text.size() - at)), sink);
        splitter.Finish(sink);
        EXPECT_EQ(sink.lines, expected) << "pieces of " << piece;
    }
    // Exactly the longest line kept is not cut; one more byte is.
    for (int32 length : {10, 11}) {
        LineSplitter splitter(10);
        Collected sink;
        std::string line(size_t(length), 'y');
        splitter.Feed(line.data(), length, sink);
        splitter.Finish(sink);
        ASSERT_EQ(sink.lines.size(), 1u);
        EXPECT_EQ(sink.lines[0], (length > 10 ? "[cut]" : "") + std::string(10, 'y'));
    }
}

}  // namespace
