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

TEST(ByteStream, ReadsLittleEndianIntegers) {
    struct Case {
        std::string bytes;
        int32 value;
    } cases[] = {
        {std::string("\x01\x02\x00\x00", 4), 513},
        {std::string("\xFF\xFF\xFF\xFF", 4), -1},
        {std::string("\x00\x00\x00\x80", 4), -2147483647 - 1},
        {std::string("\x78\x56\x34\x12", 4), 0x12345678},
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
}

TEST(ByteStream, ShortIntegerKeepsPresentBytesAndZeroesTheRest) {
    ByteStream stream = StreamOf(std::string("\x34\x12", 2));
    int32 value = -1;
    stream.ReadInt32(value);
    EXPECT_EQ(value, 0x1234);
    EXPECT_EQ(stream.Position(), 4);
    EXPECT_TRUE(stream.AtEnd());
    // Further reads past the end give zeros, chained without complaint.
    int32 a = -1, b = -1;
    FileDate date(1999, 5, 6, 7, 8, 9);
    stream.ReadInt32(a).ReadFileDate(date).ReadInt32(b);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_FALSE(date.IsSet());
    EXPECT_EQ(date.year, 0);
}

TEST(ByteStream, ReadsTextsUpToNulOrEnd) {
    ByteStream stream = StreamOf(std::string("abc\0de", 6));
    String text("old");
    EXPECT_TRUE(stream.ReadText(text));
    EXPECT_EQ(Str(text), "abc");
    EXPECT_EQ(stream.Position(), 4);
    EXPECT_FALSE(stream.ReadText(text));
    EXPECT_EQ(Str(text), "de");
    EXPECT_EQ(stream.Position(), 6);
    EXPECT_FALSE(stream.ReadText(text));
    EXPECT_TRUE(text.IsEmpty());

    ByteStream single = StreamOf(std::string("\0", 1));
    text = "old";
    EXPECT_TRUE(single.ReadText(text));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(single.Position(), 1);
}

TEST(ByteStream, ReadZeroFillsWhatIsMissing) {
    ByteStream stream = StreamOf("abcdef");
    char out[8];
    memset(out, '*', sizeof(out));
    EXPECT_TRUE(stream.Read(out, 4));
    EXPECT_FALSE(stream.Read(out, 5));
    EXPECT_EQ(std::string(out, 5), std::string("ef\0\0\0", 5));
    EXPECT_EQ(out[5], '*');  // nothing written past the n bytes asked for
    EXPECT_EQ(stream.Position(), 9);
    EXPECT_FALSE(stream.Read(nullptr, 1));
    EXPECT_FALSE(stream.Read(out, -1));
    EXPECT_EQ(stream.Position(), 9);
}

TEST(ByteStream, ShortReadAppendKeepsTargetAndMovesOn) {
    ByteStream stream = StreamOf("xxabcd");
    stream.Skip(2);
    String target("keep");
    EXPECT_FALSE(stream.ReadAppend(target, 10));
    EXPECT_EQ(Str(target), "keep");
    EXPECT_EQ(stream.Position(), 12);

    EXPECT_FALSE(stream.Seek(7));
    EXPECT_FALSE(stream.Seek(-1));
    EXPECT_TRUE(stream.Seek(6));  // the end itself
    EXPECT_TRUE(stream.AtEnd());
    stream.Seek(2);
    EXPECT_TRUE(stream.ReadAppend(target, 4));
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

TEST(ByteStream, FillOverwritesAndExtends) {
    struct Case {
        int32 position;
        const char* expected;
    } cases[] = {{1, "axxxef"}, {5, "abcdexxx"}, {6, "abcdefxxx"}};
    for (const Case& c : cases) {
        ByteStream stream = StreamOf("abcdef");
        ASSERT_TRUE(stream.Seek(c.position));
        EXPECT_TRUE(stream.Fill('x', 3));
        EXPECT_EQ(Str(stream.Bytes()), c.expected) << "at " << c.position;
        EXPECT_EQ(stream.Position(), c.position + 3);
        EXPECT_FALSE(stream.Fill('x', 0));
    }
}

TEST(ByteStream, WriteBeyondTheEndZeroesTheGap) {
    ByteStream stream = StreamOf("ab");
    stream.Skip(5);
    EXPECT_TRUE(stream.Write("cd", 2));
    EXPECT_EQ(Str(stream.Bytes()), std::string("ab\0\0\0cd", 7));
    EXPECT_FALSE(stream.Write(nullptr, 2));
    EXPECT_FALSE(stream.Write("x", 0));
    EXPECT_EQ(stream.Position(), 7);
}

TEST(ByteStream, ReserveReturnsTheBlockAfterGrowth) {
    ByteStream stream;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        char* room = stream.Reserve(7);
        memcpy(room, "1234567", 7);
        expected += "1234567";
    }
    EXPECT_EQ(Str(stream.Bytes()), expected);
    EXPECT_EQ(stream.Bytes().Text()[expected.size()], '\0');
}

TEST(ByteStream, CopyBackOnlyFromWhollyEarlierBytes) {
    struct Case {
        const char* bytes;
        int32 position, from, n;
        bool ok;
        const char* expected;
    } cases[] = {
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
