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
#ifndef QUILLPACK_ARCHIVE_LZ_CODEC_H
#define QUILLPACK_ARCHIVE_LZ_CODEC_H

#include "core/string.h"

const uint32 CompressionMagic = 0x9EC72BA1u;
const int32 kBlockHeaderSize = 8;

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

#endif  // QUILLPACK_ARCHIVE_LZ_CODEC_H
