// WriteArchive, the builder that reads files in pieces: the same setup
// program and disk files as BuildArchive with the data in memory, by either
// payload method, and the sources it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/build/archive_writer.h"
#include "archive/lze_codec.h"

namespace fs = std::filesystem;

namespace {

class Scratch {
public:
    Scratch() {
        dir_ = fs::temp_directory_path() / ("qp-writer-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::create_directories(dir_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

private:
    fs::path dir_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

// A product of small files and one larger than the encoder holds at once;
// `onDisk` files keep their data in a file instead of in memory.
std::vector<BuildFile> Product(const Scratch& scratch, size_t bigBytes, std::vector<BuildFile>& onDisk,
                               const std::string& prefix = "") {
    std::mt19937 rng(9);
    std::vector<BuildFile> files(5);
    files[0].name = "readme.txt";
    files[0].data = "Read me.\r\n";
    files[1].name = "bin\\big.dat";
    for (size_t i = 0; i < bigBytes; i += 4096) {
        std::string block(4096, char(rng()));
        for (size_t j = 0; j < 4096; j += 16) block[j] = char(rng());
        files[1].data += block;
    }
    files[1].data += files[1].data.substr(0, 1 << 20);
    files[1].shortcutBits = DesktopShortcut;
    files[1].shortcutName = "Big";
    files[2].name = "empty.ini";
    files[2].kind = Shared;
    files[3].name = "font.ttf";
    files[3].kind = Font;
    files[3].data = std::string(3000, 'f');
    files[3].shortcutName = "Face";
    // An i386 image whose one section, 4 KB at 0x200, is code full of calls.
    std::string& image = files[4].data;
    files[4].name = "bin\\tool.exe";
    image.assign(0x1200, '\0');
    image.replace(0, 2, "MZ");
    image[0x3C] = char(0x80);
    image.replace(0x80, 4, std::string("PE\0\0\x4C\x01\x01\0", 8));
    image[0x98 + 17] = 0x10;  // raw size 0x1000
    image[0x98 + 21] = 0x02;  // raw start 0x200
    image[0x98 + 36] = 0x20;  // code
    for (size_t at = 0x200; at + 5 <= 0x1200; at += 5) {
        image[at] = char(0xE8);
        image[at + 1] = char(rng() % 64);
    }
    onDisk = files;
    for (size_t i = 0; i < onDisk.size(); ++i) {
        if (i == 0) continue;  // one stays in memory
        onDisk[i].source = scratch.Path(prefix + "source" + std::to_string(i));
        onDisk[i].sourceSize = int64_t(onDisk[i].data.size());
        WriteAll(onDisk[i].source, onDisk[i].data);
        onDisk[i].data.clear();
    }
    return files;
}

ArchivePaths PathsIn(const Scratch& scratch) {
    ArchivePaths paths;
    paths.setup = scratch.Path("setup.exe");
    paths.disk = [&scratch](int32_t disk) { return scratch.Path("Disk" + std::to_string(disk) + ".QPK"); };
    paths.scratch = scratch.Path("payload.tmp");
    return paths;
}

TEST(WriteArchive, WritesWhatBuildArchiveBuilds) {
    Scratch scratch;
    std::vector<BuildFile> onDisk;
    // Past the 50 MB the fast encoder holds.
    const std::vector<BuildFile> inMemory = Product(scratch, size_t(56) << 20, onDisk);
    std::vector<BuildFile> smallOnDisk;
    const std::vector<BuildFile> small = Product(scratch, 100000, smallOnDisk, "small-");
    const std::string stub = "MZ" + std::string(1000, 's');
    BuildManifest manifest;
    manifest.productName = "Streamed";
    struct Case {
        const char* name;
        bool compress;
        LzLevel level;
        int64_t firstPartMax, diskMax;
        bool big;
        PayloadCompression method;
    } cases[] = {
        {"fast", true, LzLevel::Fast, -1, -1, false, PayloadCompression::Lz},
        {"fast over disks, past the encoder's window", true, LzLevel::Fast, 1000, 7 << 20, true, PayloadCompression::Lz},
        {"stored over disks", false, LzLevel::Fast, 0, 30000, false, PayloadCompression::Lz},
        {"max", true, LzLevel::Max, 5000, 40000, false, PayloadCompression::Lz},
        {"lze fast", true, LzLevel::Fast, -1, -1, false, PayloadCompression::Lze},
        {"lze max over disks", true, LzLevel::Max, 5000, 40000, false, PayloadCompression::Lze},
    };
    for (const Case& c : cases) {
        BuildOptions options;
        options.compress = c.compress;
        options.method = c.method;
        options.level = c.level;
        options.firstPartMax = c.firstPartMax;
        options.diskMax = c.diskMax;
        ArchivePaths paths = PathsIn(scratch);
        int32_t announced = -1;
        paths.beforeWriting = [&](int32_t disks) {
            announced = disks;
            EXPECT_FALSE(fs::exists(paths.setup)) << c.name << ": told after writing";
        };
        const BuildOutput built = BuildArchive(stub, manifest, c.big ? inMemory : small, options);
        if (c.method == PayloadCompression::Lze) {
            // The payload is an lze stream, and the image's code went through
            // the branch filter: some block is marked so.
            std::string payload = built.setup.substr(0, built.setup.size() - 4);
            int32_t headerLength = 0;
            memcpy(&headerLength, &payload[stub.size() + 4], 4);
            payload = payload.substr(stub.size() + 12 + size_t(headerLength));
            for (const std::string& disk : built.disks) payload += disk;
            const byte* p = reinterpret_cast<const byte*>(payload.data());
            ASSERT_TRUE(IsLzeBlock(p, int32_t(payload.size()))) << c.name;
            bool filtered = false;
            for (size_t at = LzeHeaderSize; at + LzeBlockHeaderSize <= payload.size();) {
                filtered = filtered || (p[at] & LzeFiltered) != 0;
                at += LzeBlockHeaderSize + (size_t(p[at + 4]) | size_t(p[at + 5]) << 8 | size_t(p[at + 6]) << 16);
            }
            EXPECT_TRUE(filtered) << c.name;
        }
        const WrittenArchive written = WriteArchive(stub, manifest, c.big ? onDisk : smallOnDisk, options, paths);
        EXPECT_EQ(announced, int32_t(built.disks.size())) << c.name;
        EXPECT_TRUE(ReadAll(paths.setup) == built.setup) << c.name;
        EXPECT_EQ(written.setupBytes, int64_t(built.setup.size())) << c.name;
        ASSERT_EQ(written.disks, int32_t(built.disks.size())) << c.name;
        for (size_t i = 0; i < built.disks.size(); ++i) {
            EXPECT_TRUE(ReadAll(paths.disk(int32_t(i) + 2)) == built.disks[i]) << c.name << ", disk " << i + 2;
            fs::remove(paths.disk(int32_t(i) + 2));
        }
        EXPECT_FALSE(fs::exists(paths.scratch)) << c.name;
        fs::remove(paths.setup);
    }
}

TEST(WriteArchive, RefusesASourceThatIsMissingOrChangedItsSize) {
    Scratch scratch;
    std::vector<BuildFile> onDisk;
    Product(scratch, 100000, onDisk);
    const std::string stub = "MZ";
    const ArchivePaths paths = PathsIn(scratch);
    BuildOptions options;
    options.level = LzLevel::Fast;
    for (int64_t delta : {-1, 1}) {
        std::vector<BuildFile> files = onDisk;
        files[1].sourceSize += delta;  // the file is one byte longer or shorter than listed
        EXPECT_THROW(WriteArchive(stub, BuildManifest(), files, options, paths), BuildError) << delta;
        EXPECT_FALSE(fs::exists(paths.scratch));
    }
    std::vector<BuildFile> files = onDisk;
    files[3].source = scratch.Path("gone");
    EXPECT_THROW(WriteArchive(stub, BuildManifest(), files, options, paths), BuildError);
    EXPECT_NO_THROW(WriteArchive(stub, BuildManifest(), onDisk, options, paths));  // exactly the size
}

}  // namespace
