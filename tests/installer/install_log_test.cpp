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
        SetRequestedLog("");
        DeleteTree(root_.c_str());
    }
    std::string Finish(const char* problems, int32 flags, bool reinstall = false, bool completed = true,
                       const char* version = "2.1", const char* notes = "") {
        String added = FinishInstallation(problems, notes, root_.c_str(), flags, reinstall, completed, version,
                                          "Sample", host_);
        return added.Text();
    }
    static std::string Read(const std::string& path) {
        String text;
        if (!ReadWholeFile(path.c_str(), text)) return "<none>";
        return std::string(text.Text(), size_t(text.Length()));
    }
    std::string Log() const { return Read(log_); }
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
        FinishInstallation("Unable to write %s%n: a.dll\r\n\r\n", "", root_.c_str(), 0, false, true, "2.1",
                           "Sample", host);
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

// Files replaced at the restart head the entry, which is written even on
// success, and stay apart from the problems.
TEST_F(InstallLog, FilesReplacedAtRestartAreLoggedWithTheOutcome) {
    const char notes[] = "Replaced at restart: C:\\App\\a.dll\r\n";
    Finish("", 0, false, true, "2.1", notes);
    EXPECT_EQ(host_.events, std::vector<std::string>{kSuccess});
    std::string first = Entry("New", std::string(notes) + "Success\r\n\r\n");
    EXPECT_EQ(Log(), first);
    Finish("Failed to install font: x.ttf\r\n\r\n", 0, true, true, "2.1", notes);
    EXPECT_EQ(Log(), first + Entry("Reinstall", std::string(notes) + "Failed to install font: x.ttf\r\n\r\n"));
}

TEST_F(InstallLog, LogThatCannotBeWrittenShowsTheErrorAndIsNotViewed) {
    ASSERT_TRUE(CreateDirectoryA(log_.c_str(), nullptr));  // a directory where the file should be
    host_.answer = true;
    Finish("Unable to create shortcut: Sample\r\n\r\n", 0);
    ASSERT_EQ(host_.events.size(), 2u);
    EXPECT_EQ(host_.events[1], "Error|Unable to append to the installation log file:\r\n" + log_ + "\r\n");
    EXPECT_TRUE(host_.viewed.empty());
}

TEST_F(InstallLog, RequestedLogGetsTheEntryWhateverTheFlags) {
    std::string requested = root_ + "\\caller.log";
    SetRequestedLog(requested.c_str());
    EXPECT_EQ(Finish("", 0), "");
    EXPECT_EQ(Read(requested), Entry("New", "Success\r\n\r\n"));
    EXPECT_EQ(Log(), "<none>");
    EXPECT_EQ(Finish("", AlwaysWriteLog, true), "");
    EXPECT_EQ(Read(requested), Entry("New", "Success\r\n\r\n") + Entry("Reinstall", "Success\r\n\r\n"));
    EXPECT_EQ(Log(), Entry("Reinstall", "Success\r\n\r\n"));
    std::string before = Read(requested);
    EXPECT_EQ(Finish("Unable to create shortcut: Sample\r\n\r\n", 0), "");
    EXPECT_EQ(Read(requested), before + Entry("New", "Unable to create shortcut: Sample\r\n\r\n"));
    EXPECT_FALSE(RequestedLogFailed());

    // Named as Install.LOG itself (in another spelling), it gets one entry.
    DeleteFileA(log_.c_str());
    std::string upper = root_ + "\\INSTALL.LOG";
    SetRequestedLog(upper.c_str());
    EXPECT_EQ(Finish("", 0), "");
    EXPECT_EQ(Log(), Entry("New", "Success\r\n\r\n"));
}

TEST_F(InstallLog, RequestedLogThatCannotBeWrittenIsAProblemOfTheInstallation) {
    std::string requested = root_ + "\\no such folder\\caller.log";
    SetRequestedLog(requested.c_str());
    std::string line = "Unable to append to the log file:\r\n" + requested + "\r\n\r\n";
    EXPECT_EQ(Finish("", 0), line);
    EXPECT_TRUE(RequestedLogFailed());
    EXPECT_EQ(Log(), Entry("New", line));
    ASSERT_EQ(host_.events.size(), 1u);
    EXPECT_EQ(host_.events[0].substr(0, 16), "Partial Success?");
    EXPECT_EQ(Finish("Failed to install font: x.ttf\r\n\r\n", 0), line);
    EXPECT_EQ(Log(), Entry("New", line) + Entry("New", "Failed to install font: x.ttf\r\n\r\n" + line));
}

TEST_F(InstallLog, UninstallationEntryGoesOnlyToTheRequestedLog) {
    EXPECT_EQ(LogUninstallation("Sample", root_.c_str(), "", "", host_).Text(), std::string());
    std::string requested = root_ + "\\caller.log";
    SetRequestedLog(requested.c_str());
    EXPECT_EQ(LogUninstallation("Sample", root_.c_str(), "", "", host_).Text(), std::string());
    EXPECT_EQ(LogUninstallation("Sample", root_.c_str(), "Unable to delete \"x\"\r\n", "", host_).Text(),
              std::string());
    EXPECT_EQ(LogUninstallation("Sample", root_.c_str(), "", "Removed at restart: C:\\x\r\n", host_).Text(),
              std::string());
    std::string head = "\r\nInstallation log for: Sample\r\nInstall date: 12/7/2026 3:04:05p\r\nInstall type: "
                       "Uninstall\r\nInstall location: " + root_ + "\r\nInstaller version: 4.0\r\n\r\n";
    EXPECT_EQ(Read(requested), head + "Success\r\n\r\n" + head + "Unable to delete \"x\"\r\n\r\n" + head +
                                   "Removed at restart: C:\\x\r\nSuccess\r\n\r\n");
    EXPECT_EQ(Log(), "<none>");
    EXPECT_FALSE(RequestedLogFailed());

    std::string missing = root_ + "\\no such folder\\caller.log";
    SetRequestedLog(missing.c_str());
    EXPECT_EQ(LogUninstallation("Sample", root_.c_str(), "", "", host_).Text(),
              "Unable to append to the log file:\r\n" + missing + "\r\n");
    EXPECT_TRUE(RequestedLogFailed());
    EXPECT_TRUE(host_.events.empty());
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
