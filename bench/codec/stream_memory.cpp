// Peak memory of the bounded-memory paths, to be read with /usr/bin/time -v:
//
//   stream_memory make DIR MB         generates a product of MB megabytes in DIR/files
//   stream_memory build DIR [--whole] [--stored] [--disk MB]
//                                     packs DIR/files into DIR/setup.exe at the fast level with
//                                     WriteArchive (--whole: BuildArchive with every file in memory,
//                                     as before; --stored: no compression; --disk: disk files of MB)
//   stream_memory install DIR [--whole]
//                                     reads DIR/setup.exe (and its disk files) the way the installer
//                                     does: CheckPayload then StreamPayload, records counted but not
//                                     written (--whole: the payload gathered, decoded and split in memory)
//
// The product: files of a few bytes to 64 MB cut from the build machine's
// mingw-w64 headers, libraries and DLLs, each with a few bytes changed so
// that files differ.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/build/archive_writer.h"
#include "archive/lz_codec.h"
#include "archive/payload.h"
#include "core/byte_stream.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Up to 64 MB of the toolchain's files, the material the product is cut from.
std::string Material() {
    std::string m;
    for (const char* root : {"/usr/i686-w64-mingw32/include", "/usr/i686-w64-mingw32/lib"}) {
        std::vector<std::string> paths;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(root, ec)) {
            if (e.is_regular_file()) paths.push_back(e.path().string());
        }
        std::sort(paths.begin(), paths.end());
        for (const std::string& p : paths) {
            if (m.size() >= (size_t(64) << 20)) break;
            m += ReadAll(p);
        }
    }
    if (m.empty()) m = std::string(size_t(1) << 20, 'x');
    return m;
}

int Make(const std::string& dir, long megabytes) {
    std::string material = Material();
    std::mt19937 rng(1);
    uint64_t left = uint64_t(megabytes) << 20;
    int count = 0;
    fs::create_directories(fs::path(dir) / "files");
    while (left > 0) {
        // Mostly small files, now and then a large one.
        uint64_t size = rng() % 100 == 0 ? (uint64_t(1) << 20) * (1 + rng() % 64) : 1 + rng() % 200000;
        size = std::min(size, left);
        std::string data;
        while (data.size() < size) {
            size_t from = rng() % material.size();
            data.append(material, from, std::min<size_t>(size - data.size(), material.size() - from));
        }
        for (int i = 0; i < 8; ++i) data[rng() % data.size()] = char(rng());
        fs::path path = fs::path(dir) / "files" / ("d" + std::to_string(count / 100)) / ("f" + std::to_string(count) + ".bin");
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
        left -= size;
        ++count;
    }
    printf("%d files, %ld MB in %s/files\n", count, megabytes, dir.c_str());
    return 0;
}

std::vector<BuildFile> Files(const std::string& dir, bool load) {
    std::vector<BuildFile> files;
    fs::path root = fs::path(dir) / "files";
    std::vector<fs::path> paths;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) paths.push_back(e.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& p : paths) {
        BuildFile f;
        f.name = fs::relative(p, root).string();
        std::replace(f.name.begin(), f.name.end(), '/', '\\');
        if (load) {
            f.data = ReadAll(p.string());
        } else {
            f.source = p.string();
            f.sourceSize = int64_t(fs::file_size(p));
        }
        files.push_back(std::move(f));
    }
    return files;
}

std::string DiskPath(const std::string& dir, int32_t disk) {
    return (fs::path(dir) / ("Disk" + std::to_string(disk) + ".QPK")).string();
}

int Build(const std::string& dir, bool whole, bool stored, long diskMegabytes) {
    BuildManifest manifest;
    manifest.productName = "Large";
    BuildOptions options;
    options.compress = !stored;
    options.level = LzLevel::Fast;
    if (diskMegabytes > 0) options.firstPartMax = options.diskMax = int64_t(diskMegabytes) << 20;
    const std::string stub = "MZ" + std::string(4094, '\0');
    // Disk files of an earlier build would be counted, and read, as this one's.
    for (int32_t disk = 2; fs::exists(DiskPath(dir, disk)); ++disk) fs::remove(DiskPath(dir, disk));
    auto start = std::chrono::steady_clock::now();
    std::string setup = (fs::path(dir) / "setup.exe").string();
    uint64_t in = 0;
    if (whole) {
        std::vector<BuildFile> files = Files(dir, true);
        for (const BuildFile& f : files) in += f.data.size();
        BuildOutput built = BuildArchive(stub, manifest, files, options);
        std::ofstream(setup, std::ios::binary).write(built.setup.data(), std::streamsize(built.setup.size()));
        for (size_t i = 0; i < built.disks.size(); ++i) {
            std::ofstream(DiskPath(dir, int32_t(i) + 2), std::ios::binary)
                .write(built.disks[i].data(), std::streamsize(built.disks[i].size()));
        }
    } else {
        ArchivePaths paths;
        paths.setup = setup;
        paths.disk = [&](int32_t disk) { return DiskPath(dir, disk); };
        paths.scratch = setup + ".payload";
        WrittenArchive written = WriteArchive(stub, manifest, Files(dir, false), options, paths);
        in = written.dataBytes;
    }
    uint64_t out = fs::file_size(setup);
    for (int32_t disk = 2; fs::exists(DiskPath(dir, disk)); ++disk) out += fs::file_size(DiskPath(dir, disk));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("%s: %.1f MB in, %.1f MB out, %.1f s (%.0f MB/s)\n", whole ? "BuildArchive" : "WriteArchive",
           in / 1048576.0, out / 1048576.0, seconds, in / 1048576.0 / seconds);
    return 0;
}

class FileSource : public ArchiveSource {
public:
    explicit FileSource(const std::string& path) : in_(path, std::ios::binary) {}
    int64 Size() override {
        in_.clear();
        in_.seekg(0, std::ios::end);
        return int64(in_.tellg());
    }
    bool SeekTo(int64 position) override {
        in_.clear();
        in_.seekg(position);
        return bool(in_);
    }
    bool ReadExact(void* data, int32 count) override {
        in_.read(static_cast<char*>(data), count);
        return in_.gcount() == count;
    }
    std::ifstream& Stream() { return in_; }

private:
    std::ifstream in_;
};

// The payload's parts as the installer reads them: the setup program from
// the first part to the trailer, then each disk file whole, until the
// payload length is reached at the end of a part.
class Parts : public PayloadSource {
public:
    Parts(const std::string& dir, int64 firstStart, int64 firstLength, int64 payloadLength)
        : dir_(dir), firstStart_(firstStart), firstLength_(firstLength), payloadLength_(payloadLength) {
        Open();
    }
    int32 Read(char* into, int32 room) override {
        while (left_ == 0) {
            if (received_ >= payloadLength_) return 0;
            ++disk_;
            in_.close();
            in_.clear();
            in_.open(DiskPath(dir_, disk_), std::ios::binary);
            if (!in_) return -1;
            in_.seekg(0, std::ios::end);
            left_ = int64(in_.tellg());
            in_.seekg(0);
            if (left_ == 0) return -1;
        }
        int32 n = int32(std::min<int64>(room, left_));
        in_.read(into, n);
        if (in_.gcount() != n) return -1;
        left_ -= n;
        received_ += n;
        return n;
    }

private:
    void Open() {
        in_.open((fs::path(dir_) / "setup.exe").string(), std::ios::binary);
        in_.seekg(firstStart_);
        left_ = firstLength_;
    }
    std::string dir_;
    int64 firstStart_, firstLength_, payloadLength_;
    std::ifstream in_;
    int32 disk_ = 1;
    int64 left_ = 0, received_ = 0;
};

class Counter : public RecordStreamSink {
public:
    void BeforeRecord(int32, int32) override {}
    void Store(int32, const FileRecord& record) override {
        ++records;
        bytes += uint64_t(record.size);
    }
    void BeginData(int32, const FileRecord&) override {}
    void Data(const char*, int32) override {}
    void Discard(int32) override {}
    uint64_t records = 0, bytes = 0;
};

int Install(const std::string& dir, bool whole) {
    FileSource source((fs::path(dir) / "setup.exe").string());
    ByteStream header;
    ArchiveHead head;
    bool found = false;
    int32 code = OpenArchive(source, header, head, found);
    if (!found || code != CorruptNone) {
        printf("no sound archive: %d\n", int(code));
        return 1;
    }
    Manifest m;
    code = ParseManifest(header, m);
    if (code != CorruptNone) {
        printf("manifest: code %d\n", int(code));
        return 1;
    }
    const int64 firstLength = head.end - head.payloadStart - ArchiveTrailerSize;
    auto start = std::chrono::steady_clock::now();
    Counter counter;
    if (whole) {
        // The installer as it was: every part appended to one buffer.
        Parts parts(dir, head.payloadStart, firstLength, m.payloadLength);
        ByteStream payload;
        std::vector<char> chunk(size_t(1) << 20);
        for (;;) {
            int32 n = parts.Read(chunk.data(), int32(chunk.size()));
            if (n <= 0) break;
            payload.Bytes().AppendBytes(chunk.data(), n);
        }
        if (payload.Bytes().Checksum() != m.payloadChecksum) code = CorruptPayloadChecksum;
        if (!code && m.Has(CompressedPayload) && !DecodeBlock(payload.Bytes())) code = CorruptPayloadDecode;
        payload.Rewind();
        if (!code) code = SplitPayload(payload, m, counter);
    } else {
        PayloadCheck check;
        Parts first(dir, head.payloadStart, firstLength, m.payloadLength);
        code = CheckPayload(first, m, check);
        if (!code) {
            Parts second(dir, head.payloadStart, firstLength, m.payloadLength);
            code = StreamPayload(second, m, check, counter);
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("%s: code %d, %llu records, %.1f MB of data, %.1f s\n", whole ? "whole payload" : "two passes",
           int(code), static_cast<unsigned long long>(counter.records), counter.bytes / 1048576.0, seconds);
    return code ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: stream_memory make DIR MB | build DIR [--whole] [--stored] [--disk MB] | install DIR [--whole]\n");
        return 2;
    }
    std::string verb = argv[1], dir = argv[2];
    bool whole = false, stored = false;
    long disk = 0;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--whole") == 0) whole = true;
        if (strcmp(argv[i], "--stored") == 0) stored = true;
        if (strcmp(argv[i], "--disk") == 0 && i + 1 < argc) disk = atol(argv[++i]);
    }
    try {
        if (verb == "make" && argc >= 4) return Make(dir, atol(argv[3]));
        if (verb == "build") return Build(dir, whole, stored, disk);
        if (verb == "install") return Install(dir, whole);
    } catch (const std::exception& e) {
        fprintf(stderr, "stream_memory: %s\n", e.what());
        return 1;
    }
    fprintf(stderr, "stream_memory: unknown command %s\n", verb.c_str());
    return 2;
}
