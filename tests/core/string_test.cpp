#include <gtest/gtest.h>

#include <string>

#include "core/string.h"

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

TEST(String, EmptyOwnsNothingAndHasValidText) {
    String s;
    ASSERT_NE(s.Text(), nullptr);
    EXPECT_STREQ(s.Text(), "");
    EXPECT_EQ(s.Capacity(), 0);
    s = "abc";
    s.SetLength(0);
    EXPECT_EQ(s.Capacity(), 0);
    s = "abc";
    s.Assign("");
    EXPECT_EQ(s.Capacity(), 0);
}

TEST(String, SetAtNulShortensButKeepsBlock) {
    String s("abc");
    EXPECT_TRUE(s.SetAt(0, '\0'));
    EXPECT_EQ(s.Length(), 0);
    EXPECT_GT(s.Capacity(), 0);
    EXPECT_FALSE(s.SetAt(0, 'x'));
}

TEST(String, GrowsLinearlyAndShrinksPastFreeThreshold) {
    String s;
    s.SetLength(10);
    EXPECT_EQ(s.Capacity(), 35);
    s.SetLength(34);
    EXPECT_EQ(s.Capacity(), 35);
    s.SetLength(35);
    EXPECT_EQ(s.Capacity(), 60);
    s.SetLength(975);
    EXPECT_EQ(s.Capacity(), 1000);
    s.SetLength(488);
    EXPECT_EQ(s.Capacity(), 1000);
    s.SetLength(487);
    EXPECT_EQ(s.Capacity(), 512);
    EXPECT_EQ(s.Text()[487], '\0');
}

TEST(String, HoldsBinaryContent) {
    String a, b;
    a.AppendBytes("a\0b", 3);
    b.AppendBytes("a\0c", 3);
    EXPECT_EQ(a.Length(), 3);
    EXPECT_NE(a, b);
    EXPECT_NE(a.Checksum(), b.Checksum());
    String c;
    c.Append(a.Text());  // as text it stops at the NUL
    EXPECT_EQ(Str(c), "a");
}

TEST(String, ChecksumMatchesKnownValues) {
    EXPECT_EQ(String("abc").Checksum(), 2044902854u);
    EXPECT_EQ(String().Checksum(), 2044902557u);
    // High bytes in the tail count as negative.
    EXPECT_EQ(Checksum("\xff", 1), 2044902557u - 1u + 1u);
    EXPECT_EQ(Checksum("\x01\x00\x00\x00", 4), 2044902557u + 1u + 4u);
}

TEST(String, DeleteClampsNegativePositions) {
    String s("abcdef");
    EXPECT_TRUE(s.Delete(-2, 5));
    EXPECT_EQ(Str(s), "def");
    String t("abcdef");
    EXPECT_FALSE(t.Delete(6, 1));
    EXPECT_EQ(Str(t), "abcdef");
    EXPECT_TRUE(t.Delete(2, 100));
    EXPECT_EQ(Str(t), "ab");
    EXPECT_TRUE(t.Delete(0, 2));
    EXPECT_EQ(t.Capacity(), 0);
}

TEST(String, DropsAndTrims) {
    String s("  \tab cd\r\n");
    EXPECT_EQ(s.Trim(), 5);
    EXPECT_EQ(Str(s), "ab cd");
    EXPECT_EQ(s.DropFirst(10), 5);
    EXPECT_TRUE(s.IsEmpty());
    String q("\"x\"");
    EXPECT_TRUE(q.Unwrap('"'));
    EXPECT_EQ(Str(q), "x");
    EXPECT_FALSE(q.Unwrap('"'));
    String p("D:path");
    EXPECT_FALSE(p.DropPrefix(""));
    EXPECT_TRUE(p.DropPrefix("d:"));
    EXPECT_EQ(Str(p), "path");
    EXPECT_FALSE(p.DropPrefix("pathlonger"));
    String r("a-b-c");
    EXPECT_EQ(r.RemoveChar('-'), 2);
    EXPECT_EQ(Str(r), "abc");
    String t("x.y.z");
    EXPECT_TRUE(t.TruncateAt('.'));
    EXPECT_EQ(Str(t), "x");
    String u("aXbXxc");
    EXPECT_EQ(u.Remove("x", kAll, false), 3);
    EXPECT_EQ(Str(u), "abc");
}

TEST(String, InsertsClampPositionsAndSurviveSelfReference) {
    String s("ace");
    s.Insert(1, 'b', 1);
    s.Insert(99, "f");
    s.Insert(-5, String("0"));
    s.Insert(4, 'd', 0);
    EXPECT_EQ(Str(s), "0abcef");
    String big("0123456789");
    big.InsertBytes(5, big.Text(), big.Length());
    EXPECT_EQ(Str(big), "01234012345678956789");
    big.Assign(big.Text() + 10, 5);
    EXPECT_EQ(Str(big), "56789");
    EXPECT_TRUE(String("a").EnsureLast('\\'));
    String dir("c:\\");
    EXPECT_FALSE(dir.EnsureLast('\\'));
}

TEST(String, FindsTextAndCharacters) {
    String s("Hello World");
    EXPECT_EQ(s.Find(""), -1);
    EXPECT_EQ(s.Find("o", 50), -1);
    EXPECT_EQ(s.Find("WORLD", 0, false), 6);
    EXPECT_EQ(s.Find("WORLD", 0, true), -1);
    EXPECT_EQ(s.Find('w', 0, false), 6);
    EXPECT_EQ(s.FindLast('o'), 7);
    EXPECT_EQ(s.FindLast('o', 5), 4);
    EXPECT_EQ(s.FindFirstOf("dW", 0), 6);
    EXPECT_EQ(s.FindFirstOf("", 0), -1);
    EXPECT_EQ(s.FindFirstNotOf("leH", 0), 4);
    EXPECT_EQ(String("v 1.2").FindNumber(), 2);
}

TEST(String, ComparesWithPrefixBelowLonger) {
    EXPECT_EQ(String().Compare("", false), 0);
    EXPECT_EQ(String("x").Compare("", false), 1);
    EXPECT_EQ(String().Compare(String("x"), false), -1);
    EXPECT_EQ(String().Compare(String(), false), -1);
    EXPECT_LT(String("ab").Compare("abc", true), 0);
    EXPECT_EQ(String("ABC").Compare("abc", false), 0);
    EXPECT_NE(String("ABC").Compare("abc", true), 0);
    EXPECT_EQ(String("abX").Compare("abY", true, 2), 0);
}

TEST(String, ExtractsParts) {
    String s("abcdef");
    EXPECT_EQ(Str(s.Mid(2, 2)), "cd");
    EXPECT_EQ(Str(s.Mid(-3, 2)), "ab");
    EXPECT_EQ(Str(s.Mid(4, 100)), "ef");
    String dest("keep");
    EXPECT_FALSE(s.CopyTo(dest, 3, 6));
    EXPECT_TRUE(dest.IsEmpty());
    EXPECT_EQ(Str(s.Cut(1, 2)), "bc");
    EXPECT_EQ(Str(s), "adef");
}

TEST(String, ReplacesWithoutRescanningInsertedText) {
    struct Case { const char* text; const char* find; const char* with; const char* result; int count; };
    const Case cases[] = {
        {"aaaa", "aa", "b", "bb", 2},
        {"aaa", "aa", "b", "ba", 1},
        {"<os> and <OS>", "<os>", "Windows", "Windows and Windows", 2},
        {"abc", "b", "bb", "abbc", 1},
        {"abc", "x", "y", "abc", 0},
        {"abab", "ab", "cd", "cdcd", 2},
        {"abc", "b", nullptr, "ac", 1},
    };
    for (const Case& c : cases) {
        String s(c.text);
        EXPECT_EQ(s.ReplaceAll(c.find, c.with, false), c.count) << c.text;
        EXPECT_EQ(Str(s), c.result) << c.text;
    }
}

TEST(String, TakesLinesWithEitherLineEnd) {
    struct Case { const char* text; const char* line; const char* rest; };
    const Case cases[] = {
        {"one\r\ntwo", "one", "two"},
        {"one\n\rtwo", "one", "two"},
        {"one\n\ntwo", "one", "\ntwo"},
        {"one", "one", ""},
        {"\rx", "", "x"},
    };
    for (const Case& c : cases) {
        String s(c.text);
        EXPECT_EQ(Str(s.TakeLine()), c.line) << c.text;
        EXPECT_EQ(Str(s), c.rest) << c.text;
    }
}

TEST(String, TakesQuotedPartsAndTokens) {
    String q("\"a\"\"b\"c");
    EXPECT_EQ(Str(q.TakeQuoted('"', 0)), "a\"b");
    EXPECT_EQ(Str(q), "c");
    String open("\"abc");
    EXPECT_EQ(Str(open.TakeQuoted('"', 0)), "abc");
    EXPECT_TRUE(open.IsEmpty());
    String none("abc");
    EXPECT_TRUE(none.TakeQuoted('"', 0).IsEmpty());
    EXPECT_EQ(Str(none), "abc");

    String line("  /d:\"C:\\Program Files\\x\" /a");
    EXPECT_EQ(Str(line.TakeToken()), "/d:C:\\Program Files\\x");
    EXPECT_EQ(Str(line), "/a");
    EXPECT_EQ(Str(line.TakeToken()), "/a");
    EXPECT_TRUE(line.TakeToken().IsEmpty());
}

TEST(String, ReadsNumbers) {
    EXPECT_DOUBLE_EQ(String("Setup 4.10").ToDouble(0), 4.1);
    EXPECT_DOUBLE_EQ(String("none").ToDouble(0), 0.0);
    EXPECT_DOUBLE_EQ(String("1,234.5").ToDouble(0), 1234.5);
    EXPECT_EQ(String("-12,000 bytes").ToInt(), -12000);
    String v("4.10x");
    int32 pos = 2;
    EXPECT_EQ(v.ParseInt(pos), 10);
    EXPECT_EQ(pos, 4);
    pos = 9;
    EXPECT_EQ(v.ParseInt(pos), INT32_MIN);
    EXPECT_EQ(pos, 9);
    EXPECT_EQ(String("-7").ParseIntAt(0), -7);
    EXPECT_EQ(TextToInt("+42z"), 42);
    EXPECT_EQ(TextToInt(nullptr), 0);
}

TEST(String, CharacterClassesIgnoreLocale) {
    EXPECT_TRUE(IsSpace('\t'));
    EXPECT_FALSE(IsSpace('\v'));
    EXPECT_FALSE(IsLetter('\xe9'));
    EXPECT_EQ(ToUpper('\xe9'), '\xe9');
    EXPECT_EQ(LastChar("ab"), 'b');
    EXPECT_EQ(LastChar(""), '\0');
    char buffer[16] = "abc";
    PadFront(buffer, '0', 3);
    EXPECT_STREQ(buffer, "000abc");
}

TEST(String, FormatsUpToTheScratchLimit) {
    String s;
    s.AppendFormat("%s-%d", "x", 5);
    EXPECT_EQ(Str(s), "x-5");
    std::string big(32767, 'q');
    String t;
    t.AppendFormat("%s", big.c_str());
    EXPECT_EQ(t.Length(), 32767);
    t.AppendFormat("%s", big.c_str());
    EXPECT_EQ(t.Length(), 65534);  // the limit is per call, not per String
    EXPECT_EQ(Str(String::FromFormat("%03d", 7)), "007");
}

using StringDeathTest = ::testing::Test;

TEST_F(StringDeathTest, FatalChecksNameTheirNumbers) {
    std::string big(32768, 'q');
    EXPECT_EXIT(String().AppendFormat("%s", big.c_str()), ::testing::ExitedWithCode(1), "Core32 7360");
    EXPECT_EXIT(String("abc").Pointer(3), ::testing::ExitedWithCode(1), "Core32 563");
    EXPECT_EXIT(String().SetLength(kMaxStringLength + 1), ::testing::ExitedWithCode(1), "Core32 623");
    EXPECT_EXIT(String().Extend(-1), ::testing::ExitedWithCode(1), "Core32 2478");
    EXPECT_EXIT(LastChar(nullptr), ::testing::ExitedWithCode(1), "Core32 5087");
    EXPECT_EXIT(PadFront(nullptr, 'x', 1), ::testing::ExitedWithCode(1), "Core32 5642");
}

}  // namespace
