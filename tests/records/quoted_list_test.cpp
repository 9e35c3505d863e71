#include "records/quoted_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> SharedItems(const char* list) {
    String rest(list);
    String item;
    std::vector<std::string> items;
    while (TakeSharedFileItem(rest, item)) items.push_back(item.Text());
    // The positional reader agrees with the taking one.
    String whole(list);
    int32 pos = 0;
    size_t n = 0;
    while (TakeSharedFileItem(whole, pos, item)) {
        EXPECT_LT(n, items.size());
        if (n < items.size()) {
            EXPECT_EQ(items[n], item.Text()) << list;
        }
        ++n;
    }
    EXPECT_EQ(n, items.size()) << list;
    return items;
}

TEST(SharedFilesList, WritesQuotedItemsWithSemicolonsBetween) {
    String list;
    AppendSharedFileItem(list, "a.dll");
    EXPECT_STREQ(list.Text(), "\"a.dll\"");
    AppendSharedFileItem(list, "sub\\b \"x\".ocx");
    EXPECT_STREQ(list.Text(), "\"a.dll\";\"sub\\b \"\"x\"\".ocx\"");
    TextBuilder built;
    AppendSharedFileItem(built, "a.dll");
    AppendSharedFileItem(built, "sub\\b \"x\".ocx");
    EXPECT_TRUE(built.Take() == list);
    EXPECT_EQ(SharedItems(list.Text()), (std::vector<std::string>{"a.dll", "sub\\b \"x\".ocx"}));
}

TEST(SharedFilesList, ReaderStopsAtTheFirstItemThatIsNotOne) {
    using Items = std::vector<std::string>;
    struct { const char* list; Items items; } cases[] = {
        {"", {}},
        {"\"a\";\"b\"", {"a", "b"}},
        {"\"a\";\"b\";", {"a", "b"}},           // a trailing separator
        {"\"a\"\"b\"", {"a\"b"}},               // doubled quote inside
        {"\"a\"\"\"", {"a\""}},
        {"\"a\"\"", {"a\""}},                  // a doubled quote then the end
        {"\"a\";;\"b\"", {"a"}},                // only one ";" is dropped
        {"\"a\" ;\"b\"", {"a"}},                // nothing else between items
        {"\"a\";\"\";\"b\"", {"a"}},            // an empty item ends the list
        {"a.dll", {}},                          // not quoted at all
        {"\"unterminated", {"unterminated"}},  // runs to the end
        {"\"", {}},
        {"\"\"", {}},
        {"\"x\"\"\"\"", {"x\"\""}},
    };
    for (const auto& c : cases) EXPECT_EQ(SharedItems(c.list), c.items) << c.list;

    String rest("\"a\";junk");
    String item("old");
    EXPECT_TRUE(TakeSharedFileItem(rest, item));
    EXPECT_STREQ(rest.Text(), "junk");
    EXPECT_FALSE(TakeSharedFileItem(rest, item));
    EXPECT_STREQ(rest.Text(), "junk");  // left as it was
    EXPECT_STREQ(item.Text(), "");
    int32 pos = -1;
    EXPECT_FALSE(TakeSharedFileItem(String("\"a\""), pos, item));
    pos = 3;
    EXPECT_FALSE(TakeSharedFileItem(String("\"a\""), pos, item));  // exactly at the end
    pos = 2;
    EXPECT_FALSE(TakeSharedFileItem(String("\"a\""), pos, item));  // at the closing quote: empty item
    EXPECT_EQ(pos, 2);
}

TEST(FontsList, WritesPairsEachFollowedByASpaceAndReadsThemBack) {
    String list;
    AppendFontItem(list, "Sample Sans (TrueType)", "sample.ttf");
    AppendFontItem(list, "Odd \"Q\"", "q.fon");
    EXPECT_STREQ(list.Text(), "\"Sample Sans (TrueType)\" \"sample.ttf\" \"Odd \"\"Q\"\"\" \"q.fon\" ");
    TextBuilder built;
    AppendFontItem(built, "Sample Sans (TrueType)", "sample.ttf");
    AppendFontItem(built, "Odd \"Q\"", "q.fon");
    EXPECT_TRUE(built.Take() == list);

    String title, file;
    EXPECT_TRUE(TakeFontItem(list, title, file));
    EXPECT_STREQ(title.Text(), "Sample Sans (TrueType)");
    EXPECT_STREQ(file.Text(), "sample.ttf");
    EXPECT_TRUE(TakeFontItem(list, title, file));
    EXPECT_STREQ(title.Text(), "Odd \"Q\"");
    EXPECT_STREQ(file.Text(), "q.fon");
    EXPECT_FALSE(TakeFontItem(list, title, file));
    EXPECT_STREQ(list.Text(), " ");
}

TEST(FontsList, ReaderSkipsBlanksAndNeedsBothHalves) {
    struct { const char* list; int pairs; const char* lastFile; } cases[] = {
        {"", 0, ""},
        {" \r\n\t\"T\"\r\n\"t.ttf\"", 1, "t.ttf"},
        {"\"T\"\"t.ttf\"", 0, ""},          // no blank: one title holding a quote, no file
        {"\"T\" \"t.ttf\" \"U\"", 1, "t.ttf"},  // a title without its file
        {"\"T\" \"\" \"U\" \"u\"", 0, ""},   // an empty file ends the list
        {"\"\" \"t.ttf\"", 0, ""},
        {"T \"t.ttf\"", 0, ""},
        {"\"T\" \"t.ttf", 1, "t.ttf"},       // the last file runs to the end
        {"\"A\" \"a\" \"B\" \"b\" ", 2, "b"},
    };
    for (const auto& c : cases) {
        String rest(c.list), title, file, lastFile;
        int pairs = 0;
        while (TakeFontItem(rest, title, file)) {
            ++pairs;
            lastFile = file;
        }
        EXPECT_EQ(pairs, c.pairs) << c.list;
        EXPECT_STREQ(lastFile.Text(), c.lastFile) << c.list;
        EXPECT_TRUE(title.IsEmpty() && file.IsEmpty()) << c.list;
    }
}

TEST(SharedFilesList, ItemsPointBelowTheSharedDirectoryUnlessAPathOfTheirOwn) {
    struct { const char *item, *directory, *expected; } cases[] = {
        {"a.dll", "c:\\Common\\Vendor", "c:\\Common\\Vendor\\a.dll"},
        {"a.dll", "c:\\Common\\Vendor\\", "c:\\Common\\Vendor\\a.dll"},
        {"sub\\a.dll", "c:\\Common\\Vendor", "c:\\Common\\Vendor\\sub\\a.dll"},  // as it was counted
        {"d:\\Other\\a.dll", "c:\\Common\\Vendor", "d:\\Other\\a.dll"},
        {"\\\\server\\share\\a.dll", "c:\\Common", "\\\\server\\share\\a.dll"},
        {"a.dll", "", ""},  // nowhere to look
        {"", "c:\\Common", ""},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(SharedFilePath(c.item, c.directory).Text(), c.expected) << c.item << " in " << c.directory;
    }
}

TEST(SharedFilesList, ManyItemsRoundTrip) {
    TextBuilder built;
    for (int i = 0; i < 20000; ++i) AppendSharedFileItem(built, String::FromFormat("file%05d.dll", i));
    String list = built.Take();
    EXPECT_EQ(list.Length(), 20000 * 16 - 1);  // 13 characters, two quotes, one ";"
    int32 pos = 0;
    String item;
    int count = 0;
    while (TakeSharedFileItem(list, pos, item)) {
        if (item != String::FromFormat("file%05d.dll", count)) break;
        ++count;
    }
    EXPECT_EQ(count, 20000);
    EXPECT_EQ(pos, list.Length());
}

}  // namespace
