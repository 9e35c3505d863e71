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
        data_ = Make("data.bin", "0123456789");
    }
    void TearDown() override { DeleteTree(directory_.c_str()); }

    std::string PathOf(const char* name) const { return directory_ + "\\" + name; }
    std::string Make(const char* name, const std::string& content) const {
        std::string path = PathOf(name);
        WriteWholeFile(path.c_str(), content.data(), static_cast<int32>(content.size()));
        return path;
    }

    std::string directory_, data_;
};

TEST_F(FileTest, ClosedFileRefusesEverythingButEmptyTransfers) {
    File file;
    char byte = 0;
    EXPECT_TRUE(file.Read(&byte, 0));
    EXPECT_TRUE(file.Write(&byte, 0));
    EXPECT_FALSE(file.Write(&byte, 1));
    EXPECT_STREQ(file.LastError().Text(), "Write access denied");
    EXPECT_FALSE(file.Read(&byte, 1));
    EXPECT_STREQ(file.LastError().Text(), "Read access denied");
    EXPECT_EQ(file.Tell(), -1);
    EXPECT_EQ(file.Size(), -1);
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.Truncate());
    EXPECT_FALSE(file.Flush());
    FileDate date(2001, 2, 3, 4, 5, 6);
    EXPECT_FALSE(file.GetTime(&date));
    EXPECT_FALSE(file.SetTime(date));
    EXPECT_TRUE(file.ReadCString().IsEmpty());
    // A failed open keeps the name and the old error.
    std::string missing = PathOf("missing.bin");
    EXPECT_FALSE(file.Open(missing.c_str(), true, false, false));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_STREQ(file.Name().Text(), missing.c_str());
    EXPECT_STREQ(file.LastError().Text(), "Read access denied");
}

TEST_F(FileTest, OpenModesAndSharing) {
    File file, other;
    ASSERT_TRUE(file.OpenForReading(data_.c_str(), false));
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_STREQ(file.LastError().Text(), "Write access denied");
    EXPECT_FALSE(file.Truncate());
    ASSERT_TRUE(file.OpenForReading(data_.c_str(), true));  // exclusive keeps others out
    EXPECT_FALSE(other.OpenForReading(data_.c_str(), false));
    file.Close();
    ASSERT_TRUE(file.Create(data_.c_str(), true));  // empties an existing file
    EXPECT_EQ(file.Size(), 0);
    EXPECT_TRUE(file.CanRead() && file.CanWrite());
}

TEST_F(FileTest, ReadErrorsKeepWhatArrivedAndSuccessKeepsTheLastError) {
    File file;
    ASSERT_TRUE(file.OpenForUpdate(data_.c_str(), false));
    char buffer[16] = {};
    struct { void* destination; int32 count; const char* error; } cases[] = {
        {buffer, -3, "Illegal block size -3"}, {nullptr, 4, "NULL block pointer"}};
    for (const auto& c : cases) {
        EXPECT_FALSE(file.Read(c.destination, c.count));
        EXPECT_STREQ(file.LastError().Text(), c.error);
    }
    EXPECT_FALSE(file.Write(buffer, -1));
    EXPECT_STREQ(file.LastError().Text(), "Illegal block size");
    EXPECT_EQ(file.Tell(), 0);
    EXPECT_TRUE(file.Read(buffer, 3));
    EXPECT_STREQ(file.LastError().Text(), "Illegal block size");
    ASSERT_TRUE(file.Seek(6));
    EXPECT_FALSE(file.Read(buffer, 10));
    EXPECT_STREQ(file.LastError().Text(), "Read past end of file");
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(file.Tell(), 10);
}

TEST_F(FileTest, RangesLeaveThePositionAloneAndStayInsideTheFile) {
    File file;
    ASSERT_TRUE(file.OpenForReading(data_.c_str(), false));
    ASSERT_TRUE(file.Seek(3));
    EXPECT_EQ(file.Size(), 10);
    char buffer[3];
    EXPECT_TRUE(file.ReadAt(7, buffer, 3));
    EXPECT_EQ(std::string(buffer, 3), "789");
    struct { int32 offset, count; bool ok; const char* content; } cases[] = {
        {6, 4, true, "6789"},  // ends exactly at the end
        {6, 5, false, "keep"}, {-1, 2, false, "keep"}, {2, -1, false, "keep"},
        {2147483000, 2000, false, "keep"},  // the end does not wrap around
        {3, 0, true, ""},
    };
    for (const auto& c : cases) {
        String buffer("keep");
        EXPECT_EQ(file.ReadRange(buffer, c.offset, c.count), c.ok) << c.offset << "+" << c.count;
        EXPECT_STREQ(buffer.Text(), c.content) << c.offset << "+" << c.count;
    }
    EXPECT_EQ(file.Tell(), 3);
    EXPECT_TRUE(file.SeekFromEnd(-2));
    EXPECT_EQ(file.Tell(), 8);
}

TEST_F(FileTest, TypedReadsTruncateAndWriteText) {
    std::string path = Make("typed.bin", std::string("abc\0\x78\x56\x34\x12\xfe\xff\xff\xff", 12));
    File file;
    ASSERT_TRUE(file.OpenForUpdate(path.c_str(), false));
    EXPECT_STREQ(file.ReadCString().Text(), "abc");
    EXPECT_EQ(file.Tell(), 4);
    int32 a = 0, b = 0;
    file.ReadInt32(a).ReadInt32(b);
    EXPECT_EQ(a, 0x12345678);
    EXPECT_EQ(b, -2);
    ASSERT_TRUE(file.Seek(4));
    ASSERT_TRUE(file.Truncate());
    file.WriteText("de").WriteText(String("fg"));
    EXPECT_EQ(file.Size(), 8);
    ASSERT_TRUE(file.Seek(4));
    EXPECT_STREQ(file.ReadCString().Text(), "defg");  // no zero byte before the end: what was collected
    EXPECT_STREQ(file.LastError().Text(), "Read past end of file");
}

TEST_F(FileTest, PositionsNestAndCloseForgetsThem) {
    File file;
    ASSERT_TRUE(file.OpenForReading(data_.c_str(), false));
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
    ASSERT_TRUE(file.OpenForReading(data_.c_str(), false));
    EXPECT_EQ(file.Tell(), 0);
}

// Death tests re-run their test in a child process: these touch no files.
TEST(FileDeathTest, UnbalancedPositionsAndTheInvalidHandleAreInternalErrors) {
    File file;
    file.PushPosition();
    file.PopPosition();
    EXPECT_EXIT(file.PopPosition(), ::testing::ExitedWithCode(1), "gfile 749");
    EXPECT_EXIT(
        {
            File bad;
            bad.Attach(INVALID_HANDLE_VALUE, "bad", true, false);
            bad.Close();
        },
        ::testing::ExitedWithCode(1), "gfile 520");
}

TEST_F(FileTest, TimeRoundTripsInLocalTime) {
    std::string path = PathOf("dated.bin");
    for (const FileDate& date : {FileDate(1999, 12, 31, 23, 59, 58), FileDate(2004, 7, 15, 12, 0, 0),
                                 FileDate(2021, 1, 2, 3, 4, 6)}) {  // summer has an offset in local time
        File file;
        ASSERT_TRUE(file.Create(path.c_str(), true));
        file.WriteText("data written just before the date is set");
        // The writer reopens for writing only, then sets the date.
        ASSERT_TRUE(file.Open(path.c_str(), false, true, false));
        ASSERT_TRUE(file.SetTime(date));
        FileDate back;
        ASSERT_TRUE(file.OpenForReading(path.c_str(), false));
        ASSERT_TRUE(file.GetTime(&back));
        EXPECT_EQ(back.Compare(date), 0) << date.Text().Text() << " came back as " << back.Text().Text();
        EXPECT_FALSE(file.GetTime(nullptr));
        EXPECT_FALSE(file.SetTime(FileDate()));  // no date
    }
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
