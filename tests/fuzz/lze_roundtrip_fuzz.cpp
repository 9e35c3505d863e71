// Encode then decode with the "lze" method must give the input back, whole
// and through the streaming decoder fed pieces of random sizes. The first
// byte picks the level (bit 0), a window (bits 1-2: 2^10, 2^12, 2^16 or the
// level's own), the branch filter over two touching ranges (bit 3), and
// with its high bits below 4 stretches the input by repeating it, to reach
// runs, long periodic stretches and several blocks.
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/build/lze_encoder.h"
#include "archive/lze_codec.h"
#include "core/memory.h"

namespace {

class Collect : public LzOutput {
public:
    bool Take(const byte* data, size_t length) override {
        out.insert(out.end(), data, data + length);
        return true;
    }
    std::vector<uint8_t> out;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 18)) return 0;
    const uint8_t control = data[0];
    std::vector<uint8_t> input(data + 1, data + size);
    if (size > 1 && (control >> 4) < 4) {
        const size_t copies = size_t(control >> 4) * 256 + 1;
        for (size_t i = 0; i < copies && input.size() < (600u << 10); ++i) input.insert(input.end(), data + 1, data + size);
    }
    LzeOptions options;
    options.level = (control & 1) ? LzeLevel::Max : LzeLevel::Fast;
    static const int windows[4] = {10, 12, 16, 0};
    options.windowLog = windows[(control >> 1) & 3];
    if (control & 8) options.filterRanges = {{input.size() / 4, input.size() / 2}, {input.size() / 2, input.size() * 3 / 4}};
    const std::vector<uint8_t> stream = LzeEncode(input.data(), input.size(), options);

    char* whole = nullptr;
    int32 length = 0;
    if (!LzeDecodeRange(stream.data(), int32(stream.size()), whole, length)) __builtin_trap();
    if (size_t(length) != input.size() || (length > 0 && memcmp(whole, input.data(), input.size()) != 0)) {
        __builtin_trap();
    }
    Free(whole);

    LzeStreamDecoder decoder;
    Collect sink;
    decoder.Start(sink);
    uint32_t seed = uint32_t(size) * 2654435761u;
    bool ok = true;
    for (size_t at = 0; ok && at < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const size_t n = std::min<size_t>(1 + (seed >> 16) % 5000, stream.size() - at);
        ok = decoder.Feed(stream.data() + at, n);
        at += n;
    }
    if (!ok || !decoder.Finish() || sink.out != input) __builtin_trap();
    return 0;
}
