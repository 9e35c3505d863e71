// The end of an installation: which boxes appear, when "Install.LOG" gets
// an entry and what it holds, against real files with the boxes, the clock
// and the viewer scripted.
#ifdef _WIN32

#include "installer/install_log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "archive/format.h"
#include "platform/file_system.h"
#include "tests/ui/ui_test_support.h"

namespace {

class ScriptedFinish : public SystemFinishHost {
public:
    void Inform(const String& text, const char* caption) override {
        events.push_back(std::string(caption) + "|" + text.Text());
    }
    bool AskYesNo(const String& text, const char* caption) override {
        events.push_back(std::string(caption) + "?" + text.Text());
        return answer;
    }
    void ShowError(const String& text) override { events.push_back(std::string("Error|") + text.Text()); }
    void ViewDocument(const String& path) override { viewed.push_back(path.Text()); }
    String NowStamp() override { return "12/7/2026 3:04:05p"; }

    bool answer = false;
    std::vector<std::string> events, viewed;
};

class InstallLog : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "qp_log_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        log_ = root_ + "\\Install.LOG";
        AutomaticMode = false;
    }
    void TearDown() override {
        AutomaticMode = false;
        DeleteTree(root_.c_str());
    }
    void Finish(const char* problems, int32 flags, bool reinstall = false, bool completed = true,
                const char* version = "2.1") {
        FinishInstallation(problems, root_.c_str(), flags, reinstall, completed, version, "Sample", host_);
    }
    std::string Log() const {
        String text;
        if (!ReadWholeFile(log_.c_str(), text)) return "<none>";
        return std::string(text.Text(), size_t(text.Length()));
    }
    std::string Entry(const std::string& type, const std::string& body) const {
        return "\r\nInstallation log for: Sample\r\nInstall date: 12/7/2026 3:04:05p\r\nInstall type: " + type +
               "\r\nInstall location: " + root_ + "\r\nInstaller version: 4.0\r\nProduct version: 2.1\r\n\r\n" +
               body;
    }

    std::string root_, log_;
    ScriptedFinish host_;
};

const char kSuccess[] = "Installation Complete|Installation has been completed successfully.";

TEST_F(InstallLog, CleanInstallationWithoutLogFlagWritesNothing) {
    Finish("", 0);
    EXPECT_EQ(host_.events, std::vector<std::string>{kSuccess});
    EXPECT_EQ(Log(), "<none>");
    EXPECT_TRUE(host_.viewed.empty());
}

TEST_F(InstallLog, LogFlagWritesOneEntryPerRun) {
    Finish("", AlwaysWriteLog);
    EXPECT_EQ(Log(), Entry("New", "Success\r\n\r\n"));
    Finish("", AlwaysWriteLog | WithUninstaller, true);
    EXPECT_EQ(Log(), Entry("New", "Success\r\n\r\n") + Entry("Reinstall", "Success\r\n\r\n"));
    EXPECT_EQ(host_.events, (std::vector<std::string>{kSuccess, kSuccess}));
}

TEST_F(InstallLog, PartialSuccessAsksAndViewsOnYes) {
    std::string question = "Partial Success?Installation has been completed with partial success.   The "
                           "installation log is stored at:\r\n" + log_ + "\r\n\r\nDo you wish to view the log? ";
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        DeleteFileA(log_.c_str());
        ScriptedFinish host;
        host.answer = yes;
        FinishInstallation("Unable to write %s%n: a.dll\r\n\r\n", root_.c_str(), 0, false, true, "2.1", "Sample",
                           host);
        EXPECT_EQ(host.events, std::vector<std::string>{question});
        EXPECT_EQ(Log(), Entry("New", "Unable to write %s%n: a.dll\r\n\r\n"));
        EXPECT_EQ(host.viewed, yes ? std::vector<std::string>{log_} : std::vector<std::string>{});
    }
}

TEST_F(InstallLog, AutomaticModeShowsNothingButStillWrites) {
    AutomaticMode = true;
    host_.answer = true;
    Finish("Failed to install font: x.ttf\r\n\r\n", 0);
    Finish("", 0);
    EXPECT_TRUE(host_.events.empty());
    EXPECT_TRUE(host_.viewed.empty());
    EXPECT_EQ(Log(), Entry("New", "Failed to install font: x.ttf\r\n\r\n"));
}

TEST_F(InstallLog, StoppedInstallationLogsWithoutABox) {
    Finish("The previous installation could not be uninstalled.\r\n\r\n", 0, false, false);
    EXPECT_TRUE(host_.events.empty());
    EXPECT_EQ(Log(), Entry("New", "The previous installation could not be uninstalled.\r\n\r\n"));
}

TEST_F(InstallLog, LogThatCannotBeWrittenShowsTheErrorAndIsNotViewed) {
    ASSERT_TRUE(CreateDirectoryA(log_.c_str(), nullptr));  // a directory where the file should be
    host_.answer = true;
    Finish("Unable to create shortcut: Sample\r\n\r\n", 0);
    ASSERT_EQ(host_.events.size(), 2u);
    EXPECT_EQ(host_.events[1], "Error|Unable to append to the installation log file:\r\n" + log_ + "\r\n");
    EXPECT_TRUE(host_.viewed.empty());
}

TEST_F(InstallLog, SystemBoxesShowTheirTexts) {
    SystemFinishHost system;
    std::atomic<bool> found{false};
    std::string text;
    std::thread actor([&] {
        HWND box = uitest::WaitForWindow("Partial Success");
        found = box != nullptr;
        if (!box) return;
        text = uitest::Text(GetDlgItem(box, 0xFFFF));
        uitest::Click(box, IDYES);
        if (!uitest::WaitUntilGone(box)) PostMessageA(box, WM_COMMAND, IDNO, 0);
    });
    bool yes = system.AskYesNo("View %s?", "Partial Success");
    actor.join();
    EXPECT_TRUE(found);
    EXPECT_EQ(text, "View %s?");
    EXPECT_TRUE(yes);

    std::thread closer([&] {
        HWND box = uitest::WaitForWindow("Installation Complete");
        found = box != nullptr;
        if (box) PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    system.Inform("Done", "Installation Complete");
    closer.join();
    EXPECT_TRUE(found);
}

}  // namespace

#endif  // _WIN32
