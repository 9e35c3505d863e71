// A file's date and time in local time, as the archive stores it, plus the
// "now" texts for the registration record and the log. Portable: the
// Windows conversions take the system structures by pointer only, so this
// header needs nothing from windows.h.
#ifndef QUILLPACK_CORE_FILE_DATE_H
#define QUILLPACK_CORE_FILE_DATE_H

#include "core/string.h"

struct _SYSTEMTIME;
struct _FILETIME;

// Six little-endian 32-bit integers on disk, in exactly this order.
struct FileDate {
    int32 year;
    int32 month;  // 0: no date
    int32 day;
    int32 hour;
    int32 minute;
    int32 second;

    // All fields zero, so an unset date never carries stray values.
    FileDate() : year(0), month(0), day(0), hour(0), minute(0), second(0) {}
    FileDate(int32 y, int32 mo, int32 d, int32 h, int32 mi, int32 s)
        : year(y), month(mo), day(d), hour(h), minute(mi), second(s) {}

    void Reset() { month = 0; }
    bool IsSet() const { return month != 0; }
    // Year to minute decide with -1/1; equal up to the minute gives the
    // difference of the seconds.
    int Compare(const FileDate& other) const;
    bool IsNotNewerThan(const FileDate& other) const { return Compare(other) <= 0; }

    // "month/day/year h:mm:ss" with "a" or "p".
    String Text() const;

    // Windows only (platform/file_date_win.cpp). A null argument gives false.
    bool FromSystemTime(const _SYSTEMTIME* st);
    bool FromLocalFileTime(const _FILETIME* ft);
    bool FromFileTime(const _FILETIME* ft);  // universal time, converted to local
    bool ToSystemTime(_SYSTEMTIME* st) const;
    bool ToLocalFileTime(_FILETIME* ft) const;
};

static_assert(sizeof(FileDate) == 24, "FileDate is the 24-byte record of the archive");

// The local clock, read once. Native build: localtime; Windows: GetLocalTime.
FileDate LocalNow();

// "month/day/year" without leading zeros.
String DayText(const FileDate& date);
// "h:mm:ss" on a 12-hour clock followed by "a" or "p".
String ClockText(const FileDate& date);

String TodayText();     // DayText of now
String NowTimeText();   // ClockText of now
String NowStampText();  // both, one blank between, from a single reading

#endif  // QUILLPACK_CORE_FILE_DATE_H
