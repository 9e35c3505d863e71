#include "archive/lze_codec.h"

#include <string.h>

#include "archive/branch_filter.h"
#include "core/memory.h"
#include "core/string.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "bit streams are read as little-endian words");

namespace {

const int32 kTableBits = LzeMaxCodeLength;

// Room after the window's last byte and after the literals, so that copies
// may move whole 16-byte chunks.
const size_t kSlack = 64;

// Block header and the fixed part of a compressed body.
const uint64_t kSmallestBlock = LzeBlockHeaderSize + 15;

// Phases of reading a stream.
enum { kHeader, kBlockHeader, kBody, kEnd };

inline uint32 Read16(const byte* p) { return uint32(p[0]) | uint32(p[1]) << 8; }
inline uint32 Read24(const byte* p) { return Read16(p) | uint32(p[2]) << 16; }
inline uint32 Read32(const byte* p) { return Read16(p) | Read16(p + 2) << 16; }

inline void Copy16(byte* dst, const byte* src) {
    uint64_t a, b;
    memcpy(&a, src, 8);
    memcpy(&b, src + 8, 8);
    memcpy(dst, &a, 8);
    memcpy(dst + 8, &b, 8);
}

// Copies n bytes 16 at a time from a source at least 16 bytes behind or
// apart; writes up to 15 bytes past dst + n.
inline void WildCopy(byte* dst, const byte* src, size_t n) {
    byte* const stop = dst + n;
    do {
        Copy16(dst, src);
        dst += 16;
        src += 16;
    } while (dst < stop);
}

// A bit stream inside one section; reads past its end see zeros and are
// found by Ended().
struct BitReader {
    uint64_t bits;  // the stream from bit `used` of data[at] on
    size_t at;
    uint32 used;    // below 8 after a refill
    const byte* data;
    size_t fast;  // below this 8 bytes can be loaded at once
    size_t size;

    void Start(const byte* from, size_t n) {
        data = from;
        size = n;
        fast = n >= 8 ? n - 7 : 0;
        at = 0;
        used = 0;
        Refill();
    }
    // Afterwards at least 57 bits are buffered; past the end they are 0.
    void Refill() {
        at += used >> 3;
        used &= 7;
        uint64_t word;
        if (at < fast) {
            memcpy(&word, data + at, 8);
        } else {
            word = 0;
            for (size_t i = 0; i < 8 && at + i < size; ++i) word |= uint64_t(data[at + i]) << (8 * i);
        }
        bits = word >> used;
    }
    uint32 Peek(uint32 n) const { return uint32(bits) & ((1u << n) - 1); }
    void Skip(uint32 n) {
        bits >>= n;
        used += n;
    }
    uint32 Read(uint32 n) {
        uint32 v = Peek(n);
        Skip(n);
        return v;
    }
    // Every bit read lay inside the section, and the section ends in the
    // byte holding the last of them.
    bool Ended() const {
        const uint64_t consumed = uint64_t(at) * 8 + used;
        return consumed <= uint64_t(size) * 8 && (consumed + 7) / 8 == size;
    }
};

}  // namespace

// A decoding table for literals and code lengths: the next bits of the
// stream index entries of symbol << 4 | code length; only as many as the
// longest code needs are filled.
struct DecodeTable {
    uint32 mask;
    uint16_t entry[1 << kTableBits];
};

// A decoding table for the other slots: each entry has the value's base
// and how to read the rest, so a value costs one look-up.
struct SequenceEntry {
    uint32 base;
    byte length;  // of the code
    byte total;   // code and extra bits
    byte extra;
    byte symbol;
};

struct SequenceTable {
    uint32 mask;
    SequenceEntry entry[1 << LzeMaxSequenceCodeLength];
};

const int32 kSequenceSlots = LzeTableCount - 1;

struct LzeStreamDecoder::State {
    DecodeTable literalTable;
    DecodeTable lengthTable;
    SequenceTable sequences[kSequenceSlots];  // slot s at s - 1
    bool haveTable[LzeTableCount];
    uint32 recent[LzeRepeatCodes];
    uint32 lastLength;  // of the previous match: selects the literal-length table
    // Per value code: its base << 5 | its count of extra bits; match
    // lengths and distances with their + 1 included.
    uint32 literalValues[64];
    uint32 lengthValues[64];
    uint32 distanceValues[64];
    byte lengths[256];
    byte literals[LzeMaxBlock + kSlack];
};

namespace {

const uint32 kLowBits[25] = {0,       1,       3,       7,        15,       31,       63,      127,     255,
                             511,     1023,    2047,    4095,     8191,     16383,    32767,   65535,   131071,
                             262143,  524287,  1048575, 2097151,  4194303,  8388607,  16777215};

// Fills a decoding table from code lengths of at most maxLength, or with
// `values` (the value codes of its kind) a sequence table; false unless the
// code is complete (or one symbol of length 1, which then decodes from
// either bit).
bool BuildTable(const byte* lengths, int32 count, int32 maxLength, DecodeTable* table,
                const uint32* values = nullptr, SequenceTable* sequence = nullptr) {
    uint32 perLength[16] = {0};
    for (int32 i = 0; i < count; ++i) ++perLength[lengths[i]];
    uint32 space = 0, longest = 1;
    for (int32 n = 1; n <= LzeMaxCodeLength; ++n) {
        if (perLength[n] && n > maxLength) return false;
        space += perLength[n] << (kTableBits - n);
        if (perLength[n]) longest = uint32(n);
    }
    const bool lone = space == (1u << (kTableBits - 1)) && perLength[1] == 1;
    if (space != (1u << kTableBits) && !lone) return false;
    const uint32 mask = (1u << longest) - 1;
    if (values) {
        sequence->mask = mask;
    } else {
        table->mask = mask;
    }

    uint32 next[LzeMaxCodeLength + 1];
    uint32 code = 0;
    for (int32 n = 1; n <= LzeMaxCodeLength; ++n) {
        next[n] = code;
        code = (code + perLength[n]) << 1;
    }
    for (int32 symbol = 0; symbol < count; ++symbol) {
        const uint32 n = lengths[symbol];
        if (n == 0) continue;
        // Codes are read from the low bit up: fill under the reversed code.
        uint32 reversed = next[n]++;
        reversed = (reversed & 0x5555) << 1 | (reversed >> 1 & 0x5555);
        reversed = (reversed & 0x3333) << 2 | (reversed >> 2 & 0x3333);
        reversed = (reversed & 0x0F0F) << 4 | (reversed >> 4 & 0x0F0F);
        reversed = ((reversed & 0x00FF) << 8 | reversed >> 8) >> (16 - n);
        if (values) {
            SequenceEntry e;
            e.base = values[symbol] >> 5;
            e.length = byte(n);
            e.extra = byte(values[symbol] & 31);
            e.total = byte(n + e.extra);
            e.symbol = byte(symbol);
            for (uint32 at = reversed; at <= mask; at += 1u << n) sequence->entry[at] = e;
            if (lone) sequence->entry[reversed ^ 1] = e;
            continue;
        }
        const uint16_t entry = uint16_t(uint32(symbol) << 4 | n);
        for (uint32 at = reversed; at <= mask; at += 1u << n) table->entry[at] = entry;
        if (lone) table->entry[reversed ^ 1] = entry;
    }
    return true;
}

// A table of one symbol coded in no bits.
void FillSingle(uint32 symbol, DecodeTable* table, const uint32* values, SequenceTable* sequence) {
    if (!values) {
        table->mask = 0;
        table->entry[0] = uint16_t(symbol << 4);
        return;
    }
    SequenceEntry& e = sequence->entry[0];
    sequence->mask = 0;
    e.base = values[symbol] >> 5;
    e.length = 0;
    e.extra = byte(values[symbol] & 31);
    e.total = e.extra;
    e.symbol = byte(symbol);
}

inline uint32 DecodeSymbol(BitReader& in, const DecodeTable& table) {
    const uint32 entry = table.entry[uint32(in.bits) & table.mask];
    in.Skip(entry & 15);
    return entry >> 4;
}

// A sequence slot's value; its symbol in `symbol`.
inline uint32 DecodeValue(BitReader& in, const SequenceTable& table, uint32* symbol) {
    const SequenceEntry& e = table.entry[uint32(in.bits) & table.mask];
    const uint32 value = e.base + (uint32(in.bits >> e.length) & kLowBits[e.extra]);
    in.Skip(e.total);
    *symbol = e.symbol;
    return value;
}

// Reads one table's code lengths (see the header) and builds it.
bool ReadTable(BitReader& in, LzeStreamDecoder::State& s, int32 alphabet, int32 maxLength, DecodeTable* table,
               const uint32* values, SequenceTable* sequence) {
    byte lengthCode[LzeLengthCodeSymbols];
    in.Refill();
    for (int32 i = 0; i < LzeLengthCodeSymbols; ++i) lengthCode[i] = byte(in.Read(3));
    if (!BuildTable(lengthCode, LzeLengthCodeSymbols, LzeLengthCodeMaxLength, &s.lengthTable)) return false;
    byte* const lengths = s.lengths;
    int32 i = 0;
    while (i < alphabet) {
        in.Refill();
        const uint32 symbol = DecodeSymbol(in, s.lengthTable);
        if (symbol <= uint32(LzeMaxCodeLength)) {
            lengths[i++] = byte(symbol);
            continue;
        }
        byte value = 0;
        int32 run;
        if (symbol == 12) {
            if (i == 0) return false;
            value = lengths[i - 1];
            run = 3 + int32(in.Read(2));
        } else if (symbol == 13) {
            run = 3 + int32(in.Read(3));
        } else {
            run = 11 + int32(in.Read(7));
        }
        if (run > alphabet - i) return false;
        memset(lengths + i, value, size_t(run));
        i += run;
    }
    return BuildTable(lengths, alphabet, maxLength, table, values, sequence);
}

// Where a block's output goes and what lies behind it.
struct Output {
    byte* lapStart;     // the current lap of the window
    byte* start;        // the block's first byte
    size_t size;        // the block's decoded size
    size_t lapEnd;      // bytes of the previous lap (its tail lies behind)
    uint64_t before;    // bytes of the stream before the block
    size_t windowSize;  // longest distance
};

// Decodes the four literal streams into `out`.
bool DecodeLiterals(const byte* section, const uint32* sizes, const DecodeTable& table, byte* out,
                    size_t count) {
    BitReader in[4];
    byte* at[4];
    byte* end[4];
    const size_t quarter = (count + 3) / 4;
    size_t offset = 0;
    for (int32 i = 0; i < 4; ++i) {
        in[i].Start(section + offset, sizes[i]);
        offset += sizes[i];
        size_t first = quarter * size_t(i), last = first + quarter;
        if (first > count) first = count;
        if (last > count || i == 3) last = count;
        at[i] = out + first;
        end[i] = out + last;
    }
    // Interleaved while every stream has five symbols to go (5 x 11 bits
    // fit one refill), then each alone.
    for (;;) {
        size_t least = size_t(end[0] - at[0]);
        for (int32 i = 1; i < 4; ++i) {
            if (size_t(end[i] - at[i]) < least) least = size_t(end[i] - at[i]);
        }
        if (least < 5) break;
        for (size_t k = least / 5; k > 0; --k) {
            for (int32 i = 0; i < 4; ++i) in[i].Refill();
            for (int32 j = 0; j < 5; ++j) {
                for (int32 i = 0; i < 4; ++i) *at[i]++ = byte(DecodeSymbol(in[i], table));
            }
        }
    }
    for (int32 i = 0; i < 4; ++i) {
        while (at[i] < end[i]) {
            in[i].Refill();
            *at[i]++ = byte(DecodeSymbol(in[i], table));
        }
        if (!in[i].Ended()) return false;
    }
    return true;
}

// The byte `distance` before output position `at` of the block: in this
// lap, in the previous one, or 0 before the stream's start.
byte Behind(const Output& out, byte* at, size_t distance) {
    const size_t inLap = size_t(at - out.lapStart);
    if (distance <= inLap) return at[-ptrdiff_t(distance)];
    if (distance > out.before + uint64_t(at - out.start)) return 0;
    return out.lapStart[out.lapEnd - (distance - inLap)];
}

// Writes n difference literals at op: each is added to the byte
// `distance` back. Writes up to 15 bytes past op + n.
void PutDifferences(byte* op, const byte* lit, size_t n, size_t distance, const Output& out) {
    if (distance > size_t(op - out.lapStart)) {
        for (size_t i = 0; i < n; ++i) op[i] = byte(lit[i] + Behind(out, op + i, distance));
    } else if (distance >= 16) {
        const byte* const from = op - distance;
        for (size_t i = 0; i < n; i += 16) {
            byte sum[16];
            for (int k = 0; k < 16; ++k) sum[k] = byte(lit[i + k] + from[i + k]);
            memcpy(op + i, sum, 16);
        }
    } else {
        const byte* const from = op - distance;
        for (size_t i = 0; i < n; ++i) op[i] = byte(lit[i] + from[i]);
    }
}

// Writes n literals at op, up to 15 bytes more.
inline void PutLiterals(byte* op, const byte* lit, size_t n, bool difference, size_t distance,
                        const Output& out) {
    if (difference) {
        if (n > 16 || distance < 16 || distance > size_t(op - out.lapStart)) {
            if (n > 0) PutDifferences(op, lit, n, distance, out);
            return;
        }
        // The common case in one step: a short run, its bytes well behind.
        const byte* const from = op - distance;
        byte sum[16];
        for (int k = 0; k < 16; ++k) sum[k] = byte(lit[k] + from[k]);
        memcpy(op, sum, 16);
        return;
    }
    Copy16(op, lit);
    if (n > 16) WildCopy(op + 16, lit + 16, n - 16);
}

// Copies a match whose start lies in the previous lap's tail.
void CopyAcrossLaps(byte* op, size_t length, size_t distance, const Output& out) {
    const size_t inLap = size_t(op - out.lapStart);
    const byte* from = out.lapStart + out.lapEnd - (distance - inLap);
    const size_t n = distance - inLap < length ? distance - inLap : length;
    memcpy(op, from, n);
    // The rest comes from the start of this lap, as far back as ever.
    for (size_t i = n; i < length; ++i) op[i] = out.lapStart[i - n];
}

// Runs a block's sequences from their two bit streams, then its last
// literals. Locals only in the loop, so that the state stays in registers;
// each slot is chosen from codes already read, and the offsets have their
// own stream, so the decodes of a sequence overlap.
bool RunSequences(LzeStreamDecoder::State& s, const byte* const* streams, const size_t* sizes,
                  size_t count, const byte* lit, const byte* const litEnd, bool difference, const Output& out) {
    BitReader lengths, of;
    lengths.Start(streams[0], sizes[0]);
    of.Start(streams[1], sizes[1]);
    const SequenceTable* const tables = s.sequences;  // slot s at s - 1
    uint32 r0 = s.recent[0], r1 = s.recent[1], r2 = s.recent[2];
    uint32 shortBefore = s.lastLength < uint32(LzeShortMatch) ? 1 : 0;
    byte* op = out.start;
    byte* const oend = out.start + out.size;
    byte* const lapStart = out.lapStart;
    const uint64_t before = out.before - uint64_t(out.start - lapStart);
    const size_t windowSize = out.windowSize;
    for (size_t k = count; k > 0; --k) {
        lengths.Refill();
        of.Refill();
        uint32 llCode, mlCode, ofCode;
        const size_t literals = DecodeValue(lengths, tables[LzeLiteralLengths - 1 + shortBefore], &llCode);
        const uint32 none = llCode == 0 ? 1 : 0;
        const size_t length = DecodeValue(lengths, tables[LzeMatchLengths - 1 + none], &mlCode);
        // Match codes 0-2 are the lengths 1-3.
        shortBefore = mlCode < 3 ? 1 : 0;
        // Without branches: repeat codes have no extra bits and pick a
        // recent distance; the others make a new one.
        const uint32 fresh = DecodeValue(of, tables[LzeOffsets - 1 + 2 * none + shortBefore], &ofCode);
        const size_t previous = r0;
        const uint32 choice[4] = {r0, r1, r2, fresh};
        const uint32 distance32 = choice[ofCode < 3 ? ofCode : 3];
        r2 = ofCode <= 1 ? r2 : r1;
        r1 = ofCode == 0 ? r1 : r0;
        r0 = distance32;
        const size_t distance = distance32;

        if (literals > size_t(litEnd - lit) || literals > size_t(oend - op)) return false;
        PutLiterals(op, lit, literals, difference, previous, out);
        op += literals;
        lit += literals;

        if (length > size_t(oend - op)) return false;
        const size_t inLap = size_t(op - lapStart);
        if (distance > inLap) {
            if (distance > before + inLap || distance > windowSize) return false;
            CopyAcrossLaps(op, length, distance, out);
            op += length;
            continue;
        }
        if (distance > windowSize) return false;
        byte* const stop = op + length;
        if (distance >= 16) {
            Copy16(op, op - distance);
            if (length > 16) WildCopy(op + 16, op + 16 - distance, length - 16);
        } else {
            // Overlapping: once a whole multiple of the period of at least
            // 8 bytes is there, copy 8 bytes at a time from that far back.
            size_t step = distance;
            while (step < 8) step += distance;
            byte* const first = op + (step < length ? step : length);
            for (; op < first; ++op) *op = op[-ptrdiff_t(distance)];
            for (; op < stop; op += 8) memcpy(op, op - step, 8);
        }
        op = stop;
    }
    s.recent[0] = r0;
    s.recent[1] = r1;
    s.recent[2] = r2;
    if (count > 0) s.lastLength = shortBefore ? 1 : LzeShortMatch;
    if (!lengths.Ended() || !of.Ended()) return false;
    const size_t rest = size_t(litEnd - lit);
    if (rest != size_t(oend - op)) return false;
    PutLiterals(op, lit, rest, difference, r0, out);
    return true;
}

// Decodes one compressed body into out.start (see the header's layout).
bool DecodeBody(LzeStreamDecoder::State& s, const byte* body, size_t size, const Output& out) {
    if (size < 15) return false;
    const uint32 flags = body[0];
    const uint32 modes = Read24(body + 1);
    const size_t literalCount = Read24(body + 4);
    const size_t sequenceCount = Read24(body + 7);
    const size_t tableBytes = Read16(body + 10);
    size_t seqSizes[2] = {Read24(body + 12), 0};
    if ((flags & ~uint32(LzeDifferenceLiterals)) != 0 || (modes >> (2 * LzeTableCount)) != 0) return false;
    if (literalCount > out.size || sequenceCount > out.size) return false;
    const bool difference = (flags & LzeDifferenceLiterals) != 0;
    const bool rawLiterals = (modes & 3) == LzeRawLiterals;
    size_t at = 15;
    uint32 streamSizes[4] = {0, 0, 0, 0};
    if (!rawLiterals) {
        if (size - at < 12) return false;
        for (int32 i = 0; i < 4; ++i) streamSizes[i] = Read24(body + at + 3 * i);
        at += 12;
    }
    if (size - at < tableBytes) return false;

    BitReader in;
    in.Start(body + at, tableBytes);
    for (int32 t = 0; t < LzeTableCount; ++t) {
        const uint32 mode = (modes >> (2 * t)) & 3;
        const uint32* const values = t == LzeLiterals        ? nullptr
                                     : t < LzeMatchLengths ? s.literalValues
                                     : t < LzeOffsets      ? s.lengthValues
                                                           : s.distanceValues;
        DecodeTable* const table = t == LzeLiterals ? &s.literalTable : nullptr;
        SequenceTable* const sequence = t == LzeLiterals ? nullptr : &s.sequences[t - 1];
        if (mode == LzeKeepTable) {
            if (!s.haveTable[t]) return false;
        } else if (mode == LzeNewTable) {
            const int32 longest = t == LzeLiterals ? LzeMaxCodeLength : LzeMaxSequenceCodeLength;
            if (!ReadTable(in, s, LzeAlphabet[t], longest, table, values, sequence)) return false;
            s.haveTable[t] = true;
        } else if (mode == LzeSingleSymbol) {
            in.Refill();
            const uint32 symbol = in.Read(9);
            if (symbol >= uint32(LzeAlphabet[t])) return false;
            FillSingle(symbol, table, values, sequence);
            s.haveTable[t] = true;
        } else if (t != LzeLiterals) {
            return false;  // raw bytes are for literals only; they keep the table
        }
    }
    if (!in.Ended()) return false;
    at += tableBytes;

    if (rawLiterals) {
        if (size - at < literalCount) return false;
        memcpy(s.literals, body + at, literalCount);
        at += literalCount;
    } else {
        size_t total = 0;
        for (int32 i = 0; i < 4; ++i) total += streamSizes[i];
        if (size - at < total) return false;
        if (!DecodeLiterals(body + at, streamSizes, s.literalTable, s.literals, literalCount)) {
            return false;
        }
        at += total;
    }

    const byte* streams[2];
    if (size - at < seqSizes[0]) return false;
    streams[0] = body + at;
    at += seqSizes[0];
    streams[1] = body + at;
    seqSizes[1] = size - at;
    return RunSequences(s, streams, seqSizes, sequenceCount, s.literals, s.literals + literalCount, difference,
                        out);
}

class NoOutput : public LzOutput {
public:
    bool Take(const byte*, size_t) override { return true; }
};

}  // namespace

LzeStreamDecoder::LzeStreamDecoder(int32 maxWindowLog)
    : state_(static_cast<State*>(Allocate(sizeof(State)))),
      output_(nullptr),
      maxOutput_(0),
      maxWindowLog_(maxWindowLog),
      damaged_(false),
      stopped_(true),
      flat_(false),
      flatInput_(0),
      phase_(kEnd),
      headUsed_(0),
      decodedSize_(0),
      produced_(0),
      windowSize_(0),
      window_(nullptr),
      capacity_(0),
      pos_(0),
      lapEnd_(0),
      blockFlags_(0),
      blockSize_(0),
      bodySize_(0),
      bodyUsed_(0),
      staging_(nullptr),
      filterBuffer_(nullptr),
      filterTail_(0),
      filterPosition_(0),
      inRegion_(false),
      regions_(nullptr),
      regionCount_(0),
      regionRoom_(0) {
    State& s = *state_;
    for (uint32 code = 0; code < 64; ++code) {
        uint32 extra;
        uint32 base = LzeCodeBase(code, 16, &extra);
        s.literalValues[code] = base << 5 | extra;
        base = LzeCodeBase(code, 32, &extra);
        s.lengthValues[code] = (base + 1) << 5 | extra;
        base = LzeCodeBase(code, 4, &extra);
        if (code + LzeRepeatCodes < 64) s.distanceValues[code + LzeRepeatCodes] = (base + 1) << 5 | extra;
        if (code < uint32(LzeRepeatCodes)) s.distanceValues[code] = 0;
    }
}

LzeStreamDecoder::~LzeStreamDecoder() {
    Free(state_);
    Free(window_);
    Free(staging_);
    Free(filterBuffer_);
    Free(regions_);
}

void LzeStreamDecoder::Start(LzOutput& output, uint64_t maxOutput) {
    State& s = *state_;
    for (int32 t = 0; t < LzeTableCount; ++t) s.haveTable[t] = false;
    s.recent[0] = 1;
    s.recent[1] = 4;
    s.recent[2] = 8;
    s.lastLength = 0;
    output_ = &output;
    maxOutput_ = maxOutput;
    damaged_ = false;
    stopped_ = false;
    phase_ = kHeader;
    headUsed_ = 0;
    decodedSize_ = 0;
    produced_ = 0;
    pos_ = 0;
    lapEnd_ = 0;
    filterTail_ = 0;
    inRegion_ = false;
    regionCount_ = 0;
}

bool LzeStreamDecoder::Fail(bool damaged) {
    damaged_ = damaged_ || damaged;
    stopped_ = true;
    return false;
}

bool LzeStreamDecoder::StartStream() {
    const byte* h = head_;
    if (Read32(h) != LzeMagic || h[4] != 1 || Read16(h + 6) != 0) return false;
    const int32 windowLog = h[5];
    if (windowLog < LzeMinWindowLog || windowLog > LzeMaxWindowLog || windowLog > maxWindowLog_) {
        return false;
    }
    windowSize_ = size_t(1) << windowLog;
    decodedSize_ = uint64_t(Read32(h + 8)) | uint64_t(Read32(h + 12)) << 32;
    if (decodedSize_ > maxOutput_) return false;
    if (flat_) {
        // Reserve the whole output at once, unless the input is too short
        // to make that much: a block of up to LzeMaxBlock bytes takes at
        // least kSmallestBlock bytes.
        const uint64_t most = (flatInput_ / kSmallestBlock + 1) * uint64_t(LzeMaxBlock);
        return GrowFlat(size_t(decodedSize_ < most ? decodedSize_ : most));
    }
    // A ring of the window plus two blocks: the lap being written never
    // reaches the part of the previous one still in reach. A stream that
    // fits needs no ring.
    const uint64_t ring = uint64_t(windowSize_) + 2 * (LzeMaxBlock + kSlack);
    const size_t need = size_t(decodedSize_ + kSlack < ring ? decodedSize_ + kSlack : ring);
    if (need > capacity_ || need < capacity_ / 2) {
        Free(window_);
        window_ = static_cast<byte*>(Allocate(need));
        capacity_ = need;
    }
    return true;
}

bool LzeStreamDecoder::GrowFlat(size_t need) {
    // Room for the output, the copies' slack and the NUL the caller gets.
    if (need + kSlack + 1 <= capacity_) return true;
    size_t room = capacity_ * 2 > need + kSlack + 1 ? capacity_ * 2 : need + kSlack + 1;
    const size_t most = size_t(decodedSize_) + kSlack + 1;
    if (room > most) room = most;
    if (room < need + kSlack + 1) return false;
    window_ = static_cast<byte*>(Reallocate(window_, room));
    capacity_ = room;
    return true;
}

// Checks the block header in head_ and makes room for the block.
bool LzeStreamDecoder::PrepareBlock() {
    const int32 flags = head_[0];
    const int32 type = flags & 3;
    if ((flags & ~(3 | LzeFiltered)) != 0 || type > LzeCompressed) return false;
    blockFlags_ = flags;
    blockSize_ = size_t(Read24(head_ + 1)) + 1;
    bodySize_ = Read24(head_ + 4);
    bodyUsed_ = 0;
    if (blockSize_ > decodedSize_ - produced_) return false;
    if (type == LzeStored ? bodySize_ != blockSize_ : bodySize_ > size_t(LzeMaxBlock)) return false;
    if (flat_) return GrowFlat(pos_ + blockSize_);
    if (pos_ + blockSize_ + kSlack > capacity_) {
        lapEnd_ = pos_;
        pos_ = 0;
    }
    return true;
}

bool LzeStreamDecoder::FlushFilter() {
    if (flat_ || !inRegion_) return true;
    inRegion_ = false;
    const size_t n = filterTail_;
    filterTail_ = 0;
    UndoBranches(filterPosition_, filterBuffer_, n, true);
    return n == 0 || output_->Take(filterBuffer_, n);
}

bool LzeStreamDecoder::HandOn(const byte* data, size_t length, bool filtered) {
    if (flat_) {
        if (!filtered) {
            inRegion_ = false;
            return true;
        }
        if (!inRegion_) {
            if (regionCount_ == regionRoom_) {
                regionRoom_ = regionRoom_ ? regionRoom_ * 2 : 16;
                regions_ = static_cast<size_t*>(
                    Reallocate(regions_, size_t(regionRoom_) * 2 * sizeof(size_t)));
            }
            regions_[2 * regionCount_] = size_t(data - window_);
            regions_[2 * regionCount_ + 1] = size_t(data - window_);
            ++regionCount_;
            inRegion_ = true;
        }
        regions_[2 * regionCount_ - 1] += length;
        return true;
    }
    if (!filtered) return FlushFilter() && output_->Take(data, length);
    if (!inRegion_) {
        inRegion_ = true;
        filterPosition_ = 0;
        filterTail_ = 0;
        if (!filterBuffer_) filterBuffer_ = static_cast<byte*>(Allocate(LzeMaxBlock + 8));
    }
    // Up to four bytes wait for the next block: a branch's operand may
    // continue there.
    memcpy(filterBuffer_ + filterTail_, data, length);
    const size_t total = filterTail_ + length;
    const size_t done = UndoBranches(filterPosition_, filterBuffer_, total, false);
    filterTail_ = total - done;
    if (done > 0 && !output_->Take(filterBuffer_, done)) return false;
    memmove(filterBuffer_, filterBuffer_ + done, filterTail_);
    return true;
}

bool LzeStreamDecoder::FinishBlock() {
    byte* const start = window_ + pos_;
    pos_ += blockSize_;
    produced_ += blockSize_;
    if (!HandOn(start, blockSize_, (blockFlags_ & LzeFiltered) != 0)) return false;
    phase_ = kBlockHeader;
    if (produced_ == decodedSize_) {
        phase_ = kEnd;
        return FlushFilter();
    }
    return true;
}

bool LzeStreamDecoder::Feed(const byte* input, size_t length) {
    if (stopped_) return false;
    while (length > 0) {
        if (phase_ == kEnd) return Fail(true);  // bytes after the stream
        if (phase_ == kHeader || phase_ == kBlockHeader) {
            const int32 want = phase_ == kHeader ? LzeHeaderSize : LzeBlockHeaderSize;
            size_t n = size_t(want - headUsed_);
            if (n > length) n = length;
            memcpy(head_ + headUsed_, input, n);
            headUsed_ += int32(n);
            input += n;
            length -= n;
            if (headUsed_ < want) return true;
            headUsed_ = 0;
            if (phase_ == kHeader) {
                if (!StartStream()) return Fail(true);
                phase_ = decodedSize_ == 0 ? kEnd : kBlockHeader;
            } else {
                if (!PrepareBlock()) return Fail(true);
                phase_ = kBody;
            }
            continue;
        }

        // The body: stored bytes go straight to the window; a compressed
        // body is decoded from the input when it is there whole, otherwise
        // gathered first.
        const size_t want = bodySize_ - bodyUsed_;
        const size_t n = want < length ? want : length;
        const byte* body = nullptr;
        if ((blockFlags_ & 3) == LzeStored) {
            memcpy(window_ + pos_ + bodyUsed_, input, n);
        } else if (bodyUsed_ == 0 && n == bodySize_) {
            body = input;
        } else {
            if (!staging_) staging_ = static_cast<byte*>(Allocate(LzeMaxBlock));
            memcpy(staging_ + bodyUsed_, input, n);
            if (n == want) body = staging_;
        }
        bodyUsed_ += n;
        input += n;
        length -= n;
        if (bodyUsed_ < bodySize_) return true;
        if (body) {
            Output o;
            o.lapStart = window_;
            o.start = window_ + pos_;
            o.size = blockSize_;
            o.lapEnd = lapEnd_;
            o.before = produced_;
            o.windowSize = windowSize_;
            if (!DecodeBody(*state_, body, bodySize_, o)) return Fail(true);
        }
        if (!FinishBlock()) return Fail(false);
    }
    return true;
}

bool LzeStreamDecoder::Finish() {
    if (stopped_) return false;
    stopped_ = true;
    if (phase_ != kEnd) damaged_ = true;
    return !damaged_;
}

bool LzeDecodeRange(const byte* block, int32 length, char*& out, int32& outLength) {
    if (!IsLzeBlock(block, length)) return false;
    LzeStreamDecoder decoder;
    NoOutput none;
    decoder.flat_ = true;
    decoder.flatInput_ = size_t(length);
    decoder.Start(none, uint64_t(kMaxDecodedLength));
    if (!decoder.Feed(block, size_t(length)) || !decoder.Finish()) return false;
    byte* const data = decoder.window_;
    for (int32 i = 0; i < decoder.regionCount_; ++i) {
        const size_t start = decoder.regions_[2 * i];
        uint32 position = 0;
        UndoBranches(position, data + start, decoder.regions_[2 * i + 1] - start, true);
    }
    outLength = int32(decoder.decodedSize_);
    data[outLength] = 0;
    out = reinterpret_cast<char*>(data);
    decoder.window_ = nullptr;
    return true;
}

bool IsLzeBlock(const byte* block, int32 length) {
    return block && length >= 4 && Read32(block) == LzeMagic;
}
