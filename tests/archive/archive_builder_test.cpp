// The archive writer and the installer-side inspection together: round
// trips with and without compression, payloads split over disks, damaged
// payloads with consistent checksums reaching the record checks, and what
// the writer refuses to write.
#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/build/archive_reader.h"
#include "archive/build/archive_writer.h"
#include "archive/lz_codec.h"
#include "core/string.h"

namespace {

void PutInt(std::string& out, int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

std::vector<BuildFile> SomeFiles() {
    std::vector<BuildFile> files(3);
    files[0].name = "bin/tool.exe";
    files[0].data = std::string(5000, 'x') + "tail";
    files[0].shortcutBits = DesktopShortcut | StartMenuShortcut;
    files[0].shortcutName = "Tool";
    files[0].date = FileDate(2022, 12, 31, 23, 59, 58);
    files[1].name = "empty.txt";
    files[1].kind = Shared;
    files[2].name = "fonts\\Face.ttf";
    files[2].kind = Font;
    files[2].shortcutName = "Face (TrueType)";
    for (int i = 0; i < 3000; ++i) files[2].data += char(i * 7 % 251);
    return files;
}

BuildManifest SomeManifest() {
    BuildManifest m;
    m.flags = WithUninstaller;
    m.productName = "Widget";
    m.licenseText = "Be nice.";
    return m;
}

// Disks held in memory, numbered from 2.
DiskLoader FromMemory(const std::vector<std::string>& disks) {
    return [disks](int32_t disk, std::string& bytes) {
        size_t index = size_t(disk - 2);
        if (index >= disks.size()) return false;
        bytes = disks[index];
        return true;
    };
}

TEST(BuildArchive, RoundTripsWithEveryOptionCombination) {
    for (bool compress : {false, true}) {
        for (bool checksums : {false, true}) {
            BuildOptions options;
            options.compress = compress;
            options.checksums = checksums;
            options.level = LzLevel::Fast;
            BuildOutput out = BuildArchive("MZ", SomeManifest(), SomeFiles(), options);
            Inspection r = InspectSetup(out.setup, nullptr);
            ASSERT_TRUE(r.Sound()) << r.problem << " compress " << compress;
            EXPECT_EQ(compress, r.manifest->Has(CompressedPayload));
            EXPECT_EQ(checksums, r.manifest->Has(Checksums));
            EXPECT_TRUE(r.manifest->Has(WithUninstaller));
            ASSERT_EQ(3u, r.files.size());
            std::vector<BuildFile> expected = SomeFiles();
            for (size_t i = 0; i < 3; ++i) {
                EXPECT_EQ(expected[i].data, r.files[i].data) << i;
                EXPECT_EQ(expected[i].kind, r.files[i].kind) << i;
                EXPECT_EQ(expected[i].shortcutBits, r.files[i].shortcutBits) << i;
                EXPECT_EQ(expected[i].shortcutName, r.files[i].shortcutName) << i;
                EXPECT_EQ(0, expected[i].date.Compare(r.files[i].date)) << i;
            }
            EXPECT_EQ("bin\\tool.exe", r.files[0].name);
            EXPECT_EQ(int64_t(r.manifest->payloadLength), r.payloadRead);
            EXPECT_TRUE(!compress || r.payloadRead < 5000);
        }
    }
}

TEST(BuildArchive, SplitsThePayloadOverDisks) {
    struct { int64_t first, disk; size_t disks; } cases[] = {{0, 1000, 9}, {100, 4000, 3}, {8200, 100, 0}, {-1, 10, 0}, {500, -1, 1}};
    BuildOptions options;
    options.compress = false;
    for (const auto& c : cases) {
        options.firstPartMax = c.first;
        options.diskMax = c.disk;
        BuildOutput out = BuildArchive("MZ", SomeManifest(), SomeFiles(), options);
        EXPECT_EQ(c.disks, out.disks.size()) << c.first << "/" << c.disk;
        for (const std::string& d : out.disks) EXPECT_TRUE(!d.empty() && (c.disk <= 0 || int64_t(d.size()) <= c.disk));
        Inspection r = InspectSetup(out.setup, FromMemory(out.disks));
        EXPECT_TRUE(r.Sound()) << r.problem << " " << c.first << "/" << c.disk;
        EXPECT_EQ(int32_t(out.disks.size()), r.disksRead);
        if (!out.disks.empty()) {
            // Without its last disk the payload cannot be gathered.
            out.disks.pop_back();
            EXPECT_EQ(CorruptPartRead, InspectSetup(out.setup, FromMemory(out.disks)).code);
        }
    }
}

// Setup programs whose payload checksum is right but whose records are not,
// so that the record checks themselves are reached. Modes: stored,
// compressed, flagged compressed but stored, compressed and cut by a byte.
std::string SetupWithPayload(const std::string& records, std::vector<int32_t> sizes, int32_t flags, int mode) {
    std::string payload = records;
    if (mode == 1 || mode == 3) {
        std::vector<uint8_t> block =
            LzEncode(reinterpret_cast<const uint8_t*>(records.data()), records.size(), LzLevel::Fast);
        payload.assign(block.begin(), block.end() - (mode == 3 ? 1 : 0));
    }
    BuildManifest m;
    m.flags = flags | (mode != 0 ? CompressedPayload : 0);
    std::string header =
        SerializeManifest(m, sizes, int32_t(payload.size()), Checksum(payload.data(), int32(payload.size())), 0);
    uint32_t key = Checksum(header.data(), int32(header.size()));
    Scramble(&header[0], int32(header.size()), key);
    return AssembleSetup("MZ", header, key, payload);
}

std::string Record(const std::string& name, int32_t kind, const std::string& data, int32_t checksumDelta = 0) {
    std::string r = name + '\0';
    PutInt(r, kind);
    PutInt(r, 0);
    r += data;
    PutInt(r, int32_t(Checksum(data.data(), int32(data.size()))) + checksumDelta);
    return r + std::string(6 * 4 + 1, '\0');  // date and shortcut name
}

TEST(InspectSetup, PayloadAndRecordDamageGiveTheirCodes) {
    const std::string good = Record("a.txt", Normal, "data");
    struct { const char* what; std::string records; std::vector<int32_t> sizes; int32_t flags, code; } cases[] = {
        {"sound", good, {4}, Checksums, CorruptNone},
        {"empty name", Record("", Normal, "data"), {4}, Checksums, CorruptEmptyName},
        {"kind 3", Record("a.txt", 3, "data"), {4}, Checksums, CorruptFileKind},
        {"kind 6", Record("a.txt", 6, "data"), {4}, Checksums, CorruptFileKind},
        {"file checksum", Record("a.txt", Normal, "data", 1), {4}, Checksums, CorruptFileChecksum},
        {"file checksum unchecked", Record("a.txt", Normal, "data", 1), {4}, 0, CorruptNone},
        {"size beyond the payload", good, {400}, Checksums, CorruptFileOverrun},
        {"fewer records than the count", good, {4, 4}, Checksums, CorruptEmptyName},
        {"second record bad", good + Record("b", 9, ""), {4, 0}, Checksums, CorruptFileKind},
    };
    for (int mode : {0, 1}) {
        for (const auto& c : cases) {
            Inspection r = InspectSetup(SetupWithPayload(c.records, c.sizes, c.flags, mode), nullptr);
            EXPECT_EQ(c.code, r.code) << c.what << (mode ? " compressed" : "");
        }
    }
    for (int undecodable : {2, 3}) {
        EXPECT_EQ(CorruptPayloadDecode, InspectSetup(SetupWithPayload(good, {4}, 0, undecodable), nullptr).code);
    }
}

TEST(BuildArchive, RefusesWhatTheFormatCannotCarry) {
    struct { const char* what; void (*change)(BuildManifest&, std::vector<BuildFile>&); } cases[] = {
        {"no files", [](BuildManifest&, std::vector<BuildFile>& f) { f.clear(); }},
        {"NUL in a text", [](BuildManifest& m, std::vector<BuildFile>&) { m.readmeText = std::string("a\0b", 3); }},
        {"NUL in a shortcut name",
         [](BuildManifest&, std::vector<BuildFile>& f) { f[0].shortcutName = std::string("\0", 1); }},
        {"unknown kind", [](BuildManifest&, std::vector<BuildFile>& f) { f[0].kind = 2; }},
    };
    for (const auto& c : cases) {
        BuildManifest m = SomeManifest();
        std::vector<BuildFile> files = SomeFiles();
        c.change(m, files);
        EXPECT_THROW(BuildArchive("MZ", m, files, BuildOptions()), BuildError) << c.what;
    }
    EXPECT_THROW(BuildArchive("", SomeManifest(), SomeFiles(), BuildOptions()), BuildError);
}

TEST(CheckDestinationName, AcceptsRelativeNamesOnly) {
    const std::map<std::string, std::string> accepted = {
        {"a.txt", "a.txt"}, {"dir/sub/a.txt", "dir\\sub\\a.txt"}, {"x\\y", "x\\y"}, {"..a", "..a"}};
    for (const auto& [name, stored] : accepted) EXPECT_EQ(stored, CheckDestinationName(name)) << name;
    // Not contained, then contained but naming no file.
    for (const char* name : {"", "/a", "\\a", "c:a", "C:\\a", "a/../b", "..", "a/.. /b", "nul.txt",
                             "a/./b", "a//b", "a/"}) {
        EXPECT_THROW(CheckDestinationName(name), BuildError) << name;
    }
}

TEST(BuildArchive, RefusesEveryTextJoinedToAFolder) {
    struct { const char* what; void (*change)(BuildManifest&, std::vector<BuildFile>&); } cases[] = {
        {"publisher", [](BuildManifest& m, std::vector<BuildFile>&) { m.publisher = "..\\Windows"; }},
        {"start-menu folder", [](BuildManifest& m, std::vector<BuildFile>&) { m.startMenuFolder = "\\Startup"; }},
        {"product name standing in for the start-menu folder",
         [](BuildManifest& m, std::vector<BuildFile>&) { m.productName = "a\\..\\..\\b"; }},
        {"shortcut name", [](BuildManifest&, std::vector<BuildFile>& f) { f[0].shortcutName = "..\\..\\Tool"; }},
        {"font file name", [](BuildManifest&, std::vector<BuildFile>& f) { f[2].name = "..\\Face.ttf"; }},
    };
    for (const auto& c : cases) {
        BuildManifest m = SomeManifest();
        std::vector<BuildFile> files = SomeFiles();
        c.change(m, files);
        EXPECT_THROW(BuildArchive("MZ", m, files, BuildOptions()), BuildError) << c.what;
    }
    // A product name with its own start-menu folder is not joined; a font's
    // shortcut name is its display name, not a file.
    BuildManifest m = SomeManifest();
    m.productName = "Widget: Pro";
    m.startMenuFolder = "Widget Pro";
    std::vector<BuildFile> files = SomeFiles();
    files[2].shortcutName = "Face: Bold (TrueType)";
    EXPECT_NO_THROW(BuildArchive("MZ", m, files, BuildOptions()));
}

}  // namespace
