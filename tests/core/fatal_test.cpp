#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "core/string.h"
#include "core/fatal.h"

namespace {

using FatalDeathTest = ::testing::Test;

TEST_F(FatalDeathTest, FatalErrorShowsItsBoxAndEndsWithCodeOne) {
    EXPECT_EXIT(FatalError("disk %d gone", 3), ::testing::ExitedWithCode(1), "\\[FATAL ERROR\\] disk 3 gone");
    EXPECT_EXIT(FatalCheck("qpk", 1223), ::testing::ExitedWithCode(1), "qpk 1223");
    EXPECT_EXIT(AbortProgram(), ::testing::ExitedWithCode(ExitCancelled), "");
    EXPECT_EXIT(ExitProgram(ExitPartial), ::testing::ExitedWithCode(3), "");
}

TEST_F(FatalDeathTest, OutOfMemoryGroupsTheSizeFromFiveDigitsOn) {
    EXPECT_EXIT(OutOfMemoryHandler(123456789), ::testing::ExitedWithCode(1),
                "Out Of Memory.  Make sure your hard drive is not full.\nRequested size = 123,456,789");
    EXPECT_EXIT(OutOfMemoryHandler(12345), ::testing::ExitedWithCode(1), "Requested size = 12,345\n");
    EXPECT_EXIT(OutOfMemoryHandler(1234), ::testing::ExitedWithCode(1), "Requested size = 1234\n");
}

TEST(ShowError, SilentWhenEmptyOrAutomatic) {
    testing::internal::CaptureStderr();
    ShowError("%s", "");
    AutomaticMode = true;
    ShowError("hidden %d", 1);
    AutomaticMode = false;
    ShowError("shown %d", 2);
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(output, "[Error] shown 2\n");
}

// Outside text of any length passed as "%s": the box shows all of it, at
// the scratch buffer's edge (32,767 characters fit it, 32,768 do not) and
// far beyond, instead of turning into a formatting stop.
TEST_F(FatalDeathTest, BoxesShowTextsOfAnyLengthWhole) {
    for (size_t length : {32767u, 32768u, 40000u}) {
        const std::string name(length - 2, 'n');
        const std::string text = "<" + name + ">";
        EXPECT_EXIT(FatalError("<%s>", name.c_str()), ::testing::ExitedWithCode(1),
                    ::testing::HasSubstr("[FATAL ERROR] " + text + "\n"))
            << length;

        testing::internal::CaptureStderr();
        ShowError("<%s>", name.c_str());
        ShowUnownedError("<%s>", name.c_str());
        std::string output = testing::internal::GetCapturedStderr();
        EXPECT_EQ("[Error] " + text + "\n[Error] " + text + "\n", output) << length;
    }
    // The scratch buffer is the one ordinary formatting uses afterwards.
    EXPECT_STREQ("after 1", String::FromFormat("after %d", 1).Text());
}

}  // namespace
