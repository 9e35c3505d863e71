#include "core/containers.h"

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

// ---------------------------------------------------------------------------
// HashTable

HashTable::HashTable(int32 buckets)
    : bucketCount_(0), buckets_(nullptr), newest_(nullptr), oldest_(nullptr) {
    Reset(buckets);
}

HashTable::~HashTable() { DestroyBuckets(); }

void HashTable::DestroyBuckets() {
    for (int32 i = 0; i < bucketCount_; ++i) buckets_[i].~List<HashEntry>();
    Free(buckets_);
    buckets_ = nullptr;
    bucketCount_ = 0;
    newest_ = oldest_ = nullptr;
    count_ = 0;
}

void HashTable::Reset(int32 buckets) {
    DestroyBuckets();
    if (buckets <= 0) return;
    if (buckets > kAll / int32(sizeof(List<HashEntry>))) {
        OutOfMemoryHandler(size_t(buckets) * sizeof(List<HashEntry>));
    }
    buckets_ = static_cast<List<HashEntry>*>(Allocate(size_t(buckets) * sizeof(List<HashEntry>)));
    for (int32 i = 0; i < buckets; ++i) new (&buckets_[i]) List<HashEntry>();
    bucketCount_ = buckets;
}

List<HashEntry>* HashTable::BucketOf(const String& key) {
    if (bucketCount_ <= 0) return nullptr;
    return &buckets_[key.Checksum() % uint32(bucketCount_)];
}

bool HashTable::Set(const String& key, bool value) {
    List<HashEntry>* bucket = BucketOf(key);
    if (!bucket) return false;
    Cursor cursor;
    for (HashEntry* entry = bucket->GetFirst(cursor); entry; entry = bucket->GetNext(cursor)) {
        if (entry->key == key) {
            entry->value = value;
            return false;
        }
    }
    HashEntry* entry = bucket->Append(HashEntry(key, value));
    entry->list = bucket;
    entry->older = newest_;
    if (newest_) newest_->newer = entry;
    newest_ = entry;
    if (!oldest_) oldest_ = entry;
    ++count_;
    return true;
}

HashEntry* HashTable::Find(const String& key) {
    List<HashEntry>* bucket = BucketOf(key);
    if (!bucket) return nullptr;
    Cursor cursor;
    for (HashEntry* entry = bucket->GetFirst(cursor); entry; entry = bucket->GetNext(cursor)) {
        if (entry->key == key) return entry;
    }
    return nullptr;
}

bool HashTable::Owns(const HashEntry* entry) const {
    // An entry's list pointer names one of our buckets exactly when the
    // entry is ours; anything else is refused rather than unlinked.
    if (!entry || !buckets_) return false;
    const List<HashEntry>* list = entry->list;
    return list >= buckets_ && list < buckets_ + bucketCount_;
}

bool HashTable::Remove(HashEntry* entry) {
    if (!Owns(entry)) return false;
    if (entry->older) {
        entry->older->newer = entry->newer;
    } else {
        oldest_ = entry->newer;
    }
    if (entry->newer) {
        entry->newer->older = entry->older;
    } else {
        newest_ = entry->older;
    }
    --count_;
    entry->list->RemoveElement(entry);
    return true;
}

bool HashTable::Take(HashEntry* entry) {
    if (!Owns(entry)) return false;
    bool value = entry->value;
    Remove(entry);
    return value;
}

HashEntry* HashTable::MoveTo(Cursor& cursor, HashEntry* entry, bool forward) {
    if (entry) {
        cursor.current = reinterpret_cast<intptr_t>(entry);
        cursor.previous = reinterpret_cast<intptr_t>(entry->older);
        cursor.next = reinterpret_cast<intptr_t>(entry->newer);
    } else {
        cursor.current = 0;
        cursor.previous = forward ? reinterpret_cast<intptr_t>(newest_) : 0;
        cursor.next = forward ? 0 : reinterpret_cast<intptr_t>(oldest_);
    }
    return entry;
}

bool HashTable::ResetToFront(Cursor& cursor) {
    MoveTo(cursor, nullptr, false);
    return count_ > 0;
}

bool HashTable::ResetToBack(Cursor& cursor) {
    MoveTo(cursor, nullptr, true);
    return count_ > 0;
}

HashEntry* HashTable::GetFirst(Cursor& cursor) { return MoveTo(cursor, oldest_, true); }

HashEntry* HashTable::GetNext(Cursor& cursor) { return MoveTo(cursor, At(cursor.next), true); }

HashEntry* HashTable::GetLast(Cursor& cursor) { return MoveTo(cursor, newest_, false); }

HashEntry* HashTable::GetPrevious(Cursor& cursor) {
    return MoveTo(cursor, At(cursor.previous), false);
}

bool HashTable::RemoveCurrent(Cursor& cursor) {
    HashEntry* entry = At(cursor.current);
    if (!Owns(entry)) return false;
    cursor.current = 0;
    cursor.previous = reinterpret_cast<intptr_t>(entry->older);
    cursor.next = reinterpret_cast<intptr_t>(entry->newer);
    return Remove(entry);
}

void HashTable::Truncate(int32 n) {
    if (n < 1) {
        Clear();
        return;
    }
    while (count_ > n && Remove(oldest_)) {
    }
}

HashEntry* HashTable::Append(const HashEntry* pointer) { FatalCheck("core32", 4856); }
HashEntry* HashTable::Append(const HashEntry& value) { FatalCheck("core32", 4857); }
void HashTable::AppendAll(Collection<HashEntry>& other) { FatalCheck("core32", 4858); }
HashEntry* HashTable::Prepend(const HashEntry* pointer) { FatalCheck("core32", 4859); }
HashEntry* HashTable::Prepend(const HashEntry& value) { FatalCheck("core32", 4860); }
void HashTable::PrependAll(Collection<HashEntry>& other) { FatalCheck("core32", 4861); }
bool HashTable::RotateLeft(int32 n) { FatalCheck("core32", 4862); }
bool HashTable::RotateRight(int32 n) { FatalCheck("core32", 4863); }
