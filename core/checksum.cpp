#include "core/checksum.h"

uint32 Checksum(const void* data, int32 length) {
    uint32 sum = kChecksumSeed;
    if (!data || length <= 0) return sum;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    int32 words = length / 4;
    for (int32 i = 0; i < words; ++i, p += 4)
        sum += uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
    for (int32 i = words * 4; i < length; ++i, ++p)
        sum += uint32(int32(static_cast<signed char>(*p)));
    return sum + uint32(length);
}
