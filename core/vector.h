#ifndef QUILLPACK_CORE_VECTOR_H
#define QUILLPACK_CORE_VECTOR_H

#include "core/collection.h"

// Vector: indexed, with free slots at both ends so that inserting at the
// front is as cheap as appending. Plain values sit in the slots; class
// elements are allocated one by one and the slots hold their addresses, so
// growing and inserting only move pointers.

template <typename T, bool Inline = std::is_trivially_copyable<T>::value>
struct VectorSlot;

template <typename T>
struct VectorSlot<T, true> {
    typedef T Slot;
    static T* Get(Slot& slot) { return &slot; }
    static Slot Make(const T& value) { return value; }
    static void Destroy(Slot&) {}
};

template <typename T>
struct VectorSlot<T, false> {
    typedef T* Slot;
    static T* Get(Slot& slot) { return slot; }
    static Slot Make(const T& value) { return new (Allocate(sizeof(T))) T(value); }
    static void Destroy(Slot& slot) {
        slot->~T();
        Free(slot);
        slot = nullptr;
    }
};

template <typename T>
class Vector : public Collection<T> {
    typedef VectorSlot<T> Slots;
    typedef typename Slots::Slot Slot;

public:
    using Collection<T>::Append;
    using Collection<T>::Prepend;

    Vector() : offset_(0), capacity_(0), slots_(nullptr) {}
    Vector(const Vector& other) : offset_(0), capacity_(0), slots_(nullptr) { CopyFrom(other); }
    Vector& operator=(const Vector& other) {
        if (this != &other) {
            Clear();
            CopyFrom(other);
        }
        return *this;
    }
    ~Vector() override { Clear(); }

    bool ResetToFront(Cursor& cursor) override {
        cursor.current = cursor.previous = 0;
        cursor.next = this->count_ > 0 ? 1 : 0;
        return this->count_ > 0;
    }
    bool ResetToBack(Cursor& cursor) override {
        cursor.current = cursor.next = 0;
        cursor.previous = this->count_;
        return this->count_ > 0;
    }
    T* GetFirst(Cursor& cursor) override { return MoveTo(cursor, 0); }
    T* GetNext(Cursor& cursor) override {
        return MoveTo(cursor, cursor.next ? Index(cursor.next) : this->count_);
    }
    T* GetLast(Cursor& cursor) override { return MoveTo(cursor, this->count_ - 1); }
    T* GetPrevious(Cursor& cursor) override {
        return MoveTo(cursor, cursor.previous ? Index(cursor.previous) : -1);
    }
    T* Front() override { return Element(0); }
    T* Back() override { return Element(this->count_ - 1); }
    T* Current(const Cursor& cursor) override {
        return cursor.current ? Element(Index(cursor.current)) : nullptr;
    }
    T* PeekNext(const Cursor& cursor) override {
        return cursor.next ? Element(Index(cursor.next)) : nullptr;
    }
    T* PeekPrevious(const Cursor& cursor) override {
        return cursor.previous ? Element(Index(cursor.previous)) : nullptr;
    }

    T* Append(const T& value) override {
        // The copy is made first: value may live in this vector's slots.
        Slot slot = Slots::Make(value);
        ReserveSlots(this->count_ + 1);
        slots_[offset_ + this->count_] = slot;
        ++this->count_;
        return Slots::Get(slots_[offset_ + this->count_ - 1]);
    }
    T* Prepend(const T& value) override { return InsertSlot(0, Slots::Make(value)); }

    void Clear() override {
        for (int32 i = 0; i < this->count_; ++i) Slots::Destroy(slots_[offset_ + i]);
        Free(slots_);
        ResetFields();
    }

    bool RemoveCurrent(Cursor& cursor) override {
        int32 i = cursor.current ? Index(cursor.current) : -1;
        if (i < 0 || i >= this->count_) return false;
        RemoveRange(i, i);
        cursor.current = 0;
        cursor.next = i < this->count_ ? i + 1 : 0;
        cursor.previous = i;  // the handle of slot i - 1
        return true;
    }
    int32 RemoveFront(int32 n) override {
        if (n <= 0 || this->count_ == 0) return 0;
        int32 k = n < this->count_ ? n : this->count_;
        RemoveRange(0, k - 1);
        return k;
    }
    bool RemoveFront() override { return RemoveRange(0, 0); }
    int32 RemoveBack(int32 n) override {
        if (n <= 0 || this->count_ == 0) return 0;
        int32 k = n < this->count_ ? n : this->count_;
        RemoveRange(this->count_ - k, this->count_ - 1);
        return k;
    }
    bool RemoveBack() override {
        return this->count_ > 0 && RemoveRange(this->count_ - 1, this->count_ - 1);
    }

    bool RotateLeft(int32 n) override {
        if (this->count_ < 2 || n < 1) return false;
        RotateSlots(n % this->count_);
        return true;
    }
    bool RotateRight(int32 n) override {
        if (this->count_ < 2 || n < 1) return false;
        int32 k = n % this->count_;
        RotateSlots(k ? this->count_ - k : 0);
        return true;
    }

    // Vector's own operations.
    virtual T& At(int32 i) {
        CheckIndex(i);
        return *Slots::Get(slots_[offset_ + i]);
    }
    // Bounds are clamped into the vector; false when no element is left in
    // the range. Removed elements are destroyed.
    virtual bool RemoveRange(int32 first, int32 last) {
        if (first < 0) first = 0;
        if (last > this->count_ - 1) last = this->count_ - 1;
        if (first > last) return false;
        for (int32 i = first; i <= last; ++i) Slots::Destroy(slots_[offset_ + i]);
        int32 removed = last - first + 1;
        int32 before = first;
        int32 after = this->count_ - last - 1;
        // Close the gap by moving the shorter side.
        if (before < after) {
            memmove(slots_ + offset_ + removed, slots_ + offset_, before * sizeof(Slot));
            offset_ += removed;
        } else {
            memmove(slots_ + offset_ + first, slots_ + offset_ + last + 1, after * sizeof(Slot));
        }
        this->count_ -= removed;
        return true;
    }
    virtual bool RemoveAt(int32 i) { return RemoveRange(i, i); }
    virtual void EnsureCount(int32 n) {
        if (this->count_ < n) SetCount(n);
    }
    virtual T* AppendNew() { return Append(T()); }
    // Forgets the slot array without destroying anything.
    virtual void ResetFields() {
        this->count_ = 0;
        offset_ = 0;
        capacity_ = 0;
        slots_ = nullptr;
    }
    virtual T* InsertAt(int32 i, const T& value) { return InsertSlot(i, Slots::Make(value)); }
    virtual T* InsertAt(int32 i, const T* pointer) {
        return pointer ? InsertAt(i, *pointer) : InsertNew(i);
    }
    // i is clamped into 0..count.
    virtual T* InsertNew(int32 i) { return InsertSlot(i, Slots::Make(T())); }
    T& operator[](int32 i) { return At(i); }
    // Out of range: a default value.
    virtual T TakeAt(int32 i) {
        T* element = Element(i);
        if (!element) return T();
        T value(*element);
        RemoveRange(i, i);
        return value;
    }
    virtual void SetCount(int32 n) {
        if (n <= 0) {
            Clear();
        } else if (n > this->count_) {
            ReserveSlots(n);
            for (int32 i = this->count_; i < n; ++i) {
                slots_[offset_ + i] = Slots::Make(T());
                ++this->count_;
            }
        } else if (n < this->count_) {
            RemoveRange(n, this->count_ - 1);
        }
    }
    // Element first moves to position last; those between shift down.
    virtual bool MoveUp(int32 first, int32 last) {
        if (!Clamp(first, last)) return false;
        Slot moving = slots_[offset_ + first];
        memmove(slots_ + offset_ + first, slots_ + offset_ + first + 1, (last - first) * sizeof(Slot));
        slots_[offset_ + last] = moving;
        return true;
    }
    // Element last moves to position first; those between shift up.
    virtual bool MoveDown(int32 first, int32 last) {
        if (!Clamp(first, last)) return false;
        Slot moving = slots_[offset_ + last];
        memmove(slots_ + offset_ + first + 1, slots_ + offset_ + first, (last - first) * sizeof(Slot));
        slots_[offset_ + first] = moving;
        return true;
    }
    virtual void Reset(int32 n) {
        Clear();
        SetCount(n);
    }
    virtual bool Swap(int32 i, int32 j) {
        if (i < 0 || i >= this->count_ || j < 0 || j >= this->count_) return false;
        Slot held = slots_[offset_ + i];
        slots_[offset_ + i] = slots_[offset_ + j];
        slots_[offset_ + j] = held;
        return true;
    }
    virtual void CheckIndex(int32 i) {
        if (i < 0 || i >= this->count_) {
            FatalError("Vector<%s>[%d]\nmax_index = %d", TypeName<T>::Name(), i, this->count_ - 1);
        }
    }
    virtual void CopyFrom(const Vector& other) {
        if (&other == this) return;
        ReserveSlots(this->count_ + other.count_);
        for (int32 i = 0; i < other.count_; ++i) {
            Append(*Slots::Get(other.slots_[other.offset_ + i]));
        }
    }

    // Sorts ascending by compare; equal elements may change order.
    void Sort(int (*compare)(const T& a, const T& b)) {
        if (!compare || this->count_ < 2) return;
        int (*outer)(const T&, const T&) = sortCompare_;
        sortCompare_ = compare;
        SortArray(slots_ + offset_, this->count_, sizeof(Slot), CompareSlots);
        sortCompare_ = outer;
    }

    int32 Capacity() const { return capacity_; }

private:
    static int32 Index(intptr_t handle) { return static_cast<int32>(handle - 1); }

    T* Element(int32 i) {
        return (i < 0 || i >= this->count_) ? nullptr : Slots::Get(slots_[offset_ + i]);
    }
    T* MoveTo(Cursor& cursor, int32 i) {
        int32 n = this->count_;
        if (i >= 0 && i < n) {
            cursor.current = i + 1;
            cursor.next = i + 1 < n ? i + 2 : 0;
            cursor.previous = i;  // handle of i - 1, 0 when i is the first
            return Slots::Get(slots_[offset_ + i]);
        }
        cursor.current = 0;
        if (i >= n) {
            cursor.next = 0;
            cursor.previous = n;
        } else {
            cursor.previous = 0;
            cursor.next = n > 0 ? 1 : 0;
        }
        return nullptr;
    }
    bool Clamp(int32& first, int32& last) const {
        if (this->count_ == 0) return false;
        if (first < 0) first = 0;
        if (first > this->count_ - 1) first = this->count_ - 1;
        if (last < 0) last = 0;
        if (last > this->count_ - 1) last = this->count_ - 1;
        return first < last;
    }

    // Room for n used slots: grows to n + n/2 with a quarter of n in front,
    // shrinks only big arrays that are less than a quarter used, otherwise
    // re-centres the used slots when they would run past the end.
    void ReserveSlots(int32 n) {
        if (n > capacity_ || (n > 500 && n < capacity_ / 4)) {
            int64 capacity = int64(n) + n / 2;
            if (capacity > int64(kAll / int32(sizeof(Slot)))) {
                OutOfMemoryHandler(size_t(capacity > int64(kAll) ? kAll : capacity) * sizeof(Slot));
            }
            Slot* fresh = static_cast<Slot*>(Allocate(size_t(capacity) * sizeof(Slot)));
            int32 offset = n / 4;
            if (this->count_ > 0) {
                memcpy(fresh + offset, slots_ + offset_, this->count_ * sizeof(Slot));
            }
            Free(slots_);
            slots_ = fresh;
            capacity_ = int32(capacity);
            offset_ = offset;
        } else if (offset_ + n > capacity_) {
            int32 offset = (capacity_ - n) / 2;
            memmove(slots_ + offset, slots_ + offset_, this->count_ * sizeof(Slot));
            offset_ = offset;
        }
    }

    T* InsertSlot(int32 i, Slot slot) {
        int32 n = this->count_;
        if (i < 0) i = 0;
        if (i > n) i = n;
        if (n == capacity_) {
            ReserveSlots(n + 1);
            memmove(slots_ + offset_ + i + 1, slots_ + offset_ + i, (n - i) * sizeof(Slot));
        } else if (offset_ > (capacity_ - n) / 2) {
            memmove(slots_ + offset_ - 1, slots_ + offset_, i * sizeof(Slot));
            --offset_;
        } else {
            memmove(slots_ + offset_ + i + 1, slots_ + offset_ + i, (n - i) * sizeof(Slot));
        }
        slots_[offset_ + i] = slot;
        ++this->count_;
        return Slots::Get(slots_[offset_ + i]);
    }

    // Left rotation by k of the used slots, by three reversals.
    void RotateSlots(int32 k) {
        if (k <= 0) return;
        Slot* base = slots_ + offset_;
        Reverse(base, 0, k - 1);
        Reverse(base, k, this->count_ - 1);
        Reverse(base, 0, this->count_ - 1);
    }
    static void Reverse(Slot* base, int32 lo, int32 hi) {
        for (; lo < hi; ++lo, --hi) {
            Slot held = base[lo];
            base[lo] = base[hi];
            base[hi] = held;
        }
    }

    static int CompareSlots(const void* a, const void* b) {
        Slot& left = *const_cast<Slot*>(static_cast<const Slot*>(a));
        Slot& right = *const_cast<Slot*>(static_cast<const Slot*>(b));
        return sortCompare_(*Slots::Get(left), *Slots::Get(right));
    }
    static int (*sortCompare_)(const T&, const T&);

    int32 offset_;
    int32 capacity_;
    Slot* slots_;
};

template <typename T>
int (*Vector<T>::sortCompare_)(const T&, const T&) = nullptr;

#endif  // QUILLPACK_CORE_VECTOR_H
