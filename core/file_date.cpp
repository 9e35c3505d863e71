#include "core/file_date.h"

namespace {

// -1, 0 or 1 as a is below, equal to or above b.
int Order(int32 a, int32 b) { return a < b ? -1 : (a > b ? 1 : 0); }

// 12-hour clock: 0 shows as 12, 13-23 as 1-11; noon on is "p".
int32 ClockHour(int32 hour) {
    if (hour == 0) return 12;
    return hour > 12 ? hour - 12 : hour;
}
char Meridiem(int32 hour) { return hour < 12 ? 'a' : 'p'; }

}  // namespace

int FileDate::Compare(const FileDate& other) const {
    if (int order = Order(year, other.year)) return order;
    if (int order = Order(month, other.month)) return order;
    if (int order = Order(day, other.day)) return order;
    if (int order = Order(hour, other.hour)) return order;
    if (int order = Order(minute, other.minute)) return order;
    // Dates come from the archive unchecked; the difference is taken wide
    // and clamped so extreme seconds cannot overflow.
    int64 difference = int64(second) - other.second;
    if (difference > kAll) return kAll;
    if (difference < -kAll - 1) return -kAll - 1;
    return int(difference);
}

String FileDate::Text() const {
    return String::FromFormat("%d/%d/%02d %d:%02d:%02d%c", month, day, year, ClockHour(hour),
                              minute, second, Meridiem(hour));
}

String DayText(const FileDate& date) {
    return String::FromFormat("%d/%d/%d", date.month, date.day, date.year);
}

String ClockText(const FileDate& date) {
    return String::FromFormat("%d:%02d:%02d%c", ClockHour(date.hour), date.minute, date.second,
                              Meridiem(date.hour));
}

String TodayText() { return DayText(LocalNow()); }

String NowTimeText() { return ClockText(LocalNow()); }

String NowStampText() {
    // One reading, so a stamp taken at midnight cannot mix two days.
    FileDate now = LocalNow();
    return DayText(now) + " " + ClockText(now);
}
