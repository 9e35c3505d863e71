// The builder end to end, through its command line: the sample product is
// built, listed, verified, extracted and compared with its sources; spanned
// over disk files, which are told apart from another setup's; damaged byte
// by byte; bad project files are refused with the file, line and key; help,
// new projects, reproducible dates, the stub by architecture and its
// checksum, signing with hostile names, the progress line and the
// package-manager manifests.
#include <gtest/gtest.h>

#include <string.h>
#include <sys/stat.h>
#include <time.h>
#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "archive/archive.h"
#include "archive/build/archive_reader.h"
#include "archive/build/archive_writer.h"
#include "archive/format.h"
#include "archive/lz_codec.h"
#include "archive/pe_image.h"
#include "tests/archive/signing_support.h"
#include "tools/qpkbuild/commands.h"
#include "tools/qpkbuild/package_manifests.h"
#include "tools/qpkbuild/project.h"
#include "tools/qpkbuild/sha256.h"

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

void PutInt(std::string& out, int32_t value) {
    for (int i = 0; i < 4; ++i) out += char(uint32_t(value) >> (8 * i));
}

// A program image for the machine, with the CheckSum a linker writes.
std::string PeStub(int32_t machine, size_t length = 4096) {
    std::string image = signing::Stub(length);
    image[signing::kLfanew + 4] = char(machine);
    image[signing::kLfanew + 5] = char(machine >> 8);
    return image;
}

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
    std::string Project(const std::string& text, const std::string& name = "project.toml") {
        std::string path = (dir / name).string();
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

// Every file with its date from setups of either method at either level;
// "lz" named or left out gives the same bytes.
TEST_F(Workspace, LzeSetupsListVerifyAndExtractTheSameFiles) {
    const fs::path sample = dir / "sample";
    fs::copy(kSample, sample, fs::copy_options::recursive);
    const std::string text = Read(sample / "sample.toml");
    const std::string given = "compression = true\nlevel = \"max\"\n";
    const size_t at = text.find(given);
    ASSERT_NE(std::string::npos, at);
    auto build = [&](const std::string& options, const std::string& name) {
        std::string project = (sample / (name + ".toml")).string();
        Write(project, text.substr(0, at) + options + text.substr(at + given.size()));
        std::string setup = (dir / (name + ".exe")).string();
        Outcome r = Qpkbuild({"build", project, "-o", setup, "--stub", stub});
        EXPECT_EQ(0, r.code) << name << ": " << r.err;
        return setup;
    };
    // Each extracted file's bytes and date, by name.
    auto extract = [&](const std::string& setup) {
        fs::path out = dir / (fs::path(setup).stem().string() + "-files");
        Outcome r = Qpkbuild({"extract", setup, out.string()});
        EXPECT_EQ(0, r.code) << setup << ": " << r.err;
        std::map<std::string, std::pair<std::string, std::string>> files;
        for (const auto& e : fs::recursive_directory_iterator(out)) {
            if (!e.is_regular_file()) continue;
            FileDate date;
            EXPECT_TRUE(FileModificationDate(e.path().string(), date));
            char shown[64];
            snprintf(shown, sizeof shown, "%d-%d-%d %d:%d:%d", date.year, date.month, date.day, date.hour,
                     date.minute, date.second);
            files[e.path().lexically_relative(out).generic_string()] = {Read(e.path()), shown};
        }
        return files;
    };

    const std::string lz = build(given, "lz");
    EXPECT_EQ(Read(lz), Read(build("method = \"lz\"\n" + given, "lz-named")));
    const auto expected = extract(lz);
    ASSERT_EQ(8u, expected.size());
    EXPECT_EQ(Read(kSample / "program" / "docs" / "guide.txt"), expected.at("program/docs/guide.txt").first);
    EXPECT_NE(std::string::npos, Qpkbuild({"list", lz}).out.find("\nmethod:            lz\n"));

    for (const char* level : {"max", "fast"}) {
        const std::string setup = build(std::string("method = \"lze\"\ncompression = true\nlevel = \"") + level + "\"\n",
                                        std::string("lze-") + level);
        Outcome verify = Qpkbuild({"verify", setup});
        EXPECT_EQ(0, verify.code) << level << ": " << verify.err;
        Outcome list = Qpkbuild({"list", setup});
        EXPECT_EQ(0, list.code) << level << ": " << list.err;
        EXPECT_NE(std::string::npos, list.out.find("\nmethod:            lze\n")) << list.out;
        EXPECT_EQ(expected, extract(setup)) << level;
    }

    // Without compression the method is not used, and the list says so.
    const std::string stored = build("compression = false\nmethod = \"lze\"\n", "stored");
    EXPECT_NE(std::string::npos, Qpkbuild({"list", stored}).out.find("\nmethod:            none (stored)\n"));
    EXPECT_EQ(expected, extract(stored));
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

TEST_F(Workspace, BadProjectsAreRefusedWithFileLineKeyAndWhatWasExpected) {
    const std::string readme = (kSample / "readme.txt").generic_string();
    const std::string file = "[[files]]\nsource = '" + readme + "'\n";
    struct { const char* what; std::string text; const char* where; const char* message; } cases[] = {
        {"syntax", "[product\nname = 1\n", "project.toml:1: ", ""},
        {"unknown key", "[product]\nnmae = \"x\"\n" + file, "project.toml:2: product.nmae: ", "expected one of name, publisher"},
        {"unknown flag", "[product]\nflags = [\"WithUninstaller\", \"Fast\"]\n" + file,
         "project.toml:2: product.flags[1]: ", "unknown flag \"Fast\"; expected one of MustUninstallFirst"},
        {"flag owned by options", "[product]\nflags = [\"Checksums\"]\n" + file, "project.toml:2: product.flags[0]: ", "set by [options]"},
        {"flag not named", "[product]\nflags = [1]\n" + file, "project.toml:2: product.flags[0]: ", "expected a flag name"},
        {"flags not a list", "[product]\nflags = \"Automatic\"\n" + file, "project.toml:2: product.flags: ", "expected a list"},
        {"wrong type", "[product]\nname = 3\n" + file, "project.toml:2: product.name: ", "expected a string, found an integer"},
        {"NUL in a text", "[product]\nname = \"a\\u0000b\"\n" + file, "project.toml:2: product.name: ", "NUL"},
        {"table expected", "product = 1\n" + file, "project.toml:1: product: ", "expected a table ([product])"},
        {"date with offset", "[product]\nuninstaller_date = 2024-01-01T00:00:00Z\n" + file,
         "project.toml:2: product.uninstaller_date: ", "expected a local time"},
        {"date as text", file + "date = \"yesterday\"\n", "project.toml:3: files[0].date: ", "expected a local date-time"},
        {"required product alone", "[product]\nrequired_product = \"x\"\n" + file,
         "project.toml:2: product.required_product: ", "expected \"UpdateOnly\""},
        {"unknown kind", file + file + "kind = \"Driver\"\n", "project.toml:5: files[1].kind: ",
         "unknown kind \"Driver\"; expected one of Normal, Shared, Font, StartupProgram"},
        {"boolean expected", file + "desktop = 1\n", "project.toml:3: files[0].desktop: ", "expected true or false"},
        {"parent component", file + "dest = \"../evil.txt\"\n", "project.toml:3: files[0].dest: ",
         "destination name \"../evil.txt\" would leave the folder"},
        {"absolute dest", file + "dest = \"/evil.txt\"\n", "project.toml:3: files[0].dest: ", "expected a relative file name"},
        {"drive dest", file + "dest = \"c:evil.txt\"\n", "project.toml:3: files[0].dest: ", "expected a relative file name"},
        {"empty dest", file + "dest = \"\"\n", "project.toml:3: files[0].dest: ", "empty"},
        {"font file name", file + "kind = \"Font\"\ndest = \"nul.ttf\"\n", "project.toml:4: files[0].dest: ", "NUL"},
        {"publisher", "[product]\npublisher = '..\\Windows'\n" + file, "project.toml:2: product.publisher: ",
         "expected a name that stays inside"},
        {"start-menu folder", "[product]\nstart_menu_folder = 'C:\\Startup'\n" + file,
         "project.toml:2: product.start_menu_folder: ", "would leave"},
        {"product name standing in for the start-menu folder", "[product]\nname = 'a\\..\\..\\b'\n" + file,
         "project.toml:2: product.name: ", "would leave"},
        {"shortcut name", file + "desktop = true\nshortcut_name = '..\\..\\Startup\\x'\n",
         "project.toml:4: files[0].shortcut_name: ", "would leave"},
        {"shortcut without name", file + "start_menu = true\n", "project.toml:3: files[0].shortcut_name: ",
         "missing; expected the shortcut's name"},
        {"file without source", "[[files]]\ndest = \"x.txt\"\n", "project.toml:1: files[0].source: ", "missing; expected"},
        {"missing source", "[[files]]\nsource = \"no-such-file.txt\"\n", "project.toml:2: files[0].source: ",
         "no-such-file.txt is missing or not a file; expected a file"},
        {"files not tables", "files = [1]\n", "project.toml:1: files[0]: ", "expected a table ([[files]])"},
        {"missing tree", "[[trees]]\nsource = \"no-such-folder\"\n", "project.toml:2: trees[0].source: ",
         "no-such-folder is missing or not a folder"},
        {"no files", "[product]\nname = \"x\"\n", "project.toml: files: ", "expected at least one [[files]] or [[trees]]"},
        {"unreadable text file", "[texts]\nlicense_file = \"no-license.txt\"\n" + file,
         "project.toml:2: texts.license_file: ", "no-license.txt: no such file; expected a readable file"},
        {"text and text file", "[texts]\nlicense = \"x\"\nlicense_file = '" + readme + "'\n" + file,
         "project.toml:3: texts.license_file: ", "expected either texts.license or texts.license_file"},
        {"bad colour", "[background]\ntop_color = \"blue\"\nbottom_color = 0\n" + file,
         "project.toml:2: background.top_color: ", "expected \"#RRGGBB\" or an integer"},
        {"colour one past the range", "[background]\ntitle_color = 0x1000000\n" + file,
         "project.toml:2: background.title_color: ", "out of range"},
        {"one colour of two", "[background]\ntop_color = 0\n" + file, "project.toml:2: background.bottom_color: ",
         "missing; expected together with background.top_color"},
        {"not a bitmap", "[background]\nbitmap = '" + readme + "'\n" + file, "project.toml:2: background.bitmap: ",
         "is not a .BMP file; expected"},
        {"bad level", "[options]\nlevel = \"ultra\"\n" + file, "project.toml:2: options.level: ", "expected \"fast\" or \"max\""},
        {"unknown method", "[options]\nmethod = \"LZE\"\n" + file, "project.toml:2: options.method: ",
         "\"LZE\" is no compression method; expected \"lz\" or \"lze\""},
        {"first part one short", "[options]\nfirst_part_max = -1\n" + file, "project.toml:2: options.first_part_max: ",
         "expected 0 or more"},
        {"disk one short", "[options]\ndisk_max = 0\n" + file, "project.toml:2: options.disk_max: ", "expected 1 or more"},
        {"sign without {file}", "[options]\nsign = \"signtool sign\"\n" + file, "project.toml:2: options.sign: ",
         "expected {file}"},
        {"unknown architecture", "[options]\narch = \"x86-64\"\n" + file, "project.toml:2: options.arch: ",
         "\"x86-64\" is no architecture; expected \"x86\" (quillpack.exe) or \"x64\" (quillpack64.exe)"},
        {"registry key ending in a backslash", "[product]\nregistry_key = 'Acme\\Tool\\'\n" + file,
         "project.toml:2: product.registry_key: ", "\"Acme\\Tool\\\" ends in a backslash; expected key names"},
        {"registry key with an empty name", "[product]\nregistry_key = 'Acme\\\\Tool'\n" + file,
         "project.toml:2: product.registry_key: ", "holds an empty key name"},
        {"manifests without an identifier", "[manifests]\nurl = 'https://x.example/x.exe'\n" + file,
         "project.toml:1: manifests.identifier: ", "missing; expected a package identifier"},
    };
    for (const auto& c : cases) {
        std::string project = Project(c.text);
        Outcome r = Qpkbuild({"build", project, "-o", (dir / "x.exe").string(), "--stub", stub});
        EXPECT_EQ(1, r.code) << c.what;
        EXPECT_NE(std::string::npos, r.err.find(project + (c.where + strlen("project.toml")))) << c.what << ": " << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.message)) << c.what << ": " << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << c.what << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "x.exe")) << c.what;
    }
}

// The ranges' other sides: exactly enough is taken.
TEST_F(Workspace, RangeEdgesThatAreAccepted) {
    const std::string file = "[[files]]\nsource = '" + (kSample / "readme.txt").generic_string() + "'\n";
    ::Project p = LoadProject(Project("[options]\nfirst_part_max = 0\ndisk_max = 1\n"
                                      "[background]\ntitle_color = 0xFFFFFF\n" + file));
    EXPECT_EQ(0, p.options.firstPartMax);
    EXPECT_EQ(1, p.options.diskMax);
    EXPECT_EQ(0xFFFFFFu, p.manifest.titleColor);
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
        {"build", (kSample / "sample.toml").string(), "--stub"},
        {"build", (kSample / "sample.toml").string(), "--frobnicate"},
        {"build", (kSample / "sample.toml").string(), "second.toml"},
        {"build", (dir / "no-project.toml").string()},
        {"build", (kSample / "sample.toml").string(), "--sign", "signtool sign"},
        {"new"}, {"list", "a.exe", "b.exe"},
    };
    for (const auto& args : cases) {
        Outcome r = Qpkbuild(args);
        EXPECT_EQ(1, r.code) << (args.empty() ? "(none)" : args.back());
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    }
}

// Every option the parser takes, per command; the help must show each on
// one line of its own.
TEST(Help, ListsEveryCommandAndOptionOnOneLineEach) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"build", {"-o, --output OUT", "--stub PATH", "--sign COMMAND", "--manifests DIR", "--help, -h"}},
        {"new", {"--help, -h"}}, {"list", {"--help, -h"}}, {"verify", {"--help, -h"}}, {"extract", {"--help, -h"}},
    };
    auto lines = [](const std::string& text, const std::string& start) {
        int n = 0;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) n += line.compare(0, start.size(), start) == 0;
        return n;
    };
    for (const char* ask : {"--help", "-h", "help"}) {
        Outcome all = Qpkbuild({ask});
        EXPECT_EQ(0, all.code) << ask;
        EXPECT_EQ("", all.err) << ask;
        for (const auto& [command, options] : commands) {
            EXPECT_EQ(1, lines(all.out, "qpkbuild " + command + " ")) << ask << " " << command;
        }
        EXPECT_EQ(5, lines(all.out, "    --help, -h ")) << ask;
        EXPECT_EQ(1, lines(all.out, "    --sign COMMAND ")) << ask;
    }
    for (const auto& [command, options] : commands) {
        for (const std::vector<std::string>& ask : {std::vector<std::string>{command, "--help"},
                                                    {command, "-h"}, {"help", command}, {command, "x", "--help"}}) {
            Outcome one = Qpkbuild(ask);
            EXPECT_EQ(0, one.code) << command;
            EXPECT_EQ(0u, one.out.find("usage: qpkbuild " + command + " ")) << one.out;
            for (const std::string& option : options) {
                EXPECT_EQ(1, lines(one.out, "    " + option + " ")) << command << " " << option;
            }
            EXPECT_EQ(int(options.size()), lines(one.out, "    -")) << one.out;
        }
    }
}

TEST_F(Workspace, NewProjectBuildsAsItStands) {
    fs::path project = dir / "Fresh Start";
    Outcome made = Qpkbuild({"new", project.string()});
    ASSERT_EQ(0, made.code) << made.err;
    EXPECT_TRUE(fs::exists(project / "files" / "readme.txt"));
    // The architecture and the manifests are offered, commented out.
    for (const char* offered : {"\n# arch = \"x64\"", "\n# [manifests]\n", "\nmethod = \"lz\" "}) {
        EXPECT_NE(std::string::npos, Read(project / "setup.toml").find(offered)) << offered;
    }
    EXPECT_NE(std::string::npos, Qpkbuild({"build", "--help"}).out.find("quillpack64.exe for [options] arch = \"x64\""));
    EXPECT_NE(std::string::npos, Qpkbuild({"--help"}).out.find("[options] method is \"lz\""));

    std::string setup = (dir / "fresh.exe").string();
    Outcome build = Qpkbuild({"build", (project / "setup.toml").string(), "--output", setup, "--stub", stub});
    ASSERT_EQ(0, build.code) << build.err;
    EXPECT_EQ(0, Qpkbuild({"verify", setup}).code);
    Outcome list = Qpkbuild({"list", setup});
    for (const char* shown : {"\"Fresh Start\"", "\"Fresh Start Publisher\"", "readme.txt  [Fresh Start Readme]",
                              "docs\\guide.txt"}) {
        EXPECT_NE(std::string::npos, list.out.find(shown)) << shown << "\n" << list.out;
    }

    // Nothing is written over: a folder that holds anything is refused.
    const std::string before = Read(project / "setup.toml");
    Write(project / "setup.toml", "mine");
    Outcome again = Qpkbuild({"new", project.string()});
    EXPECT_EQ(1, again.code);
    EXPECT_EQ("mine", Read(project / "setup.toml"));
    Write(dir / "plain-file", "x");
    EXPECT_EQ(1, Qpkbuild({"new", (dir / "plain-file").string()}).code);
    fs::create_directories(dir / "empty");
    EXPECT_EQ(0, Qpkbuild({"new", (dir / "empty").string()}).code);
    EXPECT_NE(before, Read(dir / "empty" / "setup.toml"));  // its own product name
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

void SetTime(const fs::path& path, time_t t) {
#ifdef _WIN32
    struct _utimbuf times = {t, t};
    ASSERT_EQ(0, _utime(path.string().c_str(), &times)) << path;
#else
    struct utimbuf times = {t, t};
    ASSERT_EQ(0, utime(path.string().c_str(), &times)) << path;
#endif
}

FileDate DateAt(const fs::path& scratch, time_t t) {
    Write(scratch, "");
    SetTime(scratch, t);
    FileDate date;
    EXPECT_TRUE(FileModificationDate(scratch.string(), date));
    return date;
}

Inspection InspectFile(const std::string& setup) {
    return InspectSetup(Read(setup), [](int32_t, std::string&) { return false; });
}

TEST_F(Workspace, SourceDateEpochMakesCopiesIdenticalAndIsTheNewestDate) {
    const time_t epoch = 1735732800;  // 2025-01-01 12:00 UTC
    const FileDate newest = DateAt(dir / "scratch", epoch);
    const FileDate older = DateAt(dir / "scratch", epoch - 1);
    SetTime(stub, epoch + 100);
    // Two checkouts of the same sources, made at different times; in both
    // the readme is a second older than the epoch.
    for (auto [copy, when] : {std::pair<const char*, time_t>{"one", epoch + 1}, {"two", epoch + 86400 * 400}}) {
        fs::copy(kSample, dir / copy, fs::copy_options::recursive);
        for (const auto& entry : fs::recursive_directory_iterator(dir / copy)) {
            if (entry.is_regular_file()) SetTime(entry.path(), when);
        }
        SetTime(dir / copy / "readme.txt", epoch - 1);
    }
    auto build = [&](const char* copy, const char* name, std::optional<std::string> epochText) {
        RunContext context;
        context.sourceDateEpoch = epochText;
        std::ostringstream out, err;
        std::string setup = (dir / name).string();
        EXPECT_EQ(0, RunQpkbuild({"build", (dir / copy / "sample.toml").string(), "-o", setup, "--stub", stub}, "",
                                 out, err, context)) << err.str();
        return setup;
    };
    EXPECT_NE(Read(build("one", "one.exe", std::nullopt)), Read(build("two", "two.exe", std::nullopt)));
    const std::string one = build("one", "one.exe", std::to_string(epoch));
    EXPECT_EQ(Read(one), Read(build("two", "two.exe", std::to_string(epoch))));

    Inspection r = InspectFile(one);
    ASSERT_TRUE(r.Sound()) << r.problem;
    EXPECT_EQ(0, r.manifest->uninstallerDate.Compare(newest));
    for (const InspectedFile& f : r.files) {
        const FileDate expected = f.name == "readme.txt" ? older
                                  : f.name == "notes.txt" ? FileDate(2024, 3, 1, 12, 0, 0)  // given, and earlier
                                                          : newest;
        EXPECT_EQ(0, f.date.Compare(expected)) << f.name;
    }

    // Dates the project gives are held to it as well.
    std::string later = Project("[product]\nuninstaller_date = 2031-01-01T00:00:00\n[[files]]\nsource = '" +
                                (kSample / "readme.txt").generic_string() + "'\ndate = 2030-06-01T00:00:00\n");
    RunContext context;
    context.sourceDateEpoch = std::to_string(epoch);
    std::ostringstream out, err;
    std::string setup = (dir / "later.exe").string();
    ASSERT_EQ(0, RunQpkbuild({"build", later, "-o", setup, "--stub", stub}, "", out, err, context)) << err.str();
    r = InspectFile(setup);
    EXPECT_EQ(0, r.manifest->uninstallerDate.Compare(newest));
    EXPECT_EQ(0, r.files.at(0).date.Compare(newest));
}

TEST_F(Workspace, SourceDateEpochMustBeWholeSeconds) {
    const std::string project = Project("[[files]]\nsource = '" + (kSample / "readme.txt").generic_string() + "'\n");
    struct { const char* value; int code; } cases[] = {
        {"0", 0}, {"1700000000", 0}, {"", 1}, {"abc", 1}, {"-1", 1}, {"+5", 1}, {"1.5", 1}, {" 1", 1}, {"1e9", 1},
        {"99999999999999999999", 1},
    };
    for (const auto& c : cases) {
        RunContext context;
        context.sourceDateEpoch = c.value;
        std::ostringstream out, err;
        int code = RunQpkbuild({"build", project, "-o", (dir / "x.exe").string(), "--stub", stub}, "", out, err, context);
        EXPECT_EQ(c.code, code) << c.value << ": " << err.str();
        if (c.code) {
            EXPECT_NE(std::string::npos, err.str().find("SOURCE_DATE_EPOCH \"" + std::string(c.value) + "\""));
        }
    }
}

// The signing command runs on the finished setup; a failing one leaves
// nothing that could pass for a finished setup program.
TEST_F(Workspace, SigningCommandRunsOnTheSetupAndItsFailureKeepsNothing) {
    const std::string qpkbuild = QP_QPKBUILD_EXE;
    fs::path outDir = dir / "out dir";
    fs::create_directories(outDir);
    const std::string setup = (outDir / "setup.exe").string();
    const std::string spread = "[product]\nname = \"Span\"\n[options]\ncompression = false\nfirst_part_max = 100\n"
                               "[[files]]\nsource = '" + (kSample / "readme.txt").generic_string() + "'\n";
    auto build = [&](const std::string& project, std::vector<std::string> extra) {
        std::vector<std::string> args = {"build", project, "-o", setup, "--stub", stub};
        args.insert(args.end(), extra.begin(), extra.end());
        return Qpkbuild(args);
    };
    auto leftovers = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(outDir)) names.push_back(entry.path().filename().string());
        return names;
    };

    // The builder's own verify, given the path, succeeds only on a whole
    // setup program at that path (with a blank in it).
    Outcome good = build(Project(spread), {"--sign", "\"" + qpkbuild + "\" verify {file}"});
    ASSERT_EQ(0, good.code) << good.err;
    EXPECT_EQ((std::vector<std::string>{"Disk2.QPK", "setup.exe"}), Sorted(leftovers()));
    // The same from the project file, {file} quoted there already.
    std::string signs = Project(std::string(spread).replace(
        spread.find("[options]\n"), 10, "[options]\nsign = '\"" + qpkbuild + "\" verify \"{file}\"'\n"));
    Outcome fromProject = build(signs, {});
    ASSERT_EQ(0, fromProject.code) << fromProject.err;

    const struct { const char* what; std::string sign; const char* message; } failures[] = {
        {"exit code", "\"" + qpkbuild + "\" frobnicate {file}", "failed with exit code 1"},
        {"damaging", "echo x> {file}", "no longer verifies"},
    };
    for (const auto& f : failures) {
        Outcome r = build(Project(spread), {"--sign", f.sign});
        EXPECT_EQ(1, r.code) << f.what;
        EXPECT_NE(std::string::npos, r.err.find("signing " + setup + ": ")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(f.message)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("no setup program was kept")) << r.err;
        EXPECT_EQ(std::vector<std::string>{}, leftovers()) << f.what;
    }
    // The project's command fails too, unless the command line turns it off.
    signs = Project(std::string(spread).replace(
        spread.find("[options]\n"), 10, "[options]\nsign = '\"" + qpkbuild + "\" frobnicate {file}'\n"));
    EXPECT_EQ(1, build(signs, {}).code);
    EXPECT_EQ(0, build(signs, {"--sign", ""}).code);
}

TEST_F(Workspace, ListAndVerifySayWhenASetupIsSigned) {
    Write(stub, PeStub(PeMachineI386));
    const std::string setup = BuildSample();
    for (bool isSigned : {false, true}) {
        if (isSigned) Write(setup, signing::Sign(Read(setup)));
        Outcome list = Qpkbuild({"list", setup});
        EXPECT_EQ(0, list.code) << list.err;
        EXPECT_NE(std::string::npos, list.out.find(isSigned ? "signature:         signed\n" : "signature:         none\n"))
            << list.out;
        Outcome verify = Qpkbuild({"verify", setup});
        EXPECT_EQ(0, verify.code) << verify.err;
        EXPECT_EQ(isSigned, verify.out.find(": sound, i386, signed, 8 files") != std::string::npos) << verify.out;
    }
}

TEST_F(Workspace, LargePayloadShowsProgressOnATerminalAndEndsWithASummary) {
    std::string big;
    uint32_t x = 12345;
    while (big.size() < (size_t(5) << 20)) {
        x = x * 1103515245u + 12345u;
        big += "line " + std::to_string(x >> 20) + "\n";
    }
    Write(dir / "big.txt", big);
    std::string project = Project("[options]\nlevel = \"fast\"\n[[files]]\nsource = 'big.txt'\n");
    std::vector<std::string> args = {"build", project, "-o", (dir / "quiet.exe").string(), "--stub", stub};
    Outcome quiet = Qpkbuild(args);
    ASSERT_EQ(0, quiet.code) << quiet.err;
    EXPECT_EQ("", quiet.err);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(quiet.out, m, std::regex(R"(quiet\.exe: 1 file, (\d+) bytes in, (\d+) bytes out )"
                                                           R"(\((\d+\.\d)%\), \d+\.\d\d s; setup program \d+ bytes\n$)")))
        << quiet.out;
    const size_t stored = size_t(fs::file_size(dir / "quiet.exe") - Read(stub).size());
    EXPECT_EQ(std::to_string(big.size()), m[1].str());
    EXPECT_EQ(std::to_string(stored), m[2].str());
    EXPECT_NEAR(100.0 * double(stored) / double(big.size()), std::stod(m[3].str()), 0.051);

    RunContext terminal;
    terminal.errIsTerminal = true;
    std::ostringstream shown, err;
    args[3] = (dir / "shown.exe").string();
    ASSERT_EQ(0, RunQpkbuild(args, "", shown, err, terminal)) << err.str();
    EXPECT_EQ(0u, err.str().find("\rqpkbuild: compressing 5.0 MB: ")) << err.str();
    EXPECT_NE(std::string::npos, err.str().find(": 100%")) << err.str();
    EXPECT_EQ('\r', err.str().back());
    EXPECT_EQ(std::string::npos, err.str().find('\n'));
    // Watching does not change what is built.
    EXPECT_EQ(Read(dir / "quiet.exe"), Read(dir / "shown.exe"));
}

// A setup is read in pieces as the installer reads it: a file larger than
// the reader holds at once extracts whole, and a payload that decodes past
// 1 GiB (which the installer installs) is sound, not code 60.
TEST_F(Workspace, LargeFilesAndPayloadsBeyondOneGigabyteAreReadInPieces) {
    std::string big;
    for (uint32_t x = 7; big.size() < (size_t(3) << 20);) {
        x = x * 1103515245u + 12345u;
        big += char(x >> 24);
        if (x & 1) big += std::string(x >> 28, 'a');
    }
    Write(dir / "big.bin", big);
    std::string project = Project("[options]\nlevel = \"fast\"\nfirst_part_max = 100000\ndisk_max = 400000\n"
                                  "[[files]]\nsource = 'big.bin'\n");
    std::string setup = (dir / "big.exe").string();
    ASSERT_EQ(0, Qpkbuild({"build", project, "-o", setup, "--stub", stub}).code);
    ASSERT_TRUE(fs::exists(dir / "Disk3.QPK"));
    Outcome extract = Qpkbuild({"extract", setup, (dir / "out").string()});
    ASSERT_EQ(0, extract.code) << extract.err;
    EXPECT_TRUE(Read(dir / "out" / "big.bin") == big);

    // "huge.bin" and zeros: a literal, 993 runs of 66 zeros, then matches
    // of 65,538 bytes at that distance, 1,114,146,000 bytes decoded.
    const int32_t matches = 16999;
    const int64_t decoded = 7 + 65538 * int64_t(matches + 1);
    const int32_t dataSize = int32_t(decoded - 8 - 8 - 4 - 24 - 1);
    std::string block;
    PutInt(block, int32_t(CompressionMagic));
    PutInt(block, 0);
    block += char(0x40 | 7);
    block += "big.bin";
    for (int i = 0; i < 993; ++i) block += std::string("\x3F\x00", 2);
    for (int i = 0; i < matches; ++i) block += std::string("\xC0\xFF\xFF\xFE\xFF", 5);
    BuildManifest m;
    m.flags = CompressedPayload;
    std::string header =
        SerializeManifest(m, {dataSize}, int32_t(block.size()), Checksum(block.data(), int32(block.size())), 0);
    uint32_t key = Checksum(header.data(), int32(header.size()));
    Scramble(&header[0], int32(header.size()), key);
    Write(dir / "huge.exe", AssembleSetup("MZ", header, key, block));
    Outcome verify = Qpkbuild({"verify", (dir / "huge.exe").string()});
    EXPECT_EQ(0, verify.code) << verify.err;
    Outcome list = Qpkbuild({"list", (dir / "huge.exe").string()});
    EXPECT_NE(std::string::npos, list.out.find(std::to_string(dataSize) + "  -  big.bin")) << list.out;
}

// Without --stub the project's architecture picks the program beside the
// builder; --stub wins; list and verify read the machine from the image.
TEST_F(Workspace, ArchPicksTheStubBesideTheBuilderAndStubWins) {
    const fs::path bin = dir / "bin";
    fs::create_directories(bin);
    Write(bin / "quillpack.exe", PeStub(PeMachineI386));
    Write(bin / "quillpack64.exe", PeStub(PeMachineAmd64));
    const std::string self = (bin / "qpkbuild").string();
    const std::string file = "[[files]]\nsource = '" + (kSample / "readme.txt").generic_string() + "'\n";
    struct { const char* what; std::string options; std::vector<std::string> extra; const char* machine; } cases[] = {
        {"default", "", {}, "i386"},
        {"x86", "[options]\narch = \"x86\"\n", {}, "i386"},
        {"x64", "[options]\narch = \"x64\"\n", {}, "x86-64"},
        {"--stub wins", "[options]\narch = \"x64\"\n", {"--stub", stub}, "no PE program image"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"build", Project(c.options + file), "-o", (dir / "setup.exe").string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        std::ostringstream out, err;
        ASSERT_EQ(0, RunQpkbuild(args, self, out, err)) << c.what << ": " << err.str();
        Outcome list = Qpkbuild({"list", (dir / "setup.exe").string()});
        EXPECT_NE(std::string::npos, list.out.find("architecture:      " + std::string(c.machine) + "\n")) << c.what;
        Outcome verify = Qpkbuild({"verify", (dir / "setup.exe").string()});
        EXPECT_NE(std::string::npos, verify.out.find(": sound, " + std::string(c.machine) + ", 1 files")) << verify.out;
    }
    fs::remove(bin / "quillpack64.exe");
    std::ostringstream out, err;
    EXPECT_EQ(1, RunQpkbuild({"build", Project("[options]\narch = \"x64\"\n" + file)}, self, out, err));
    EXPECT_NE(std::string::npos, err.str().find("no stub: quillpack64.exe (arch = \"x64\") is not next to the builder"))
        << err.str();
}

// Read as the format defines it, independently of the builder's code: the
// manifest's uninstaller checksum is the plain sum of bytes 0 to A-1.
uint32_t FormatChecksum(const std::string& bytes) {
    if (bytes.empty()) return 2044902557u;
    uint32_t sum = 2044902557u;
    size_t words = bytes.size() / 4 * 4;
    for (size_t i = 0; i < words; i += 4) {
        sum += uint32_t(uint8_t(bytes[i])) | uint32_t(uint8_t(bytes[i + 1])) << 8 |
               uint32_t(uint8_t(bytes[i + 2])) << 16 | uint32_t(uint8_t(bytes[i + 3])) << 24;
    }
    for (size_t i = words; i < bytes.size(); ++i) sum += uint32_t(int32_t(int8_t(bytes[i])));
    return sum + uint32_t(bytes.size());
}

uint32_t Le32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}

TEST_F(Workspace, UnsignedStubsImageSumsAsTheFormatDefines) {
    const std::string project = Project("[product]\nname = \"Sum\"\nflags = [\"WithUninstaller\"]\n"
                                        "[options]\ncompression = false\n"
                                        "[[files]]\nsource = '" + (kSample / "readme.txt").generic_string() + "'\n");
    for (size_t length : {size_t(4096), size_t(4097), size_t(4099)}) {
        const std::string image = PeStub(PeMachineI386, length);
        Write(stub, image);
        const std::string setup = (dir / "sum.exe").string();
        ASSERT_EQ(0, Qpkbuild({"build", project, "-o", setup, "--stub", stub}).code);
        const std::string bytes = Read(setup);
        const size_t a = Le32(bytes, bytes.size() - 4);
        ASSERT_EQ(length, a);
        // The header block, uncompressed here, is only scrambled with the
        // key: its field 3 (after the flags and the 24-byte date) is the sum.
        const uint32_t key = Le32(bytes, a + 8);
        std::string header = bytes.substr(a + 12, Le32(bytes, a + 4));
        for (size_t i = 0; i < header.size(); ++i) header[i] = char(header[i] ^ char(key >> (8 * (i % 4))));
        EXPECT_EQ(FormatChecksum(bytes.substr(0, a)), Le32(header, 28)) << length;
        // Only the CheckSum changed, to zero.
        std::string expected = image;
        expected.replace(signing::kChecksumAt, 4, std::string(4, '\0'));
        EXPECT_EQ(expected, bytes.substr(0, a)) << length;
        EXPECT_EQ(0, Qpkbuild({"verify", setup}).code);
    }
    // A stub that carries its own signature is embedded as it is.
    const std::string signedStub = signing::Sign(PeStub(PeMachineI386));
    Write(stub, signedStub);
    ASSERT_EQ(0, Qpkbuild({"build", project, "-o", (dir / "signed.exe").string(), "--stub", stub}).code);
    EXPECT_EQ(signedStub, Read(dir / "signed.exe").substr(0, signedStub.size()));
}

// The setup's path reaches the command as one argument whatever it holds
// and however the command quotes {file}; nothing in it ever runs.
TEST_F(Workspace, SigningNeverRunsTheOutputsName) {
    const std::string qpkbuild = QP_QPKBUILD_EXE;
#ifdef _WIN32
    // No %NAME% here: Wine's cmd expands one found inside a variable's value
    // again, where Windows' cmd does not.
    const std::vector<std::string> names = {"it's $(touch PWNED) & md PWNED ^x (1).exe", "a b.exe"};
    const std::string variable = "\"%QPKBUILD_FILE%\"";  // named by the command, it quotes it
#else
    const std::vector<std::string> names = {"it's $(touch PWNED) `touch PWNED` \"q\" & ; | x.exe", "a b.exe"};
    const std::string variable = "\"$QPKBUILD_FILE\"";
#endif
    const std::string project = Project("[product]\nname = \"Odd\"\n[[files]]\nsource = '" +
                                        (kSample / "readme.txt").generic_string() + "'\n");
    for (const std::string& name : names) {
        for (const std::string& file : {std::string("{file}"), std::string("\"{file}\""), std::string("'{file}'"),
                                        variable}) {
            const std::string setup = (dir / name).string();
            Outcome r = Qpkbuild({"build", project, "-o", setup, "--stub", stub, "--sign",
                                  "\"" + qpkbuild + "\" verify " + file});
            // The builder's verify succeeds only on the setup at that path.
            EXPECT_EQ(0, r.code) << name << " with " << file << ": " << r.err;
            EXPECT_TRUE(fs::exists(setup)) << name;
            EXPECT_FALSE(fs::exists(dir / "PWNED")) << name << " with " << file;
            EXPECT_FALSE(fs::exists("PWNED")) << name << " with " << file;
            fs::remove(setup);
        }
    }
}

// Disk files carry no name: only those that complete the payload of the
// setup being replaced, to the byte and to its checksum, are its own.
TEST_F(Workspace, DiskFilesOfAnotherSetupAreLeftAlone) {
    const std::string readme = (kSample / "readme.txt").generic_string();
    auto project = [&](const char* options, const char* name) {
        return Project("[product]\nname = \"Span\"\n[options]\ncompression = false\n" + std::string(options) +
                       "[[files]]\nsource = '" + readme + "'\n", name);
    };
    const std::string spread = project("first_part_max = 100\ndisk_max = 200\n", "spread.toml");
    const std::string whole = project("", "whole.toml");
    const std::string other = (dir / "other.exe").string(), mine = (dir / "mine.exe").string();
    ASSERT_EQ(0, Qpkbuild({"build", spread, "-o", other, "--stub", stub}).code);
    const std::string disk2 = Read(dir / "Disk2.QPK"), disk3 = Read(dir / "Disk3.QPK");

    // A setup in one file does not touch them; a spread one cannot have them.
    ASSERT_EQ(0, Qpkbuild({"build", whole, "-o", mine, "--stub", stub}).code);
    Outcome refused = Qpkbuild({"build", spread, "-o", mine, "--stub", stub});
    EXPECT_EQ(1, refused.code);
    EXPECT_NE(std::string::npos, refused.err.find("Disk2.QPK is not a disk file of " + mine)) << refused.err;
    EXPECT_TRUE(fs::exists(mine)) << "a refused build keeps the setup it would have replaced";
    EXPECT_EQ(disk2, Read(dir / "Disk2.QPK"));
    EXPECT_EQ(disk3, Read(dir / "Disk3.QPK"));
    EXPECT_EQ(0, Qpkbuild({"verify", other}).code);

    // Changed in one byte, they are no longer other.exe's: left alone.
    std::string changed = disk3;
    changed[0] = char(changed[0] ^ 1);
    Write(dir / "Disk3.QPK", changed);
    ASSERT_EQ(0, Qpkbuild({"build", whole, "-o", other, "--stub", stub}).code);
    EXPECT_EQ(disk2, Read(dir / "Disk2.QPK"));
    EXPECT_EQ(changed, Read(dir / "Disk3.QPK"));

    // Its own, whole, are replaced and then removed.
    fs::remove(dir / "Disk2.QPK");
    fs::remove(dir / "Disk3.QPK");
    ASSERT_EQ(0, Qpkbuild({"build", spread, "-o", other, "--stub", stub}).code);
    ASSERT_EQ(0, Qpkbuild({"build", spread, "-o", other, "--stub", stub}).code);
    ASSERT_EQ(0, Qpkbuild({"build", whole, "-o", other, "--stub", stub}).code);
    EXPECT_FALSE(fs::exists(dir / "Disk2.QPK"));
    EXPECT_FALSE(fs::exists(dir / "Disk3.QPK"));
}

TEST(Sha256, KnownDigests) {
    struct { std::string text; const char* digest; } cases[] = {
        {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        // 56 bytes: the length no longer fits the block, padding takes another.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu", "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1"},
        {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.digest, Sha256Hex(c.text)) << c.text.size();
    // Fed in pieces of every size the same.
    const std::string text = cases[3].text;
    for (size_t piece = 1; piece < 70; piece += 3) {
        Sha256 hash;
        for (size_t at = 0; at < text.size(); at += piece) hash.Add(text.data() + at, std::min(piece, text.size() - at));
        EXPECT_EQ(cases[3].digest, hash.HexDigest()) << piece;
    }
}

// A project for manifests, one value changed at a time.
struct ManifestFields {
    std::string name = "Tool Box", publisher = "Acme", version = "2.10", identifier = "Acme.ToolBox",
                url = "https://example.com/get/setup.exe", license = "MIT", description, locale, flags = "WithUninstaller";
};

std::string ManifestProject(const ManifestFields& f, const std::string& file) {
    std::string text = "[product]\nname = '" + f.name + "'\npublisher = '" + f.publisher + "'\nversion = '" +
                       f.version + "'\nflags = [\"" + f.flags + "\"]\n[manifests]\nidentifier = '" + f.identifier +
                       "'\nurl = '" + f.url + "'\nlicense = '" + f.license + "'\n";
    if (!f.description.empty()) text += "short_description = '" + f.description + "'\n";
    if (!f.locale.empty()) text += "locale = '" + f.locale + "'\n";
    return text + file;
}

// Each value's bounds at their exact edges: exactly the limit is taken,
// one over (or under) is refused at the value's key.
TEST_F(Workspace, ManifestValuesAreCheckedAtTheirExactEdges) {
    const std::string file = "[[files]]\nsource = '" + (kSample / "readme.txt").generic_string() + "'\n";
    const std::string x32(32, 'x');
    const std::string longUrl = "https://h/" + std::string(2048 - 20, 'a') + "/setup.exe";  // 2048 characters
    auto with = [](auto change) {
        ManifestFields f;
        change(f);
        return f;
    };
    struct { const char* what; ManifestFields fields; const char* key; const char* message; } cases[] = {
        {"sound", {}, nullptr, nullptr},
        {"identifier part of 32", with([&](auto& f) { f.identifier = "A." + x32; }), nullptr, nullptr},
        {"identifier part of 33", with([&](auto& f) { f.identifier = "A." + x32 + "x"; }), "manifests.identifier", "is no package identifier"},
        {"identifier of 8 parts", with([](auto& f) { f.identifier = "a.b.c.d.e.f.g.h"; }), nullptr, nullptr},
        {"identifier of 9 parts", with([](auto& f) { f.identifier = "a.b.c.d.e.f.g.h.i"; }), "manifests.identifier", "2 to 8 parts"},
        {"identifier of 1 part", with([](auto& f) { f.identifier = "Acme"; }), "manifests.identifier", "2 to 8 parts"},
        {"identifier of 128", with([&](auto& f) { f.identifier = x32 + "." + x32 + "." + x32 + "." + std::string(29, 'y'); }), nullptr, nullptr},
        {"identifier of 129", with([&](auto& f) { f.identifier = x32 + "." + x32 + "." + x32 + "." + std::string(30, 'y'); }), "manifests.identifier", "is no package identifier"},
        {"identifier with a blank", with([](auto& f) { f.identifier = "Acme.Tool Box"; }), "manifests.identifier", "without blanks"},
        {"url of 2048", with([&](auto& f) { f.url = longUrl; }), nullptr, nullptr},
        {"url of 2049", with([&](auto& f) { f.url = "https://h/a" + longUrl.substr(10); }), "manifests.url", "2049 characters long"},
        {"url in capitals", with([](auto& f) { f.url = "HTTPS://example.com/setup.exe"; }), nullptr, nullptr},
        {"url encoded name", with([](auto& f) { f.url = "https://example.com/%73etup.exe?v=2"; }), nullptr, nullptr},
        {"url not https", with([](auto& f) { f.url = "http://example.com/setup.exe"; }), "manifests.url", "is no https URL"},
        {"url of another file", with([](auto& f) { f.url = "https://example.com/Setup.exe"; }), "manifests.url", "does not end in the setup program's name; expected https://HOST/.../setup.exe"},
        {"url without a host", with([](auto& f) { f.url = "https:///setup.exe"; }), "manifests.url", "names no host"},
        {"url with a blank", with([](auto& f) { f.url = "https://example.com/my setup.exe"; }), "manifests.url", "blank"},
        {"license of 3", with([](auto& f) { f.license = "MIT"; }), nullptr, nullptr},
        {"license of 2", with([](auto& f) { f.license = "BS"; }), "manifests.license", "is 2 characters long; expected 3 to 512"},
        {"license of 512", with([](auto& f) { f.license = std::string(512, 'l'); }), nullptr, nullptr},
        {"license of 513", with([](auto& f) { f.license = std::string(513, 'l'); }), "manifests.license", "is 513 characters long"},
        {"license of 3 characters in 6 bytes", with([](auto& f) { f.license = "\xC3\xA9\xC3\xA9\xC3\xA9"; }), nullptr, nullptr},
        {"no license", with([](auto& f) { f.license = ""; }), "manifests.license", "is 0 characters long"},
        {"description of 3", with([](auto& f) { f.description = "abc"; }), nullptr, nullptr},
        {"description of 2", with([](auto& f) { f.description = "ab"; }), "manifests.short_description", "expected 3 to 256"},
        {"description of 256", with([](auto& f) { f.description = std::string(256, 'd'); }), nullptr, nullptr},
        {"description of 257", with([](auto& f) { f.description = std::string(257, 'd'); }), "manifests.short_description", "expected 3 to 256"},
        {"description from a short name", with([](auto& f) { f.name = "TB"; }), "manifests.short_description", "give short_description"},
        {"locale", with([](auto& f) { f.locale = "x-abcdefgh"; }), nullptr, nullptr},
        {"locale part of 9", with([](auto& f) { f.locale = "x-abcdefghi"; }), "manifests.locale", "is no locale"},
        {"locale of one letter", with([](auto& f) { f.locale = "e"; }), "manifests.locale", "is no locale"},
        {"name of 2", with([](auto& f) { f.name = "TB"; f.description = "Tools"; }), nullptr, nullptr},
        {"name of 1", with([](auto& f) { f.name = "T"; f.description = "Tools"; }), "product.name", "expected 2 to 255"},
        {"name of 255", with([](auto& f) { f.name = std::string(255, 'n'); }), nullptr, nullptr},
        {"name of 256", with([](auto& f) { f.name = std::string(256, 'n'); }), "product.name", "expected 2 to 255"},
        {"name with a backslash", with([](auto& f) { f.name = "Tool\\Box"; }), "product.name", "holds a backslash"},
        {"name beyond ASCII", with([](auto& f) { f.name = "Tool B\xC3\xB6x"; }), "product.name", "outside printable ASCII"},
        {"publisher of 2", with([](auto& f) { f.publisher = "AC"; }), nullptr, nullptr},
        {"publisher of 1", with([](auto& f) { f.publisher = "A"; }), "product.publisher", "expected 2 to 256"},
        {"publisher of 256", with([](auto& f) { f.publisher = std::string(256, 'p'); }), nullptr, nullptr},
        {"publisher of 257", with([](auto& f) { f.publisher = std::string(257, 'p'); }), "product.publisher", "expected 2 to 256"},
        {"version of 128", with([](auto& f) { f.version = std::string(128, '1'); }), nullptr, nullptr},
        {"version of 129", with([](auto& f) { f.version = std::string(129, '1'); }), "product.version", "expected 1 to 128"},
        {"version with a colon", with([](auto& f) { f.version = "1:2"; }), "product.version", "holds one of"},
        {"without an uninstaller", with([](auto& f) { f.flags = "AskDirectory"; }), "product.flags", "lacks WithUninstaller"},
    };
    for (const auto& c : cases) {
        std::string project = Project(ManifestProject(c.fields, file));
        LoadRequest request;
        request.manifests = true;
        request.setupName = "setup.exe";
        try {
            ::Project p = LoadProject(project, request);
            EXPECT_EQ(nullptr, c.key) << c.what << " was taken";
            EXPECT_TRUE(p.manifestsWanted) << c.what;
        } catch (const BuildError& e) {
            ASSERT_NE(nullptr, c.key) << c.what << ": " << e.what();
            EXPECT_NE(std::string::npos, std::string(e.what()).find(project + ":")) << e.what();
            EXPECT_NE(std::string::npos, std::string(e.what()).find(std::string(": ") + c.key + ": ")) << c.what << ": " << e.what();
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.message)) << c.what << ": " << e.what();
        }
    }
}

std::string Between(const std::string& text, const std::string& before, const std::string& after = "\n") {
    size_t at = text.find(before);
    if (at == std::string::npos) return "(no " + before + ")";
    at += before.size();
    return text.substr(at, text.find(after, at) - at);
}

// Written beside the setup, or into --manifests DIR, or not at all with
// --manifests ""; the digest is the finished file's, the architecture the
// stub's. (Their schemas and values: validate_manifests_test.py.)
TEST_F(Workspace, ManifestsDescribeTheFinishedSetup) {
    const std::string file = "[[files]]\nsource = '" + (kSample / "readme.txt").generic_string() + "'\n";
    const std::string project = Project(ManifestProject(ManifestFields(), file));
    const std::string setup = (dir / "setup.exe").string();
    struct { const char* what; int32_t machine; std::vector<std::string> extra; fs::path folder; const char* arch; } cases[] = {
        {"beside the setup", PeMachineI386, {}, dir, "x86"},
        {"into a folder made for them", PeMachineAmd64, {"--manifests", (dir / "m" / "n").string()}, dir / "m" / "n", "x64"},
    };
    for (const auto& c : cases) {
        Write(stub, PeStub(c.machine));
        std::vector<std::string> args = {"build", project, "-o", setup, "--stub", stub};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        Outcome r = Qpkbuild(args);
        ASSERT_EQ(0, r.code) << c.what << ": " << r.err;
        EXPECT_NE(std::string::npos, r.out.find(", manifests in " + c.folder.string() + "\n")) << r.out;
        const std::string installer = Read(c.folder / "Acme.ToolBox.installer.yaml");
        EXPECT_EQ("\"" + Sha256Hex(Read(setup)) + "\"", Between(installer, "InstallerSha256: ")) << c.what;
        EXPECT_EQ(c.arch, Between(installer, "- Architecture: ")) << c.what;
        EXPECT_EQ(std::string::npos, installer.find("InstallLocation")) << "no AskDirectory, no /d:";
        EXPECT_TRUE(fs::exists(c.folder / "Acme.ToolBox.locale.en-US.yaml")) << c.what;
        fs::remove_all(c.folder / "Acme.ToolBox.yaml");
    }
    // Off from the command line: nothing is written.
    ASSERT_EQ(0, Qpkbuild({"build", project, "-o", setup, "--stub", stub, "--manifests", ""}).code);
    EXPECT_FALSE(fs::exists(dir / "Acme.ToolBox.yaml"));

    // The directory choice and an automatic archive show in the switches.
    ManifestFields asking;
    asking.flags = "WithUninstaller\", \"AskDirectory\", \"Automatic";
    ASSERT_EQ(0, Qpkbuild({"build", Project(ManifestProject(asking, file), "asking.toml"), "-o", setup, "--stub", stub}).code);
    const std::string installer = Read(dir / "Acme.ToolBox.installer.yaml");
    EXPECT_NE(std::string::npos, installer.find("  InstallLocation: /d:\"<INSTALLPATH>\"\n"));
    EXPECT_NE(std::string::npos, installer.find("InstallModes:\n- silent\nInstallerSwitches:")) << installer;

    // Asked for on the command line alone, a project without the table is
    // refused; so is a stub that is no setup program, and a spread payload.
    Outcome bare = Qpkbuild({"build", Project(file, "bare.toml"), "-o", setup, "--stub", stub, "--manifests", dir.string()});
    EXPECT_EQ(1, bare.code);
    EXPECT_NE(std::string::npos, bare.err.find("bare.toml: manifests.identifier: missing;")) << bare.err;
    Write(stub, "MZ a stand-in");
    Outcome notPe = Qpkbuild({"build", project, "-o", setup, "--stub", stub});
    EXPECT_EQ(1, notPe.code);
    EXPECT_NE(std::string::npos, notPe.err.find("is no PE program image; expected an i386 or x86-64 program")) << notPe.err;
    Write(stub, PeStub(PeMachineI386));
    std::string spread = ManifestProject(ManifestFields(), file);
    spread.replace(spread.find("[manifests]"), 0, "[options]\ncompression = false\nfirst_part_max = 10\n");
    Outcome spreadOut = Qpkbuild({"build", Project(spread), "-o", setup, "--stub", stub});
    EXPECT_EQ(1, spreadOut.code);
    EXPECT_NE(std::string::npos, spreadOut.err.find("project.toml:8: options.first_part_max: spreads the payload over 1 disk files"))
        << spreadOut.err;
    EXPECT_FALSE(fs::exists(dir / "Disk2.QPK"));
}

}  // namespace
