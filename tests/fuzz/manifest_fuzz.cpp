// Fuzz target for the archive readers. The first byte picks the entry:
//   odd:  the rest is a whole setup program (head, header block, manifest,
//         payload, decompression, file records), as the builder's verify
//         and the installer read it;
//   even: the rest is a 4-byte header length L, L bytes of decoded header
//         block and then a decoded payload, so that the manifest and the
//         record readers are reached without valid checksums.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "archive/build/archive_reader.h"
#include "archive/manifest.h"
#include "core/byte_stream.h"

namespace {

class NullHost : public ManifestHost {
public:
    String WindowsDirectory() override { return "C:\\WINDOWS"; }
    String ProgramFilesFolder() override { return "C:\\Program Files"; }
    String CommonFilesFolder() override { return "C:\\Program Files\\Common Files"; }
    void CreateDirectoryPath(const String&) override {}
    void SetBackgroundTitle(const String&) override {}
    void SetTitleColor(uint32) override {}
    void SetBackgroundColors(uint32, uint32, bool) override {}
    void SetBackgroundBitmap(const String& bitmap) override {
        // Touch every byte so a bad length shows up under the sanitizers.
        volatile uint32 sum = bitmap.Checksum();
        (void)sum;
    }
    void RepaintBackground() override {}
    void CheckUpdateOnly(const String&) override {}
};

void ReadDecoded(const uint8_t* data, size_t size) {
    uint32_t length = 0;
    if (size >= 4) memcpy(&length, data, 4);
    data += size >= 4 ? 4 : size;
    size -= size >= 4 ? 4 : size;
    if (length > size) length = uint32_t(size);

    ByteStream header;
    header.Bytes().Assign(data, int32(length));
    Manifest manifest;
    if (ParseManifest(header, manifest) != CorruptNone) return;
    String product;
    NullHost host;
    DeriveManifestValues(manifest, product, host);

    ByteStream payload;
    payload.Bytes().Assign(data + length, int32(size - length));
    for (int32 i = 0; i < manifest.fileCount; ++i) {
        FileRecord record;
        if (ReadFileRecord(payload, manifest.FileSize(i), manifest.Has(Checksums), record) !=
            CorruptNone) {
            return;
        }
        volatile uint32 sum = Checksum(record.data, record.size);
        (void)sum;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 24)) return 0;
    if (data[0] & 1) {
        std::string setup(reinterpret_cast<const char*>(data + 1), size - 1);
        Inspection result = InspectSetup(setup, nullptr);
        (void)result;
    } else {
        ReadDecoded(data + 1, size - 1);
    }
    return 0;
}
