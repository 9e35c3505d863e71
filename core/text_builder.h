// A text that grows by many appends (the removal record, the shared-file
// list, the problems of thousands of files). String keeps its blocks tight,
// which makes long runs of appends quadratic; this doubles its room instead
// and hands the result over as a String in one piece.
#ifndef QUILLPACK_CORE_TEXT_BUILDER_H
#define QUILLPACK_CORE_TEXT_BUILDER_H

#include "core/string.h"

class TextBuilder {
public:
    TextBuilder() : block_(nullptr), length_(0), room_(0) {}
    ~TextBuilder() { Free(block_); }
    TextBuilder(const TextBuilder&) = delete;
    TextBuilder& operator=(const TextBuilder&) = delete;

    int32 Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    void Clear() { length_ = 0; }

    void AppendBytes(const void* data, int32 count);
    void Append(const char* text);
    void Append(const String& text) { AppendBytes(text.Text(), text.Length()); }
    void Append(char ch) { AppendBytes(&ch, 1); }

    // Moves the text into a String and leaves the builder empty.
    String Take();

private:
    char* block_;
    int32 length_;
    int32 room_;
};

#endif  // QUILLPACK_CORE_TEXT_BUILDER_H
