// Runtime-allocator wrappers: they never return null, a failure ends in the
// out-of-memory handler, so callers never test an allocation.
#ifndef QUILLPACK_CORE_MEMORY_H
#define QUILLPACK_CORE_MEMORY_H

#include <stddef.h>

void* Allocate(size_t size);
void* Reallocate(void* block, size_t size);
void Free(void* block);

#endif  // QUILLPACK_CORE_MEMORY_H
