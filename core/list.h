#ifndef QUILLPACK_CORE_LIST_H
#define QUILLPACK_CORE_LIST_H

#include "core/collection.h"

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

#endif  // QUILLPACK_CORE_LIST_H
