// FileDate's conversions to and from the Windows time structures, and the
// local clock.
#include <windows.h>

#include "core/file_date.h"

bool FileDate::FromSystemTime(const SYSTEMTIME* st) {
    if (!st) {
        Reset();
        return false;
    }
    year = st->wYear;
    month = st->wMonth;
    day = st->wDay;
    hour = st->wHour;
    minute = st->wMinute;
    second = st->wSecond;
    return true;
}

bool FileDate::FromLocalFileTime(const FILETIME* ft) {
    SYSTEMTIME st;
    if (!ft || !FileTimeToSystemTime(ft, &st)) return false;
    return FromSystemTime(&st);
}

bool FileDate::FromFileTime(const FILETIME* ft) {
    FILETIME local;
    if (!ft || !FileTimeToLocalFileTime(ft, &local)) return false;
    return FromLocalFileTime(&local);
}

bool FileDate::ToSystemTime(SYSTEMTIME* st) const {
    if (!st) return false;
    st->wYear = WORD(year);
    st->wMonth = WORD(month);
    st->wDayOfWeek = 0;
    st->wDay = WORD(day);
    st->wHour = WORD(hour);
    st->wMinute = WORD(minute);
    st->wSecond = WORD(second);
    st->wMilliseconds = 0;
    return true;
}

bool FileDate::ToLocalFileTime(FILETIME* ft) const {
    SYSTEMTIME st;
    if (!ft || !ToSystemTime(&st)) return false;
    return SystemTimeToFileTime(&st, ft) != FALSE;
}

FileDate LocalNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    FileDate now;
    now.FromSystemTime(&st);
    return now;
}
