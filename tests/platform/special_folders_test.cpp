// Special folders from the registry values of the prefix (set, emptied and
// removed here, restored afterwards) and shortcuts read back through the
// shell's own link object.
#ifdef _WIN32

#include "platform/special_folders.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kSetup[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";

// Remembers one registry value and puts it back (or removes it) at the end.
class SavedValue {
public:
    SavedValue(HKEY root, const char* key, const char* name) : root_(root), key_(key), name_(name) {
        HKEY handle;
        if (RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
            ERROR_SUCCESS) {
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExA(handle, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.resize(size);
            existed_ = RegQueryValueExA(handle, name, nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
        }
        RegCloseKey(handle);
    }
    ~SavedValue() {
        HKEY handle;
        if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return;
        if (existed_) {
            RegSetValueExA(handle, name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        } else {
            RegDeleteValueA(handle, name_.c_str());
        }
        RegCloseKey(handle);
    }
    // Null removes the value.
    void Set(const char* text) const {
        HKEY handle;
        ASSERT_EQ(RegOpenKeyExA(root_, key_.c_str(), 0, KEY_ALL_ACCESS, &handle), ERROR_SUCCESS);
        if (text) {
            RegSetValueExA(handle, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>(strlen(text) + 1));
        } else {
            RegDeleteValueA(handle, name_.c_str());
        }
        RegCloseKey(handle);
    }

private:
    HKEY root_;
    std::string key_;
    std::string name_;
    DWORD type_ = REG_SZ;
    std::vector<BYTE> data_;
    bool existed_ = false;
};

std::string Windows(const char* below) { return std::string(WindowsDirectory().Text()) + "\\" + below; }

TEST(SpecialFolders, UserFoldersAndTheirFallbackChains) {
    SavedValue desktop(HKEY_CURRENT_USER, kShellFolders, "Desktop");
    SavedValue fonts(HKEY_CURRENT_USER, kShellFolders, "Fonts");
    SavedValue startMenu(HKEY_CURRENT_USER, kShellFolders, "Start Menu");
    SavedValue programs(HKEY_CURRENT_USER, kShellFolders, "Programs");
    SavedValue startup(HKEY_CURRENT_USER, kShellFolders, "Startup");

    struct Case {
        const char* desktop;
        const char* fonts;
        const char* startMenu;
        const char* programs;
        const char* startup;
        std::string expected[5];
    } cases[] = {
        {"d:\\Desk", "d:\\Fonts", "d:\\Menu", "d:\\Progs", "d:\\Start",
         {"d:\\Desk", "d:\\Fonts", "d:\\Menu", "d:\\Progs", "d:\\Start"}},
        {nullptr, nullptr, nullptr, nullptr, nullptr,
         {Windows("Desktop"), Windows("Fonts"), Windows("Start Menu"), Windows("Start Menu\\Programs"),
          Windows("Start Menu\\Programs\\StartUp")}},
        {"", "", "", "", "",  // stored empty counts as missing
         {Windows("Desktop"), Windows("Fonts"), Windows("Start Menu"), Windows("Start Menu\\Programs"),
          Windows("Start Menu\\Programs\\StartUp")}},
        {nullptr, nullptr, "d:\\Menu", nullptr, nullptr,
         {Windows("Desktop"), Windows("Fonts"), "d:\\Menu", "d:\\Menu\\Programs",
          "d:\\Menu\\Programs\\StartUp"}},
        {nullptr, nullptr, "d:\\Menu", "e:\\Progs", nullptr,
         {Windows("Desktop"), Windows("Fonts"), "d:\\Menu", "e:\\Progs", "e:\\Progs\\StartUp"}},
    };
    for (const Case& c : cases) {
        desktop.Set(c.desktop);
        fonts.Set(c.fonts);
        startMenu.Set(c.startMenu);
        programs.Set(c.programs);
        startup.Set(c.startup);
        String found[5] = {DesktopFolder(), FontsFolder(), StartMenuFolder(), ProgramsFolder(), StartupFolder()};
        for (int i = 0; i < 5; ++i) {
            EXPECT_STREQ(found[i].Text(), c.expected[i].c_str()) << "folder " << i;
        }
    }
}

TEST(SpecialFolders, MachineFoldersAndTheirFallbacks) {
    SavedValue programFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
    SavedValue commonFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir");
    struct Case {
        const char* programFiles;
        const char* commonFiles;
        const char* expectedProgramFiles;
        const char* expectedCommonFiles;
    } cases[] = {
        {"d:\\Apps", "d:\\Shared", "d:\\Apps", "d:\\Shared"},
        {"d:\\Apps", nullptr, "d:\\Apps", "d:\\Apps\\Common Files"},
        {nullptr, nullptr, "c:\\Program Files", "c:\\Program Files\\Common Files"},
        {"", "", "c:\\Program Files", "c:\\Program Files\\Common Files"},
        {nullptr, "e:\\Common", "c:\\Program Files", "e:\\Common"},
    };
    for (const Case& c : cases) {
        programFiles.Set(c.programFiles);
        commonFiles.Set(c.commonFiles);
        EXPECT_STREQ(ProgramFilesFolder().Text(), c.expectedProgramFiles);
        EXPECT_STREQ(CommonFilesFolder().Text(), c.expectedCommonFiles);
    }
}

TEST(SpecialFolders, BootDriveNeedsALetterAndAColon) {
    SavedValue bootDir(HKEY_LOCAL_MACHINE, kSetup, "BootDir");
    struct Case {
        const char* value;
        char expected;
    } cases[] = {
        {"d:\\", 'D'}, {"E:", 'E'}, {"c:\\", 'C'}, {nullptr, 'C'}, {"", 'C'},
        {"1:\\", 'C'}, {"\\\\server", 'C'}, {"d", 'C'}, {"dd:\\", 'C'},
    };
    for (const Case& c : cases) {
        bootDir.Set(c.value);
        EXPECT_EQ(BootDrive(), c.expected) << (c.value ? c.value : "(none)");
    }
}

// What a saved link holds, read back through the shell's link object.
struct LinkContents {
    bool loaded = false;
    std::string target;
    std::string arguments;
    std::string directory;
    bool argumentsFlag = false;  // the file's own "has arguments" bit
};

LinkContents LoadLink(const std::string& path) {
    LinkContents contents;
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR wide[MAX_PATH] = {};
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            if (file->Load(wide, STGM_READ) == S_OK) {
                char buffer[1024];
                contents.loaded = true;
                if (link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH) == S_OK) contents.target = buffer;
                buffer[0] = '\0';
                link->GetArguments(buffer, sizeof buffer);
                contents.arguments = buffer;
                buffer[0] = '\0';
                link->GetWorkingDirectory(buffer, sizeof buffer);
                contents.directory = buffer;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    String raw;
    if (ReadWholeFile(path.c_str(), raw) && raw.Length() > 0x14) {
        contents.argumentsFlag = (static_cast<unsigned char>(raw.Text()[0x14]) & 0x20) != 0;
    }
    return contents;
}

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "qp_links_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryPath(root_.c_str()));
        target_ = ModulePath().Text();
    }
    void TearDown() override { DeleteTree(root_.c_str()); }

    std::string root_;
    std::string target_;
};

TEST_F(ShortcutTest, SavedLinkHoldsTargetArgumentsAndDirectory) {
    String link((root_ + "\\With arguments").c_str());
    ASSERT_TRUE(CreateShortcut(link, target_.c_str(), "/u:\"Some Product\"", "c:\\work"));
    EXPECT_STREQ(link.Text(), (root_ + "\\With arguments.LNK").c_str());
    LinkContents contents = LoadLink(link.Text());
    ASSERT_TRUE(contents.loaded);
    EXPECT_TRUE(SamePath(contents.target.c_str(), target_.c_str())) << contents.target;
    EXPECT_EQ(contents.arguments, "/u:\"Some Product\"");
    EXPECT_EQ(contents.directory, "c:\\work");
    EXPECT_TRUE(contents.argumentsFlag);
}

TEST_F(ShortcutTest, AbsentArgumentsAreNotSet) {
    String none((root_ + "\\none").c_str());
    ASSERT_TRUE(CreateShortcut(none, target_.c_str(), nullptr, nullptr));
    LinkContents contents = LoadLink(none.Text());
    ASSERT_TRUE(contents.loaded);
    EXPECT_EQ(contents.arguments, "");
    EXPECT_FALSE(contents.argumentsFlag);
    EXPECT_EQ(contents.directory, "");

    String empty((root_ + "\\empty").c_str());
    ASSERT_TRUE(CreateShortcut(empty, target_.c_str(), "", ""));
    contents = LoadLink(empty.Text());
    ASSERT_TRUE(contents.loaded);
    EXPECT_EQ(contents.arguments, "");
    EXPECT_EQ(contents.directory, "");
}

TEST_F(ShortcutTest, LnkIsAppendedUnlessPresentAnywhere) {
    struct Case {
        const char* name;
        const char* saved;
    } cases[] = {
        {"Readme", "Readme.LNK"},
        {"tool.lnk", "tool.lnk"},
        {"my.Lnk.old", "my.Lnk.old"},
        {"Read me.txt", "Read me.txt.LNK"},
    };
    for (const Case& c : cases) {
        String link((root_ + "\\" + c.name).c_str());
        ASSERT_TRUE(CreateShortcut(link, target_.c_str(), nullptr, nullptr)) << c.name;
        std::string expected = root_ + "\\" + c.saved;
        EXPECT_STREQ(link.Text(), expected.c_str());
        EXPECT_TRUE(FileExists(expected.c_str())) << expected;
    }
}

TEST_F(ShortcutTest, MissingFoldersAreCreated) {
    String link((root_ + "\\new\\deeper\\Item").c_str());
    ASSERT_TRUE(CreateShortcut(link, target_.c_str(), nullptr, nullptr));
    EXPECT_TRUE(FileExists((root_ + "\\new\\deeper\\Item.LNK").c_str()));
}

TEST_F(ShortcutTest, ALinkPathThatDoesNotFitIsRefused) {
    std::string directory = root_;
    while (directory.size() < 230) directory += "\\dddddddddd";
    std::string fits = directory + "\\" + std::string(254 - directory.size() - 1, 'f');
    std::string tooLong = directory + "\\" + std::string(256 - directory.size() - 1, 'g');
    String ok(fits.c_str());
    EXPECT_TRUE(CreateShortcut(ok, target_.c_str(), nullptr, nullptr));  // 258 with ".LNK"
    EXPECT_EQ(ok.Length(), 258);
    String refused(tooLong.c_str());
    EXPECT_FALSE(CreateShortcut(refused, target_.c_str(), nullptr, nullptr));  // 260 with ".LNK"
    EXPECT_FALSE(FileExists(refused));
    String truncated = refused;
    truncated.SetLength(259);
    EXPECT_FALSE(FileExists(truncated));
}

TEST_F(ShortcutTest, DesktopAndProgramsShortcutsUseTheirFolders) {
    SavedValue desktop(HKEY_CURRENT_USER, kShellFolders, "Desktop");
    SavedValue programs(HKEY_CURRENT_USER, kShellFolders, "Programs");
    desktop.Set((root_ + "\\Desktop").c_str());
    programs.Set((root_ + "\\Programs").c_str());

    String out;
    EXPECT_TRUE(CreateDesktopShortcut("Tool", target_.c_str(), "", root_.c_str(), &out));
    EXPECT_STREQ(out.Text(), (root_ + "\\Desktop\\Tool.LNK").c_str());
    EXPECT_TRUE(FileExists(out));

    EXPECT_TRUE(CreateProgramsShortcut("Group\\Tool", target_.c_str(), nullptr, nullptr, &out));
    EXPECT_STREQ(out.Text(), (root_ + "\\Programs\\Group\\Tool.LNK").c_str());
    EXPECT_TRUE(DirectoryExists((root_ + "\\Programs\\Group").c_str()));
    EXPECT_TRUE(FileExists(out));
    EXPECT_TRUE(CreateProgramsShortcut("Plain", target_.c_str(), nullptr, nullptr, nullptr));
    EXPECT_TRUE(FileExists((root_ + "\\Programs\\Plain.LNK").c_str()));
}

TEST_F(ShortcutTest, TheLinkPathIsReportedAfterAFailureToo) {
    SavedValue desktop(HKEY_CURRENT_USER, kShellFolders, "Desktop");
    std::string blocked = root_ + "\\blocked";
    WriteWholeFile(blocked.c_str(), "x", 1);  // a file where the folder should be
    desktop.Set(blocked.c_str());
    String out;
    EXPECT_FALSE(CreateDesktopShortcut("Tool", target_.c_str(), nullptr, nullptr, &out));
    EXPECT_STREQ(out.Text(), (blocked + "\\Tool.LNK").c_str());
}

}  // namespace

#endif  // _WIN32
