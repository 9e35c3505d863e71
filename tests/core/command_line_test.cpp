#include <gtest/gtest.h>

#include <string>

#include "installer/command_line.h"

namespace {

CommandLineOptions Parse(const char* text) {
    CommandLineOptions options;
    ParseCommandLine(text, options);
    return options;
}

TEST(CommandLine, AutomaticSwitchInAnyCaseAndSwitchCharacter) {
    for (const char* text : {"/a", "/A", "-a", "  -A  "}) EXPECT_TRUE(Parse(text).automatic) << text;
    EXPECT_FALSE(Parse("").automatic);
}

TEST(CommandLine, ValuesKeepSpacesInsideQuotes) {
    CommandLineOptions o = Parse("/D:\"C:\\My Programs\\Tool\" /n:\"Big \"\"Pro\"\"\"");
    EXPECT_STREQ(o.directory.Text(), "C:\\My Programs\\Tool");
    EXPECT_STREQ(o.productName.Text(), "Big \"Pro\"");
    EXPECT_FALSE(o.uninstall);
}

TEST(CommandLine, UninstallTakesNameFromEitherSwitchLaterWins) {
    CommandLineOptions bare = Parse("/u /n:Widget");
    EXPECT_TRUE(bare.uninstall);
    EXPECT_STREQ(bare.productName.Text(), "Widget");
    CommandLineOptions named = Parse("/n:First -U:\"Second One\"");
    EXPECT_TRUE(named.uninstall);
    EXPECT_STREQ(named.productName.Text(), "Second One");
    EXPECT_TRUE(Parse("/u").productName.IsEmpty());
}

TEST(CommandLine, LogSwitchNamesAFileOnEitherRoad) {
    CommandLineOptions install = Parse("/a /log:\"C:\\some folder\\qp.log\" /d:C:\\Tool");
    EXPECT_STREQ(install.logPath.Text(), "C:\\some folder\\qp.log");
    EXPECT_STREQ(install.directory.Text(), "C:\\Tool");
    CommandLineOptions uninstall = Parse("-LOG:qp.log /u:Widget");
    EXPECT_TRUE(uninstall.uninstall);
    EXPECT_STREQ(uninstall.logPath.Text(), "qp.log");
    EXPECT_STREQ(Parse("/Log:\\\\?\\C:\\a.log").logPath.Text(), "\\\\?\\C:\\a.log");
    EXPECT_TRUE(Parse("/a").logPath.IsEmpty());
}

TEST(CommandLine, LoneSwitchIsIgnored) {
    CommandLineOptions o = Parse("/ - /a");
    EXPECT_TRUE(o.automatic);
}

TEST(CommandLine, AtomsAfterTheNineteenthAreIgnored) {
    std::string line;
    for (int i = 0; i < 19; ++i) line += "/ ";
    EXPECT_TRUE(Parse((line + "/a").c_str()).automatic == false);
    EXPECT_TRUE(Parse((line + "bogus /x").c_str()).directory.IsEmpty());  // no usage box
    std::string eighteen;
    for (int i = 0; i < 18; ++i) eighteen += "/ ";
    EXPECT_TRUE(Parse((eighteen + "/a").c_str()).automatic);
    EXPECT_TRUE(Parse((line + "/log:").c_str()).logPath.IsEmpty());  // not even checked
    EXPECT_STREQ(Parse((eighteen + "/log:x").c_str()).logPath.Text(), "x");
}

using CommandLineDeathTest = ::testing::Test;

TEST_F(CommandLineDeathTest, BadAtomsShowTheUsageBox) {
    EXPECT_EXIT(Parse("/x"), ::testing::ExitedWithCode(1), "Illegal command line atom:\nx\n\nUsage:\nUninstall.EXE \\[/a\\]");
    EXPECT_EXIT(Parse("/ab"), ::testing::ExitedWithCode(1), "Illegal command line atom:\nab\n");
    EXPECT_EXIT(Parse("setup.exe"), ::testing::ExitedWithCode(1), "Unexpected command line parameter:\nsetup.exe\n");
    // An empty or impossible log file name is a bad atom, shown as given.
    struct {
        const char *line, *shown;
    } logs[] = {{"/log:", "log:\n"},          {"/LOG:\"\"", "LOG:\n"},     {"/log", "log\n"},
                {"/logs:x", "logs:x\n"},      {"/log:a|b", "log:a\\|b\n"}, {"/log:\"a\"\"b\"", "log:a\"b\n"},
                {"/log:a\x01", "log:a\x01\n"}};
    for (const auto& c : logs) {
        EXPECT_EXIT(Parse(c.line), ::testing::ExitedWithCode(1), std::string("Illegal command line atom:\n") + c.shown)
            << c.line;
    }
    // A huge atom is cut rather than overflowing the box's text.
    std::string huge = "/x" + std::string(40000, 'y');
    EXPECT_EXIT(Parse(huge.c_str()), ::testing::ExitedWithCode(1), "Illegal command line atom:\nxyy+\\.\\.\\.\n\nUsage:");
    EXPECT_EXIT(UsageError("Product name required"), ::testing::ExitedWithCode(1),
                "Product name required\n\nUsage:\nUninstall.EXE \\[/a\\] \\[/d:<dir>\\] \\[/n:<name>\\] \\[/u:<name>\\]\n\n"
                "/a\tAutomatic mode\n/d:\"dir\"\tOverride installation directory\n");
}

}  // namespace
