// The streaming decoder and the block scanner against the whole-block
// decoder: any bytes (the block magic prepended to half of them), fed in
// chunks of sizes drawn from the input, must succeed or fail as
// DecodeRange does and give the same bytes; the scanner must agree on
// success and count the same length.
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/lz_codec.h"

namespace {

class Collect : public LzOutput {
public:
    bool Take(const byte* data, size_t length) override {
        if (length == 0) __builtin_trap();
        got.insert(got.end(), data, data + length);
        return true;
    }
    std::vector<uint8_t> got;
};

// A small generator seeded from the input, so that a crash replays.
uint32_t Next(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    std::vector<uint8_t> block(data, data + size);
    if (size > 0 && (data[0] & 1)) {
        const uint8_t magic[4] = {0xA1, 0x2B, 0xC7, 0x9E};
        block.insert(block.begin(), magic, magic + 4);
    }
    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 16777619u;
    seed |= 1;

    // Outputs of more than 4 MB (up to 13,108 bytes per input byte) only
    // slow the search down.
    {
        LzBlockScanner probe;
        probe.Start();
        probe.Feed(block.data(), block.size());
        if (probe.Produced() > (uint64_t(4) << 20)) return 0;
    }
    char* out = nullptr;
    int32 length = 0;
    const bool whole = DecodeRange(block.data(), int32(block.size()), out, length);

    LzStreamDecoder decoder;
    Collect collect;
    decoder.Start(collect);
    LzBlockScanner scanner;
    scanner.Start();
    bool streamed = true, scanned = true;
    // Chunks of 1 to 16 bytes, or up to 4 KB, as the input draws them.
    const uint32_t spread = (seed >> 8) % 2 ? 16 : 4096;
    for (size_t at = 0; at < block.size();) {
        size_t n = 1 + Next(seed) % spread;
        if (n > block.size() - at) n = block.size() - at;
        if (streamed) streamed = decoder.Feed(block.data() + at, n);
        if (scanned) scanned = scanner.Feed(block.data() + at, n);
        at += n;
    }
    streamed = streamed && decoder.Finish();
    scanned = scanned && scanner.Finish();

    if (streamed != whole || decoder.Damaged() == whole) __builtin_trap();
    // The scanner has no output limit; below it, it agrees.
    if (scanned != whole && !(scanned && scanner.Produced() > uint64_t(kMaxDecodedLength))) __builtin_trap();
    if (whole) {
        if (collect.got.size() != size_t(length) || scanner.Produced() != uint64_t(length)) __builtin_trap();
        if (length > 0 && memcmp(collect.got.data(), out, size_t(length)) != 0) __builtin_trap();
        Free(out);
    }
    return 0;
}
