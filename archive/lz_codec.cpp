#include "archive/lz_codec.h"

#include <string.h>

namespace {

// No opcode expands more than the long-length match: 5 bytes make 65,538,
// just under 13,108 bytes of output per byte of input.
const uint64_t kMostExpansion = 13108;

// Room kept after the output's end so that copies can move whole 32-byte
// chunks; the bytes written there are overwritten later or lie past the
// final length.
const size_t kSlack = 64;

inline uint32 Read16(const byte* p) { return uint32(p[0]) | uint32(p[1]) << 8; }
inline uint32 Read32(const byte* p) {
    return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
}

// Copies 16 bytes, all loaded before any is stored; word-sized copies stay
// inline even in a build for size.
inline void Copy16(byte* dst, const byte* src) {
    uint32 a, b, c, d;
    memcpy(&a, src, 4);
    memcpy(&b, src + 4, 4);
    memcpy(&c, src + 8, 4);
    memcpy(&d, src + 12, 4);
    memcpy(dst, &a, 4);
    memcpy(dst + 4, &b, 4);
    memcpy(dst + 8, &c, 4);
    memcpy(dst + 12, &d, 4);
}

// Copies n bytes in 16-byte chunks. Valid for a match too: with
// n <= distance every byte that matters is read before anything overwrites
// it. Writes up to 31 bytes past dst + n.
inline void ChunkCopy(byte* dst, const byte* src, size_t n) {
    byte* const stop = dst + n;
    do {
        Copy16(dst, src);
        Copy16(dst + 16, src + 16);
        dst += 32;
        src += 32;
    } while (dst < stop);
}

// Moves the output to a larger block; returns it and its usable room (the
// slack and the NUL come on top). Null when `need` more bytes after `used`
// would pass the limit.
byte* GrowOutput(byte* start, size_t used, size_t room, size_t need, size_t* newRoom) {
    const size_t limit = size_t(kMaxDecodedLength);
    if (need > limit - used) return nullptr;
    size_t wanted = room * 2 > used + need ? room * 2 : used + need;
    if (wanted < 4096) wanted = 4096;
    if (wanted > limit) wanted = limit;
    *newRoom = wanted;
    return static_cast<byte*>(Reallocate(start, wanted + kSlack + 1));
}

}  // namespace

bool DecodeRange(const byte* block, int32 length, char*& out, int32& outLength) {
    if (!block || length <= 4 || Read32(block) != CompressionMagic) return false;
    // The size field is part of every block; a block cut inside it is damaged.
    if (length < kBlockHeaderSize) return false;

    // The size field may lie: reserve no more than the opcodes can produce.
    uint64_t bound = uint64_t(length - kBlockHeaderSize) * kMostExpansion;
    uint64_t reserve = Read32(block + 4);
    if (reserve > bound) reserve = bound;
    if (reserve > uint64_t(kMaxDecodedLength)) reserve = uint64_t(kMaxDecodedLength);

    // start..oend is the room for real output; kSlack + 1 bytes follow it.
    byte* start = static_cast<byte*>(Allocate(size_t(reserve) + kSlack + 1));
    byte* oend = start + reserve;
    byte* op = start;

    const byte* ip = block + kBlockHeaderSize;
    const byte* const iend = block + length;

// Makes room for n more bytes or fails; pointers move with the block.
#define QP_ROOM(n)                                                                   \
    if (size_t(oend - op) < (n)) {                                                   \
        size_t used_ = size_t(op - start), room_ = 0;                                \
        byte* grown_ = GrowOutput(start, used_, size_t(oend - start), (n), &room_); \
        if (!grown_) goto fail;                                                      \
        start = grown_;                                                              \
        op = start + used_;                                                          \
        oend = start + room_;                                                        \
    }

    for (;;) {
        // Fast zone: with this much input and room left, operand reads and
        // short copies need no checks of their own.
        while (iend - ip >= 72 && oend - op >= 128) {
            const uint32 control = *ip++;
            uint32 k = control & 0x3F;
            if (control >= 0xC0) {
                const bool far = (k & 0x20) != 0;
                k &= 0x1F;
                if (k == 0) {
                    k = Read16(ip);
                    ip += 2;
                }
                size_t distance = Read16(ip);
                ip += 2;
                if (far) distance |= size_t(*ip++) << 16;
                distance += 4;
                const size_t n = size_t(k) + 3;
                if (n > distance || distance > size_t(op - start)) continue;
                const byte* from = op - distance;
                if (n <= 32) {
                    Copy16(op, from);
                    Copy16(op + 16, from + 16);
                } else {
                    QP_ROOM(n);
                    from = op - distance;
                    if (n <= 256) {
                        ChunkCopy(op, from, n);
                    } else {
                        memcpy(op, from, n);
                    }
                }
                op += n;
            } else if (control >= 0x80) {
                const size_t n = size_t(*ip++) * 64 + k;
                if (size_t(iend - ip) < n) goto fail;
                QP_ROOM(n);
                if (size_t(iend - ip) >= n + 32) {
                    ChunkCopy(op, ip, n);
                } else {
                    memcpy(op, ip, n);
                }
                ip += n;
                op += n;
            } else if (control >= 0x40) {
                memcpy(op, ip, 64);
                ip += k;
                op += k;
            } else {
                memset(op, *ip++, 66);
                op += k + 3;
            }
        }
        if (ip >= iend) break;

        // Careful path, one opcode at a time, near either end.
        const uint32 control = *ip++;
        uint32 k = control & 0x3F;
        switch (control >> 6) {
        case 0: {  // run
            if (ip >= iend) goto fail;
            const byte value = *ip++;
            const size_t n = k + 3;
            QP_ROOM(n);
            memset(op, value, 66);  // fits the slack whatever n is
            op += n;
            break;
        }
        case 1: {  // short literal
            if (uint32(iend - ip) < k) goto fail;
            QP_ROOM(k);
            if (iend - ip >= 64) {
                memcpy(op, ip, 64);
            } else {
                memcpy(op, ip, k);
            }
            ip += k;
            op += k;
            break;
        }
        case 2: {  // long literal
            if (ip >= iend) goto fail;
            const size_t n = size_t(*ip++) * 64 + k;
            if (size_t(iend - ip) < n) goto fail;
            QP_ROOM(n);
            if (size_t(iend - ip) >= n + 32) {
                ChunkCopy(op, ip, n);
            } else {
                memcpy(op, ip, n);
            }
            ip += n;
            op += n;
            break;
        }
        default: {  // match
            const bool far = (k & 0x20) != 0;
            k &= 0x1F;
            const ptrdiff_t operands = (k == 0 ? 2 : 0) + 2 + (far ? 1 : 0);
            if (iend - ip < operands) goto fail;
            if (k == 0) {
                k = Read16(ip);
                ip += 2;
            }
            size_t distance = Read16(ip);
            ip += 2;
            if (far) distance |= size_t(*ip++) << 16;
            distance += 4;
            const size_t n = size_t(k) + 3;
            // Refused matches copy nothing; decoding goes on.
            if (n > distance || distance > size_t(op - start)) break;
            QP_ROOM(n);
            const byte* from = op - distance;
            if (n <= 32) {
                Copy16(op, from);
                Copy16(op + 16, from + 16);
            } else if (n <= 256) {
                ChunkCopy(op, from, n);
            } else {
                memcpy(op, from, n);
            }
            op += n;
            break;
        }
        }
    }
#undef QP_ROOM

    outLength = int32(op - start);
    *op = 0;
    out = reinterpret_cast<char*>(start);
    return true;

fail:
    Free(start);
    return false;
}

bool DecodeBlock(String& buffer) {
    char* out = nullptr;
    int32 outLength = 0;
    if (!DecodeRange(reinterpret_cast<const byte*>(buffer.Text()), buffer.Length(), out,
                     outLength)) {
        return false;
    }
    buffer.Adopt(out, outLength);
    return true;
}
