// Special folders from the registry values of the prefix (set, emptied and
// removed here, restored afterwards) and shortcuts read back through the
// shell's own link object.
#ifdef _WIN32

#include "platform/special_folders.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/file_system.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kSetup[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";

// Remembers one registry value and puts it back (or removes it) at the end.
class SavedValue {
public:
    SavedValue(HKEY root, const char* key, const char* name) : name_(name) {
        RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        DWORD size = sizeof data_;
        existed_ = RegQueryValueExA(key_, name, nullptr, &type_, data_, &size) == ERROR_SUCCESS;
        size_ = size;
    }
    ~SavedValue() {
        if (existed_) RegSetValueExA(key_, name_, 0, type_, data_, size_);
        else RegDeleteValueA(key_, name_);
        RegCloseKey(key_);
    }
    // Null removes the value.
    void Set(const char* text) const {
        if (text) RegSetValueExA(key_, name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1));
        else RegDeleteValueA(key_, name_);
    }

private:
    HKEY key_ = nullptr;
    const char* name_;
    DWORD type_ = REG_SZ, size_ = 0;
    BYTE data_[1024];
    bool existed_ = false;
};

std::string Windows(const char* below) { return std::string(WindowsDirectory().Text()) + "\\" + below; }

TEST(SpecialFolders, UserFoldersAndTheirFallbackChains) {
    SavedValue desktop(HKEY_CURRENT_USER, kShellFolders, "Desktop");
    SavedValue fonts(HKEY_CURRENT_USER, kShellFolders, "Fonts");
    SavedValue startMenu(HKEY_CURRENT_USER, kShellFolders, "Start Menu");
    SavedValue programs(HKEY_CURRENT_USER, kShellFolders, "Programs");
    SavedValue startup(HKEY_CURRENT_USER, kShellFolders, "Startup");

    struct { const char *desktop, *fonts, *startMenu, *programs, *startup; std::string expected[5]; } cases[] = {
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
    for (const auto& c : cases) {
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
    struct { const char *programFiles, *commonFiles, *expectedProgramFiles, *expectedCommonFiles; } cases[] = {
        {"d:\\Apps", "d:\\Shared", "d:\\Apps", "d:\\Shared"},
        {"d:\\Apps", nullptr, "d:\\Apps", "d:\\Apps\\Common Files"},
        {nullptr, nullptr, "c:\\Program Files", "c:\\Program Files\\Common Files"},
        {"", "", "c:\\Program Files", "c:\\Program Files\\Common Files"},
        {nullptr, "e:\\Common", "c:\\Program Files", "e:\\Common"},
    };
    for (const auto& c : cases) {
        programFiles.Set(c.programFiles);
        commonFiles.Set(c.commonFiles);
        EXPECT_STREQ(ProgramFilesFolder().Text(), c.expectedProgramFiles);
        EXPECT_STREQ(CommonFilesFolder().Text(), c.expectedCommonFiles);
    }
}

TEST(SpecialFolders, BootDriveNeedsALetterAndAColon) {
    SavedValue bootDir(HKEY_LOCAL_MACHINE, kSetup, "BootDir");
    struct { const char* value; char expected; } cases[] = {
        {"d:\\", 'D'}, {"E:", 'E'}, {"c:\\", 'C'}, {nullptr, 'C'}, {"", 'C'},
        {"1:\\", 'C'}, {"\\\\server", 'C'}, {"d", 'C'}, {"dd:\\", 'C'},
    };
    for (const auto& c : cases) {
        bootDir.Set(c.value);
        EXPECT_EQ(BootDrive(), c.expected) << (c.value ? c.value : "(none)");
    }
}

// What a saved link holds, read back through the shell's link object.
struct LinkContents {
    bool loaded = false, argumentsFlag = false;  // the file's own "has arguments" bit
    std::string target, arguments, directory;
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

    std::string root_, target_;
};

TEST_F(ShortcutTest, SavedLinkHoldsTargetArgumentsAndDirectory) {
    struct { const char *arguments, *directory; int flag; } cases[] = {  // flag -1: either
        {"/u:\"Some Product\"", "c:\\work", 1}, {nullptr, nullptr, 0}, {"", "", -1}};
    for (const auto& c : cases) {
        String link((root_ + "\\link").c_str());
        ASSERT_TRUE(CreateShortcut(link, target_.c_str(), c.arguments, c.directory));
        LinkContents contents = LoadLink(link.Text());
        ASSERT_TRUE(contents.loaded);
        EXPECT_TRUE(SamePath(contents.target.c_str(), target_.c_str())) << contents.target;
        EXPECT_EQ(contents.arguments, c.arguments ? c.arguments : "");
        EXPECT_EQ(contents.directory, c.directory ? c.directory : "");
        if (c.flag >= 0) {
            EXPECT_EQ(contents.argumentsFlag, c.flag == 1) << (c.arguments ? c.arguments : "(none)");
        }
    }
}

TEST_F(ShortcutTest, LnkIsAppendedUnlessPresentAnywhereAndFoldersAreCreated) {
    struct { const char *name, *saved; } cases[] = {
        {"Readme", "Readme.LNK"}, {"tool.lnk", "tool.lnk"}, {"my.Lnk.old", "my.Lnk.old"},
        {"Read me.txt", "Read me.txt.LNK"}, {"new\\deeper\\Item", "new\\deeper\\Item.LNK"},
    };
    for (const auto& c : cases) {
        String link((root_ + "\\" + c.name).c_str());
        ASSERT_TRUE(CreateShortcut(link, target_.c_str(), nullptr, nullptr)) << c.name;
        std::string expected = root_ + "\\" + c.saved;
        EXPECT_STREQ(link.Text(), expected.c_str());
        EXPECT_TRUE(FileExists(expected.c_str())) << expected;
    }
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

    std::string blocked = root_ + "\\blocked";  // a file where the folder should be
    WriteWholeFile(blocked.c_str(), "x", 1);
    // Wine's desktop process answers the shortcuts just saved by writing the
    // real folders back into these values a moment later; let it finish.
    for (int i = 0; i < 20; ++i) {
        Sleep(100);
        desktop.Set(blocked.c_str());
        Sleep(100);
        if (std::string(DesktopFolder().Text()) == blocked) break;
    }
    EXPECT_FALSE(CreateDesktopShortcut("Tool", target_.c_str(), nullptr, nullptr, &out));
    EXPECT_STREQ(out.Text(), (blocked + "\\Tool.LNK").c_str()) << "the path is reported after a failure too";
}

}  // namespace

#endif  // _WIN32
