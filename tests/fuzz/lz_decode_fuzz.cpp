// Any bytes, decoded as a block: the decoder must neither crash nor touch
// memory outside the block and its output, whatever the opcodes and size
// field say. Inputs without the magic get it prepended half of the time so
// the opcode loop is reached.
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/lz_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::vector<uint8_t> block(data, data + size);
    if (size > 0 && (data[0] & 1)) {
        const uint8_t magic[4] = {0xA1, 0x2B, 0xC7, 0x9E};
        block.insert(block.begin(), magic, magic + 4);
    }
    char* out = nullptr;
    int32 length = 0;
    if (DecodeRange(block.data(), int32(block.size()), out, length)) {
        if (length < 0 || out[length] != '\0') __builtin_trap();
        // Touch every byte so a short allocation shows up.
        [[maybe_unused]] static volatile uint8_t sink;
        uint8_t sum = 0;
        for (int32 i = 0; i < length; ++i) sum += uint8_t(out[i]);
        sink = sum;
        Free(out);
    }
    return 0;
}
