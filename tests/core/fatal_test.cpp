#include <gtest/gtest.h>

#include "core/core32.h"
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

}  // namespace
