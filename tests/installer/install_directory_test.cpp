// The installation directory choice: the dialog loop against real
// directories and drives, with the dialog, the boxes and the free space
// scripted; the automatic road and the real question box.
#ifdef _WIN32

#include "installer/install_directory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "archive/format.h"
#include "platform/file_system.h"
#include "platform/special_folders.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialogs.h"

namespace {

// Real directories and drives; the dialog hands out scripted entries (then
// reports an abort), questions are answered from a list (then No).
class ScriptedHost : public SystemDirectoryHost {
public:
    bool ChooseDirectory(String& directory) override {
        shown.push_back(directory.Text());
        prompts.push_back(DirectoryPrompt.Text());
        if (entries.empty()) return false;
        directory = entries.front().c_str();
        entries.pop_front();
        return true;
    }
    bool AskYesNo(const String& text, const char* caption, unsigned icon) override {
        events.push_back(std::string(caption) + "|" + text.Text());
        icons.push_back(icon);
        if (answers.empty()) return false;
        bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    void ShowError(const String& text) override { events.push_back(std::string("Error|") + text.Text()); }
    // Windows may take the empty root of a non-letter for the current drive.
    bool DriveExists(char letter) override { return letter == 0 || SystemDirectoryHost::DriveExists(letter); }
    int32 ClusterSize(char) override { return cluster; }
    int64 FreeSpace(char) override { return free; }

    std::deque<std::string> entries;
    std::deque<bool> answers;
    std::vector<std::string> shown, prompts, events;
    std::vector<unsigned> icons;
    int32 cluster = 4096;
    int64 free = int64(1) << 40;
};

const char kConfirm[] = "Choosing Installation Directory|";

std::string Missing(const std::string& directory) {
    return kConfirm + ("The directory " + directory + " does not exist.\r\n\r\nDo you want to create it?");
}
std::string Existing(const std::string& directory) {
    return kConfirm + ("The directory " + directory + " already exists.\r\n\r\nAre you sure you want to proceed?");
}

char MissingDrive() {
    for (char letter = 'Y'; letter > 'C'; --letter) {
        if (!DriveExists(letter)) return letter;
    }
    return 0;
}

class InstallDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "qp_dir_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        manifest_.flags = AskDirectory;
        SetSizes({4097, 1});
        AutomaticMode = false;
    }
    void TearDown() override {
        AutomaticMode = false;
        DeleteTree(root_.c_str());
    }
    void SetSizes(std::vector<int32> sizes) {
        Free(manifest_.fileSizes);
        manifest_.fileCount = int32(sizes.size());
        manifest_.fileSizes = static_cast<int32*>(Allocate(sizes.size() * sizeof(int32)));
        for (size_t i = 0; i < sizes.size(); ++i) manifest_.fileSizes[i] = sizes[i];
    }
    bool Run(String& directory) { return AskInstallationDirectory(directory, manifest_, "Sample", host_); }

    std::string root_;
    Manifest manifest_;
    ScriptedHost host_;
};

TEST_F(InstallDirectory, RefusedDirectoriesShowTheirErrorAndAskAgain) {
    char drive = MissingDrive();
    ASSERT_NE(drive, 0);
    std::string missing = std::string(1, char(drive + 'a' - 'A')) + ":\\App";
    std::string programFiles = ProgramFilesFolder().Text();
    const std::string illegal = "Error|This file path is illegal:\r\n";
    const std::string partial = "Error|You must specify a complete drive and path such as \"c:\\work\".\r\n";
    const std::string root = "Error|You cannot install to a root directory.\r\n";
    const std::string inProgramFiles = "Error|You cannot install to the root of the " + programFiles +
                                       " directory.  You can only install to a subdirectory of it.\r\n";
    struct Case {
        std::string entry;
        std::string event;  // empty: nothing at all
    } cases[] = {
        {"   \t", ""},
        {"C:\\a<b", illegal + "C:\\a<b"},
        {"C:\\a:b", illegal + "C:\\a:b"},
        {"C:\\a;b", illegal + "C:\\a;b"},
        {"\"C:\\a\"b\"", illegal + "\"C:\\a\"b\""},
        {"app\\dir", partial},
        {"C:app", partial},
        {"C:/app", illegal + "C:/app"},
        {"\\\\server\\share", partial},
        {"\"C:\\app\"", partial},  // quotes pass the character check only
        {missing, std::string("Error|Drive ") + drive + ": is not available.\r\n"},
        {"1:\\app", "Error|Drive 1: is not available.\r\n"},
        {"C:\\", root},
        {"c:\\\\", root},
        {programFiles, inProgramFiles},
        {programFiles + "\\", inProgramFiles},
        {"C:\\A", Missing("C:\\A")},  // one past a root: on to the question
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        ScriptedHost host;
        host.entries = {c.entry};
        String directory;
        EXPECT_FALSE(AskInstallationDirectory(directory, manifest_, "Sample", host));
        std::vector<std::string> expected;
        if (!c.event.empty()) expected.push_back(c.event);
        EXPECT_EQ(host.events, expected);
        EXPECT_EQ(host.shown.size(), 2u) << "the dialog comes back after the refusal";
    }
}

TEST_F(InstallDirectory, PromptNamesTheProductAndTheDialogKeepsTheTrimmedEntry) {
    host_.entries = {"  C:\\a<b \r\n"};
    String directory("C:\\Start");
    EXPECT_FALSE(Run(directory));
    ASSERT_EQ(host_.shown.size(), 2u);
    EXPECT_EQ(host_.shown[0], "C:\\Start");
    EXPECT_EQ(host_.shown[1], "C:\\a<b");
    EXPECT_EQ(host_.prompts[1], "Choose the directory where Sample should be installed.");
}

TEST_F(InstallDirectory, SpaceWarningAtExactlyTheFreeSpace) {
    // 4097 and 1 bytes take three 4 KB clusters; with clusters of one byte
    // (or unknown) the bytes count as they are.
    std::string dir = root_ + "\\App";
    std::string warning = "Not Enough Space|Sample requires 12.00 KB of hard disk space.\r\nDrive C: only has "
                          "12.00 KB available.\r\nDo you still wish to install to " + dir + "? ";
    struct Case {
        int32 cluster;
        int64 free;
        bool warned;
    } cases[] = {
        {4096, 12288, true}, {4096, 12289, false}, {1, 4098, true}, {1, 4099, false},
        {-1, 4098, true},    {4096, 0, true},      {4096, -1, false},  // unknown free space: no warning
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cluster) + " " + std::to_string(c.free));
        ScriptedHost host;
        host.cluster = c.cluster;
        host.free = c.free;
        host.entries = {dir};
        String directory;
        EXPECT_FALSE(AskInstallationDirectory(directory, manifest_, "Sample", host));
        ASSERT_FALSE(host.events.empty());
        EXPECT_EQ(host.events[0].rfind("Not Enough Space|", 0) == 0, c.warned) << host.events[0];
        if (c.warned && c.cluster == 4096 && c.free == 12288) {
            EXPECT_EQ(host.events[0], warning);
            EXPECT_EQ(host.icons[0], unsigned(MB_ICONERROR));
            EXPECT_EQ(host.events.size(), 1u) << "No goes back to the dialog";
        }
        if (!c.warned) {
            EXPECT_EQ(host.events[0], Missing(dir));
        }
    }
}

TEST_F(InstallDirectory, YesToTheSpaceWarningGoesOnToTheQuestion) {
    std::string dir = root_ + "\\App";
    host_.free = 0;
    host_.entries = {dir};
    host_.answers = {true, true};
    String directory;
    ASSERT_TRUE(Run(directory));
    ASSERT_EQ(host_.events.size(), 2u);
    EXPECT_EQ(host_.events[1], Missing(dir));
    EXPECT_EQ(host_.icons[1], unsigned(MB_ICONQUESTION));
    EXPECT_TRUE(DirectoryExists(directory));
}

TEST_F(InstallDirectory, QuestionDecidesAndCreates) {
    std::string existing = root_;
    std::string deep = root_ + "\\New\\Deeper";
    std::string blocked = root_ + "\\file.txt\\Sub";
    ASSERT_TRUE(WriteWholeFile((root_ + "\\file.txt").c_str(), "x", 1));

    // No to an existing directory, then Yes to a missing one: created.
    host_.entries = {existing, deep};
    host_.answers = {false, true};
    String directory;
    ASSERT_TRUE(Run(directory));
    EXPECT_EQ(std::string(directory.Text()), deep);
    EXPECT_TRUE(DirectoryExists(deep.c_str()));
    EXPECT_EQ(host_.events, (std::vector<std::string>{Existing(existing), Missing(deep)}));

    // Yes to one that cannot be made: the error, then the dialog again.
    ScriptedHost host;
    host.entries = {blocked, existing};
    host.answers = {true, true};
    String second;
    ASSERT_TRUE(AskInstallationDirectory(second, manifest_, "Sample", host));
    EXPECT_EQ(std::string(second.Text()), existing);
    EXPECT_EQ(host.events, (std::vector<std::string>{Missing(blocked),
                                                     "Error|Unable to create directory: " + blocked + "\r\n",
                                                     Existing(existing)}));
    EXPECT_EQ(host.shown[1], blocked);
}

TEST_F(InstallDirectory, OutsideTextIsNeverAFormat) {
    std::string dir = root_ + "\\%s%n%d";
    host_.entries = {dir};
    host_.answers = {true};
    String directory;
    ASSERT_TRUE(Run(directory));
    EXPECT_EQ(host_.events, std::vector<std::string>{Missing(dir)});
}

TEST_F(InstallDirectory, WithoutQuestionsTheDirectoryIsCreated) {
    // Automatic mode: the empty directory becomes the default one; no
    // dialog (there is none in this program: it would be fatal).
    AutomaticMode = true;
    manifest_.defaultDirectory = (root_ + "\\Default\\Dir").c_str();
    String directory;
    ChooseInstallationDirectory(directory, manifest_, "Sample");
    EXPECT_STREQ(directory.Text(), manifest_.defaultDirectory.Text());
    EXPECT_TRUE(DirectoryExists(directory));

    // No AskDirectory: a given directory is kept and created.
    AutomaticMode = false;
    manifest_.flags = 0;
    String given((root_ + "\\Given").c_str());
    ChooseInstallationDirectory(given, manifest_, "Sample");
    EXPECT_EQ(std::string(given.Text()), root_ + "\\Given");
    EXPECT_TRUE(DirectoryExists(given));
}

TEST_F(InstallDirectory, AutomaticDirectoryThatCannotBeMadeIsFatal) {
    ASSERT_TRUE(WriteWholeFile((root_ + "\\file.txt").c_str(), "x", 1));
    String directory((root_ + "\\file.txt\\Sub").c_str());
    AutomaticMode = true;
    EXPECT_EXIT(ChooseInstallationDirectory(directory, manifest_, "Sample"), ::testing::ExitedWithCode(1),
                "FATAL ERROR. Unable to create directory:");
}

TEST_F(InstallDirectory, SystemQuestionIsAYesNoBoxWithTheText) {
    for (int button : {IDYES, IDNO}) {
        std::atomic<bool> found{false};
        std::string text;
        std::thread actor([&] {
            HWND box = uitest::WaitForWindow("Not Enough Space");
            found = box != nullptr;
            if (!box) return;
            text = uitest::Text(GetDlgItem(box, 0xFFFF));
            uitest::Click(box, button);
            if (!uitest::WaitUntilGone(box)) PostMessageA(box, WM_COMMAND, IDNO, 0);
        });
        SystemDirectoryHost system;
        bool yes = system.AskYesNo("Needs 100%s bytes", "Not Enough Space", MB_ICONERROR);
        actor.join();
        EXPECT_TRUE(found);
        EXPECT_EQ(text, "Needs 100%s bytes");
        EXPECT_EQ(yes, button == IDYES);
    }
}

}  // namespace

#endif  // _WIN32
