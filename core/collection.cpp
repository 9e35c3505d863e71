#include "core/collection.h"

#include <string.h>

// ---------------------------------------------------------------------------
// SortArray: quicksort with the middle element as pivot. One scratch block,
// shared by every call, holds the pivot copy and the swap space; it grows to
// the largest element size seen and is never shrunk.

namespace {

char* sortScratch = nullptr;
int32 sortScratchSize = 0;

typedef int (*CompareFunction)(const void*, const void*);

void SortRange(char* base, int32 lo, int32 hi, size_t size, CompareFunction compare) {
    char* pivot = sortScratch;
    char* held = sortScratch + size;
    while (lo < hi) {
        memcpy(pivot, base + (lo + (hi - lo) / 2) * size, size);
        int32 i = lo;
        int32 j = hi;
        while (i <= j) {
            // The bounds only matter for a comparison that is not an order;
            // they keep it from walking off the range.
            while (i <= hi && compare(base + i * size, pivot) < 0) ++i;
            while (j >= lo && compare(base + j * size, pivot) > 0) --j;
            if (i <= j) {
                if (i != j) {
                    memcpy(held, base + i * size, size);
                    memcpy(base + i * size, base + j * size, size);
                    memcpy(base + j * size, held, size);
                }
                ++i;
                --j;
            }
        }
        // Each side must shrink, or a bad comparison could loop forever.
        if (j >= hi) j = hi - 1;
        if (i <= lo) i = lo + 1;
        // Recurse into the smaller side and loop on the larger, so the
        // depth stays logarithmic whatever the input.
        if (j - lo < hi - i) {
            SortRange(base, lo, j, size, compare);
            lo = i;
        } else {
            SortRange(base, i, hi, size, compare);
            hi = j;
        }
    }
}

}  // namespace

void SortArray(void* base, int32 count, int32 elementSize, CompareFunction compare) {
    if (!base || !compare || count <= 0 || elementSize <= 0) return;
    if (elementSize > kAll / 2) return;  // no array of two such elements exists
    if (2 * elementSize > sortScratchSize) {
        sortScratch = static_cast<char*>(Reallocate(sortScratch, 2 * size_t(elementSize)));
        sortScratchSize = 2 * elementSize;
    }
    SortRange(static_cast<char*>(base), 0, count - 1, size_t(elementSize), compare);
}
