#include "core/memory.h"

#include <stdlib.h>

#include "core/fatal.h"

void* Allocate(size_t size) {
    void* block = malloc(size ? size : 1);
    if (!block) OutOfMemoryHandler(size);
    return block;
}

void* Reallocate(void* block, size_t size) {
    void* grown = realloc(block, size ? size : 1);
    if (!grown) OutOfMemoryHandler(size);
    return grown;
}

void Free(void* block) { free(block); }
