// The branch filter for x86 and x64 machine code: the 32-bit operand of a
// relative CALL (E8) or JMP (E9) becomes the absolute target, so that calls
// to one function from many places look alike to the LZ stage.
//
// Rule, the same both ways: scanning forward, an E8 or E9 byte is taken
// with the 4 bytes after it as its little-endian operand, and the scan
// resumes after them. An operand whose top byte is 00 or FF (a
// displacement within +-16 MiB) is converted modulo 2^25 and sign-extended
// from bit 24, so its top byte stays 00 or FF; others are left alone, as
// are all other bytes. The converted value is operand + p on encoding and
// operand - p on decoding, where p is the offset, from the start of the
// filtered region, of the byte after the operand.
#ifndef QUILLPACK_ARCHIVE_BRANCH_FILTER_H
#define QUILLPACK_ARCHIVE_BRANCH_FILTER_H

#include <stddef.h>

#include "core/types.h"

// Convert data[0..length) in place and return how many bytes are final.
// Unless `last`, up to four bytes at the end stay unfinished (an opcode
// whose operand is not all there): present them again at the start of the
// next call. `position` is the region offset of data[0]; it advances by the
// count returned. Start each region with position 0.
size_t UndoBranches(uint32& position, byte* data, size_t length, bool last);
size_t ApplyBranches(uint32& position, byte* data, size_t length, bool last);

#endif  // QUILLPACK_ARCHIVE_BRANCH_FILTER_H
