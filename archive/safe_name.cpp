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

}  // namespace

bool IsContainedName(const char* name) {
    if (!name || !*name) return true;
    if (IsSeparator(name[0])) return false;
    const char* start = name;
    for (const char* p = name;; ++p) {
        if (*p == ':') return false;
        if (*p == '\0' || IsSeparator(*p)) {
            if (ClimbsOrVanishes(start, p)) return false;
            if (*p == '\0') return true;
            start = p + 1;
        }
    }
}
