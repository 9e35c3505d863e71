// The block codec of the archive: a byte-oriented LZ format with runs,
// literal stretches and back-references. The header block and, when asked,
// the whole payload are each one block.
//
// Block layout (little-endian):
//   0  4  CompressionMagic
//   4  4  decoded size (a hint for reserving room; never trusted)
//   8  .. opcodes to the end of the block, no end marker
// Control byte: top two bits select the opcode, low six bits are k.
//   00 run            1 byte v          k + 3 copies of v
//   01 short literal  k bytes           copied
//   10 long literal   h, then h*64 + k  copied
//   11 match          bit 0x20 of k: 24-bit distance, k keeps its low 5 bits;
//                     k == 0: a 16-bit length field replaces k;
//                     16-bit distance field, then one more byte if 24-bit;
//                     length = k + 3, distance = field + 4.
// A match is copied only when it lies wholly in the output already made
// (length <= distance, distance <= output so far); otherwise it copies
// nothing and decoding goes on.
//
// Two ways to decode, one opcode loop: a whole block into one buffer
// (DecodeRange, DecodeBlock), or a block arriving in chunks of any size
// whose output passes through a window and is handed on as it is made
// (LzStreamDecoder), so that a payload of any size decodes in bounded
// memory. Both refuse the same blocks.
#ifndef QUILLPACK_ARCHIVE_LZ_CODEC_H
#define QUILLPACK_ARCHIVE_LZ_CODEC_H

#include "core/string.h"

const uint32 CompressionMagic = 0x9EC72BA1u;
const int32 kBlockHeaderSize = 8;

// Farthest a match reaches back, and the longest match.
const uint32 kLzMaxDistance = 16777219;
const uint32 kLzMaxMatch = 65538;

// Largest output the decoder produces; a block asking for more is refused
// rather than exhausting memory.
const int32 kMaxDecodedLength = kMaxStringLength;

// Decodes one block. On success `out` receives a block from Allocate()
// holding outLength bytes plus room for a NUL, which the caller adopts with
// String::Adopt. Fails when the block is absent, 8 bytes short of a header,
// lacks the magic, when an opcode's operands or literal bytes run past the
// end of the block, or when the output would exceed kMaxDecodedLength.
bool DecodeRange(const byte* block, int32 length, char*& out, int32& outLength);

// Replaces the String's content with the decoded bytes; false leaves it
// unchanged.
bool DecodeBlock(String& buffer);

// Where a streaming decoder hands its output, in order, in pieces of any
// size. A piece is valid only during the call. False stops decoding.
class LzOutput {
public:
    virtual bool Take(const byte* data, size_t length) = 0;

protected:
    ~LzOutput() {}
};

// Decodes a block that arrives in chunks. Memory: a window that grows with
// the output up to kLzWindowBytes and is then reused, plus a small carry
// for an opcode cut by a chunk's end; both are kept for the next block.
class LzStreamDecoder {
public:
    // Output held before it is handed on: the farthest match reach, plus
    // room to produce into between two slides of the window.
    static const size_t kLzWindowBytes = size_t(kLzMaxDistance) + (size_t(16) << 20);

    LzStreamDecoder() {}
    ~LzStreamDecoder();
    LzStreamDecoder(const LzStreamDecoder&) = delete;
    LzStreamDecoder& operator=(const LzStreamDecoder&) = delete;

    // Begins a block whose output goes to `output`; a block that would
    // produce more than maxOutput bytes is damaged.
    void Start(LzOutput& output, uint64_t maxOutput = uint64_t(kMaxDecodedLength));

    // The block's next bytes. Everything decoded from them has been handed
    // on when it returns true; false once the block is known to be damaged
    // or the output said stop (Damaged() tells which), and for every later
    // call.
    bool Feed(const byte* data, size_t length);

    // The block is complete: false when it is damaged (cut inside its
    // header or inside an opcode) or was stopped before.
    bool Finish();

    bool Damaged() const { return damaged_; }
    // Bytes decoded so far.
    uint64_t Produced() const { return handed_ + uint64_t(op_ - flushed_); }

private:
    bool Header(const byte*& data, size_t& length);
    bool Run(const byte*& ip, const byte* iend);
    bool MakeRoom(size_t need);
    bool HandOn();
    bool Fail();

    LzOutput* output_ = nullptr;
    uint64_t maxOutput_ = 0;
    uint64_t handed_ = 0;  // bytes handed on
    byte* window_ = nullptr;
    size_t windowSize_ = 0;  // usable bytes; a slack follows
    byte* op_ = nullptr;
    byte* flushed_ = nullptr;  // output before it has been handed on
    byte* carry_ = nullptr;
    size_t carried_ = 0;
    byte head_[8] = {};
    size_t headLength_ = 0;
    bool damaged_ = false;
    bool stopped_ = false;
};

// Walks a block arriving in chunks without decoding it: whether it is whole
// (magic, header, no opcode cut off at its end) and how many bytes it
// decodes to. Its work and memory are bounded by the block, not by its
// output, so a hostile block cannot make a check take long. It has no
// output limit: a block may decode to more than kMaxDecodedLength.
class LzBlockScanner {
public:
    void Start();
    // False once the block is known to be damaged (its magic is wrong).
    bool Feed(const byte* data, size_t length);
    // False when the block is damaged: cut inside its header or an opcode.
    bool Finish();
    uint64_t Produced() const { return produced_; }

private:
    void Opcode(const byte* op);

    uint64_t produced_ = 0;
    uint64_t skip_ = 0;  // literal bytes still to pass over
    byte head_[8] = {};
    size_t headLength_ = 0;
    byte partial_[6] = {};  // an opcode's control and operands, cut by a chunk
    size_t partialLength_ = 0;
    bool damaged_ = false;
};

#endif  // QUILLPACK_ARCHIVE_LZ_CODEC_H
