#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "core/numbers.h"

namespace {

TEST(NumberTexts, SizeGroupedAndIntegerTexts) {
    struct { int64 size; const char* text; } sizes[] = {
        {0, "0 bytes"}, {1023, "1023 bytes"}, {-5, "-5 bytes"}, {INT64_MIN, "-9223372036854775808 bytes"},
        {1024, "1.00 KB"}, {1536, "1.50 KB"}, {1048575, "1024.00 KB"}, {1048576, "1.00 MB"},
        {5368709120LL, "5.00 GB"}, {1099511627776LL, "1.00 TB"},
    };
    for (const auto& c : sizes) EXPECT_STREQ(SizeText(c.size).Text(), c.text) << c.size;
    struct { int64 value; const char* text; } grouped[] = {
        {999, "999"}, {1234, "1234"}, {12345, "12,345"}, {1000000, "1,000,000"}, {-12345, "-12,345"},
        {INT64_MAX, "9,223,372,036,854,775,807"}, {INT64_MIN, "-9,223,372,036,854,775,808"},
    };
    for (const auto& c : grouped) EXPECT_STREQ(GroupedNumber(c.value), c.text) << c.value;
    struct { int32 value; const char* text; } integers[] = {
        {0, "0"}, {-7, "-7"}, {1000, "1000"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"}};
    for (const auto& c : integers) EXPECT_STREQ(IntegerText(c.value), c.text) << c.value;
}

TEST(RoundUpToMultiple, RoundsUpToWholeUnitsWithoutWrapping) {
    struct { int32 value, unit, expected; } cases[] = {
        {5000, 4096, 8192}, {8192, 4096, 8192}, {1, 4096, 4096}, {0, 4096, 0}, {5000, 0, 5000},
        {5000, -4096, 5000}, {-1, 4, 0}, {-5, 4, -4}, {INT32_MAX, 4096, INT32_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundUpToMultiple(c.value, c.unit), c.expected) << c.value << " by " << c.unit;
    }
}

TEST(EvenStepperDeathTest, SpreadsTheStepsEvenlyAddsUpAndRefusesZeroSteps) {
    struct { int32 total, steps; std::vector<int32> expected; } cases[] = {
        {10, 4, {2, 3, 2, 3}}, {-10, 4, {-2, -3, -2, -3}}, {3, 4, {0, 1, 1, 1}}, {10, -4, {-2, -3, -2, -3}},
    };
    for (const auto& c : cases) {
        EvenStepper stepper;
        stepper.Setup(c.total, c.steps);
        std::vector<int32> got;
        for (size_t i = 0; i < c.expected.size(); ++i) got.push_back(stepper.Next());
        EXPECT_EQ(got, c.expected) << c.total << " over " << c.steps;
    }
    for (int32 total : {0, 1, -1, 255, 1000003, INT32_MAX, INT32_MIN + 1}) {
        for (int32 n : {1, 3, 7, 256, 1000, -3}) {
            EvenStepper stepper;
            stepper.Setup(total, n);
            int64 sum = 0;
            for (int32 i = 0; i < (n < 0 ? -n : n); ++i) sum += stepper.Next();
            EXPECT_EQ(sum, n < 0 ? -int64(total) : int64(total)) << total << " over " << n;
        }
    }
    EvenStepper stepper;
    EXPECT_EXIT(stepper.Setup(10, 0), ::testing::ExitedWithCode(1), "Core32 5995");
}

}  // namespace
