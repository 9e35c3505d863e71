// "Uninstall.DAT" written by the installer's record and worked through by
// the uninstaller, on real files in a scratch directory.
#ifdef _WIN32

#include "uninstall/removal_record.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/file_system.h"

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

class RemovalRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "qp_removal_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        ResetRemovalRecord();
    }
    void TearDown() override {
        ResetRemovalRecord();
        DeleteTree(root_.c_str());
    }
    std::string PathOf(const std::string& name) const { return root_ + "\\" + name; }
    // A directory below the root, recorded as the installer records it.
    std::string MakeDirectory(const std::string& name) {
        std::string path = PathOf(name);
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
        RecordRemovalPath(path.c_str(), true);
        return path;
    }
    std::string MakeFile(const std::string& name, bool record = true) {
        std::string path = PathOf(name);
        EXPECT_TRUE(WriteWholeFile(path.c_str(), "x", 1)) << path;
        if (record) RecordRemovalPath(path.c_str(), false);
        return path;
    }
    std::string DataFile() const {
        String text;
        return ReadWholeFile(PathOf("Uninstall.DAT").c_str(), text) ? Str(text) : "(missing)";
    }
    static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string root_;
};

TEST_F(RemovalRecordTest, SavedTextIsTheRecordAndAnEmptyRecordDeletesTheFile) {
    std::string a = MakeDirectory("A");
    std::string file = MakeFile("A\\one.txt");
    RecordRemovalPath(PathOf("a").c_str(), true);  // the system's case mapping finds it
    EXPECT_EQ(Str(RemovalRecordText()), "~" + a + "\r\n" + file + "\r\n");
    ASSERT_TRUE(SaveRemovalRecord(root_.c_str()));
    EXPECT_EQ(DataFile(), Str(RemovalRecordText()));

    ResetRemovalRecord();
    EXPECT_TRUE(SaveRemovalRecord(root_.c_str()));
    EXPECT_EQ(DataFile(), "(missing)");
    RecordRemovalPath("C:\\x", false);
    EXPECT_FALSE(SaveRemovalRecord(PathOf("no such dir").c_str()));
}

TEST_F(RemovalRecordTest, UninstallRemovesInnerDirectoriesFirstAndForgetsTheFile) {
    std::string a = MakeDirectory("A");
    std::string one = MakeFile("A\\one.txt");
    std::string b = MakeDirectory("A\\B");
    std::string two = MakeFile("A\\B\\two.txt");
    RecordRemovalPath(one.c_str(), false);  // listed twice: the second finds it gone
    std::string log = MakeFile("Install.LOG", false);
    ASSERT_TRUE(SaveRemovalRecord(root_.c_str()));

    String problems;
    ApplyRemovalRecord(root_.c_str(), problems);
    EXPECT_EQ(Str(problems), "");
    for (const std::string& gone : {a, one, b, two, log}) EXPECT_FALSE(Exists(gone)) << gone;
    EXPECT_EQ(DataFile(), "(missing)");
    EXPECT_EQ(Str(RemovalRecordText()), "");
    EXPECT_TRUE(Exists(root_));
}

TEST_F(RemovalRecordTest, WhatCannotGoIsReportedAndStaysListed) {
    std::string a = MakeDirectory("A");
    std::string b = MakeDirectory("A\\B");
    std::string busy = MakeFile("A\\busy.txt");
    std::string gone = MakeFile("A\\B\\gone.txt");
    ASSERT_TRUE(SaveRemovalRecord(root_.c_str()));
    std::string users = MakeFile("A\\B\\users.txt", false);
    HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    String problems("earlier\r\n");
    ApplyRemovalRecord(root_.c_str(), problems);
    CloseHandle(held);
    EXPECT_EQ(Str(problems), "earlier\r\nUnable to delete \"" + busy + "\"\r\nUnable to remove \"" + b +
                                 "\"\r\nUnable to remove \"" + a + "\"\r\n");
    EXPECT_FALSE(Exists(gone));
    EXPECT_TRUE(Exists(users));
    EXPECT_EQ(DataFile(), busy + "\r\n~" + b + "\r\n~" + a + "\r\n");

    // The next run finishes the job once the user's file is gone.
    ASSERT_TRUE(DeleteFileA(users.c_str()));
    problems.Clear();
    ApplyRemovalRecord(root_.c_str(), problems);
    EXPECT_EQ(Str(problems), "");
    EXPECT_FALSE(Exists(a));
    EXPECT_EQ(DataFile(), "(missing)");
}

TEST_F(RemovalRecordTest, HandWrittenFilesAreReadWhateverTheirLineEnds) {
    std::string a = PathOf("A"), one = PathOf("A\\one.txt"), two = PathOf("two.txt");
    ASSERT_TRUE(CreateDirectoryA(a.c_str(), nullptr));
    for (const std::string& f : {one, two}) ASSERT_TRUE(WriteWholeFile(f.c_str(), "x", 1));
    std::string text = "~" + a + "\n" + one + "\r" + "relative.txt\n\n" + two;  // no final line end
    std::string bystander = MakeFile("relative.txt", false);
    ASSERT_TRUE(WriteWholeFile(PathOf("Uninstall.DAT").c_str(), text.data(), int32(text.size())));
    SetCurrentDirectoryA(root_.c_str());

    String problems;
    ApplyRemovalRecord("", problems);  // no directory: not the current one either
    EXPECT_TRUE(Exists(one));
    EXPECT_TRUE(Exists(PathOf("Uninstall.DAT")));
    ApplyRemovalRecord(root_.c_str(), problems);
    SetCurrentDirectoryA("c:\\");
    EXPECT_EQ(Str(problems), "");
    for (const std::string& gone : {a, one, two}) EXPECT_FALSE(Exists(gone)) << gone;
    EXPECT_TRUE(Exists(bystander));  // a relative line names no file of ours
    EXPECT_EQ(DataFile(), "(missing)");

    problems.Clear();  // no file at all: nothing to do, nothing to say
    ApplyRemovalRecord(root_.c_str(), problems);
    EXPECT_EQ(Str(problems), "");
}

}  // namespace

#endif  // _WIN32
