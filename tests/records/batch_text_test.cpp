#include "records/batch_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

BatchSettings Settings(const char* directory, const char* shared) {
    BatchSettings s;
    s.directory = directory;
    s.sharedDirectory = shared;
    s.installerPath = "E:\\Setup\\setup.exe";
    s.installerDirectory = "E:\\Setup";
    s.installerName = "setup.exe";
    return s;
}

TEST(BatchText, LauncherCallsTheScriptThroughTheInterpreter) {
    // No folder name on the command line: ( ) & @ ^ | and % there would run or expand.
    EXPECT_EQ(Str(LauncherText("C:\\WINDOWS\\system32\\cmd.exe", "C:\\Apps (x86)\\T&J %v%\\PLOVEK2.BAT")),
              "@C:\\WINDOWS\\system32\\cmd.exe /e:1024 /c \".\\PLOVEK2.BAT\"");
}

const char kRan[] = "type nul >PLOVEK2.RUN\r\n";

TEST(BatchText, SetLinesDescribeTheInstallation) {
    EXPECT_EQ(Str(ScriptText("echo hi", Settings("d:\\Apps\\Tool", "C:\\Common"), false)),
              std::string("@echo off\r\n") + kRan +
                  "SET \"InstallDir=d:\\Apps\\Tool\"\r\n"
                  "SET \"InstallDrive=D:\"\r\n"
                  "SET \"SharedDir=C:\\Common\"\r\n"
                  "SET \"InstallerFilepath=E:\\Setup\\setup.exe\"\r\n"
                  "SET \"InstallerDir=E:\\Setup\"\r\n"
                  "SET \"InstallerFilename=setup.exe\"\r\n"
                  "echo hi");
    // The post-uninstallation run: a drive root and no shared directory.
    EXPECT_EQ(Str(ScriptText("x", Settings("D:\\", ""), false))
                  .find(std::string("@echo off\r\n") + kRan +
                        "SET \"InstallDir=D:\\\"\r\nSET \"InstallDrive=D:\"\r\nSET \"SharedDir=\"\r\n"),
              0u);
    // No directory: no SET lines; no drive letter: an empty value, no NUL.
    EXPECT_EQ(Str(ScriptText("x", Settings("", "C:\\Common"), false)), std::string("@echo off\r\n") + kRan + "x");
    std::string unc = Str(ScriptText("x", Settings("\\\\server\\share", ""), false));
    EXPECT_NE(unc.find("SET \"InstallDrive=\"\r\n"), std::string::npos);
    EXPECT_EQ(unc.find('\0'), std::string::npos);
}

// A value is text, never a command: quoted whole, and % doubled so that it
// does not expand either.
TEST(BatchText, SetValuesNeitherRunNorExpand) {
    BatchSettings s = Settings("C:\\Apps\\a&md pwned", "C:\\100%\\%PATH%");
    s.installerName = "s^e|t(u)p@!.exe";
    std::string text = Str(ScriptText("", s, false));
    EXPECT_NE(text.find("SET \"InstallDir=C:\\Apps\\a&md pwned\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("SET \"SharedDir=C:\\100%%\\%%PATH%%\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("SET \"InstallerFilename=s^e|t(u)p@!.exe\"\r\n"), std::string::npos) << text;
    EXPECT_EQ(Str(BatchLiteral("%a%%b")), "%%a%%%%b");
    // A damaged registry value cannot close the quotes or start a line.
    s.sharedDirectory = "C:\\x\"&calc&\"\r\ncalc";
    text = Str(ScriptText("", s, false));
    EXPECT_NE(text.find("SET \"SharedDir=C:\\x&calc&calc\"\r\n"), std::string::npos) << text;
}

TEST(BatchText, PauseLinesAreRecognisedOnlyAlone) {
    struct { const char* line; bool pause; } cases[] = {
        {"PAUSE", true}, {"pause", true}, {"  PaUsE \t\r", true}, {"@pause", true}, {" @ \tPAUSE ", true},
        {"@@pause", false}, {"pause now", false}, {"echo x & pause", false}, {"PAUS", false},
        {"PAUSED", false}, {"REM pause", false}, {"", false}, {"@", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPauseLine(c.line), c.pause) << "[" << c.line << "]";
}

TEST(BatchText, AutomaticModeLeavesOutPauseLinesOnly) {
    const char* script = "echo a\r\n@ pause\r\nPAUSE\nPause >nul\r\necho b";
    BatchSettings none;
    EXPECT_EQ(Str(ScriptText(script, none, true)),
              std::string("@echo off\r\n") + kRan + "echo a\r\nPause >nul\r\necho b\r\n");
    EXPECT_EQ(Str(ScriptText(script, none, false)),
              std::string("@echo off\r\n") + kRan + "echo a\r\n@ pause\r\nPAUSE\r\nPause >nul\r\necho b");
}

TEST(BatchText, EveryLineEndBecomesCrLf) {
    struct { const char *in, *out; } cases[] = {
        {"a\nb\n", "a\r\nb\r\n"}, {"a\rb\r", "a\r\nb\r\n"}, {"a\r\nb", "a\r\nb"}, {"a\n\rb", "a\r\nb"},
        {"a\n\nb", "a\r\n\r\nb"}, {"a\r\rb", "a\r\n\r\nb"}, {"\r\n\r\n", "\r\n\r\n"}, {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Str(WithCrLf(c.in)), c.out) << c.in;
    // A script with CR-only ends still runs line by line.
    EXPECT_EQ(Str(ScriptText("echo a\recho b\r", BatchSettings(), false)),
              std::string("@echo off\r\n") + kRan + "echo a\r\necho b\r\n");
}

}  // namespace
