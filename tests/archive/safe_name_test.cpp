// The one rule for names joined to a base folder, at its edges.
#include <gtest/gtest.h>

#include "archive/safe_name.h"

namespace {

TEST(IsContainedName, RefusesEveryWayOutOfTheFolder) {
    const char* contained[] = {
        "", "a", "a..b", "..a", "a..", "a\\b\\c.txt", "a/b", ".", "a\\.\\b", "a\\\\b", "a\\",
        "...a", "a b", "nul2", "com0", "lpt10", "xcon", "auxiliary.txt", "COM1x",
    };
    for (const char* name : contained) EXPECT_TRUE(IsContainedName(name)) << name;
    EXPECT_TRUE(IsContainedName(nullptr));

    const char* escaping[] = {
        // climbing, also once Windows has trimmed dots and spaces
        "..", "a\\..\\b", "a/../b", "..\\x", "../x", "a\\..", "a\\.. \\b", ". .", "...", " ", "a\\ \\b",
        // absolute or drive-relative, and streams
        "\\x", "/x", "\\\\server\\share", "c:x", "x:", "C:\\x", "a:b", "a\\b:stream",
        // devices, with any extension, case and trailing spaces
        "nul", "NUL.txt", "a\\con", "Aux.h", "prn .x", "com1", "LPT9.log", "a\\nul\\b", "CON ",
    };
    for (const char* name : escaping) EXPECT_FALSE(IsContainedName(name)) << name;
}

}  // namespace
