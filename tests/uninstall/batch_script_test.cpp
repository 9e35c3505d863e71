// Archive scripts run through the real command interpreter in a scratch
// directory.
#ifdef _WIN32

#include "uninstall/batch_script.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/file_system.h"

// Set at start-up by the program; this test program is its own start-up.
String CommandInterpreter;

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

// A script that waits for a key would stall the test for ever: after this
// long the wait is ended from inside the message dispatch.
const UINT kGuardMilliseconds = 60000;
bool GuardFired = false;

void CALLBACK EndTheWait(HWND, UINT, UINT_PTR, DWORD) {
    GuardFired = true;
    PostQuitMessage(0);
}

class BatchScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        char expanded[256];
        DWORD n = ExpandEnvironmentStringsA("%comspec%", expanded, sizeof expanded);
        CommandInterpreter = (n == 0 || n > sizeof expanded) ? "cmd.exe" : expanded;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "qp_batch_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        GuardFired = false;
        guard_ = SetTimer(nullptr, 0, kGuardMilliseconds, EndTheWait);
    }
    void TearDown() override {
        KillTimer(nullptr, guard_);
        AutomaticMode = false;
        DeleteTree(root_.c_str());
    }
    std::string PathOf(const std::string& name) const { return root_ + "\\" + name; }
    std::string Read(const std::string& name) const {
        String text;
        return ReadWholeFile(PathOf(name).c_str(), text) ? Str(text) : "(missing)";
    }
    bool NoBatchFilesLeft(const std::string& directory) const {
        return GetFileAttributesA((directory + "\\PLOVEK1.BAT").c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetFileAttributesA((directory + "\\PLOVEK2.BAT").c_str()) == INVALID_FILE_ATTRIBUTES;
    }

    std::string root_;
    UINT_PTR guard_ = 0;
};

TEST_F(BatchScriptTest, ScriptSeesTheSettingsAndRunsInTheDirectory) {
    std::string out = PathOf("out.txt");
    std::string script = "echo [%InstallDir%][%InstallDrive%][%SharedDir%][%CD%]>\"" + out +
                         "\"\n"
                         "echo [%InstallerFilepath%][%InstallerDir%][%InstallerFilename%]>>\"" + out + "\"\n";
    ASSERT_TRUE(RunBatch(root_.c_str(), script.c_str(), "C:\\Shared Files"));
    EXPECT_FALSE(GuardFired);
    std::string drive = root_.substr(0, 1);
    for (char& c : drive) c = char(toupper(c));
    EXPECT_EQ(Read("out.txt"), "[" + root_ + "][" + drive + ":][C:\\Shared Files][" + root_ + "]\r\n[" +
                                   Str(ModulePath()) + "][" + Str(ModuleDirectory()) + "][" +
                                   Str(ModuleFileName()) + "]\r\n");
    EXPECT_TRUE(NoBatchFilesLeft(root_));

    // The post-uninstallation run: a drive root and no shared directory.
    String root = DriveRootOf(root_.c_str());
    std::string rootScript = "echo [%InstallDir%][%SharedDir%][%CD%]>\"" + out + "\"";
    ASSERT_TRUE(RunBatch(root, rootScript.c_str(), ""));
    EXPECT_EQ(Read("out.txt"), "[" + Str(root) + "][][" + Str(root) + "]\r\n");
    EXPECT_TRUE(NoBatchFilesLeft(Str(root).substr(0, 2)));
}

TEST_F(BatchScriptTest, AutomaticModeRunsPastPauseLines) {
    AutomaticMode = true;
    std::string out = PathOf("out.txt");
    std::string script = "echo before>\"" + out + "\"\r@ pause\rPAUSE \recho after>>\"" + out + "\"\r";
    DWORD start = GetTickCount();
    ASSERT_TRUE(RunBatch(root_.c_str(), script.c_str(), ""));
    EXPECT_FALSE(GuardFired) << "the script waited for a key";
    EXPECT_LT(GetTickCount() - start, kGuardMilliseconds);
    EXPECT_EQ(Read("out.txt"), "before\r\nafter\r\n");
}

TEST_F(BatchScriptTest, BlankScriptsRunNothingAndUnwritableDirectoriesFail) {
    EXPECT_TRUE(RunBatch(root_.c_str(), " \r\n\t\n", ""));
    EXPECT_TRUE(RunBatch(root_.c_str(), "", ""));
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(PathOf("*.BAT").c_str(), &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);

    std::string missing = PathOf("no such dir");
    EXPECT_FALSE(RunBatch(missing.c_str(), "echo x", ""));
    EXPECT_FALSE(DirectoryExists(missing.c_str()));
}


// A folder named as users and systems name them: the script runs, sees the
// name as text, and nothing in the name runs as a command.
TEST_F(BatchScriptTest, FolderNamesWithCommandCharactersRunTheScript) {
    for (const char* name : {"Apps (x86)", "T&J @ ^home^", "a%PATH%b", "x|y"}) {
        std::string folder = PathOf(name);
        if (!CreateDirectoryA(folder.c_str(), nullptr)) continue;  // a name this system refuses
        std::string out = PathOf("out.txt");
        DeleteFileA(out.c_str());
        // "set" prints the value as it is stored, without parsing it again.
        std::string script = "set InstallDir>\"" + out + "\"";
        EXPECT_TRUE(RunBatch(folder.c_str(), script.c_str(), "")) << name;
        EXPECT_EQ(Read("out.txt"), "InstallDir=" + folder + "\r\n") << name;
        EXPECT_TRUE(NoBatchFilesLeft(folder)) << name;
        EXPECT_EQ(GetFileAttributesA((folder + "\\PLOVEK2.RUN").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// The interpreter started, but the script never ran: that is a failure,
// which the pre-uninstallation batch must not take for success.
TEST_F(BatchScriptTest, AnInterpreterThatDoesNotRunTheScriptIsAFailure) {
    String saved = CommandInterpreter;
    CommandInterpreter = JoinPath(saved, "..\\no-such-interpreter.exe");
    EXPECT_FALSE(RunBatch(root_.c_str(), "echo x", ""));
    CommandInterpreter = saved;
    EXPECT_TRUE(NoBatchFilesLeft(root_));
}

}  // namespace

#endif  // _WIN32
