// The PATH line in a scratch startup file (the machine's own is left alone).
#ifdef _WIN32

#include "uninstall/startup_path.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/file_system.h"

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

class StartupPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "qp_startup_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        product_ = root_ + "\\Long Product Directory";
        ASSERT_TRUE(CreateDirectoryA(product_.c_str(), nullptr));
        startup_ = root_ + "\\autoexec.bat";
        line_ = "PATH=%PATH%;" + Str(ShortPathName(product_.c_str())) + "\r\n";
    }
    void TearDown() override { DeleteTree(root_.c_str()); }
    std::string Edit(bool add) { return Str(EditStartupFile(startup_.c_str(), product_.c_str(), add)); }
    std::string Content() const {
        String text;
        return ReadWholeFile(startup_.c_str(), text) ? Str(text) : "(missing)";
    }
    void Write(const std::string& text) const {
        ASSERT_TRUE(WriteWholeFile(startup_.c_str(), text.data(), int32(text.size())));
    }
    static std::string Lower(std::string text) {
        for (char& c : text) c = char(tolower(c));
        return text;
    }

    std::string root_, product_, startup_, line_;
};

TEST_F(StartupPathTest, AddingCreatesTheFileAndAddsTheLineOnce) {
    EXPECT_EQ(line_.find(' '), std::string::npos) << "the short form has no blanks: " << line_;
    EXPECT_EQ(Edit(true), "");
    EXPECT_EQ(Content(), "\r\n" + line_);
    EXPECT_EQ(Edit(true), "");
    EXPECT_EQ(Content(), "\r\n" + line_);

    Write("@echo off");  // a last line without its end
    EXPECT_EQ(Edit(true), "");
    EXPECT_EQ(Content(), "@echo off\r\n" + line_);
}

TEST_F(StartupPathTest, RemovingIgnoresCaseAndReportsAMissingLine) {
    Write("@echo off\r\n" + Lower(line_) + "SET X=1\r\n");
    EXPECT_EQ(Edit(false), "");
    EXPECT_EQ(Content(), "@echo off\r\nSET X=1\r\n");

    std::string missing = "Unable to remove " + product_ + " from the PATH setting in " + startup_ + "\r\n\r\n";
    EXPECT_EQ(Edit(false), missing);
    EXPECT_EQ(Content(), "@echo off\r\nSET X=1\r\n");

    Write("@echo off\r\n" + line_.substr(0, line_.size() - 2));  // the last line, no line end
    EXPECT_EQ(Edit(false), "");
    EXPECT_EQ(Content(), "@echo off\r\n");
}

TEST_F(StartupPathTest, AFileThatCannotBeOpenedNamesWhatToDoByHand) {
    // Removing never creates the file.
    EXPECT_EQ(Edit(false), "Unable to modify " + startup_ + ".  You will need to manually remove " + product_ +
                               " from the PATH environment variable.\r\n\r\n");
    EXPECT_EQ(Content(), "(missing)");
    startup_ = root_ + "\\no such dir\\autoexec.bat";
    EXPECT_EQ(Edit(true), "Unable to modify " + startup_ + ".  You will need to manually add " + product_ +
                              " to the PATH environment variable.\r\n\r\n");
}

}  // namespace

#endif  // _WIN32
