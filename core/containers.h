// The core containers: List, Stack, Vector and the String-keyed HashTable,
// all walked, filled and emptied through the one Collection vocabulary.
// Portable and free of the standard containers: this ships in the setup
// program, so it stays small and allocates through the core allocator.
#ifndef QUILLPACK_CORE_CONTAINERS_H
#define QUILLPACK_CORE_CONTAINERS_H

#include <stdint.h>
#include <string.h>

#include <new>
#include <type_traits>

#include "core/core32.h"

// Element type names for the fatal texts ("Stack<int>::pop"); the shipped
// program has no RTTI to ask.
template <typename T>
struct TypeName {
    static const char* Name() { return "?"; }
};
template <typename T>
struct TypeName<T*> {
    static const char* Name() { return "pointer"; }
};
template <>
struct TypeName<int> {
    static const char* Name() { return "int"; }
};
template <>
struct TypeName<String> {
    static const char* Name() { return "String"; }
};

// Sorts count elements of elementSize bytes in place, ascending by compare.
// Does nothing for a null base or compare or a non-positive count or size.
// Not re-entrant: compare must not sort.
void SortArray(void* base, int32 count, int32 elementSize,
               int (*compare)(const void* a, const void* b));

// Iteration state owned by the caller. The handles are the container's own
// (node addresses, slot numbers); 0 means none in every container, so a
// default-constructed cursor stands before nothing.
struct Cursor {
    intptr_t current;
    intptr_t next;
    intptr_t previous;
    Cursor() : current(0), next(0), previous(0) {}
};

template <typename T>
class Collection {
public:
    Collection() : count_(0) {}
    virtual ~Collection() {}

    int32 Count() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }

    // Element results point at the stored value; null when there is none.
    virtual bool ResetToFront(Cursor& cursor) = 0;
    virtual bool ResetToBack(Cursor& cursor) = 0;
    virtual T* GetFirst(Cursor& cursor) = 0;
    virtual T* GetNext(Cursor& cursor) = 0;
    virtual T* GetLast(Cursor& cursor) = 0;
    virtual T* GetPrevious(Cursor& cursor) = 0;
    virtual T* Front() = 0;
    virtual T* Back() = 0;
    virtual T* Current(const Cursor& cursor) = 0;
    virtual T* PeekNext(const Cursor& cursor) = 0;
    virtual T* PeekPrevious(const Cursor& cursor) = 0;
    virtual T* Append(const T& value) = 0;
    // A copy of *pointer, or a default value for null.
    virtual T* Append(const T* pointer) { return pointer ? Append(*pointer) : Append(T()); }
    virtual void AppendAll(Collection<T>& other);
    virtual T* Prepend(const T& value) = 0;
    virtual T* Prepend(const T* pointer) { return pointer ? Prepend(*pointer) : Prepend(T()); }
    virtual void PrependAll(Collection<T>& other);
    virtual void Clear() = 0;
    // The cursor goes on with the element that followed the removed one.
    virtual bool RemoveCurrent(Cursor& cursor) = 0;
    virtual int32 RemoveFront(int32 n);
    virtual bool RemoveFront() = 0;
    virtual int32 RemoveBack(int32 n);
    virtual bool RemoveBack() = 0;
    // n < 1 clears; otherwise keeps the first n (lists, vectors).
    virtual void Truncate(int32 n);
    // Empty: a default value.
    virtual T PopFront();
    virtual T PopBack();
    virtual T TakeCurrent(Cursor& cursor);
    virtual bool RotateLeft(int32 n) = 0;
    virtual bool RotateRight(int32 n) = 0;

protected:
    int32 count_;
};

template <typename T>
void Collection<T>::AppendAll(Collection<T>& other) {
    // Counted, so appending a collection to itself doubles it once.
    int32 n = other.Count();
    Cursor cursor;
    T* element = other.GetFirst(cursor);
    for (int32 i = 0; i < n && element; ++i) {
        Append(*element);
        element = other.GetNext(cursor);
    }
}

template <typename T>
void Collection<T>::PrependAll(Collection<T>& other) {
    if (&other == this) {
        // Both ways the result is the sequence twice; appending keeps
        // positional cursors on the source valid.
        AppendAll(other);
        return;
    }
    int32 n = other.Count();
    Cursor cursor;
    T* element = other.GetLast(cursor);
    for (int32 i = 0; i < n && element; ++i) {
        Prepend(*element);
        element = other.GetPrevious(cursor);
    }
}

template <typename T>
int32 Collection<T>::RemoveFront(int32 n) {
    int32 removed = 0;
    while (removed < n && RemoveFront()) ++removed;
    return removed;
}

template <typename T>
int32 Collection<T>::RemoveBack(int32 n) {
    int32 removed = 0;
    while (removed < n && RemoveBack()) ++removed;
    return removed;
}

template <typename T>
void Collection<T>::Truncate(int32 n) {
    if (n < 1) {
        Clear();
    } else if (count_ > n) {
        RemoveBack(count_ - n);
    }
}

template <typename T>
T Collection<T>::PopFront() {
    T* element = Front();
    if (!element) return T();
    T value(*element);
    RemoveFront();
    return value;
}

template <typename T>
T Collection<T>::PopBack() {
    T* element = Back();
    if (!element) return T();
    T value(*element);
    RemoveBack();
    return value;
}

template <typename T>
T Collection<T>::TakeCurrent(Cursor& cursor) {
    T* element = Current(cursor);
    if (!element) return T();
    T value(*element);
    RemoveCurrent(cursor);
    return value;
}

// ---------------------------------------------------------------------------
// List: doubly linked, one allocation per element.

template <typename T>
class List : public Collection<T> {
public:
    using Collection<T>::Append;
    using Collection<T>::Prepend;
    using Collection<T>::RemoveFront;
    using Collection<T>::RemoveBack;

    List() : first_(nullptr), last_(nullptr) {}
    List(const List& other) : first_(nullptr), last_(nullptr) { AppendFrom(other); }
    List& operator=(const List& other) {
        if (this != &other) {
            Clear();
            AppendFrom(other);
        }
        return *this;
    }
    ~List() override { Clear(); }

    bool ResetToFront(Cursor& cursor) override {
        Place(cursor, nullptr, nullptr, first_);
        return this->count_ > 0;
    }
    bool ResetToBack(Cursor& cursor) override {
        Place(cursor, nullptr, last_, nullptr);
        return this->count_ > 0;
    }
    T* GetFirst(Cursor& cursor) override { return MoveTo(cursor, first_, true); }
    T* GetNext(Cursor& cursor) override { return MoveTo(cursor, NodeAt(cursor.next), true); }
    T* GetLast(Cursor& cursor) override { return MoveTo(cursor, last_, false); }
    T* GetPrevious(Cursor& cursor) override {
        return MoveTo(cursor, NodeAt(cursor.previous), false);
    }
    T* Front() override { return ValueOf(first_); }
    T* Back() override { return ValueOf(last_); }
    T* Current(const Cursor& cursor) override { return ValueOf(NodeAt(cursor.current)); }
    T* PeekNext(const Cursor& cursor) override { return ValueOf(NodeAt(cursor.next)); }
    T* PeekPrevious(const Cursor& cursor) override { return ValueOf(NodeAt(cursor.previous)); }

    T* Append(const T& value) override {
        Node* node = NewNode(value);
        LinkAfter(last_, node);
        return &node->value;
    }
    T* Prepend(const T& value) override {
        Node* node = NewNode(value);
        LinkBefore(first_, node);
        return &node->value;
    }

    void Clear() override {
        Node* node = first_;
        while (node) {
            Node* next = node->next;
            DeleteNode(node);
            node = next;
        }
        first_ = last_ = nullptr;
        this->count_ = 0;
    }

    bool RemoveCurrent(Cursor& cursor) override {
        Node* node = NodeAt(cursor.current);
        if (!node) return false;
        Place(cursor, nullptr, node->previous, node->next);
        Remove(node);
        return true;
    }
    bool RemoveFront() override { return first_ ? (Remove(first_), true) : false; }
    bool RemoveBack() override { return last_ ? (Remove(last_), true) : false; }

    bool RotateLeft(int32 n) override {
        if (this->count_ < 2 || n == 0) return false;
        int32 steps = n % this->count_;
        if (steps < 0) steps += this->count_;
        for (int32 i = 0; i < steps; ++i) {
            Node* head = first_;
            Unlink(head);
            LinkAfter(last_, head);
        }
        return true;
    }
    bool RotateRight(int32 n) override {
        if (this->count_ < 2 || n == 0) return false;
        int32 steps = n % this->count_;
        if (steps < 0) steps += this->count_;
        for (int32 i = 0; i < steps; ++i) {
            Node* tail = last_;
            Unlink(tail);
            LinkBefore(first_, tail);
        }
        return true;
    }

    // Removes the element at this address, which must be one of this
    // list's elements (as returned by Append, Front, GetNext ...).
    void RemoveElement(T* element) {
        if (element) Remove(reinterpret_cast<Node*>(element));
    }

private:
    // The value comes first so an element's address is its node's address.
    struct Node {
        T value;
        Node* previous;
        Node* next;
        explicit Node(const T& v) : value(v), previous(nullptr), next(nullptr) {}
    };

    static Node* NodeAt(intptr_t handle) { return reinterpret_cast<Node*>(handle); }
    static T* ValueOf(Node* node) { return node ? &node->value : nullptr; }
    static void Place(Cursor& cursor, Node* current, Node* previous, Node* next) {
        cursor.current = reinterpret_cast<intptr_t>(current);
        cursor.previous = reinterpret_cast<intptr_t>(previous);
        cursor.next = reinterpret_cast<intptr_t>(next);
    }
    // Walking off an end leaves the cursor before the first or after the
    // last element, so the walk can turn round.
    T* MoveTo(Cursor& cursor, Node* node, bool forward) {
        if (node) {
            Place(cursor, node, node->previous, node->next);
        } else if (forward) {
            Place(cursor, nullptr, last_, nullptr);
        } else {
            Place(cursor, nullptr, nullptr, first_);
        }
        return ValueOf(node);
    }

    static Node* NewNode(const T& value) { return new (Allocate(sizeof(Node))) Node(value); }
    static void DeleteNode(Node* node) {
        node->~Node();
        Free(node);
    }

    void LinkAfter(Node* anchor, Node* node) {
        node->previous = anchor;
        node->next = anchor ? anchor->next : first_;
        if (node->next) {
            node->next->previous = node;
        } else {
            last_ = node;
        }
        if (anchor) {
            anchor->next = node;
        } else {
            first_ = node;
        }
        ++this->count_;
    }
    void LinkBefore(Node* anchor, Node* node) {
        if (anchor) {
            LinkAfter(anchor->previous, node);
        } else {
            LinkAfter(last_, node);
        }
    }
    void Unlink(Node* node) {
        if (node->previous) {
            node->previous->next = node->next;
        } else {
            first_ = node->next;
        }
        if (node->next) {
            node->next->previous = node->previous;
        } else {
            last_ = node->previous;
        }
        node->previous = node->next = nullptr;
        --this->count_;
    }
    void Remove(Node* node) {
        Unlink(node);
        DeleteNode(node);
    }
    void AppendFrom(const List& other) {
        for (Node* node = other.first_; node; node = node->next) Append(node->value);
    }

    Node* first_;
    Node* last_;
};

// ---------------------------------------------------------------------------
// Stack: a List used from its back.

template <typename T>
class Stack : public List<T> {
public:
    void Push(const T& value) { this->Append(&value); }
    T Pop() {
        if (this->count_ == 0) FatalError("Stack<%s>::pop", TypeName<T>::Name());
        return this->PopBack();
    }
    T* Top() { return this->Back(); }
    // Keeps the top n, the most recently pushed.
    void Truncate(int32 n) override {
        if (n < 1) {
            this->Clear();
        } else if (this->count_ > n) {
            this->RemoveFront(this->count_ - n);
        }
    }
};

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
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

#endif  // QUILLPACK_CORE_CONTAINERS_H
