#include "archive/safe_name.h"

namespace {

bool IsSeparator(char ch) { return ch == '\\' || ch == '/'; }

// A component of only dots and spaces climbs or vanishes once Windows has
// trimmed it; "." alone names the folder itself and is harmless.
bool ClimbsOrVanishes(const char* start, const char* end) {
    if (end - start == 1 && *start == '.') return false;
    if (start == end) return false;  // "a\\b": an empty component is skipped
    for (const char* p = start; p < end; ++p) {
        if (*p != '.' && *p != ' ') return false;
    }
    return true;
}

bool SameLetters(const char* p, const char* upper, int n) {
    for (int i = 0; i < n; ++i) {
        if (ToUpper(static_cast<unsigned char>(p[i])) != upper[i]) return false;
    }
    return true;
}

// The system maps these names to devices in every folder, whatever follows
// a dot and however many spaces trail the base name.
bool IsDeviceName(const char* start, const char* end) {
    const char* stem = start;
    while (stem < end && *stem != '.') ++stem;
    while (stem > start && stem[-1] == ' ') --stem;
    int32 n = int32(stem - start);
    if (n == 3) {
        static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
        for (const char* device : kDevices) {
            if (SameLetters(start, device, 3)) return true;
        }
        return false;
    }
    return n == 4 && (SameLetters(start, "COM", 3) || SameLetters(start, "LPT", 3)) &&
           start[3] >= '1' && start[3] <= '9';
}

}  // namespace

bool IsContainedName(const char* name) {
    if (!name || !*name) return true;
    if (IsSeparator(name[0])) return false;
    const char* start = name;
    for (const char* p = name;; ++p) {
        if (*p == ':') return false;
        if (*p == '\0' || IsSeparator(*p)) {
            if (ClimbsOrVanishes(start, p) || IsDeviceName(start, p)) return false;
            if (*p == '\0') return true;
            start = p + 1;
        }
    }
}
