#include <gtest/gtest.h>

#include <string>

#include "core/file_date.h"

namespace {

TEST(FileDate, ComparesFieldByFieldThenBySecondsDifference) {
    const FileDate base(2000, 6, 15, 12, 30, 7);
    struct { FileDate other; int expected; } cases[] = {
        {FileDate(2000, 6, 15, 12, 30, 7), 0},  {FileDate(2000, 6, 15, 12, 30, 10), -3},
        {FileDate(2000, 6, 15, 12, 30, 0), 7},  {FileDate(1999, 12, 31, 23, 59, 59), 1},
        {FileDate(2000, 7, 1, 0, 0, 0), -1},    {FileDate(2000, 6, 14, 23, 0, 0), 1},
        {FileDate(2000, 6, 15, 13, 0, 0), -1},  {FileDate(2000, 6, 15, 12, 29, 59), 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(base.Compare(c.other), c.expected) << c.other.Text().Text();
        EXPECT_EQ(base.IsNotNewerThan(c.other), c.expected <= 0) << c.other.Text().Text();
    }
    // Seconds from an untrusted record must not overflow the difference.
    FileDate low(2000, 1, 1, 0, 0, INT32_MIN), high(2000, 1, 1, 0, 0, INT32_MAX);
    EXPECT_LT(low.Compare(high), 0);
    EXPECT_GT(high.Compare(low), 0);
    FileDate reset = base;
    reset.Reset();
    EXPECT_FALSE(reset.IsSet());
    EXPECT_EQ(reset.year, 2000);  // only the month is cleared
}

TEST(FileDate, TextsUseTheTwelveHourClock) {
    struct { FileDate date; const char* text; } cases[] = {
        {FileDate(2000, 1, 1, 0, 5, 0), "1/1/2000 12:05:00a"},
        {FileDate(2000, 1, 1, 12, 0, 0), "1/1/2000 12:00:00p"},
        {FileDate(1999, 12, 31, 23, 59, 59), "12/31/1999 11:59:59p"},
        {FileDate(2005, 3, 9, 11, 7, 3), "3/9/2005 11:07:03a"},
        {FileDate(5, 3, 9, 13, 0, 0), "3/9/05 1:00:00p"},
    };
    for (const auto& c : cases) EXPECT_STREQ(c.date.Text().Text(), c.text);
    EXPECT_STREQ(ClockText(FileDate(2000, 1, 1, 1, 2, 3)).Text(), "1:02:03a");
    EXPECT_STREQ(DayText(FileDate(2003, 7, 4, 0, 0, 0)).Text(), "7/4/2003");
    // The day part is stable unless the test runs across midnight.
    std::string now(NowStampText().Text());
    EXPECT_EQ(now.substr(0, now.find(' ')), std::string(TodayText().Text()));
    EXPECT_TRUE(now.back() == 'a' || now.back() == 'p') << now;
}

}  // namespace
