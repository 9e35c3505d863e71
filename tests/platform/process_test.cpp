// The launcher starts this very test program as its child: with the helper
// variable set, the program reports how it was started into a file, after
// a pause, and ends before any test runs.
#ifdef _WIN32

#include "platform/process.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

#include <string>

#include "platform/file_system.h"

namespace {

const char kHelperVariable[] = "QP_LAUNCH_HELPER_OUT";
const DWORD kHelperPauseMs = 500;

int RunAsHelperWhenAsked() {
    char out[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(kHelperVariable, out, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    Sleep(kHelperPauseMs);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    char report[64];
    int n = snprintf(report, sizeof report, "%lu %d %u", GetPriorityClass(GetCurrentProcess()),
                     (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0, startup.wShowWindow);
    // Written under another name and renamed, so the report appears whole.
    std::string partial = std::string(out) + ".part";
    WriteWholeFile(partial.c_str(), report, n);
    MoveFileA(partial.c_str(), out);
    ExitProcess(0);
}

const int helperRan = RunAsHelperWhenAsked();

// Wine 8 starts every process at normal priority whatever the creation flags ask.
bool PriorityClassesAreIgnored() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        report_ = std::string(temp) + "qp_launch_" + std::to_string(GetCurrentProcessId()) + ".txt";
        DeleteFileA(report_.c_str());
        SetEnvironmentVariableA(kHelperVariable, report_.c_str());
        command_ = "\"" + std::string(ModulePath().Text()) + "\" --gtest_list_tests";
    }
    void TearDown() override {
        SetEnvironmentVariableA(kHelperVariable, nullptr);
        if (launched_) WaitForReport();
        DeleteFileA(report_.c_str());
    }

    bool Launch(unsigned options) { return launched_ = LaunchProcess(command_.c_str(), options); }

    bool WaitForReport() const {
        for (int i = 0; i < 200; ++i) {
            if (FileExists(report_.c_str())) return true;
            Sleep(50);
        }
        return false;
    }

    std::string Report() const {
        String text;
        ReadWholeFile(report_.c_str(), text);
        return text.Text();
    }

    std::string report_, command_;
    bool launched_ = false;
};

TEST_F(LaunchTest, WaitReturnsOnlyAfterTheChildEndedAndOtherwiseAtOnce) {
    ASSERT_TRUE(Launch(LaunchWait | LaunchHidden));
    EXPECT_TRUE(FileExists(report_.c_str()));
    DeleteFileA(report_.c_str());
    ASSERT_TRUE(Launch(LaunchHidden));
    EXPECT_FALSE(FileExists(report_.c_str()));  // the child is still in its pause
    EXPECT_TRUE(WaitForReport());
}

TEST_F(LaunchTest, PriorityAndShowStateFollowTheOptions) {
    struct { unsigned options; const char* report; } cases[] = {  // priority class, show flag, show state
        {0, "32 0 "}, {LaunchIdle, "64 0 "}, {LaunchHigh | LaunchIdle, "128 0 "}, {LaunchHidden, "32 1 0"},
        {LaunchMinimized | LaunchHidden, "32 1 6"}, {LaunchMaximized | LaunchMinimized | LaunchHidden, "32 1 3"},
    };
    for (const auto& c : cases) {
        DeleteFileA(report_.c_str());
        ASSERT_TRUE(Launch(c.options | LaunchWait)) << c.options;
        std::string report = Report();
        std::string expected = c.report;
        if (PriorityClassesAreIgnored()) {
            report = report.substr(report.find(' '));
            expected = expected.substr(expected.find(' '));
        }
        EXPECT_EQ(report.substr(0, expected.size()), expected) << "options " << c.options << ": " << report;
    }
}

TEST_F(LaunchTest, FailuresAreReportedOnlyWhenAsked) {
    const char missing[] = "qp_no_such_program.exe /x";
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(LaunchProcess(missing, LaunchWait));
    EXPECT_FALSE(LaunchProcess("", LaunchReportFailure));
    EXPECT_FALSE(LaunchProcess(nullptr, LaunchReportFailure));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(LaunchProcess(missing, LaunchReportFailure));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[Error] Unable to create process:\r\nqp_no_such_program.exe /x\n");

    // The caller asked for the report, so automatic mode does not hide it.
    AutomaticMode = true;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(LaunchProcess(missing, LaunchReportFailure));
    AutomaticMode = false;
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Unable to create process:"), std::string::npos);

    ::testing::internal::CaptureStderr();  // viewing a missing document does nothing
    ViewDocument("c:\\qp no such dir\\missing log.txt");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace

#endif  // _WIN32
