#include <gtest/gtest.h>

#include <string>

#include "core/byte_stream.h"

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

ByteStream StreamOf(const std::string& bytes) {
    ByteStream stream;
    stream.Bytes().Assign(bytes.data(), int32(bytes.size()));
    return stream;
}

TEST(ByteStream, ReadsLittleEndianIntegersAndZeroesWhatIsMissing) {
    struct Case { std::string bytes; int32 value; } cases[] = {
        {std::string("\x01\x02\x00\x00", 4), 513},
        {std::string("\xFF\xFF\xFF\xFF", 4), -1},
        {std::string("\x00\x00\x00\x80", 4), -2147483647 - 1},
        {std::string("\x34\x12", 2), 0x1234},  // present bytes kept, the rest zero
    };
    for (const Case& c : cases) {
        ByteStream stream = StreamOf(c.bytes);
        int32 value = 7;
        stream.ReadInt32(value);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(stream.Position(), 4);
    }
    const int32 fields[6] = {2001, 12, 31, 23, 59, 58};
    ByteStream record;
    record.Bytes().Assign(fields, int32(sizeof(fields)));
    FileDate date;
    record.ReadFileDate(date);
    EXPECT_EQ(date.Compare(FileDate(2001, 12, 31, 23, 59, 58)), 0);
    // Past the end: zeros, chained without complaint.
    int32 a = -1, b = -1;
    record.ReadInt32(a).ReadFileDate(date).ReadInt32(b);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_FALSE(date.IsSet());
}

TEST(ByteStream, ReadsTextsAndBlocksUpToTheEnd) {
    ByteStream stream = StreamOf(std::string("abc\0de", 6));
    String text("old");
    EXPECT_TRUE(stream.ReadText(text));
    EXPECT_EQ(Str(text), "abc");
    EXPECT_FALSE(stream.ReadText(text));  // no NUL before the end
    EXPECT_EQ(Str(text), "de");
    EXPECT_FALSE(stream.ReadText(text));
    EXPECT_TRUE(text.IsEmpty());

    ByteStream bytes = StreamOf("abcdef");
    char out[8];
    memset(out, '*', sizeof(out));
    EXPECT_TRUE(bytes.Read(out, 4));
    EXPECT_FALSE(bytes.Read(out, 5));
    EXPECT_EQ(std::string(out, 6), std::string("ef\0\0\0*", 6));  // nothing past the n asked for
    EXPECT_EQ(bytes.Position(), 9);
    EXPECT_FALSE(bytes.Read(nullptr, 1));
    EXPECT_FALSE(bytes.Read(out, -1));

    ByteStream appended = StreamOf("xxabcd");
    appended.Skip(2);
    String target("keep");
    EXPECT_FALSE(appended.ReadAppend(target, 10));  // a short read appends nothing but moves on
    EXPECT_EQ(Str(target), "keep");
    EXPECT_EQ(appended.Position(), 12);
    EXPECT_FALSE(appended.Seek(7));
    EXPECT_FALSE(appended.Seek(-1));
    EXPECT_TRUE(appended.Seek(6));  // the end itself
    EXPECT_TRUE(appended.Seek(2));
    EXPECT_TRUE(appended.ReadAppend(target, 4));
    EXPECT_EQ(Str(target), "keepabcd");
}

TEST(ByteStream, HostileCountsAndPositionsNeitherWrapNorCrash) {
    ByteStream stream = StreamOf("abcd");
    stream.Skip(kAll);
    stream.Skip(kAll);  // stays at the largest position instead of wrapping
    EXPECT_EQ(stream.Position(), kAll);
    int32 value = -1;
    stream.ReadInt32(value);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(stream.Position(), kAll);
    String text("x");
    EXPECT_FALSE(stream.ReadAppend(text, kAll));
    EXPECT_EQ(text.Length(), 1);
    stream.Skip(-5);
    EXPECT_EQ(stream.Position(), kAll);
    EXPECT_FALSE(stream.CopyBack(0, kAll));
}

TEST(ByteStream, WritesOverwriteExtendAndZeroTheGap) {
    struct Case { int32 position; const char* expected; } cases[] = {
        {1, "axxxef"}, {5, "abcdexxx"}, {6, "abcdefxxx"}};
    for (const Case& c : cases) {
        ByteStream stream = StreamOf("abcdef");
        ASSERT_TRUE(stream.Seek(c.position));
        EXPECT_TRUE(stream.Fill('x', 3));
        EXPECT_EQ(Str(stream.Bytes()), c.expected) << "at " << c.position;
        EXPECT_EQ(stream.Position(), c.position + 3);
        EXPECT_FALSE(stream.Fill('x', 0));
    }
    ByteStream gap = StreamOf("ab");
    gap.Skip(5);
    EXPECT_TRUE(gap.Write("cd", 2));
    EXPECT_EQ(Str(gap.Bytes()), std::string("ab\0\0\0cd", 7));
    EXPECT_FALSE(gap.Write(nullptr, 2));
    EXPECT_FALSE(gap.Write("x", 0));

    // Reserve hands back the block after any growth, still NUL-terminated.
    ByteStream reserved;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        memcpy(reserved.Reserve(7), "1234567", 7);
        expected += "1234567";
    }
    EXPECT_EQ(Str(reserved.Bytes()), expected);
    EXPECT_EQ(reserved.Bytes().Text()[expected.size()], '\0');
}

TEST(ByteStream, CopyBackOnlyFromWhollyEarlierBytes) {
    struct Case { const char* bytes; int32 position, from, n; bool ok; const char* expected; } cases[] = {
        {"abcd", 4, 0, 4, true, "abcdabcd"},
        {"abcd", 4, 2, 2, true, "abcdcd"},
        {"abcdef", 2, 0, 2, true, "ababef"},
        {"abcd", 4, 2, 4, false, "abcd"},  // would read what it writes
        {"abcd", 4, -1, 2, false, "abcd"},
        {"abcd", 4, 0, 0, false, "abcd"},
    };
    for (const Case& c : cases) {
        ByteStream stream = StreamOf(c.bytes);
        ASSERT_TRUE(stream.Seek(c.position));
        EXPECT_EQ(stream.CopyBack(c.from, c.n), c.ok) << c.from << "," << c.n;
        EXPECT_EQ(Str(stream.Bytes()), c.expected) << c.from << "," << c.n;
        EXPECT_EQ(stream.Position(), c.ok ? c.position + c.n : c.position);
    }
    ByteStream beyond = StreamOf("ab");
    beyond.Skip(3);  // position past the end: refused
    EXPECT_FALSE(beyond.CopyBack(0, 1));
}

}  // namespace
