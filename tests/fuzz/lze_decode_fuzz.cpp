// Arbitrary bytes to the "lze" decoder, whole and in pieces: both must
// refuse or accept alike and give the same bytes, with no read or write
// outside the input, the window or the output. An odd first byte puts a
// valid stream header (window 2^10..2^17, decoded size from the next three
// bytes) in front of the rest, so that block and table parsing is reached.
#include <cstdint>
#include <cstring>
#include <vector>

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
    if (size < 1 || size > (1u << 20)) return 0;
    std::vector<uint8_t> stream;
    size_t skip = 1;
    if ((data[0] & 1) && size >= 4) {
        const uint32_t decoded = uint32_t(data[1]) | uint32_t(data[2]) << 8 | uint32_t(data[3]) << 16;
        const uint8_t header[16] = {0xC4, 0x31, 0x8E, 0x5A, 1, uint8_t(10 + (data[0] >> 1) % 8), 0, 0,
                                    uint8_t(decoded), uint8_t(decoded >> 8), uint8_t(decoded >> 16)};
        stream.assign(header, header + 16);
        skip = 4;
    }
    stream.insert(stream.end(), data + skip, data + size);

    char* whole = nullptr;
    int32 wholeLength = 0;
    const bool wholeOk = LzeDecodeRange(stream.data(), int32(stream.size()), whole, wholeLength);
    if (wholeOk && whole[wholeLength] != 0) __builtin_trap();

    // Streams asking for big windows are left to the whole decoder: their
    // ring would cost the fuzzer a large allocation per input.
    if (stream.size() < 6 || stream[5] <= 20) {
        LzeStreamDecoder decoder(20);
        Collect sink;
        decoder.Start(sink);
        uint32_t seed = data[0];
        bool ok = true;
        for (size_t at = 0; ok && at < stream.size();) {
            seed = seed * 1103515245u + 12345u;
            const size_t n = std::min<size_t>(1 + (seed >> 16) % 300, stream.size() - at);
            const std::vector<uint8_t> piece(stream.begin() + at, stream.begin() + at + n);
            ok = decoder.Feed(piece.data(), piece.size());
            at += n;
        }
        ok = ok && decoder.Finish();
        if (ok != wholeOk) __builtin_trap();
        if (ok && (sink.out.size() != size_t(wholeLength) ||
                   (wholeLength > 0 && memcmp(sink.out.data(), whole, sink.out.size()) != 0))) {
            __builtin_trap();
        }
    }
    Free(whole);
    return 0;
}
