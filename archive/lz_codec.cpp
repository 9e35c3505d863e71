#include "archive/lz_codec.h"

#include <string.h>

namespace {

// No opcode expands more than the long-length match: 5 bytes make 65,538.
const uint32 kLongestMatch = 65538;
const uint32 kShortestLongMatchOpcode = 5;

// Room kept after the output's end so that short copies can move whole
// fixed-size chunks; the bytes written there are overwritten later or lie
// past the final length.
const size_t kSlack = 64;

inline uint32 Read16(const byte* p) { return uint32(p[0]) | uint32(p[1]) << 8; }
inline uint32 Read32(const byte* p) {
    return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
}

// The output block: [start, start + capacity) is allocated, of which the
// last kSlack + 1 bytes are only ever touched by chunked copies and the NUL.
struct Output {
    byte* start;
    byte* end;  // start + capacity - kSlack - 1: where real output must stop
    size_t limit;

    // Makes room for `need` more bytes after `op`; false past the limit.
    bool Grow(byte*& op, size_t need) {
        size_t used = size_t(op - start);
        if (need > limit - used) return false;
        size_t room = size_t(end - start);
        size_t wanted = room * 2 > used + need ? room * 2 : used + need;
        if (wanted < 4096) wanted = 4096;
        if (wanted > limit) wanted = limit;
        start = static_cast<byte*>(Reallocate(start, wanted + kSlack + 1));
        end = start + wanted;
        op = start + used;
        return true;
    }
};

}  // namespace

bool DecodeRange(const byte* block, int32 length, char*& out, int32& outLength) {
    if (!block || length <= 4 || Read32(block) != CompressionMagic) return false;
    // The size field is part of every block; a block cut inside it is damaged.
    if (length < kBlockHeaderSize) return false;

    // The size field may lie: reserve no more than the opcodes can produce.
    const size_t limit = size_t(kMaxDecodedLength);
    uint64_t bound = (uint64_t(length - kBlockHeaderSize) * kLongestMatch +
                      kShortestLongMatchOpcode - 1) / kShortestLongMatchOpcode;
    uint64_t reserve = Read32(block + 4);
    if (reserve > bound) reserve = bound;
    if (reserve > limit) reserve = limit;

    Output o;
    o.limit = limit;
    o.start = static_cast<byte*>(Allocate(size_t(reserve) + kSlack + 1));
    o.end = o.start + reserve;
    byte* op = o.start;

    const byte* ip = block + kBlockHeaderSize;
    const byte* const iend = block + length;

    while (ip < iend) {
        const uint32 control = *ip++;
        uint32 k = control & 0x3F;
        switch (control >> 6) {
        case 0: {  // run
            if (iend - ip < 1) goto fail;
            const byte value = *ip++;
            const size_t n = k + 3;
            if (o.end - op < 66) {
                if (size_t(o.end - op) < n && !o.Grow(op, n)) goto fail;
            }
            if (o.end - op >= 66) {
                memset(op, value, 66);
            } else {
                memset(op, value, n);
            }
            op += n;
            break;
        }
        case 1: {  // short literal
            if (uint32(iend - ip) < k) goto fail;
            if (size_t(o.end - op) < k && !o.Grow(op, k)) goto fail;
            if (iend - ip >= 64 && o.end - op >= 64) {
                memcpy(op, ip, 64);
            } else {
                memcpy(op, ip, k);
            }
            ip += k;
            op += k;
            break;
        }
        case 2: {  // long literal
            if (iend - ip < 1) goto fail;
            const size_t n = size_t(*ip++) * 64 + k;
            if (size_t(iend - ip) < n) goto fail;
            if (size_t(o.end - op) < n && !o.Grow(op, n)) goto fail;
            memcpy(op, ip, n);
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
            if (n > distance || distance > size_t(op - o.start)) break;
            if (o.end - op >= 32 && n <= 32) {
                // Chunks are loaded before they are stored, and every byte that
                // matters lies before op because n <= distance.
                const byte* from = op - distance;
                memmove(op, from, 16);
                memmove(op + 16, from + 16, 16);
            } else {
                if (size_t(o.end - op) < n && !o.Grow(op, n)) goto fail;
                memcpy(op, op - distance, n);
            }
            op += n;
            break;
        }
        }
    }

    outLength = int32(op - o.start);
    *op = 0;
    out = reinterpret_cast<char*>(o.start);
    return true;

fail:
    Free(o.start);
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
