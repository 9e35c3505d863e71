#include "records/space_estimate.h"

#include <gtest/gtest.h>

namespace {

TEST(SpaceOnDisk, EachSizeRoundsUpToWholeClusters) {
    const int32 sizes[] = {0, 1, 4095, 4096, 4097, -5};
    struct Case {
        int32 cluster;
        int64 expected;
    } cases[] = {
        {4096, 0 + 4096 + 4096 + 4096 + 8192},
        {2, 0 + 2 + 4096 + 4096 + 4098},
        {1, 1 + 4095 + 4096 + 4097},  // no rounding at 1 or below (unknown)
        {0, 1 + 4095 + 4096 + 4097},
        {-1, 1 + 4095 + 4096 + 4097},
    };
    for (const Case& c : cases) EXPECT_EQ(SpaceOnDisk(sizes, 6, c.cluster), c.expected) << c.cluster;
    EXPECT_EQ(SpaceOnDisk(sizes, 0, 4096), 0);
    EXPECT_EQ(SpaceOnDisk(nullptr, 3, 4096), 0);
}

TEST(SpaceOnDisk, SumsPastThe32BitLimit) {
    const int32 sizes[] = {2147483647, 2147483647, 2147483647};
    EXPECT_EQ(SpaceOnDisk(sizes, 3, 1), int64(3) * 2147483647);
    EXPECT_EQ(SpaceOnDisk(sizes, 3, 4096), int64(3) * 2147483648LL);
}

}  // namespace
