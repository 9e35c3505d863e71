// Encoder for the archive's block format (see archive/lz_codec.h). Builder
// side only: it may use the standard library and plenty of memory.
#ifndef QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H
#define QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Fast: hashed greedy parsing, for quick builds.
// Max: binary-tree match finder with cost-based (optimal) parsing.
enum class LzLevel { Fast, Max };

// A whole block: magic, decoded size, opcodes. The same input and level
// always give the same bytes. Inputs of 2 GB or more throw
// std::length_error; the installer's decoder takes at most kMaxDecodedLength.
std::vector<uint8_t> LzEncode(const uint8_t* data, size_t size, LzLevel level);

#endif  // QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H
