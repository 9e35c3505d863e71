#include "core/text_builder.h"

#include <string.h>

void TextBuilder::AppendBytes(const void* data, int32 count) {
    if (!data || count <= 0) return;
    if (count > kMaxStringLength - length_) FatalCheck("Core32", 623);
    int32 needed = length_ + count;
    if (needed > room_) {
        int32 room = room_ < 64 ? 64 : room_;
        while (room < needed) room = room > kMaxStringLength / 2 ? kMaxStringLength : room * 2;
        block_ = static_cast<char*>(Reallocate(block_, size_t(room) + 1));
        room_ = room;
    }
    memcpy(block_ + length_, data, size_t(count));
    length_ = needed;
}

void TextBuilder::Append(const char* text) {
    if (text) AppendBytes(text, int32(strlen(text)));
}

String TextBuilder::Take() {
    String result;
    if (length_ > 0) {
        result.Adopt(block_, length_);
    } else {
        Free(block_);
    }
    block_ = nullptr;
    length_ = room_ = 0;
    return result;
}
