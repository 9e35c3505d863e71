#include "records/version_text.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionText, MajorAndMinorParts) {
    struct { const char* text; bool parts; int32 major, minor; } cases[] = {
        {"2.15", true, 2, 15},
        {"Version 3,000.1", true, 3000, 1},
        {"v1.2.3", true, 1, 2},
        {"7", false, 7, 0},
        {"", false, 0, 0},
        {"beta", false, 0, 0},
        {"2.", true, 2, kNoMinorVersion},    // the "." is the last character
        {"2.x", true, 2, 0},
        {"2.-3", true, 2, -3},
        {"2.+4b", true, 2, 4},
        {".5", true, 0, 5},                  // starts at the "."
        {"-4.1", true, -4, 1},
        {"+-4.1", true, 0, 1},
        {"a-b 3.1", true, 0, 1},             // the "-" is where reading starts
        {"2147483647.2147483647", true, 2147483647, 2147483647},
        {"2147483648.2147483648", true, 2147483647, 2147483647},  // one past: held at the limit
        {"-2147483648.-2147483649", true, INT32_MIN, INT32_MIN},
        {"99999999999999999999.1", true, 2147483647, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasVersionParts(c.text), c.parts) << c.text;
        EXPECT_EQ(VersionMajor(c.text), c.major) << c.text;
        EXPECT_EQ(VersionMinor(c.text), c.minor) << c.text;
    }
}

TEST(VersionText, WholeVersionAsNumber) {
    struct { const char* text; double number; } cases[] = {
        {"1.5", 1.5},       {"Version 2.0 beta", 2.0}, {"1,234.5", 1234.5}, {"", 0.0},
        {"none", 0.0},      {".5", 0.5},               {"-", 0.0},          {"+.", 0.0},
        {"3.", 3.0},        {"1e2", 100.0},            {"1e", 1.0},         {"1e+", 1.0},
        {"0x10", 0.0},      {"+nan", 0.0},             {"-inf", 0.0},       {"2.5.1", 2.5},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(VersionNumber(c.text), c.number) << c.text;
}

}  // namespace
