#ifndef QUILLPACK_CORE_STACK_H
#define QUILLPACK_CORE_STACK_H

#include "core/list.h"

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

#endif  // QUILLPACK_CORE_STACK_H
