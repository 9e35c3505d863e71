// Fuzz target for the record splitter. The input is a small manifest and a
// decoded payload:
//   byte 0        bit 0: the Checksums flag
//   byte 1        file count N (0 to 255)
//   N x int32     the size table, little-endian
//   the rest      the decoded payload, split into N records
// The sink touches every field of every record it is given and checks the
// splitter's promises: records in order, each name non-empty and contained,
// a known kind, data inside the payload.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "archive/payload.h"
#include "archive/safe_name.h"
#include "core/byte_stream.h"

namespace {

class TouchingSink : public RecordSink {
public:
    TouchingSink(const char* begin, const char* end) : begin_(begin), end_(end) {}

    void BeforeRecord(int32 index, int32 count) override {
        if (index != expected_ || index >= count) __builtin_trap();
    }

    void Store(int32 index, const FileRecord& r) override {
        if (index != expected_++) __builtin_trap();
        if (r.name.IsEmpty() || !IsContainedName(r.name)) __builtin_trap();
        if (r.kind != Normal && r.kind != Shared && r.kind != Font && r.kind != StartupProgram) __builtin_trap();
        if (r.size < 0 || r.size > end_ - begin_) __builtin_trap();
        if (r.size > 0 && (r.data < begin_ || r.data > end_ - r.size)) __builtin_trap();
        uint32 sum = r.name.Checksum() + uint32(r.kind) + uint32(r.shortcutBits) + r.checksum;
        sum += Checksum(r.data, r.size) + r.shortcutName.Checksum();
        const int32 date[6] = {r.date.year, r.date.month, r.date.day, r.date.hour, r.date.minute, r.date.second};
        for (int32 field : date) sum += uint32(field);
        sum_ = sum_ + sum;
    }

private:
    const char* begin_;
    const char* end_;
    int32 expected_ = 0;
    volatile uint32 sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 24)) return 0;
    Manifest manifest;
    manifest.flags = (data[0] & 1) ? Checksums : 0;
    int32 count = data[1];
    data += 2;
    size -= 2;
    if (size < size_t(count) * 4) return 0;
    if (count > 0) {
        manifest.fileSizes = static_cast<int32*>(Allocate(size_t(count) * sizeof(int32)));
        memcpy(manifest.fileSizes, data, size_t(count) * 4);
    }
    manifest.fileCount = count;
    data += size_t(count) * 4;
    size -= size_t(count) * 4;

    ByteStream payload;
    payload.Bytes().Assign(data, int32(size));
    const char* begin = payload.Bytes().Text();
    TouchingSink sink(begin, begin + payload.Bytes().Length());
    int32 code = SplitPayload(payload, manifest, sink);
    if (code != CorruptNone && code != CorruptEmptyName && code != CorruptNegativeData &&
        code != CorruptFileOverrun && code != CorruptFileChecksum && code != CorruptFileKind) {
        __builtin_trap();
    }
    return 0;
}
