// The shipped program's allocation and C++ runtime hooks: every allocation
// failure ends in the out-of-memory stop, and nothing from the exception
// machinery is pulled in.
#include <stdlib.h>

#include <new>

#include "core/string.h"

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }

extern "C" void __cxa_pure_virtual() { FatalCheck("Core32", 0); }
