// The builder end to end, through its command line: the sample product is
// built, listed, verified, extracted and compared with its sources; spanned
// over disk files; damaged byte by byte; and bad project files are refused
// with the file and line.
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/archive.h"
#include "archive/build/archive_writer.h"
#include "archive/format.h"
#include "tools/qpkbuild/commands.h"
#include "tools/qpkbuild/project.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = QP_SAMPLE_DIR;

struct Outcome { int code; std::string out, err; };

Outcome Qpkbuild(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = RunQpkbuild(args, "", out, err);
    return {code, out.str(), err.str()};
}

std::string Read(const fs::path& p) {
    std::string bytes;
    EXPECT_TRUE(LoadFileBytes(p.string(), bytes)) << p;
    return bytes;
}

void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class Workspace : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("qpkbuild_" + std::string(info->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        stub = (dir / "stub.exe").string();
        Write(stub, "MZ a stand-in for the installer program");
    }
    void TearDown() override { if (!HasFailure()) fs::remove_all(dir); }

    std::string BuildSample(const std::string& name = "setup.exe") {
        std::string setup = (dir / name).string();
        Outcome r = Qpkbuild({"build", (kSample / "sample.toml").string(), "-o", setup, "--stub", stub});
        EXPECT_EQ(0, r.code) << r.err;
        return setup;
    }

    // A project beside the sample's files, with the given extra text.
    std::string Project(const std::string& text) {
        std::string path = (dir / "project.toml").string();
        Write(path, text);
        return path;
    }

    fs::path dir;
    std::string stub;
};

TEST_F(Workspace, SampleBuildsListsVerifiesAndExtractsToItsSources) {
    std::string setup = BuildSample();
    Outcome verify = Qpkbuild({"verify", setup});
    EXPECT_EQ(0, verify.code) << verify.err;

    Outcome list = Qpkbuild({"list", setup});
    EXPECT_EQ(0, list.code) << list.err;
    for (const char* shown : {"\"Quillpack Sample\"", "WithUninstaller", "CustomColors", "program\\docs\\guide.txt",
                              "[Sample Readme]"}) {
        EXPECT_NE(std::string::npos, list.out.find(shown)) << shown;
    }

    fs::path out = dir / "out";
    Outcome extract = Qpkbuild({"extract", setup, out.string()});
    ASSERT_EQ(0, extract.code) << extract.err;
    const std::pair<const char*, const char*> expected[] = {
        {"readme.txt", "readme.txt"}, {"license.txt", "license.txt"}, {"notes.txt", "program/notes.txt"},
        {"samplelib.txt", "shared/samplelib.txt"}, {"program/notes.txt", "program/notes.txt"},
        {"program/docs/guide.txt", "program/docs/guide.txt"}, {"program/docs/faq.txt", "program/docs/faq.txt"},
        {"program/data/settings.ini", "program/data/settings.ini"},
    };
    for (const auto& [installed, source] : expected) {
        EXPECT_EQ(Read(kSample / source), Read(out / installed)) << installed;
    }
    // Dates: the source's own time, or the one the project gives.
    FileDate extracted, original;
    ASSERT_TRUE(FileModificationDate((out / "readme.txt").string(), extracted));
    ASSERT_TRUE(FileModificationDate((kSample / "readme.txt").string(), original));
    EXPECT_EQ(0, extracted.Compare(original));
    ASSERT_TRUE(FileModificationDate((out / "notes.txt").string(), extracted));
    EXPECT_EQ(0, extracted.Compare(FileDate(2024, 3, 1, 12, 0, 0)));

    // The setup program starts with the stub, and the same inputs give the
    // same bytes.
    std::string bytes = Read(setup);
    EXPECT_EQ(Read(stub), bytes.substr(0, Read(stub).size()));
    EXPECT_EQ(bytes, Read(BuildSample("again.exe")));
}

TEST_F(Workspace, SpannedPayloadVerifiesWithAllDisksOnly) {
    std::string project = Project(
        "[product]\nname = \"Span\"\n"
        "[options]\ncompression = false\nfirst_part_max = 100\ndisk_max = 300\n"
        "[[trees]]\nsource = '" + (kSample / "program").generic_string() + "'\n"
        "[[files]]\nsource = '" + (kSample / "readme.txt").generic_string() + "'\n");
    std::string setup = (dir / "span.exe").string();
    Outcome build = Qpkbuild({"build", project, "-o", setup, "--stub", stub});
    ASSERT_EQ(0, build.code) << build.err;
    ASSERT_TRUE(fs::exists(dir / "Disk2.QPK"));
    ASSERT_TRUE(fs::exists(dir / "Disk3.QPK"));
    EXPECT_EQ(300u, fs::file_size(dir / "Disk2.QPK"));

    Outcome all = Qpkbuild({"verify", setup});
    EXPECT_EQ(0, all.code) << all.err;

    // Disks named on the command line are taken in that order.
    std::vector<std::string> disks = {"verify", setup};
    for (int d = 2; fs::exists(dir / ("Disk" + std::to_string(d) + ".QPK")); ++d) {
        disks.push_back((dir / ("Disk" + std::to_string(d) + ".QPK")).string());
    }
    EXPECT_EQ(0, Qpkbuild(disks).code);
    // The sum of aligned words does not see two equal-sized disks swapped;
    // the file records then catch it.
    std::swap(disks[2], disks[3]);
    EXPECT_NE(0, Qpkbuild(disks).code);

    fs::rename(dir / "Disk3.QPK", dir / "Disk3.bak");
    Outcome missing = Qpkbuild({"verify", setup});
    EXPECT_EQ(CorruptPartRead, missing.code);
    EXPECT_NE(std::string::npos, missing.err.find("Disk3.QPK"));
    Write(dir / "Disk3.QPK", "");
    Outcome empty = Qpkbuild({"verify", setup});
    EXPECT_EQ(1, empty.code);
    EXPECT_NE(std::string::npos, empty.err.find("is empty"));

    // A rebuild without spanning removes the stale disk files.
    fs::rename(dir / "Disk3.bak", dir / "Disk3.QPK");
    Write(project, Read(project).replace(Read(project).find("first_part_max"), 18, "#first_part_ma"));
    ASSERT_EQ(0, Qpkbuild({"build", project, "-o", setup, "--stub", stub}).code);
    EXPECT_FALSE(fs::exists(dir / "Disk2.QPK"));
    EXPECT_FALSE(fs::exists(dir / "Disk3.QPK"));
}

TEST_F(Workspace, SingleDamagedBytesGiveTheInstallersCodes) {
    const std::string setup = BuildSample();
    const std::string good = Read(setup);
    const int32_t offset = int32_t(Read(stub).size());
    int32_t headerLength;
    memcpy(&headerLength, &good[size_t(offset) + 4], 4);
    const size_t payload = size_t(offset) + 12 + size_t(headerLength);
    struct { const char* what; size_t at; int xorWith, code; } cases[] = {
        {"trailer sign", good.size() - 1, 0x80, CorruptArchiveOffset},
        {"magic", size_t(offset), 0x01, CorruptMagic},
        {"header length sign", size_t(offset) + 7, 0x80, CorruptHeaderLength},
        {"key", size_t(offset) + 8, 0x01, CorruptHeaderChecksum},
        {"header block", size_t(offset) + 12 + 20, 0x10, CorruptHeaderChecksum},
        {"program image", 3, 0x01, CorruptUninstallerChecksum},
        {"payload", payload + 40, 0x01, CorruptPayloadChecksum},
        {"last payload byte", good.size() - 5, 0x01, CorruptPayloadChecksum},
    };
    for (const auto& c : cases) {
        std::string bad = good;
        bad[c.at] = char(bad[c.at] ^ c.xorWith);
        Write(setup, bad);
        Outcome r = Qpkbuild({"verify", setup});
        EXPECT_EQ(c.code, r.code) << c.what << ": " << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << c.what;
    }
    Write(setup, good.substr(0, good.size() - 4) + std::string(4, '\0'));
    Outcome none = Qpkbuild({"verify", setup});
    EXPECT_EQ(1, none.code);
    EXPECT_NE(std::string::npos, none.err.find("no archive"));
}

TEST_F(Workspace, BadProjectsAreRefusedWithFileAndLine) {
    const std::string readme = (kSample / "readme.txt").generic_string();
    const std::string file = "[[files]]\nsource = '" + readme + "'\n";
    struct { const char* what; std::string text; const char* message; } cases[] = {
        {"syntax", "[product\nname = 1\n", "project.toml:1"},
        {"unknown key", "[product]\nnmae = \"x\"\n" + file, "project.toml:2: unknown key \"nmae\""},
        {"unknown flag", "[product]\nflags = [\"WithUninstaller\", \"Fast\"]\n" + file,
         "project.toml:2: unknown flag \"Fast\""},
        {"flag owned by options", "[product]\nflags = [\"Checksums\"]\n" + file, "set by [options]"},
        {"wrong type", "[product]\nname = 3\n" + file, "project.toml:2: \"name\" must be a string"},
        {"NUL in a text", "[product]\nname = \"a\\u0000b\"\n" + file, "NUL"},
        {"unknown kind", file + "kind = \"Driver\"\n", "project.toml:3: unknown kind"},
        {"parent component", file + "dest = \"../evil.txt\"\n",
         "project.toml:3: \"dest\": destination name \"../evil.txt\" would leave the folder"},
        {"absolute dest", file + "dest = \"/evil.txt\"\n", "project.toml:3: \"dest\""},
        {"drive dest", file + "dest = \"c:evil.txt\"\n", "project.toml:3: \"dest\""},
        {"empty dest", file + "dest = \"\"\n", "empty"},
        {"font file name", file + "kind = \"Font\"\ndest = \"nul.ttf\"\n", "project.toml:4: \"dest\""},
        {"publisher", "[product]\npublisher = '..\\Windows'\n" + file, "project.toml:2: \"publisher\": the publisher"},
        {"start-menu folder", "[product]\nstart_menu_folder = 'C:\\Startup'\n" + file,
         "project.toml:2: \"start_menu_folder\""},
        {"product name standing in for the start-menu folder", "[product]\nname = 'a\\..\\..\\b'\n" + file,
         "project.toml:2: \"name\""},
        {"shortcut name", file + "desktop = true\nshortcut_name = '..\\..\\Startup\\x'\n",
         "project.toml:4: \"shortcut_name\""},
        {"missing source", "[[files]]\nsource = \"no-such-file.txt\"\n", "no-such-file.txt is missing"},
        {"no files", "[product]\nname = \"x\"\n", "no files"},
        {"shortcut without name", file + "desktop = true\n", "shortcut_name"},
        {"bad colour", "[background]\ntop_color = \"blue\"\nbottom_color = 0\n" + file,
         "project.toml:2: \"top_color\" must be"},
        {"not a bitmap", "[background]\nbitmap = '" + readme + "'\n" + file, "not a .BMP"},
        {"bad level", "[options]\nlevel = \"ultra\"\n" + file, "project.toml:2"},
    };
    for (const auto& c : cases) {
        std::string project = Project(c.text);
        Outcome r = Qpkbuild({"build", project, "-o", (dir / "x.exe").string(), "--stub", stub});
        EXPECT_EQ(1, r.code) << c.what;
        EXPECT_NE(std::string::npos, r.err.find(c.message)) << c.what << ": " << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << c.what << ": " << r.err;
    }
}

// Setup programs the builder would refuse to make, as a damaged or hostile
// one arrives: the second record's name climbs out of the target.
TEST_F(Workspace, ExtractWritesNothingWhenAnyNameIsUnsafe) {
    for (const char* name : {"..\\evil.txt", "sub\\..\\..\\evil.txt", "c:evil.txt", "\\evil.txt"}) {
        std::string records;
        for (const char* n : {"good.txt", name}) {
            records += std::string(n) + '\0' + std::string(8, '\0') + "data";
            uint32_t sum = Checksum("data", 4);
            records.append(reinterpret_cast<const char*>(&sum), 4);
            records += std::string(24 + 1, '\0');  // no date, no shortcut name
        }
        BuildManifest m;
        m.flags = Checksums;
        std::string header =
            SerializeManifest(m, {4, 4}, int32_t(records.size()), Checksum(records.data(), int32(records.size())), 0);
        uint32_t key = Checksum(header.data(), int32(header.size()));
        Scramble(&header[0], int32(header.size()), key);
        std::string setup = (dir / "hostile.exe").string();
        Write(setup, AssembleSetup("MZ", header, key, records));

        fs::path out = dir / "out";
        Outcome r = Qpkbuild({"extract", setup, out.string()});
        EXPECT_EQ(CorruptEmptyName, r.code) << name;
        EXPECT_FALSE(fs::exists(out / "good.txt")) << name;
        EXPECT_FALSE(fs::exists(dir / "evil.txt")) << name;
    }
}

TEST_F(Workspace, CommandLineMistakesAreOneLineErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"frobnicate"}, {"build"}, {"list"}, {"extract", "only-one"}, {"verify", (dir / "missing.exe").string()},
        {"build", (kSample / "sample.toml").string(), "--stub", (dir / "no-stub.exe").string()},
    };
    for (const auto& args : cases) {
        Outcome r = Qpkbuild(args);
        EXPECT_EQ(1, r.code) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    }
}

}  // namespace
