// Encode then decode must give the input back, at both levels, and the
// encoder must emit only matches the decoder accepts (a refused match would
// silently drop bytes and fail the comparison).
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/build/lz_encoder.h"
#include "archive/lz_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // The first byte, when present, stretches the input by repeating it, to
    // reach runs and long periodic stretches that small inputs cannot.
    std::vector<uint8_t> input(data, data + size);
    if (size > 1 && data[0] < 16) {
        size_t copies = size_t(data[0]) * 64;
        for (size_t i = 0; i < copies && input.size() < (1u << 20); ++i) {
            input.insert(input.end(), data + 1, data + size);
        }
    }
    for (LzLevel level : {LzLevel::Fast, LzLevel::Max}) {
        std::vector<uint8_t> block = LzEncode(input.data(), input.size(), level);
        char* out = nullptr;
        int32 length = 0;
        if (!DecodeRange(block.data(), int32(block.size()), out, length)) __builtin_trap();
        if (size_t(length) != input.size() ||
            (length > 0 && memcmp(out, input.data(), input.size()) != 0)) {
            __builtin_trap();
        }
        Free(out);
    }
    return 0;
}
