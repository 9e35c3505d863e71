// The local clock of the native build; Windows reads GetLocalTime instead
// (platform/file_date_win.cpp).
#ifndef _WIN32

#include <time.h>

#include "core/file_date.h"

FileDate LocalNow() {
    time_t now = time(nullptr);
    struct tm parts;
    if (!localtime_r(&now, &parts)) return FileDate();
    return FileDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                    parts.tm_min, parts.tm_sec);
}

#endif  // _WIN32
