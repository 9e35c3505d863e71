// File against real files in a scratch directory.
#ifdef _WIN32

#include "platform/file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/file_system.h"

namespace {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        directory_ = std::string(temp) + "qp_file_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(directory_.c_str(), nullptr);
    }
    void TearDown() override { DeleteTree(directory_.c_str()); }

    std::string PathOf(const char* name) const { return directory_ + "\\" + name; }

    std::string Make(const char* name, const std::string& content) const {
        std::string path = PathOf(name);
        WriteWholeFile(path.c_str(), content.data(), static_cast<int32>(content.size()));
        return path;
    }

    std::string directory_;
};

TEST_F(FileTest, ClosedFileRefusesEverythingButEmptyTransfers) {
    File file;
    char byte = 0;
    EXPECT_TRUE(file.Read(&byte, 0));
    EXPECT_TRUE(file.Write(&byte, 0));
    EXPECT_FALSE(file.Read(&byte, 1));
    EXPECT_STREQ(file.LastError().Text(), "Read access denied");
    EXPECT_FALSE(file.Write(&byte, 1));
    EXPECT_STREQ(file.LastError().Text(), "Write access denied");
    EXPECT_EQ(file.Tell(), -1);
    EXPECT_EQ(file.Size(), -1);
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.SeekFromEnd(0));
    EXPECT_FALSE(file.Truncate());
    EXPECT_FALSE(file.Flush());
    FileDate date(2001, 2, 3, 4, 5, 6);
    EXPECT_FALSE(file.GetTime(&date));
    EXPECT_FALSE(file.SetTime(date));
    EXPECT_TRUE(file.ReadCString().IsEmpty());
}

TEST_F(FileTest, FailedOpenLeavesClosedFileWithNameAndOldError) {
    File file;
    char byte;
    file.Read(&byte, 1);
    std::string missing = PathOf("missing.bin");
    EXPECT_FALSE(file.Open(missing.c_str(), true, false, false));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.CanRead());
    EXPECT_STREQ(file.Name().Text(), missing.c_str());
    EXPECT_STREQ(file.LastError().Text(), "Read access denied");
}

TEST_F(FileTest, CreateEmptiesAnExistingFile) {
    std::string path = Make("data.bin", "old content");
    File file;
    ASSERT_TRUE(file.Create(path.c_str(), true));
    EXPECT_EQ(file.Size(), 0);
    EXPECT_TRUE(file.CanRead());
    EXPECT_TRUE(file.CanWrite());
}

TEST_F(FileTest, ReadOnlyOpenRefusesWritingAndTruncating) {
    std::string path = Make("data.bin", "abcdef");
    File file;
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_STREQ(file.LastError().Text(), "Write access denied");
    EXPECT_FALSE(file.Truncate());
    EXPECT_EQ(file.Size(), 6);
}

TEST_F(FileTest, ReadChecksArgumentsBeforeTheSystem) {
    std::string path = Make("data.bin", "0123456789");
    File file;
    ASSERT_TRUE(file.OpenForUpdate(path.c_str(), false));
    char buffer[16];
    struct Case {
        void* destination;
        int32 count;
        const char* error;
    } cases[] = {
        {buffer, -3, "Illegal block size -3"},
        {nullptr, 4, "NULL block pointer"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(file.Read(c.destination, c.count));
        EXPECT_STREQ(file.LastError().Text(), c.error);
    }
    EXPECT_FALSE(file.Write(buffer, -1));
    EXPECT_STREQ(file.LastError().Text(), "Illegal block size");
    EXPECT_EQ(file.Tell(), 0);
}

TEST_F(FileTest, ShortReadKeepsWhatArrivedAndEndsAtTheEnd) {
    std::string path = Make("data.bin", "0123456789");
    File file;
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    ASSERT_TRUE(file.Seek(6));
    char buffer[10] = {};
    EXPECT_FALSE(file.Read(buffer, 10));
    EXPECT_STREQ(file.LastError().Text(), "Read past end of file");
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(file.Tell(), 10);
}

TEST_F(FileTest, SuccessDoesNotClearTheLastError) {
    std::string path = Make("data.bin", "abc");
    File file;
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    char buffer[4];
    file.Read(nullptr, 1);
    EXPECT_TRUE(file.Read(buffer, 3));
    EXPECT_STREQ(file.LastError().Text(), "NULL block pointer");
}

TEST_F(FileTest, SizeAndReadAtLeaveThePositionAlone) {
    std::string path = Make("data.bin", "0123456789");
    File file;
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    ASSERT_TRUE(file.Seek(3));
    EXPECT_EQ(file.Size(), 10);
    char buffer[3];
    EXPECT_TRUE(file.ReadAt(7, buffer, 3));
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(file.Tell(), 3);
    EXPECT_TRUE(file.SeekFromEnd(-2));
    EXPECT_EQ(file.Tell(), 8);
}

TEST_F(FileTest, ReadRangeOnlyInsideTheFile) {
    std::string path = Make("data.bin", "0123456789");
    File file;
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    struct Case {
        int32 offset;
        int32 count;
        bool ok;
        const char* content;
    } cases[] = {
        {6, 4, true, "6789"},    // ends exactly at the end
        {6, 5, false, "keep"},   // one byte beyond
        {-1, 2, false, "keep"},
        {2, -1, false, "keep"},
        {2147483000, 2000, false, "keep"},  // the end does not wrap around
        {3, 0, true, ""},
    };
    for (const Case& c : cases) {
        String buffer("keep");
        EXPECT_EQ(file.ReadRange(buffer, c.offset, c.count), c.ok) << c.offset << "+" << c.count;
        EXPECT_STREQ(buffer.Text(), c.content) << c.offset << "+" << c.count;
    }
    EXPECT_EQ(file.Tell(), 0);
}

TEST_F(FileTest, ReadCStringStopsAfterTheZeroByte) {
    std::string path = Make("data.bin", std::string("abc\0defg", 8));
    File file;
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    EXPECT_STREQ(file.ReadCString().Text(), "abc");
    EXPECT_EQ(file.Tell(), 4);
    // No zero byte before the end: what was collected.
    EXPECT_STREQ(file.ReadCString().Text(), "defg");
    EXPECT_STREQ(file.LastError().Text(), "Read past end of file");
}

TEST_F(FileTest, ReadInt32IsLittleEndian) {
    std::string path = Make("data.bin", std::string("\x78\x56\x34\x12\xfe\xff\xff\xff", 8));
    File file;
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    int32 a = 0, b = 0;
    file.ReadInt32(a).ReadInt32(b);
    EXPECT_EQ(a, 0x12345678);
    EXPECT_EQ(b, -2);
}

TEST_F(FileTest, WriteTextTruncateAndReopen) {
    std::string path = PathOf("out.txt");
    File file;
    ASSERT_TRUE(file.Create(path.c_str(), true));
    file.WriteText("hello ").WriteText(String("world"));
    ASSERT_TRUE(file.Seek(5));
    EXPECT_TRUE(file.Truncate());
    file.Close();
    String content;
    ASSERT_TRUE(ReadWholeFile(path.c_str(), content));
    EXPECT_STREQ(content.Text(), "hello");
}

TEST_F(FileTest, PositionsNestAndCloseForgetsThem) {
    std::string path = Make("data.bin", "0123456789");
    File file;
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    file.Seek(1);
    EXPECT_EQ(file.PushPosition(5), 1);
    EXPECT_EQ(file.PushPosition(8), 5);
    EXPECT_EQ(file.Tell(), 8);
    EXPECT_EQ(file.PopPosition(), 5);
    EXPECT_EQ(file.Tell(), 5);
    EXPECT_EQ(file.PopPosition(), 1);
    EXPECT_EQ(file.Tell(), 1);
    file.PushPosition();
    file.Close();
    ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
    EXPECT_EQ(file.Tell(), 0);
}

// Death tests re-run their test in a child process: these touch no files.
TEST(FileDeathTest, ReturningWithNoSavedPositionIsAnInternalError) {
    File file;
    file.PushPosition();
    file.PopPosition();
    EXPECT_EXIT(file.PopPosition(), ::testing::ExitedWithCode(1), "gfile 749");
}

TEST(FileDeathTest, ClosingTheInvalidHandleValueIsAnInternalError) {
    EXPECT_EXIT(
        {
            File file;
            file.Attach(INVALID_HANDLE_VALUE, "bad", true, false);
            file.Close();
        },
        ::testing::ExitedWithCode(1), "gfile 520");
}

TEST_F(FileTest, ExclusiveOpenKeepsOthersOut) {
    std::string path = Make("data.bin", "abc");
    File first, second;
    ASSERT_TRUE(first.OpenForReading(path.c_str(), true));
    EXPECT_FALSE(second.OpenForReading(path.c_str(), false));
    first.OpenForReading(path.c_str(), false);
    EXPECT_TRUE(second.OpenForReading(path.c_str(), false));
}

TEST_F(FileTest, TimeRoundTripsInLocalTime) {
    const FileDate dates[] = {
        FileDate(1999, 12, 31, 23, 59, 58),
        FileDate(2004, 7, 15, 12, 0, 0),   // summer, where local time has an offset
        FileDate(2021, 1, 2, 3, 4, 6),
    };
    std::string path = PathOf("dated.bin");
    for (const FileDate& date : dates) {
        File file;
        ASSERT_TRUE(file.Create(path.c_str(), true));
        file.WriteText("data written just before the date is set");
        // The writer reopens for writing only, then sets the date.
        ASSERT_TRUE(file.Open(path.c_str(), false, true, false));
        ASSERT_TRUE(file.SetTime(date));
        file.Close();
        FileDate back;
        ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
        ASSERT_TRUE(file.GetTime(&back));
        EXPECT_EQ(back.Compare(date), 0) << date.Text().Text() << " came back as " << back.Text().Text();
    }
    File file;
    ASSERT_TRUE(file.OpenForUpdate(path.c_str(), false));
    EXPECT_FALSE(file.SetTime(FileDate()));  // no date
    EXPECT_FALSE(file.GetTime(nullptr));
}

TEST_F(FileTest, AppendTextCreatesThenAppendsInOrder) {
    std::string path = PathOf("log.txt");
    EXPECT_TRUE(AppendText(path.c_str(), "first\r\n"));
    EXPECT_TRUE(AppendText(path.c_str(), nullptr));
    EXPECT_TRUE(AppendText(path.c_str(), "second"));
    String content;
    ASSERT_TRUE(ReadWholeFile(path.c_str(), content));
    EXPECT_STREQ(content.Text(), "first\r\nsecond");
    EXPECT_FALSE(AppendText(nullptr, "x"));
    EXPECT_FALSE(AppendText(PathOf("no\\such\\dir.txt").c_str(), "x"));
}

}  // namespace

#endif  // _WIN32
