#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include "core/file_date.h"

namespace {

bool SameTime(const FileDate& a, const FileDate& b) { return a.Compare(b) == 0 && a.IsSet() == b.IsSet(); }

TEST(FileDateWin, RoundTripsThroughSystemAndFileTimesWithoutMilliseconds) {
    for (const FileDate& date : {FileDate(1999, 12, 31, 23, 59, 59), FileDate(2000, 2, 29, 0, 0, 0),
                                 FileDate(2004, 7, 1, 12, 0, 0), FileDate(2038, 1, 19, 3, 14, 8)}) {
        SYSTEMTIME st;
        memset(&st, 0xAB, sizeof(st));
        ASSERT_TRUE(date.ToSystemTime(&st));
        EXPECT_EQ(st.wMilliseconds, 0);
        st.wMilliseconds = 999;  // must not survive the way back
        FileDate back, fromLocal, fromUniversal;
        ASSERT_TRUE(back.FromSystemTime(&st));
        EXPECT_TRUE(SameTime(back, date)) << back.Text().Text();
        FILETIME local, universal;
        ASSERT_TRUE(date.ToLocalFileTime(&local));
        ASSERT_TRUE(fromLocal.FromLocalFileTime(&local));
        EXPECT_TRUE(SameTime(fromLocal, date)) << fromLocal.Text().Text();
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &universal));
        ASSERT_TRUE(fromUniversal.FromFileTime(&universal));  // shown in local time
        EXPECT_TRUE(SameTime(fromUniversal, date)) << fromUniversal.Text().Text();
    }
}

TEST(FileDateWin, BadArgumentsFailAndKeepTheValue) {
    const FileDate original(2001, 2, 3, 4, 5, 6);
    FileDate date = original;
    EXPECT_FALSE(date.FromLocalFileTime(nullptr));
    EXPECT_FALSE(date.FromFileTime(nullptr));
    FILETIME unreadable = {0xFFFFFFFF, 0xFFFFFFFF};  // beyond what Windows can render
    EXPECT_FALSE(date.FromLocalFileTime(&unreadable));
    EXPECT_TRUE(SameTime(date, original));
    EXPECT_FALSE(date.ToSystemTime(nullptr));
    EXPECT_FALSE(date.ToLocalFileTime(nullptr));
    EXPECT_FALSE(date.FromSystemTime(nullptr));
    EXPECT_FALSE(date.IsSet());  // a null system time resets
    FILETIME ft;
    EXPECT_FALSE(FileDate(2001, 13, 40, 25, 61, 61).ToLocalFileTime(&ft));
}

}  // namespace

#endif  // _WIN32
