#include "records/removal_list.h"

#include <gtest/gtest.h>

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
    list.Record("C:\\App\\A\\one.txt", false);  // files are not checked
    list.Record("", true);
    list.Record("", false);
    EXPECT_EQ(Str(list.Text()),
              "~C:\\App\\A\r\nC:\\App\\A\\one.txt\r\n~C:\\App\\A\\B\r\nC:\\App\\A\\B\\two.txt\r\n"
              "C:\\App\\A\\one.txt\r\n");
    EXPECT_EQ(list.DirectoryCount(), 2);

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

}  // namespace
