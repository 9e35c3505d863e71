// WriteArchive, the builder that reads files in pieces: the same setup
// program and disk files as BuildArchive with the data in memory, and the
// sources it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/build/archive_writer.h"

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
    std::vector<BuildFile> files(4);
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
    } cases[] = {
        {"fast", true, LzLevel::Fast, -1, -1, false},
        {"fast over disks, past the encoder's window", true, LzLevel::Fast, 1000, 7 << 20, true},
        {"stored over disks", false, LzLevel::Fast, 0, 30000, false},
        {"max", true, LzLevel::Max, 5000, 40000, false},
    };
    for (const Case& c : cases) {
        BuildOptions options;
        options.compress = c.compress;
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
