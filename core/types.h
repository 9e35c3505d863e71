// The integer names of the whole program: every length, count and record
// field of the archive is one of these.
#ifndef QUILLPACK_CORE_TYPES_H
#define QUILLPACK_CORE_TYPES_H

#include <stdint.h>

typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint8_t byte;

// Callers pass this as a count bound to mean "all of it".
const int32 kAll = 2147483647;

#endif  // QUILLPACK_CORE_TYPES_H
