#include "core/hash_table.h"

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

HashEntry* HashTable::Append(const HashEntry*) { FatalCheck("core32", 4856); }
HashEntry* HashTable::Append(const HashEntry&) { FatalCheck("core32", 4857); }
void HashTable::AppendAll(Collection<HashEntry>&) { FatalCheck("core32", 4858); }
HashEntry* HashTable::Prepend(const HashEntry*) { FatalCheck("core32", 4859); }
HashEntry* HashTable::Prepend(const HashEntry&) { FatalCheck("core32", 4860); }
void HashTable::PrependAll(Collection<HashEntry>&) { FatalCheck("core32", 4861); }
bool HashTable::RotateLeft(int32) { FatalCheck("core32", 4862); }
bool HashTable::RotateRight(int32) { FatalCheck("core32", 4863); }
