#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include "core/file_date.h"

namespace {

bool SameTime(const FileDate& a, const FileDate& b) { return a.Compare(b) == 0 && a.IsSet() == b.IsSet(); }

TEST(FileDateWin, SystemTimeRoundTripDropsMilliseconds) {
    const FileDate dates[] = {
        FileDate(1999, 12, 31, 23, 59, 59),
        FileDate(2000, 2, 29, 0, 0, 0),
        FileDate(2038, 1, 19, 3, 14, 8),
    };
    for (const FileDate& date : dates) {
        SYSTEMTIME st;
        memset(&st, 0xAB, sizeof(st));
        ASSERT_TRUE(date.ToSystemTime(&st));
        EXPECT_EQ(st.wMilliseconds, 0);
        st.wMilliseconds = 999;  // must not survive the way back
        FileDate back;
        ASSERT_TRUE(back.FromSystemTime(&st));
        EXPECT_TRUE(SameTime(back, date)) << back.Text().Text();

        FILETIME local;
        ASSERT_TRUE(date.ToLocalFileTime(&local));
        FileDate fromFile;
        ASSERT_TRUE(fromFile.FromLocalFileTime(&local));
        EXPECT_TRUE(SameTime(fromFile, date)) << fromFile.Text().Text();
    }
}

TEST(FileDateWin, UniversalFileTimeIsShownInLocalTime) {
    FileDate date(2004, 7, 1, 12, 0, 0);
    FILETIME local, universal;
    ASSERT_TRUE(date.ToLocalFileTime(&local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &universal));
    FileDate back;
    ASSERT_TRUE(back.FromFileTime(&universal));
    EXPECT_TRUE(SameTime(back, date)) << back.Text().Text();
}

TEST(FileDateWin, BadArgumentsFailAndKeepTheValue) {
    const FileDate original(2001, 2, 3, 4, 5, 6);
    FileDate date = original;
    EXPECT_FALSE(date.FromLocalFileTime(nullptr));
    EXPECT_FALSE(date.FromFileTime(nullptr));
    FILETIME unreadable;
    unreadable.dwLowDateTime = 0xFFFFFFFF;
    unreadable.dwHighDateTime = 0xFFFFFFFF;  // beyond what Windows can render
    EXPECT_FALSE(date.FromLocalFileTime(&unreadable));
    EXPECT_TRUE(SameTime(date, original));
    EXPECT_FALSE(date.ToSystemTime(nullptr));
    EXPECT_FALSE(date.ToLocalFileTime(nullptr));

    EXPECT_FALSE(date.FromSystemTime(nullptr));
    EXPECT_FALSE(date.IsSet());  // a null system time resets

    FileDate impossible(2001, 13, 40, 25, 61, 61);
    FILETIME ft;
    EXPECT_FALSE(impossible.ToLocalFileTime(&ft));
}

TEST(FileDateWin, LocalNowFollowsGetLocalTime) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    FileDate now = LocalNow();
    EXPECT_EQ(now.year, before.wYear);
    EXPECT_EQ(now.month, before.wMonth);
    EXPECT_TRUE(now.hour >= 0 && now.hour < 24);
}

}  // namespace

#endif  // _WIN32
