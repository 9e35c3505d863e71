#include "archive/lz_codec.h"

#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// No opcode expands more than the long-length match: 5 bytes make 65,538,
// just under 13,108 bytes of output per byte of input.
const uint64_t kMostExpansion = 13108;

// Room kept after the output's end so that copies can move whole 16-byte
// chunks; the bytes written there are overwritten later or lie past the
// final length.
const size_t kSlack = 64;

// The longest opcode: a long literal of 16,383 bytes behind its two bytes.
const size_t kLongestOpcode = 2 + 16383;
// An opcode cut by a chunk's end plus enough of the next chunk to finish it.
const size_t kCarryBytes = 2 * kLongestOpcode;

// With this much input and room left, operand reads and the copies of short
// opcodes need no checks of their own.
// (a pair of a literal of up to 16 bytes and any other opcode).
const ptrdiff_t kFastInput = 96;
const ptrdiff_t kFastRoom = 160;

inline uint32 Read16(const byte* p) { return uint32(p[0]) | uint32(p[1]) << 8; }
inline uint32 LittleEndian(uint32 v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap32(v);
#else
    return v;
#endif
}
inline uint32 Read32(const byte* p) {
    return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
}

// Copies 16 bytes, all loaded before any is stored; stays inline even in a
// build for size.
inline void Copy16(byte* dst, const byte* src) {
#if defined(__SSE2__)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
#else
    uint32 a, b, c, d;
    memcpy(&a, src, 4);
    memcpy(&b, src + 4, 4);
    memcpy(&c, src + 8, 4);
    memcpy(&d, src + 12, 4);
    memcpy(dst, &a, 4);
    memcpy(dst + 4, &b, 4);
    memcpy(dst + 8, &c, 4);
    memcpy(dst + 12, &d, 4);
#endif
}

// Copies n bytes in 16-byte chunks. Valid for a match too: with
// n <= distance every byte that matters is read before anything overwrites
// it. Writes up to 15 bytes past dst + n.
inline void ChunkCopy(byte* dst, const byte* src, size_t n) {
    byte* const stop = dst + n;
    do {
        Copy16(dst, src);
        dst += 16;
        src += 16;
    } while (dst < stop);
}

// Copies n bytes; up to kSlack bytes past dst + n may be written, and read
// past src + n when the source has them (srcRoom bytes from src).
inline void CopyBytes(byte* dst, const byte* src, size_t n, size_t srcRoom) {
    if (n <= 256 && srcRoom >= n + 16) {
        ChunkCopy(dst, src, n);
    } else {
        memcpy(dst, src, n);
    }
}

enum Stop {
    kInputEnd,   // every opcode decoded
    kCutOpcode,  // the opcode at ip runs past the input's end
    kNeedRoom,   // the opcode at ip needs `need` bytes of room
};

// Decoding position: input ip..iend, output op..oend with kSlack writable
// bytes after oend; a match may reach back to base.
struct Cursor {
    const byte* ip;
    const byte* iend;
    byte* base;
    byte* op;
    byte* oend;
    size_t need;
};

// The one opcode loop. Decodes until the input ends, stopping before an
// opcode that is cut off or that does not fit the room; ip is then left on
// that opcode's control byte, so the caller can make room or bring more
// input and call again. Every length is compared with what is left before
// a byte moves, as `n > end - p`, which cannot overflow.
Stop DecodeOpcodes(Cursor& c) {
    const byte* ip = c.ip;
    const byte* const iend = c.iend;
    byte* const base = c.base;
    byte* op = c.op;
    byte* const oend = c.oend;
    Stop stop;
    for (;;) {
        // Past these the fast loop stops; they are formed only where they lie
        // inside the buffers.
        const byte* const ilimit = iend - ip >= kFastInput ? iend - kFastInput : ip - 1;
        byte* const olimit = oend - op >= kFastRoom ? oend - kFastRoom : op - 1;
        while (ip <= ilimit && op <= olimit) {
            // Machine code alternates short literals and matches. A literal
            // of up to 16 bytes is taken without a branch (copied always,
            // counted only when it is one), so that the opcode class is not
            // guessed twice per pair.
            {
                const size_t lk = size_t(*ip) - 0x40;  // wraps past 16 for other classes
                const size_t literal = size_t(0) - size_t(lk <= 16);  // all ones or zero
                Copy16(op, ip + 1);
                op += lk & literal;
                ip += (lk + 1) & literal;
            }
            const uint32 control = *ip;
            const uint32 k = control & 0x3F;
            if (control >= 0xC0) {  // match
                // Branches on the form: predicted, they keep the control
                // byte's load out of the chain that finds the next opcode.
                const byte* const at = ip;
                size_t n, distance;
                if ((k & 0x1F) != 0) {  // short length
                    const size_t far = k >> 5;
                    n = (k & 0x1F) + 3;
                    uint32 field;
                    memcpy(&field, ip + 1, 4);
                    distance = LittleEndian(field) & (0xFFFFu | (0xFF0000u & (0u - uint32(far))));
                    ip += 3 + far;
                } else {  // 16-bit length field
                    n = size_t(Read16(ip + 1)) + 3;
                    distance = Read16(ip + 3);
                    if (k) distance |= size_t(ip[5]) << 16;
                    ip += 5 + (k >> 5);
                }
                distance += 4;
                // Refused (longer than its distance, or reaching before the
                // output): copies nothing. Both differences are far below
                // the top bit, so one test sees either going negative.
                if (ptrdiff_t((distance - n) | (size_t(op - base) - distance)) < 0) continue;
                const byte* from = op - distance;
                if (n <= 32) {
                    Copy16(op, from);
                    Copy16(op + 16, from + 16);
                } else {
                    if (n > size_t(oend - op)) {
                        ip = at;
                        c.need = n;
                        stop = kNeedRoom;
                        goto out;
                    }
                    CopyBytes(op, from, n, distance + kSlack);
                }
                op += n;
            } else if (control < 0x40) {  // run: 66 bytes fit the fast room
                memset(op, ip[1], 66);
                ip += 2;
                op += k + 3;
            } else if (control < 0x80) {  // short literal
                memcpy(op, ip + 1, 64);
                ip += 1 + k;
                op += k;
            } else {  // long literal
                const size_t n = size_t(ip[1]) * 64 + k;
                if (n > size_t(iend - ip - 2)) {
                    stop = kCutOpcode;
                    goto out;
                }
                if (n > size_t(oend - op)) {
                    c.need = n;
                    stop = kNeedRoom;
                    goto out;
                }
                CopyBytes(op, ip + 2, n, size_t(iend - ip - 2));
                ip += 2 + n;
                op += n;
            }
        }

        // One opcode at a time near either end.
        if (ip >= iend) {
            stop = kInputEnd;
            goto out;
        }
        const uint32 control = *ip;
        const size_t in = size_t(iend - ip) - 1;  // operand bytes present
        const size_t room = size_t(oend - op);
        size_t k = control & 0x3F;
        if (control < 0x40) {  // run
            const size_t n = k + 3;
            if (in < 1) {
                stop = kCutOpcode;
                goto out;
            }
            if (n > room) {
                c.need = n;
                stop = kNeedRoom;
                goto out;
            }
            memset(op, ip[1], 66);  // fits the slack whatever n is
            ip += 2;
            op += n;
        } else if (control < 0x80) {  // short literal
            if (k > in) {
                stop = kCutOpcode;
                goto out;
            }
            if (k > room) {
                c.need = k;
                stop = kNeedRoom;
                goto out;
            }
            memcpy(op, ip + 1, k);
            ip += 1 + k;
            op += k;
        } else if (control < 0xC0) {  // long literal
            if (in < 1) {
                stop = kCutOpcode;
                goto out;
            }
            const size_t n = size_t(ip[1]) * 64 + k;
            if (n > in - 1) {
                stop = kCutOpcode;
                goto out;
            }
            if (n > room) {
                c.need = n;
                stop = kNeedRoom;
                goto out;
            }
            memcpy(op, ip + 2, n);
            ip += 2 + n;
            op += n;
        } else {  // match
            const bool far = (k & 0x20) != 0;
            k &= 0x1F;
            const size_t operands = (k == 0 ? 2 : 0) + 2 + (far ? 1 : 0);
            if (operands > in) {
                stop = kCutOpcode;
                goto out;
            }
            const byte* p = ip + 1;
            if (k == 0) {
                k = Read16(p);
                p += 2;
            }
            size_t distance = Read16(p);
            p += 2;
            if (far) distance |= size_t(*p++) << 16;
            distance += 4;
            const size_t n = k + 3;
            if (n > distance || distance > size_t(op - base)) {
                ip = p;  // refused: copies nothing
                continue;
            }
            if (n > room) {
                c.need = n;
                stop = kNeedRoom;
                goto out;
            }
            memcpy(op, op - distance, n);
            ip = p;
            op += n;
        }
    }
out:
    c.ip = ip;
    c.op = op;
    return stop;
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

    byte* start = static_cast<byte*>(Allocate(size_t(reserve) + kSlack + 1));
    Cursor c = {block + kBlockHeaderSize, block + length, start, start, start + reserve, 0};
    for (;;) {
        Stop stop = DecodeOpcodes(c);
        if (stop == kInputEnd) break;
        if (stop == kCutOpcode) {
            Free(c.base);
            return false;
        }
        size_t used = size_t(c.op - c.base), room = 0;
        byte* grown = GrowOutput(c.base, used, size_t(c.oend - c.base), c.need, &room);
        if (!grown) {
            Free(c.base);
            return false;
        }
        c.base = grown;
        c.op = grown + used;
        c.oend = grown + room;
    }
    outLength = int32(c.op - c.base);
    *c.op = 0;
    out = reinterpret_cast<char*>(c.base);
    return true;
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

// --- Streaming ---------------------------------------------------------------

LzStreamDecoder::~LzStreamDecoder() {
    Free(window_);
    Free(carry_);
}

void LzStreamDecoder::Start(LzOutput& output, uint64_t maxOutput) {
    output_ = &output;
    maxOutput_ = maxOutput;
    handed_ = 0;
    op_ = flushed_ = window_;
    carried_ = 0;
    headLength_ = 0;
    damaged_ = stopped_ = false;
}

bool LzStreamDecoder::Fail() {
    damaged_ = true;
    return false;
}

bool LzStreamDecoder::HandOn() {
    size_t n = size_t(op_ - flushed_);
    if (n == 0) return true;
    handed_ += n;
    flushed_ = op_;
    if (output_->Take(flushed_ - n, n)) return true;
    stopped_ = true;
    return false;
}

// Room for `need` more bytes: the window grows while it is small; once
// full, what it holds is handed on and only the farthest reach of a match
// is kept at its start.
bool LzStreamDecoder::MakeRoom(size_t need) {
    uint64_t produced = Produced();
    if (need > maxOutput_ - produced) return Fail();
    if (!HandOn()) return false;
    size_t used = size_t(op_ - window_);
    if (windowSize_ < kLzWindowBytes) {
        size_t wanted = windowSize_ * 2;
        if (wanted < used + need) wanted = used + need;
        if (wanted > kLzWindowBytes) wanted = kLzWindowBytes;
        window_ = static_cast<byte*>(Reallocate(window_, wanted + kSlack));
        windowSize_ = wanted;
        op_ = flushed_ = window_ + used;
        if (need <= wanted - used) return true;
    }
    // A full window: keep the last kLzMaxDistance bytes. need is at most
    // the longest literal or match, far below what that frees.
    size_t keep = used < size_t(kLzMaxDistance) ? used : size_t(kLzMaxDistance);
    memmove(window_, op_ - keep, keep);
    op_ = flushed_ = window_ + keep;
    return true;
}

// Decodes the opcodes of ip..iend; ip ends on the first opcode that is cut
// off (or at iend).
bool LzStreamDecoder::Run(const byte*& ip, const byte* iend) {
    for (;;) {
        // The room ends where the window does, or sooner where the output
        // would pass its limit.
        size_t room = windowSize_ - size_t(op_ - window_);
        uint64_t left = maxOutput_ - Produced();
        if (left < room) room = size_t(left);
        Cursor c = {ip, iend, window_, op_, op_ + room, 0};
        Stop stop = DecodeOpcodes(c);
        ip = c.ip;
        op_ = c.op;
        if (stop != kNeedRoom) return true;
        if (!MakeRoom(c.need)) return false;
    }
}

bool LzStreamDecoder::Header(const byte*& data, size_t& length) {
    while (headLength_ < 8 && length > 0) {
        head_[headLength_++] = *data++;
        --length;
        if (headLength_ == 4 && Read32(head_) != CompressionMagic) return Fail();
    }
    if (headLength_ < 8 || window_) return true;
    // The first window holds what the size field claims, within bounds: the
    // claim may lie, and the window grows as the output comes anyway.
    uint64_t claim = Read32(head_ + 4);
    size_t first = claim < uint64_t(1) << 20 ? size_t(claim) : size_t(1) << 20;
    if (first < (size_t(1) << 16)) first = size_t(1) << 16;
    window_ = static_cast<byte*>(Allocate(first + kSlack));
    windowSize_ = first;
    op_ = flushed_ = window_;
    carry_ = static_cast<byte*>(Allocate(kCarryBytes + kSlack));
    return true;
}

bool LzStreamDecoder::Feed(const byte* data, size_t length) {
    if (damaged_ || stopped_) return false;
    if (!Header(data, length)) return false;
    if (length == 0) return HandOn();

    if (carried_ > 0) {
        // Finish the cut opcode from the carry, topped up with this chunk.
        size_t before = carried_;
        size_t take = kCarryBytes - carried_;
        if (take > length) take = length;
        memcpy(carry_ + carried_, data, take);
        carried_ += take;
        const byte* ip = carry_;
        if (!Run(ip, carry_ + carried_)) return false;
        size_t used = size_t(ip - carry_);
        if (used < before) {
            // Still cut: the whole chunk went into the carry.
            if (take < length) return Fail();  // cannot happen: the carry holds any opcode
            if (used > 0) {
                memmove(carry_, ip, carried_ - used);
                carried_ -= used;
            }
            return HandOn();
        }
        carried_ = 0;
        data += used - before;
        length -= used - before;
    }
    const byte* ip = data;
    if (!Run(ip, data + length)) return false;
    carried_ = size_t(data + length - ip);
    memcpy(carry_, ip, carried_);
    return HandOn();
}

bool LzStreamDecoder::Finish() {
    if (damaged_ || stopped_) return false;
    if (headLength_ < 8 || carried_ > 0) return Fail();
    return HandOn();
}

// --- Scanning -------------------------------------------------------------------

namespace {

// Bytes of an opcode in front of its literal bytes: the control byte and
// its operands.
size_t OpcodeHeadBytes(uint32 control) {
    if (control < 0x40) return 2;
    if (control < 0x80) return 1;
    if (control < 0xC0) return 2;
    return 3 + ((control & 0x1F) == 0 ? 2 : 0) + ((control & 0x20) ? 1 : 0);
}

}  // namespace

void LzBlockScanner::Start() {
    produced_ = skip_ = 0;
    headLength_ = partialLength_ = 0;
    damaged_ = false;
}

// The opcode whose head (OpcodeHeadBytes) is at op: its output counted the
// way the decoder makes it, refused matches included.
void LzBlockScanner::Opcode(const byte* op) {
    const uint32 control = op[0];
    uint32 k = control & 0x3F;
    if (control < 0x40) {
        produced_ += k + 3;
    } else if (control < 0x80) {
        produced_ += k;
        skip_ = k;
    } else if (control < 0xC0) {
        const uint32 n = uint32(op[1]) * 64 + k;
        produced_ += n;
        skip_ = n;
    } else {
        const bool far = (k & 0x20) != 0;
        k &= 0x1F;
        const byte* p = op + 1;
        if (k == 0) {
            k = Read16(p);
            p += 2;
        }
        uint64_t distance = Read16(p);
        if (far) distance |= uint64_t(p[2]) << 16;
        distance += 4;
        const uint64_t n = uint64_t(k) + 3;
        if (n <= distance && distance <= produced_) produced_ += n;
    }
}

bool LzBlockScanner::Feed(const byte* data, size_t length) {
    if (damaged_) return false;
    while (headLength_ < 8 && length > 0) {
        head_[headLength_++] = *data++;
        --length;
        if (headLength_ == 4 && Read32(head_) != CompressionMagic) {
            damaged_ = true;
            return false;
        }
    }
    const byte* p = data;
    const byte* const end = data + length;
    for (;;) {
        if (skip_ > 0) {
            const size_t left = size_t(end - p);
            if (skip_ >= left) {
                skip_ -= left;
                return true;
            }
            p += size_t(skip_);
            skip_ = 0;
        }
        if (p == end) return true;
        if (partialLength_ > 0 || size_t(end - p) < 6) {
            // Gather the opcode's head byte by byte across chunks.
            if (partialLength_ == 0) partial_[partialLength_++] = *p++;
            const size_t need = OpcodeHeadBytes(partial_[0]);
            while (partialLength_ < need && p < end) partial_[partialLength_++] = *p++;
            if (partialLength_ < need) return true;
            partialLength_ = 0;
            Opcode(partial_);
        } else {
            Opcode(p);
            p += OpcodeHeadBytes(*p);
        }
    }
}

bool LzBlockScanner::Finish() {
    if (damaged_ || headLength_ < 8 || skip_ > 0 || partialLength_ > 0) {
        damaged_ = true;
        return false;
    }
    return true;
}
