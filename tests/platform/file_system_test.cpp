// File-system utilities against real directories in a scratch directory.
#ifdef _WIN32

#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "qp_fs_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
    }
    void TearDown() override {
        SetCurrentDirectoryA("c:\\");
        DeleteTree(root_.c_str());
    }
    std::string PathOf(const std::string& name) const { return root_ + "\\" + name; }
    std::string Make(const std::string& name) const {
        std::string path = PathOf(name);
        EXPECT_TRUE(WriteWholeFile(path.c_str(), "x", 1));
        return path;
    }
    static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string root_;
};

// A letter with no drive behind it, or 0 when every letter is taken.
char MissingDrive() {
    for (char letter = 'Z'; letter > 'C'; --letter) {
        if (!DriveExists(letter)) return letter;
    }
    return 0;
}

TEST_F(FileSystemTest, ModuleWindowsAndCurrentDirectories) {
    String module = ModulePath();
    ASSERT_TRUE(IsFullPath(module));
    EXPECT_TRUE(FileExists(module));
    EXPECT_STREQ(JoinPath(ModuleDirectory(), ModuleFileName()).Text(), module.Text());
    EXPECT_STREQ(PathInModuleDirectory(ModuleFileName()).Text(), module.Text());
    EXPECT_TRUE(DirectoryExists(WindowsDirectory()));
    std::string deep = root_;  // longer than the first buffer tried
    while (deep.size() < 150) deep += "\\abcdefghij";
    ASSERT_TRUE(CreateDirectoryPath(deep.c_str()));
    ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
    EXPECT_TRUE(SamePath(CurrentDirectory(), deep.c_str())) << CurrentDirectory().Text();
    EXPECT_TRUE(DirectoryExists(root_.c_str()));
    EXPECT_TRUE(SamePath(CurrentDirectory(), deep.c_str())) << "DirectoryExists keeps the current directory";
}

TEST_F(FileSystemTest, ExistenceAttributesAndRemoval) {
    std::string file = Make("ro.txt");
    EXPECT_FALSE(DirectoryExists(file.c_str()));
    EXPECT_FALSE(DirectoryExists(PathOf("missing").c_str()));
    EXPECT_FALSE(DirectoryExists(""));
    EXPECT_TRUE(FileExists(file.c_str()));
    EXPECT_FALSE(FileExists(root_.c_str()));
    EXPECT_FALSE(FileExists(""));
    EXPECT_EQ(FileAttributes(PathOf("missing").c_str()), kNoAttributes);
    EXPECT_TRUE(SetReadOnly(file.c_str(), true));
    EXPECT_TRUE(FileAttributes(file.c_str()) & kAttributeReadOnly);
    EXPECT_FALSE(DeleteFileA(file.c_str()));
    EXPECT_TRUE(RemoveFile(file.c_str()));  // read-only too
    EXPECT_FALSE(Exists(file));
    EXPECT_FALSE(RemoveFile(file.c_str()));
    EXPECT_FALSE(RemoveFile(""));
    EXPECT_FALSE(SetReadOnly(file.c_str(), false));
}

TEST_F(FileSystemTest, CreateAndRemoveDirectories) {
    std::string deep = PathOf("a\\b\\c");
    EXPECT_TRUE(CreateDirectoryPath(deep.c_str()));
    EXPECT_TRUE(DirectoryExists(deep.c_str()));
    EXPECT_TRUE(CreateDirectoryPath(deep.c_str()));  // already there
    EXPECT_TRUE(CreateDirectoryPath((PathOf("d\\e") + "\\").c_str()));
    EXPECT_TRUE(DirectoryExists(PathOf("d\\e").c_str()));
    std::string file = Make("file");
    EXPECT_FALSE(CreateDirectoryPath((file + "\\below").c_str()));
    EXPECT_FALSE(CreateDirectoryPath(""));
    if (char letter = MissingDrive()) {  // must end, not recurse without end
        EXPECT_FALSE(CreateDirectoryPath((std::string(1, letter) + ":\\app\\sub").c_str()));
        EXPECT_FALSE(CreateDirectoryPath((std::string(1, letter) + ":").c_str()));
    }
    EXPECT_TRUE(RemoveEmptyDirectory((PathOf("a\\b\\c") + "\\").c_str()));
    EXPECT_FALSE(Exists(deep));
    Make("a\\b\\inside");
    EXPECT_FALSE(RemoveEmptyDirectory(PathOf("a\\b").c_str()));
    EXPECT_FALSE(RemoveEmptyDirectory("c:\\"));
}

// The system's paths hold 259 characters and a NUL. One more is refused
// before anything is made; at the limit the parents are made as usual.
TEST_F(FileSystemTest, CreateDirectoryPathRefusesPathsPastTheLimitUpFront) {
    for (size_t length : {size_t(MAX_PATH) - 1, size_t(MAX_PATH)}) {
        std::string top = PathOf("t" + std::to_string(length));
        // Parents well below the 248 characters a directory may have.
        std::string parent = top;
        while (parent.size() < length - 31) parent += "\\abcdefghij";
        parent.resize(length - 31);
        if (parent.back() == '\\') parent.back() = 'x';
        std::string path = parent + "\\" + std::string(30, 'z');
        ASSERT_EQ(length, path.size());
        bool created = CreateDirectoryPath(path.c_str());
        if (length >= MAX_PATH) {
            EXPECT_FALSE(created);
            EXPECT_FALSE(Exists(top)) << "nothing made below a path that is too long";
        } else {
            EXPECT_TRUE(Exists(parent)) << "the parents of a path at the limit";
        }
        // Bottom up: DeleteTree's buffers stop short of entries this deep.
        for (std::string p = path; p.size() > root_.size(); p.resize(p.rfind('\\'))) RemoveDirectoryA(p.c_str());
    }
    // A hostile publisher: tens of thousands of components, answered at once.
    std::string hostile = root_;
    for (int i = 0; i < 60000; ++i) hostile += "\\a";
    EXPECT_FALSE(CreateDirectoryPath(hostile.c_str()));
    EXPECT_FALSE(Exists(PathOf("a")));
}

TEST(FileSystemDeathTest, CreateDirectoryOrDieStopsWithThePath) {
    char letter = MissingDrive();
    if (!letter) GTEST_SKIP() << "every drive letter is in use";
    std::string path = std::string(1, letter) + ":\\app";
    EXPECT_EXIT(CreateDirectoryOrDie(path.c_str()), ::testing::ExitedWithCode(1),
                "Unable to create directory:\r\n" + std::string(1, letter) + ":.app");
}

TEST_F(FileSystemTest, DeleteTreeRemovesReadOnlyEntriesAndGoesOnPastAFileInUse) {
    std::string tree = PathOf("tree");
    ASSERT_TRUE(CreateDirectoryPath((tree + "\\busy").c_str()));
    ASSERT_TRUE(CreateDirectoryPath((tree + "\\one\\two").c_str()));
    Make("tree\\a.txt");
    std::string locked = Make("tree\\one\\two\\locked.txt");
    ASSERT_TRUE(SetReadOnly(locked.c_str(), true));
    ASSERT_TRUE(SetReadOnly((tree + "\\one").c_str(), true));  // a read-only directory too
    std::string held = Make("tree\\busy\\held.txt");
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(RemoveFile(held.c_str()));
    EXPECT_FALSE(DeleteTree(tree.c_str()));
    EXPECT_TRUE(Exists(held));
    EXPECT_FALSE(Exists(tree + "\\a.txt"));
    EXPECT_FALSE(Exists(tree + "\\one"));
    CloseHandle(handle);
    EXPECT_TRUE(DeleteTree(tree.c_str()));
    EXPECT_FALSE(Exists(tree));
    EXPECT_FALSE(DeleteTree(tree.c_str()));  // missing
}

TEST_F(FileSystemTest, DeleteTreeRefusesRootsAndTheWindowsDirectory) {
    String windows = WindowsDirectory();
    std::string guarded = std::string(windows.Text()) + "\\qp_guard_" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryPath(guarded.c_str()));
    std::string inside = guarded + "\\keep.txt";
    WriteWholeFile(inside.c_str(), "k", 1);
    std::string lowered = guarded, slashed = guarded;
    for (char& ch : lowered) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    for (char& ch : slashed) ch = ch == '\\' ? '/' : ch;
    std::string dotted = root_ + "\\..\\..\\..\\..\\..\\..\\..\\" + guarded.substr(3);
    // The namespace forms reach the same folders past a guard that reads text.
    std::string verbatim = "\\\\?\\" + guarded, device = "\\\\.\\" + guarded;
    char missing = MissingDrive();
    std::string otherRoot = std::string("\\\\?\\") + (missing ? missing : 'Q') + ":\\";
    for (const char* path : {"c:\\", "c:", "", windows.Text(), guarded.c_str(), lowered.c_str(), slashed.c_str(),
                             dotted.c_str(), verbatim.c_str(), device.c_str(), otherRoot.c_str(), "\\\\?\\c:\\",
                             "\\\\.\\c:", "\\\\.\\PhysicalDrive0", "\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\",
                             "\\\\?\\UNC\\server\\share\\dir", "\\\\server\\share", "c:\\somewhere\\CON"}) {
        EXPECT_FALSE(DeleteTree(path)) << path;
    }
    EXPECT_TRUE(Exists(inside));
    DeleteFileA(inside.c_str());
    RemoveDirectoryA(guarded.c_str());
}

TEST_F(FileSystemTest, DeleteTreeTakesAVerbatimPathToAnOrdinaryFolder) {
    std::string tree = PathOf("plain");
    ASSERT_TRUE(CreateDirectoryPath((tree + "\\sub").c_str()));
    Make("plain\\sub\\f.txt");
    EXPECT_TRUE(DeleteTree(("\\\\?\\" + tree).c_str()));
    EXPECT_FALSE(Exists(tree));
}

// A link given as the tree goes as a link; what it points to stays.
TEST_F(FileSystemTest, DeleteTreeRemovesATopLevelLinkNotItsTarget) {
    std::string target = PathOf("target"), link = PathOf("link");
    ASSERT_TRUE(CreateDirectoryPath(target.c_str()));
    std::string kept = Make("target\\kept.txt");
    typedef BOOLEAN(WINAPI * CreateLink)(LPCSTR, LPCSTR, DWORD);
    CreateLink create = reinterpret_cast<CreateLink>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
    bool made = create && create(link.c_str(), target.c_str(), 1 /* directory */);
    DWORD attributes = GetFileAttributesA(link.c_str());
    if (!made || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        GTEST_SKIP() << "directory links cannot be made here";
    }
    EXPECT_TRUE(DeleteTree(link.c_str()));
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(Exists(kept));
}

TEST_F(FileSystemTest, WholeFilesAndShortNames) {
    std::string bytes("a\0b\r\nc", 6), file = PathOf("whole.bin");
    ASSERT_TRUE(WriteWholeFile(file.c_str(), bytes.data(), 6));
    EXPECT_EQ(FileSizeOf(file.c_str()), 6);
    String buffer("previous content");
    ASSERT_TRUE(ReadWholeFile(file.c_str(), buffer));
    EXPECT_EQ(std::string(buffer.Text(), buffer.Length()), bytes);
    ASSERT_TRUE(WriteBufferToFile(file.c_str(), String()));
    ASSERT_TRUE(ReadWholeFile(file.c_str(), buffer));
    EXPECT_EQ(buffer.Length(), 0);
    EXPECT_FALSE(ReadWholeFile(PathOf("missing").c_str(), buffer));
    EXPECT_EQ(FileSizeOf(PathOf("missing").c_str()), -1);
    EXPECT_FALSE(WriteWholeFile(PathOf("no\\dir\\f").c_str(), "x", 1));

    std::string missing = PathOf("no such file.txt");
    EXPECT_STREQ(ShortPathName(missing.c_str()).Text(), missing.c_str());
    String shortName = ShortPathName(Make("name with spaces.txt").c_str());
    EXPECT_EQ(std::string(shortName.Text()).find(' '), std::string::npos) << shortName.Text();
    EXPECT_TRUE(FileExists(shortName));
}

TEST_F(FileSystemTest, Drives) {
    String windows = WindowsDirectory();
    char system = DriveLetterOf(windows);
    ASSERT_NE(system, '\0');
    EXPECT_TRUE(DriveExists(system));
    EXPECT_GT(ClusterSize(system), 0);
    EXPECT_GT(FreeSpace(system), 0);
    EXPECT_EQ(FreeSpace(system) % ClusterSize(system), 0);
    EXPECT_GT(FreeSpaceOfRoot(DriveRootOf(windows)), 0);
    EXPECT_EQ(FreeSpaceOfRoot("q:\\no\\such\\root\\"), -1);
    for (char c : {'1', '*', ':', '\0', MissingDrive()}) {
        if (c == MissingDrive() && c) {
            EXPECT_FALSE(DriveExists(c));
        }
        EXPECT_EQ(ClusterSize(c), -1) << c;
        EXPECT_EQ(FreeSpace(c), -1) << c;
    }
}

}  // namespace

#endif  // _WIN32
