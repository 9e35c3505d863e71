// The installer's two passes (CheckPayload, StreamPayload) against the
// whole payload in memory (Checksum, DecodeBlock or LzeDecodeRange by the
// stream's magic, SplitPayload). The input:
//   byte 0        bit 0: Checksums; bit 1: CompressedPayload; bit 2: the
//                 payload is encoded here first (else taken as stored);
//                 bit 3: encoded with the lze method, at the fast level
//   byte 1        file count N (0 to 255)
//   byte 2        hold limit: records above 16 * this arrive in pieces
//   N x int32     the size table, little-endian
//   the rest      the payload
// The payload checksum in the manifest is the true one, so that the checks
// after it are reached. Both must give the same code and the same records,
// except where the streaming split refuses a name longer than it holds.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/build/lz_encoder.h"
#include "archive/build/lze_encoder.h"
#include "archive/lz_codec.h"
#include "archive/lze_codec.h"
#include "archive/payload.h"
#include "core/byte_stream.h"

namespace {

struct Rec {
    std::string name, data, shortcut;
    int32 kind, bits;
    uint32 checksum;
    FileDate date;
    bool operator==(const Rec& o) const {
        return name == o.name && data == o.data && shortcut == o.shortcut && kind == o.kind && bits == o.bits &&
               checksum == o.checksum && memcmp(&date, &o.date, sizeof date) == 0;
    }
};

Rec From(const FileRecord& r, std::string data) {
    return {std::string(r.name.Text(), size_t(r.name.Length())), std::move(data),
            std::string(r.shortcutName.Text(), size_t(r.shortcutName.Length())), r.kind, r.shortcutBits,
            r.checksum, r.date};
}

class WholeSink : public RecordSink {
public:
    void BeforeRecord(int32, int32) override {}
    void Store(int32, const FileRecord& r) override { recs.push_back(From(r, std::string(r.data, size_t(r.size)))); }
    std::vector<Rec> recs;
};

class StreamSink : public RecordStreamSink {
public:
    void BeforeRecord(int32 index, int32) override {
        if (open_ != -1) __builtin_trap();
        before_ = index;
    }
    void BeginData(int32 index, const FileRecord&) override {
        if (open_ != -1 || index != before_) __builtin_trap();
        open_ = index;
        data_.clear();
    }
    void Data(const char* piece, int32 length) override {
        if (open_ == -1 || length <= 0) __builtin_trap();
        data_.append(piece, size_t(length));
    }
    void Discard(int32 index) override {
        if (index != open_) __builtin_trap();
        open_ = -1;
    }
    void Store(int32 index, const FileRecord& r) override {
        if (index != before_) __builtin_trap();
        if (open_ == index) {
            if (r.data || int64_t(data_.size()) != int64_t(r.size)) __builtin_trap();
            recs.push_back(From(r, data_));
            open_ = -1;
        } else {
            if (open_ != -1) __builtin_trap();
            recs.push_back(From(r, std::string(r.data, size_t(r.size))));
        }
    }
    bool Open() const { return open_ != -1; }
    std::vector<Rec> recs;

private:
    int32 open_ = -1, before_ = -1;
    std::string data_;
};

class Source : public PayloadSource {
public:
    Source(const std::string& bytes, uint32_t seed) : bytes_(bytes), seed_(seed | 1) {}
    int32 Read(char* into, int32 room) override {
        seed_ ^= seed_ << 13;
        seed_ ^= seed_ >> 17;
        seed_ ^= seed_ << 5;
        size_t n = 1 + seed_ % ((seed_ >> 20) % 2 ? 9 : 5000);
        n = std::min({n, size_t(room), bytes_.size() - at_});
        memcpy(into, bytes_.data() + at_, n);
        at_ += n;
        return int32(n);
    }

private:
    const std::string& bytes_;
    uint32_t seed_;
    size_t at_ = 0;
};

// A run of text without a NUL longer than the streaming split holds.
bool HasOverlongText(const std::string& s) {
    size_t run = 0;
    for (char c : s) {
        run = c ? run + 1 : 0;
        if (run > size_t(kMaxRecordText)) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > 65536) return 0;
    const uint8_t flags = data[0];
    const int32 count = data[1];
    const int32 hold = 16 * int32(data[2]);
    data += 3;
    size -= 3;
    if (size < size_t(count) * 4) return 0;

    Manifest manifest;
    manifest.flags = ((flags & 1) ? Checksums : 0) | ((flags & 2) ? CompressedPayload : 0);
    manifest.fileSizes = static_cast<int32*>(Allocate(size_t(count > 0 ? count : 1) * sizeof(int32)));
    memcpy(manifest.fileSizes, data, size_t(count) * 4);
    manifest.fileCount = count;
    data += size_t(count) * 4;
    size -= size_t(count) * 4;

    std::string stored(reinterpret_cast<const char*>(data), size);
    if ((flags & 2) && (flags & 4)) {
        std::vector<uint8_t> block;
        if (flags & 8) {
            LzeOptions options;
            options.level = LzeLevel::Fast;
            block = LzeEncode(data, size, options);
        } else {
            block = LzEncode(data, size, LzLevel::Fast);
        }
        stored.assign(block.begin(), block.end());
    }
    manifest.payloadChecksum = Checksum(stored.data(), int32(stored.size()));
    const byte* const storedBytes = reinterpret_cast<const byte*>(stored.data());
    const bool lze = IsLzeBlock(storedBytes, int32(stored.size()));
    if (manifest.Has(CompressedPayload)) {
        // Outputs of more than 4 MB only slow the search down.
        uint64_t produced = 0;
        if (lze) {
            for (int i = 15; i >= 8 && stored.size() >= 16; --i) produced = produced << 8 | storedBytes[i];
        } else {
            LzBlockScanner probe;
            probe.Start();
            probe.Feed(storedBytes, stored.size());
            produced = probe.Produced();
        }
        if (produced > (uint64_t(4) << 20)) return 0;
    }

    // The whole payload in memory.
    int32 wholeCode = CorruptNone;
    WholeSink whole;
    ByteStream payload;
    payload.Bytes().Assign(stored.data(), int32(stored.size()));
    char* decoded = nullptr;
    int32 decodedLength = 0;
    if (manifest.Has(CompressedPayload) &&
        (lze ? !LzeDecodeRange(storedBytes, int32(stored.size()), decoded, decodedLength)
             : !DecodeBlock(payload.Bytes()))) {
        wholeCode = CorruptPayloadDecode;
    } else {
        if (decoded) payload.Bytes().Adopt(decoded, decodedLength);
        payload.Rewind();
        wholeCode = SplitPayload(payload, manifest, whole);
    }

    // The two passes.
    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 16777619u;
    PayloadCheck check;
    Source first(stored, seed);
    int32 streamCode = CheckPayload(first, manifest, check);
    StreamSink streamed;
    if (streamCode == CorruptNone) {
        Source second(stored, seed * 7);
        streamCode = StreamPayload(second, manifest, check, streamed, hold);
        if (streamed.Open()) __builtin_trap();
    }

    if (streamCode == wholeCode && streamed.recs.size() == whole.recs.size()) {
        for (size_t i = 0; i < whole.recs.size(); ++i) {
            if (!(streamed.recs[i] == whole.recs[i])) __builtin_trap();
        }
        return 0;
    }
    // The one difference allowed: a text too long to hold ends the stream
    // with 70 where the whole split took it; what came before is the same.
    if (streamCode != CorruptEmptyName || !HasOverlongText(payload.Bytes().Text() ? std::string(payload.Bytes().Text(), size_t(payload.Bytes().Length())) : std::string())) {
        __builtin_trap();
    }
    if (streamed.recs.size() > whole.recs.size()) __builtin_trap();
    for (size_t i = 0; i < streamed.recs.size(); ++i) {
        if (!(streamed.recs[i] == whole.recs[i])) __builtin_trap();
    }
    return 0;
}
