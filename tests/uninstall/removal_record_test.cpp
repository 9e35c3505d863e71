// "Uninstall.DAT" written by the installer's record and worked through by
// the uninstaller, on real files in a scratch directory.
#ifdef _WIN32

#include "uninstall/removal_record.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/file_system.h"
#include "platform/special_folders.h"

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

String DesktopFolderForTest() { return DesktopFolder(); }

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
    RemovalFileState Apply(String& problems) {
        ancestors_.Clear();
        return ApplyRemovalRecord(ScopeOfInstallation(CanonicalPath(root_.c_str())), problems, ancestors_);
    }

    std::string root_;
    Vector<String> ancestors_;
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
    Apply(problems);
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
    Apply(problems);
    CloseHandle(held);
    // The file in use goes at the next restart; the user's file keeps its
    // folders, which are reported and stay listed.
    EXPECT_EQ(Str(problems), "earlier\r\nUnable to remove \"" + b + "\"\r\nUnable to remove \"" + a + "\"\r\n");
    EXPECT_NE(Str(RemovedAtRestart()).find("Removed at restart: " + busy + "\r\n"), std::string::npos);
    EXPECT_FALSE(Exists(gone));
    EXPECT_TRUE(Exists(users));
    EXPECT_EQ(DataFile(), "~" + b + "\r\n~" + a + "\r\n");

    // The next run finishes the job once the user's file is gone: the folder
    // left with the waiting file follows it at the restart.
    ASSERT_TRUE(DeleteFileA(users.c_str()));
    problems.Clear();
    Apply(problems);
    EXPECT_EQ(Str(problems), "");
    EXPECT_FALSE(Exists(b));
    EXPECT_NE(Str(RemovedAtRestart()).find("Removed at restart: " + a + "\r\n"), std::string::npos);
    EXPECT_EQ(DataFile(), "(missing)");
    DeleteFileA(busy.c_str());
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
    EXPECT_EQ(ApplyRemovalRecord(RemovalScope(), problems, ancestors_), RemovalFileMissing);
    EXPECT_TRUE(Exists(one));  // no directory: not the current one either
    EXPECT_TRUE(Exists(PathOf("Uninstall.DAT")));
    EXPECT_EQ(Apply(problems), RemovalFileRead);
    SetCurrentDirectoryA("c:\\");
    EXPECT_EQ(Str(problems), "Skipped \"relative.txt\": it lies outside this installation.\r\n");
    for (const std::string& gone : {a, one, two}) EXPECT_FALSE(Exists(gone)) << gone;
    EXPECT_TRUE(Exists(bystander));  // a relative line names no file of ours
    EXPECT_EQ(DataFile(), "(missing)");

    problems.Clear();  // no file at all: nothing to do, said by the result
    EXPECT_EQ(Apply(problems), RemovalFileMissing);
    EXPECT_EQ(Str(problems), "");
}


// The record may lie in a folder ordinary users can write, while the
// uninstaller runs elevated: a line acts only inside the installation, on
// the shortcuts it made, or on an empty folder above it.
TEST_F(RemovalRecordTest, OnlyLinesWithinTheInstallationAreActedOn) {
    std::string outsideDir = root_ + "-outside";
    ASSERT_TRUE(CreateDirectoryA(outsideDir.c_str(), nullptr));
    std::string precious = outsideDir + "\\precious.txt";
    ASSERT_TRUE(WriteWholeFile(precious.c_str(), "x", 1));
    std::string inside = MakeFile("inside.txt", false);
    std::string viaShort = MakeFile("long name inside.txt", false);
    char shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(viaShort.c_str(), shortName, MAX_PATH), 0u);
    String desktop = CanonicalPath(DesktopFolderForTest());
    std::string link = std::string(desktop.Text()) + "\\qp-removal-test.LNK";
    std::string notLink = std::string(desktop.Text()) + "\\qp-removal-test.txt";
    for (const std::string& f : {link, notLink}) ASSERT_TRUE(WriteWholeFile(f.c_str(), "x", 1));
    std::string uninstaller = MakeFile("Uninstall.EXE", false);
    std::string text = precious + "\r\n" + root_ + "\\..\\" + FileNamePart(outsideDir.c_str()).Text() +
                       "\\precious.txt\r\n" + inside + "\r\n" + shortName + "\r\n" + link + "\r\n" + notLink +
                       "\r\n~" + outsideDir + "\r\n~" + ParentDirectory(root_.c_str()).Text() + "\r\n" + uninstaller +
                       "\r\n~C:\\\r\n" + std::string(600, 'x') + "\r\n";
    ASSERT_TRUE(WriteWholeFile(PathOf("Uninstall.DAT").c_str(), text.data(), int32(text.size())));

    String problems;
    EXPECT_EQ(Apply(problems), RemovalFileRead);
    EXPECT_TRUE(Exists(precious));
    EXPECT_FALSE(Exists(inside));
    EXPECT_FALSE(Exists(viaShort));  // the same file under its 8.3 name
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(Exists(notLink));
    EXPECT_TRUE(Exists(uninstaller));  // the self-removal's, silently
    // The folder above is handed back, not removed while the directory is there.
    ASSERT_EQ(ancestors_.Count(), 1);
    EXPECT_TRUE(ancestors_[0].Compare(CanonicalPath(ParentDirectory(root_.c_str())), false) == 0);
    std::string report = Str(problems);
    for (const std::string& skipped : {precious, notLink, "~" + outsideDir, std::string("~C:\\")})
        EXPECT_NE(report.find("Skipped \"" + skipped + "\""), std::string::npos) << skipped << "\n" << report;
    EXPECT_NE(report.find("Skipped \"" + std::string(600, 'x').substr(0, 2 * MAX_PATH)), std::string::npos);
    // Skipped lines are dropped: the next run has nothing left to say.
    EXPECT_EQ(DataFile(), "(missing)");
    DeleteFileA(notLink.c_str());
    DeleteTree(outsideDir.c_str());
}

TEST_F(RemovalRecordTest, ManySkippedLinesAreSummedUp) {
    std::string text;
    for (int i = 0; i < 25; ++i) text += "D:\\elsewhere\\" + std::to_string(i) + ".txt\r\n";
    ASSERT_TRUE(WriteWholeFile(PathOf("Uninstall.DAT").c_str(), text.data(), int32(text.size())));
    String problems;
    Apply(problems);
    std::string report = Str(problems);
    EXPECT_NE(report.find("Skipped \"D:\\elsewhere\\19.txt\""), std::string::npos);
    EXPECT_EQ(report.find("Skipped \"D:\\elsewhere\\20.txt\""), std::string::npos);
    EXPECT_NE(report.find("5 more lines of Uninstall.DAT were skipped.\r\n"), std::string::npos) << report;
}

TEST_F(RemovalRecordTest, APreviousRecordIsMergedOnceAndWithinTheInstallationOnly) {
    std::string a = MakeDirectory("A");
    std::string old = MakeFile("A\\old.txt");
    ASSERT_TRUE(SaveRemovalRecord(root_.c_str()));
    std::string text = DataFile() + "D:\\elsewhere\\x.txt\r\n";
    ASSERT_TRUE(WriteWholeFile(PathOf("Uninstall.DAT").c_str(), text.data(), int32(text.size())));

    ResetRemovalRecord();
    MergeRemovalRecord(ScopeOfInstallation(CanonicalPath(root_.c_str())));
    RecordRemovalPath(a.c_str(), true);  // the new installation stores there again
    RecordRemovalPath(old.c_str(), false);
    std::string fresh = MakeFile("new.txt");
    EXPECT_EQ(Str(RemovalRecordText()), "~" + a + "\r\n" + old + "\r\n" + fresh + "\r\n");
}

}  // namespace

#endif  // _WIN32
