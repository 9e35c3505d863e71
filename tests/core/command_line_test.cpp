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
}

using CommandLineDeathTest = ::testing::Test;

TEST_F(CommandLineDeathTest, BadAtomsShowTheUsageBox) {
    EXPECT_EXIT(Parse("/x"), ::testing::ExitedWithCode(1), "Illegal command line atom:\nx\n\nUsage:\nUninstall.EXE \\[/a\\]");
    EXPECT_EXIT(Parse("/ab"), ::testing::ExitedWithCode(1), "Illegal command line atom:\nab\n");
    EXPECT_EXIT(Parse("setup.exe"), ::testing::ExitedWithCode(1), "Unexpected command line parameter:\nsetup.exe\n");
    // A huge atom is cut rather than overflowing the box's text.
    std::string huge = "/x" + std::string(40000, 'y');
    EXPECT_EXIT(Parse(huge.c_str()), ::testing::ExitedWithCode(1), "Illegal command line atom:\nxyy+\\.\\.\\.\n\nUsage:");
    EXPECT_EXIT(UsageError("Product name required"), ::testing::ExitedWithCode(1),
                "Product name required\n\nUsage:\nUninstall.EXE \\[/a\\] \\[/d:<dir>\\] \\[/n:<name>\\] \\[/u:<name>\\]\n\n"
                "/a\tAutomatic mode\n/d:\"dir\"\tOverride installation directory\n");
}

}  // namespace
