// The wrapping 32-bit sum of the archive (header, uninstaller image,
// payload, each file) and of the hash table.
#ifndef QUILLPACK_CORE_CHECKSUM_H
#define QUILLPACK_CORE_CHECKSUM_H

#include "core/types.h"

const uint32 kChecksumSeed = 2044902557u;

// Little-endian words, then the 1 to 3 remaining bytes as signed values,
// then the length; the seed alone for no data.
uint32 Checksum(const void* data, int32 length);

#endif  // QUILLPACK_CORE_CHECKSUM_H
