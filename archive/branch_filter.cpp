#include "archive/branch_filter.h"

namespace {

size_t Convert(uint32& position, byte* data, size_t length, bool last, bool apply) {
    size_t i = 0;
    while (length - i >= 5) {
        byte* const p = data + i;
        if ((p[0] & 0xFE) != 0xE8) {
            ++i;
            continue;
        }
        // The operand is never scanned for opcodes, converted or not: so
        // no conversion changes a byte that a decision was made on.
        i += 5;
        if (byte(p[4] + 1) > 1) continue;
        const uint32 at = position + uint32(i);
        uint32 v = uint32(p[1]) | uint32(p[2]) << 8 | uint32(p[3]) << 16 | uint32(p[4]) << 24;
        v = apply ? v + at : v - at;
        v &= 0x01FFFFFF;
        if (v & 0x01000000) v |= 0xFE000000;
        p[1] = byte(v);
        p[2] = byte(v >> 8);
        p[3] = byte(v >> 16);
        p[4] = byte(v >> 24);
    }
    if (last) i = length;
    position += uint32(i);
    return i;
}

}  // namespace

size_t UndoBranches(uint32& position, byte* data, size_t length, bool last) {
    return Convert(position, data, length, last, false);
}

size_t ApplyBranches(uint32& position, byte* data, size_t length, bool last) {
    return Convert(position, data, length, last, true);
}
