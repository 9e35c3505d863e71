#include "records/version_order.h"

#include <gtest/gtest.h>

TEST(VersionPhrase, ComparesDottedNumbersPartByPart) {
    struct Case {
        const char* previous;
        const char* current;
        const char* phrase;
    } cases[] = {
        {"1.5", "2.0", "An older version"},
        {"2.0", "1.5", "A newer version"},
        {"1.10", "1.9", "A newer version"},
        {"1.9", "1.10", "An older version"},
        {"1.1", "1.10", "An older version"},
        {"2", "2.0", "The same version"},
        {"2.0.0", "2.0", "The same version"},
        {"3,000.1", "3000.1", "The same version"},
        {"Version 1.2", "1.2", "The same version"},
        {"1.2.3", "1.2.4", "An older version"},
        {"", "1.0", "A previous copy"},
        {"1.0", "beta", "A previous copy"},
        {"1.0", "v1.0", "A previous copy"},  // the new text must start like a number
        {"0", "1.0", "A previous copy"},
        {"1.0", "  1.0", "The same version"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(VersionPhrase(c.previous, c.current), c.phrase) << c.previous << " vs " << c.current;
    }
}

TEST(CompareVersions, HugePartsAndManyPartsStayOrdered) {
    EXPECT_EQ(CompareVersions("99999999999999999999.1", "99999999999999999999.2"), -1);
    EXPECT_EQ(CompareVersions("1.2.3.4.5.6.7.8.9", "1.2.3.4.5.6.7.8.10"), 0);  // beyond eight parts: not read
    EXPECT_EQ(CompareVersions("1.2.3.4.5.6.7.9", "1.2.3.4.5.6.7.8"), 1);
}
