#include "archive/build/archive_reader.h"

#include <string.h>

#include "archive/lz_codec.h"
#include "core/byte_stream.h"

namespace {

void Fail(Inspection& result, int32_t code) {
    result.code = code;
    result.problem = std::string("corrupt archive, error code ") + std::to_string(code) + ": " +
                     CorruptCodeMeaning(code);
}

}  // namespace

bool MemorySource::SeekTo(int64 position) {
    if (position < 0 || position > int64(bytes_.size())) return false;
    position_ = size_t(position);
    return true;
}

bool MemorySource::ReadExact(void* data, int32 count) {
    if (count < 0) return false;
    size_t n = bytes_.size() - position_;
    if (n > size_t(count)) n = size_t(count);
    memcpy(data, bytes_.data() + position_, n);
    position_ += n;
    return n == size_t(count);
}

Inspection InspectSetup(const std::string& setup, const DiskLoader& loadDisk) {
    Inspection result;
    MemorySource source(setup);
    ByteStream header;
    int32_t code = OpenArchive(source, header, result.head, result.found);
    result.signedImage = result.head.signedImage;
    if (!result.found) {
        result.problem = "no archive is attached";
        return result;
    }
    if (code != CorruptNone) {
        Fail(result, code);
        return result;
    }
    result.manifest.reset(new Manifest);
    Manifest& m = *result.manifest;
    code = ParseManifest(header, m);
    if (code != CorruptNone) {
        Fail(result, code);
        return result;
    }

    // The program image becomes the uninstaller.
    if (m.Has(WithUninstaller)) {
        int32_t imageLength = result.head.offset;
        if (int64_t(imageLength) > int64_t(setup.size())) {
            Fail(result, CorruptUninstallerRead);
            return result;
        }
        if (m.Has(Checksums) && !UninstallerChecksumMatches(setup.data(), imageLength, m.uninstallerChecksum)) {
            Fail(result, CorruptUninstallerChecksum);
            return result;
        }
    }

    // A header length past the end of the archive puts the first part there too.
    int64_t firstLength = result.head.end - result.head.payloadStart - ArchiveTrailerSize;
    if (firstLength < 0) {
        Fail(result, CorruptFirstPart);
        return result;
    }
    std::string payload = setup.substr(size_t(result.head.payloadStart), size_t(firstLength));
    int32_t disk = 1;
    while (int64_t(payload.size()) < m.payloadLength) {
        ++disk;
        std::string part;
        if (!loadDisk || !loadDisk(disk, part)) {
            Fail(result, CorruptPartRead);
            result.problem += " (Disk" + std::to_string(disk) + ".QPK is missing)";
            return result;
        }
        if (part.empty()) {
            result.problem = "The file Disk" + std::to_string(disk) + ".QPK is empty.";
            return result;
        }
        if (payload.size() + part.size() > size_t(ArchiveMaxLength)) {
            Fail(result, CorruptPayloadChecksum);
            return result;
        }
        payload += part;
        result.disksRead = disk - 1;
    }
    result.payloadRead = int64_t(payload.size());
    if (Checksum(payload.data(), int32(payload.size())) != m.payloadChecksum) {
        Fail(result, CorruptPayloadChecksum);
        return result;
    }

    ByteStream records;
    records.Bytes().Assign(payload.data(), int32(payload.size()));
    payload.clear();
    if (m.Has(CompressedPayload) && !DecodeBlock(records.Bytes())) {
        Fail(result, CorruptPayloadDecode);
        return result;
    }
    records.Rewind();
    for (int32_t i = 0; i < m.fileCount; ++i) {
        FileRecord record;
        code = ReadFileRecord(records, m.fileSizes[i], m.Has(Checksums), record);
        if (code != CorruptNone) {
            Fail(result, code);
            return result;
        }
        InspectedFile f;
        f.name.assign(record.name.Text(), size_t(record.name.Length()));
        f.kind = record.kind;
        f.shortcutBits = record.shortcutBits;
        f.data.assign(record.data, size_t(record.size));
        f.checksum = record.checksum;
        f.date = record.date;
        f.shortcutName.assign(record.shortcutName.Text(), size_t(record.shortcutName.Length()));
        result.files.push_back(std::move(f));
    }
    return result;
}
