#include "tools/qpkbuild/disk_files.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "archive/archive.h"
#include "archive/manifest.h"
#include "core/byte_stream.h"
#include "core/checksum.h"

namespace fs = std::filesystem;

namespace {

// The setup program read from its file, for the header only: the payload
// parts are summed in pieces below, whatever their size.
class FileSource : public ArchiveSource {
public:
    FileSource(std::ifstream& in, int64 size) : in_(in), size_(size) {}
    int64 Size() override { return size_; }
    bool SeekTo(int64 position) override {
        if (position < 0 || position > size_) return false;
        in_.clear();
        return bool(in_.seekg(std::streamoff(position)));
    }
    bool ReadExact(void* data, int32 count) override {
        if (count < 0) return false;
        in_.read(static_cast<char*>(data), count);
        return in_.gcount() == count;
    }

private:
    std::ifstream& in_;
    int64 size_;
};

// The archive checksum over parts handed in one after another, as if they
// were joined.
class JoinedChecksum {
public:
    void Add(const char* data, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            word_ |= uint32(uint8_t(data[i])) << (8 * held_);
            if (++held_ == 4) {
                sum_ += word_;
                word_ = 0;
                held_ = 0;
            }
        }
        length_ += int64(count);
    }
    uint32 Value() const {
        if (length_ == 0) return kChecksumSeed;
        uint32 sum = sum_;
        for (int i = 0; i < held_; ++i) sum += uint32(int32(int8_t(uint8_t(word_ >> (8 * i)))));
        return sum + uint32(length_);
    }

private:
    uint32 sum_ = kChecksumSeed;
    uint32 word_ = 0;
    int held_ = 0;
    int64 length_ = 0;
};

// Adds count bytes of in from its current position; false when short.
bool AddFrom(std::ifstream& in, int64 count, JoinedChecksum& sum) {
    std::vector<char> buffer(size_t(1) << 20);
    while (count > 0) {
        std::streamsize n = std::streamsize(count < int64(buffer.size()) ? count : int64(buffer.size()));
        in.read(buffer.data(), n);
        if (in.gcount() != n) return false;
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
    int64 size = int64(fs::file_size(setupPath, ec));
    if (ec) return 0;
    std::ifstream in(setupPath, std::ios::binary);
    if (!in) return 0;
    FileSource source(in, size);
    ByteStream header;
    ArchiveHead head;
    bool found = false;
    if (OpenArchive(source, header, head, found) != CorruptNone || !found) return 0;
    Manifest m;
    if (ParseManifest(header, m) != CorruptNone) return 0;
    int64 first = head.end - head.payloadStart - ArchiveTrailerSize;
    if (first < 0 || first >= m.payloadLength) return 0;

    JoinedChecksum sum;
    if (!source.SeekTo(head.payloadStart) || !AddFrom(in, first, sum)) return 0;
    fs::path directory = fs::path(setupPath).parent_path();
    int64 total = first;
    int32_t disk = 1;
    while (total < m.payloadLength) {
        fs::path part = directory / DiskName(++disk);
        int64 length = fs::is_regular_file(part, ec) ? int64(fs::file_size(part, ec)) : 0;
        if (ec || length < 1 || length > m.payloadLength - total) return 0;
        std::ifstream file(part, std::ios::binary);
        if (!file || !AddFrom(file, length, sum)) return 0;
        total += length;
    }
    return sum.Value() == m.payloadChecksum ? disk - 1 : 0;
}
