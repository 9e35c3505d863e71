#include "records/space_estimate.h"

int64 SpaceOnDisk(const int32* sizes, int32 count, int32 clusterSize) {
    if (!sizes) return 0;
    int64 total = 0;
    for (int32 i = 0; i < count; ++i) {
        int64 size = sizes[i];
        if (size <= 0) continue;
        // In 64 bits: a size near the 32-bit limit rounds past it.
        if (clusterSize > 1) size = (size + clusterSize - 1) / clusterSize * clusterSize;
        total += size;
    }
    return total;
}
