#ifndef QUILLPACK_CORE_HASH_TABLE_H
#define QUILLPACK_CORE_HASH_TABLE_H

#include "core/list.h"

// HashTable: String keys each carrying a bool, walked in insertion order.

template <typename V, typename K>
struct Bucket {
    K key;
    List<Bucket>* list;  // the bucket list that holds this entry
    Bucket* newer;
    Bucket* older;
    V value;

    Bucket() : key(), list(nullptr), newer(nullptr), older(nullptr), value() {}
    Bucket(const K& k, const V& v) : key(k), list(nullptr), newer(nullptr), older(nullptr), value(v) {}
    // A copy carries key and value only; links belong to the stored entry.
    Bucket(const Bucket& other)
        : key(other.key), list(nullptr), newer(nullptr), older(nullptr), value(other.value) {}
    Bucket& operator=(const Bucket& other) {
        key = other.key;
        value = other.value;
        return *this;
    }
};

typedef Bucket<bool, String> HashEntry;

class HashTable : public Collection<HashEntry> {
public:
    using Collection<HashEntry>::RemoveFront;
    using Collection<HashEntry>::RemoveBack;

    explicit HashTable(int32 buckets = 0);
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;
    ~HashTable() override;

    // Drops every entry and makes buckets empty bucket lists (negative: 0).
    void Reset(int32 buckets);
    // True when a new entry was added; false when an existing key only had
    // its value replaced, or when there are no buckets.
    bool Set(const String& key, bool value);
    // The entry with exactly this key, or null.
    HashEntry* Find(const String& key);
    // Both false for null or for an entry of another table.
    bool Remove(HashEntry* entry);
    bool Take(HashEntry* entry);
    int32 BucketCount() const { return bucketCount_; }

    bool ResetToFront(Cursor& cursor) override;
    bool ResetToBack(Cursor& cursor) override;
    HashEntry* GetFirst(Cursor& cursor) override;
    HashEntry* GetNext(Cursor& cursor) override;
    HashEntry* GetLast(Cursor& cursor) override;
    HashEntry* GetPrevious(Cursor& cursor) override;
    HashEntry* Front() override { return oldest_; }
    HashEntry* Back() override { return newest_; }
    HashEntry* Current(const Cursor& cursor) override { return At(cursor.current); }
    HashEntry* PeekNext(const Cursor& cursor) override { return At(cursor.next); }
    HashEntry* PeekPrevious(const Cursor& cursor) override { return At(cursor.previous); }
    // Positional insertion and rotation mean nothing here: all fatal.
    HashEntry* Append(const HashEntry& value) override;
    HashEntry* Append(const HashEntry* pointer) override;
    void AppendAll(Collection<HashEntry>& other) override;
    HashEntry* Prepend(const HashEntry& value) override;
    HashEntry* Prepend(const HashEntry* pointer) override;
    void PrependAll(Collection<HashEntry>& other) override;
    void Clear() override { Reset(bucketCount_); }
    bool RemoveCurrent(Cursor& cursor) override;
    bool RemoveFront() override { return Remove(oldest_); }
    bool RemoveBack() override { return Remove(newest_); }
    // Keeps the newest n.
    void Truncate(int32 n) override;
    bool RotateLeft(int32 n) override;
    bool RotateRight(int32 n) override;

private:
    static HashEntry* At(intptr_t handle) { return reinterpret_cast<HashEntry*>(handle); }
    HashEntry* MoveTo(Cursor& cursor, HashEntry* entry, bool forward);
    List<HashEntry>* BucketOf(const String& key);
    bool Owns(const HashEntry* entry) const;
    void DestroyBuckets();

    int32 bucketCount_;
    List<HashEntry>* buckets_;
    HashEntry* newest_;
    HashEntry* oldest_;
};

#endif  // QUILLPACK_CORE_HASH_TABLE_H
