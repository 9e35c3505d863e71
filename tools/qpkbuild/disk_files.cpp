#include "tools/qpkbuild/disk_files.h"

#include <filesystem>
#include <vector>

#include "archive/archive.h"
#include "archive/build/archive_reader.h"
#include "archive/manifest.h"
#include "archive/payload.h"
#include "core/byte_stream.h"

namespace fs = std::filesystem;

namespace {

// Adds count bytes of the source from its current position; false when
// short.
bool AddFrom(ArchiveSource& source, int64 count, RunningChecksum& sum) {
    std::vector<char> buffer(size_t(1) << 20);
    while (count > 0) {
        int32 n = int32(count < int64(buffer.size()) ? count : int64(buffer.size()));
        if (!source.ReadExact(buffer.data(), n)) return false;
        sum.Add(buffer.data(), size_t(n));
        count -= n;
    }
    return true;
}

}  // namespace

std::string DiskName(int32_t disk) { return "Disk" + std::to_string(disk) + ".QPK"; }

int32_t OwnedDiskCount(const std::string& setupPath) {
    std::error_code ec;
    if (!fs::is_regular_file(setupPath, ec)) return 0;
    FileArchiveSource source;
    if (!source.Open(setupPath)) return 0;
    ByteStream header;
    ArchiveHead head;
    bool found = false;
    if (OpenArchive(source, header, head, found) != CorruptNone || !found) return 0;
    Manifest m;
    if (ParseManifest(header, m) != CorruptNone) return 0;
    int64 first = head.end - head.payloadStart - ArchiveTrailerSize;
    if (first < 0 || first >= m.payloadLength) return 0;

    RunningChecksum sum;
    if (!source.SeekTo(head.payloadStart) || !AddFrom(source, first, sum)) return 0;
    fs::path directory = fs::path(setupPath).parent_path();
    int64 total = first;
    int32_t disk = 1;
    while (total < m.payloadLength) {
        fs::path part = directory / DiskName(++disk);
        int64 length = fs::is_regular_file(part, ec) ? int64(fs::file_size(part, ec)) : 0;
        if (ec || length < 1 || length > m.payloadLength - total) return 0;
        FileArchiveSource file;
        if (!file.Open(part.string()) || !AddFrom(file, length, sum)) return 0;
        total += length;
    }
    return sum.Value() == m.payloadChecksum ? disk - 1 : 0;
}
