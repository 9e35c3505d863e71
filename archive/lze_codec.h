// The entropy-coded block method "lze": the same kind of LZ parse as the
// plain method, with literals, lengths and distances Huffman-coded per block
// of the stream and a long window. Decoding streams through a bounded
// window; a whole-block entry point serves the header block and the tools.
//
// Stream (all integers little-endian):
//   0   4  LzeMagic (bytes C4 31 8E 5A); the plain method's magic differs
//   4   1  version, 1
//   5   1  window log W, 10..26: no distance exceeds 2^W bytes
//   6   2  flags, 0
//   8   8  decoded size: the blocks decode to exactly this many bytes;
//          no byte may follow the last block
//   16  .. blocks, each decoding to 1..LzeMaxBlock bytes
//
// Block header, 7 bytes:
//   0   1  bits 0-1 type (0 stored, 1 compressed); bit 2 branch-filtered
//          (archive/branch_filter.h); other bits 0
//   1   3  decoded size - 1 (below LzeMaxBlock)
//   4   3  body size: the decoded size when stored, at most LzeMaxBlock
//          when compressed
// Consecutive filtered blocks form one region whose branches are undone as
// one run; the filter starts afresh at each region.
//
// Compressed body:
//   0   1  bit 0: literals are differences (below); other bits 0
//   1   3  table modes, two bits per table slot, slot 0 lowest; bits 18-23
//          0. Per slot: 0 the table the slot had after the previous block,
//          1 a new table, 2 a single symbol coded in no bits, 3 (literals
//          only) raw bytes
//   4   3  literal count; 7 3 sequence count; 10 2 table-section size T
//   12  3  size of the length stream (the offset stream takes the rest of
//          the body)
//   15  12 sizes of the four literal streams (absent with raw literals)
//   .. T   table section, one bit stream: for each slot in mode 1 its code
//          lengths, in mode 2 its symbol (9 bits)
//   ..     literal section: four Huffman streams, each coding its quarter
//          (rounded up; the last takes the rest), or the raw bytes
//   ..     length stream, offset stream
// Bit streams are read from the lowest bit of each byte up; each ends in
// its last byte, padded with zero bits.
//
// Table slots: 0 literals; 1-2 literal lengths, slot 2 when the previous
// match was shorter than 4 bytes (or there was none); 3-4 match lengths,
// slot 4 after no literals; 5-8 offsets, slot 5 + 2 * (no literals) +
// (match shorter than 4). Tables persist from block to block.
//
// Code lengths (1..11 for literals, 1..9 for the others; 0 unused) are
// themselves coded with a 15-symbol code whose lengths come first, 3 bits
// each: symbols 0-11 are lengths, 12 repeats the previous length
// 3 + (2 bits) times, 13 writes 3 + (3 bits) zeros, 14 writes 11 + (7 bits)
// zeros. Every code must be complete: its lengths fill the code space
// exactly, or it has one symbol of length 1. Codes are canonical; codes of
// equal length ascend with the symbol.
//
// A sequence is three symbols, each followed by its extra bits: literal
// length and match length in the length stream, offset in the offset
// stream. Value codes: below D (16 for literal lengths, 32 for match
// lengths, 4 for distances) a code is its value; then two codes per power
// of two, code D + 2(e - log2 D) + m standing for the values
// (2 + m) << (e - 1) plus e - 1 extra bits, for the e-th power. Match
// length = value + 1. Offset codes 0-2 take the three most recent
// distances (the one taken moves to the front); code 3 + c takes value
// code c, distance = value + 1, which goes in front and pushes the oldest
// out. The recent distances start as 1, 4 and 8.
// A sequence copies its literals, then the match; a match may overlap the
// bytes it makes but never reach before the stream's start or past 2^W.
// The literals left after the last sequence end the block. Difference
// literals are added (modulo 256) to the byte as far back as the previous
// match's distance (1 before any), or to 0 where that lies before the
// stream's start. Raw literals leave the literal table as it was.
#ifndef QUILLPACK_ARCHIVE_LZE_CODEC_H
#define QUILLPACK_ARCHIVE_LZE_CODEC_H

#include <stddef.h>

#include "archive/lz_codec.h"
#include "core/types.h"

const uint32 LzeMagic = 0x5A8E31C4u;
const int32 LzeHeaderSize = 16;
const int32 LzeBlockHeaderSize = 7;
const int32 LzeMaxBlock = 1 << 18;
const int32 LzeMinWindowLog = 10;
const int32 LzeMaxWindowLog = 26;

// Block types and flags (block header byte 0).
const int32 LzeStored = 0;
const int32 LzeCompressed = 1;
const int32 LzeFiltered = 4;

// Table slots (the first of each kind) and their alphabets.
enum LzeTable {
    LzeLiterals = 0,
    LzeLiteralLengths = 1,
    LzeMatchLengths = 3,
    LzeOffsets = 5,
    LzeTableCount = 9
};
const int32 LzeAlphabet[LzeTableCount] = {256, 45, 45, 58, 58, 55, 55, 55, 55};
const int32 LzeShortMatch = 4;
const int32 LzeDifferenceLiterals = 1;

inline int32 LzeLiteralLengthSlot(uint32 previousLength) {
    return LzeLiteralLengths + (previousLength < uint32(LzeShortMatch) ? 1 : 0);
}
inline int32 LzeMatchLengthSlot(uint32 literals) { return LzeMatchLengths + (literals == 0 ? 1 : 0); }
inline int32 LzeOffsetSlot(uint32 literals, uint32 length) {
    return LzeOffsets + (literals == 0 ? 2 : 0) + (length < uint32(LzeShortMatch) ? 1 : 0);
}
const int32 LzeRepeatCodes = 3;
const int32 LzeMaxCodeLength = 11;          // literals
const int32 LzeMaxSequenceCodeLength = 9;   // the other slots
const int32 LzeLengthCodeSymbols = 15;
const int32 LzeLengthCodeMaxLength = 7;

// Table modes.
const int32 LzeKeepTable = 0;
const int32 LzeNewTable = 1;
const int32 LzeSingleSymbol = 2;
const int32 LzeRawLiterals = 3;

// The value of a value code; with `extra` its count of extra bits.
inline uint32 LzeCodeBase(uint32 code, uint32 direct, uint32* extra) {
    if (code < direct) {
        *extra = 0;
        return code;
    }
    uint32 logDirect = direct == 4 ? 2 : direct == 16 ? 4 : 5;
    uint32 e = (code - direct) / 2 + logDirect;
    *extra = e - 1;
    return (2 + ((code - direct) & 1)) << (e - 1);
}

// Decodes one stream arriving in chunks of any size; the output goes to an
// LzOutput (archive/lz_codec.h) as each block is decoded, so the installer
// hands on either method's bytes the same way. Memory: a window of
// 2^W + 2 * (LzeMaxBlock + 64) bytes (less for a shorter stream), plus
// about 1 MB of buffers and tables; both are kept for the next stream.
class LzeStreamDecoder {
public:
    // Streams asking for a window beyond 2^maxWindowLog are damaged.
    explicit LzeStreamDecoder(int32 maxWindowLog = LzeMaxWindowLog);
    ~LzeStreamDecoder();
    LzeStreamDecoder(const LzeStreamDecoder&) = delete;
    LzeStreamDecoder& operator=(const LzeStreamDecoder&) = delete;

    // Begins a stream whose output goes to `output`; one that says it
    // decodes to more than maxOutput bytes is damaged.
    void Start(LzOutput& output, uint64_t maxOutput = uint64_t(kMaxDecodedLength));

    // The stream's next bytes. Everything decoded from them has been handed
    // on when it returns true (but for up to 4 bytes of a filtered region,
    // which wait for the next block); false once the stream is known to be
    // damaged or the output said stop (Damaged() tells which), and for
    // every later call.
    bool Feed(const byte* data, size_t length);

    // The input has ended: true when the stream was complete.
    bool Finish();

    bool Damaged() const { return damaged_; }
    // Bytes decoded so far.
    uint64_t Produced() const { return produced_; }

    struct State;  // the block decoder's working set

private:
    friend bool LzeDecodeRange(const byte* block, int32 length, char*& out, int32& outLength);

    bool Fail(bool damaged);
    bool StartStream();
    bool PrepareBlock();
    bool FinishBlock();
    bool HandOn(const byte* data, size_t length, bool filtered);
    bool FlushFilter();
    bool GrowFlat(size_t need);

    State* state_;
    LzOutput* output_;
    uint64_t maxOutput_;
    int32 maxWindowLog_;
    bool damaged_;
    bool stopped_;
    bool flat_;  // whole-stream mode: the window is the whole output
    size_t flatInput_;
    int32 phase_;
    byte head_[LzeHeaderSize];
    int32 headUsed_;
    uint64_t decodedSize_;
    uint64_t produced_;
    size_t windowSize_;
    // The window: capacity_ bytes; the current lap holds [0, pos_), the
    // previous one ended at lapEnd_.
    byte* window_;
    size_t capacity_;
    size_t pos_;
    size_t lapEnd_;
    // The block being read.
    int32 blockFlags_;
    size_t blockSize_;
    size_t bodySize_;
    size_t bodyUsed_;
    byte* staging_;
    // Undoing branches: a carried tail and the region's position.
    byte* filterBuffer_;
    size_t filterTail_;
    uint32 filterPosition_;
    bool inRegion_;
    // Whole-stream mode: the filtered regions, undone at the end.
    size_t* regions_;
    int32 regionCount_;
    int32 regionRoom_;
};

// Decodes a whole stream held in memory (the header block, the tools),
// with the same block decoder. On success `out` receives a block from
// Allocate() holding outLength bytes and a NUL, which the caller adopts
// with String::Adopt. Fails on a stream that is damaged, cut short,
// followed by more bytes, or larger than kMaxDecodedLength.
bool LzeDecodeRange(const byte* block, int32 length, char*& out, int32& outLength);

// True when the bytes start with LzeMagic: a block of this method.
bool IsLzeBlock(const byte* block, int32 length);

#endif  // QUILLPACK_ARCHIVE_LZE_CODEC_H
