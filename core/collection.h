// The one vocabulary of the core containers (List, Stack, Vector and the
// String-keyed HashTable): walking with a cursor, filling and emptying.
// Portable and free of the standard containers: this ships in the setup
// program, so it stays small and allocates through the core allocator.
#ifndef QUILLPACK_CORE_COLLECTION_H
#define QUILLPACK_CORE_COLLECTION_H

#include <stdint.h>
#include <string.h>

#include <new>
#include <type_traits>

#include "core/string.h"

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

#endif  // QUILLPACK_CORE_COLLECTION_H
