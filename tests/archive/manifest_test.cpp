// Scrambling, the checksum, locating the archive in a setup image and
// reading the manifest with its range checks and derived values.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/build/archive_reader.h"
#include "archive/build/archive_writer.h"
#include "archive/manifest.h"
#include "core/byte_stream.h"

namespace {

ByteStream StreamOf(const std::string& bytes) {
    ByteStream s;
    s.Bytes().Assign(bytes.data(), int32(bytes.size()));
    return s;
}

void SetInt(std::string& s, size_t at, int32_t v) { memcpy(&s[at], &v, 4); }  // the hosts are little-endian

BuildManifest SampleManifest() {
    BuildManifest m;
    m.flags = WithUninstaller | CustomColors;
    m.uninstallerDate = FileDate(2024, 5, 6, 7, 8, 9);
    m.publisher = "Acme";
    m.productName = m.defaultDirectory = "Rocket";
    m.displayTitle = "Rocket 2.1";
    m.titleColor = 0xFFFFFF;
    m.topColor = 0x800000;
    m.bottomColor = 0x000000;
    m.batchBefore = "echo before";
    m.uninstallBatch2 = "echo gone";
    return m;
}

TEST(Scramble, XorsWithTheKeyByteOfEachPositionAndTwiceRestores) {
    unsigned char data[7] = {0, 0, 0, 0, 0, 0, 0xFF};
    Scramble(data, 7, 0x44332211u);
    const unsigned char expected[7] = {0x11, 0x22, 0x33, 0x44, 0x11, 0x22, 0xFF ^ 0x33};
    EXPECT_EQ(0, memcmp(data, expected, 7));
    for (int32 length = 0; length <= 9; ++length) {
        std::string original = std::string("abcdefghi").substr(0, size_t(length)), data = original;
        Scramble(&data[0], length, 0xDEADBEEFu);
        Scramble(&data[0], length, 0xDEADBEEFu);
        EXPECT_EQ(original, data) << length;
    }
}

TEST(Checksum, MatchesTheFormatsDefinition) {
    EXPECT_EQ(2044902854u, Checksum("abc", 3));
    EXPECT_EQ(2044902557u, Checksum(nullptr, 5));
    EXPECT_EQ(2044902557u, Checksum("abc", 0));
    EXPECT_EQ(2044902557u, Checksum("\xFF", 1));  // tail bytes signed: -1, plus the length 1
    EXPECT_EQ(2044902557u + 0x04030201u + 4u, Checksum("\x01\x02\x03\x04", 4));  // a word unsigned, then the length
}

std::string SetupWith(bool checksums) {
    BuildFile f;
    f.name = "a.txt";
    f.data = "hello";
    BuildOptions options;
    options.compress = false;
    options.checksums = checksums;
    return BuildArchive("MZstub", SampleManifest(), {f}, options).setup;
}

// Locating goes through the builder's inspection, which runs the same code
// on a memory image; the archive starts at offset 6, after the stub.
TEST(OpenArchive, DamagedHeadsGiveTheirCodes) {
    const std::string setup = SetupWith(true);
    const size_t trailer = setup.size() - 4;
    struct { const char* what; size_t at; bool xorByte; int32_t value; int32_t code; } cases[] = {
        {"negative offset", trailer, false, -5, CorruptArchiveOffset},
        {"offset beyond the file", trailer, false, int32_t(setup.size()) + 1, CorruptArchiveOffset},
        {"wrong magic", 6, true, 1, CorruptMagic},
        {"offset into the trailer", trailer, false, int32_t(setup.size()) - 2, CorruptMagic},
        {"header length 0", 10, false, 0, CorruptHeaderLength},
        {"header length negative", 10, false, -1, CorruptHeaderLength},
        {"header length 1: accepted, the manifest lacks its count", 10, false, 1, CorruptFileCount},
        {"header length past the end, checksummed", 10, false, 0x7FFFFFFF, CorruptHeaderChecksum},
        {"key differs", 14, true, 1, CorruptHeaderChecksum},
    };
    for (const auto& c : cases) {
        std::string bad = setup;
        if (c.xorByte) bad[c.at] = char(bad[c.at] ^ c.value);
        else SetInt(bad, c.at, c.value);
        Inspection result = InspectSetup(bad, nullptr);
        EXPECT_TRUE(result.found) << c.what;
        EXPECT_EQ(c.code, result.code) << c.what;
    }
    for (std::string image : {std::string("MZ\0\0\0\0", 6), std::string("ab"), std::string()}) {
        Inspection result = InspectSetup(image, nullptr);
        EXPECT_FALSE(result.found);  // a zero or missing trailer: no archive at all
        EXPECT_EQ(CorruptNone, result.code);
    }
}


// A header length past the end of the file is left to what follows: the
// header checksum, the first payload part's length, the manifest's checks.
TEST(OpenArchive, HeaderLengthPastTheEndIsLeftToTheLaterSteps) {
    const std::string sound = SetupWith(false);
    const int32_t room = int32_t(sound.size()) - 6 - 12 - 4;  // header and payload: no first part left
    struct { const char* what; std::string setup; int32_t length, code; } cases[] = {
        {"header and payload exactly, first part empty", sound, room, CorruptPartRead},
        {"into the trailer by one byte", sound, room + 1, CorruptFirstPart},
        {"into the trailer by four", sound, room + 4, CorruptFirstPart},
        {"past the end of the file", sound, room + 5, CorruptFirstPart},
        {"largest", sound, 0x7FFFFFFF, CorruptFirstPart},
        {"checksummed", SetupWith(true), room + 1, CorruptHeaderChecksum},
    };
    for (auto& c : cases) {
        SetInt(c.setup, 10, c.length);
        Inspection result = InspectSetup(c.setup, nullptr);
        EXPECT_EQ(c.code, result.code) << c.what;
        EXPECT_EQ(6 + 12 + int64_t(c.length), result.head.payloadStart) << c.what;
    }

    // Only what the file holds is taken, and the source ends at its end.
    std::string setup = sound;
    SetInt(setup, 10, 0x7FFFFFFF);
    MemorySource source(setup);
    ByteStream header;
    ArchiveHead head;
    bool found = false;
    EXPECT_EQ(CorruptNone, OpenArchive(source, header, head, found));
    EXPECT_TRUE(found);
    EXPECT_EQ(int32(setup.size()) - 18, header.Bytes().Length());
    EXPECT_EQ(setup.size(), source.Position());

    // The manifest's own checks come first: here a file count of 0.
    BuildManifest none;
    std::string block = SerializeManifest(none, {}, 1, 0, 0);
    Scramble(&block[0], int32(block.size()), 7);
    std::string countless = AssembleSetup("MZstub", block, 7, "payload");
    SetInt(countless, 10, int32_t(block.size()) + 100);
    EXPECT_EQ(CorruptFileCount, InspectSetup(countless, nullptr).code);
}

TEST(OpenArchive, WithoutChecksumsAWrongKeyOnlyGarblesTheBlock) {
    // A key bit that scrambles the flags' upper byte, zero in a valid
    // manifest: nothing may report a header checksum when the flag is clear.
    std::string setup = SetupWith(false);
    setup[6 + 8 + 3] ^= 0x01;
    Inspection result = InspectSetup(setup, nullptr);
    EXPECT_NE(CorruptHeaderChecksum, result.code);
    ASSERT_TRUE(result.manifest);
    EXPECT_EQ(0x01000000, result.manifest->flags & 0x7F000000);
}

// Manifests built field by field, to reach the range checks directly.
std::string ManifestHead(int32_t count, std::vector<int32_t> sizes, int32_t payload) {
    std::vector<int32_t> ints = {0, 0, 0, 0, 0, 0, 0, 0, count};  // flags, date, uninstaller checksum
    ints.insert(ints.end(), sizes.begin(), sizes.end());
    ints.push_back(payload);
    ints.push_back(0);  // payload checksum
    return std::string(reinterpret_cast<const char*>(ints.data()), ints.size() * 4);
}

TEST(ReadManifestDeathTest, RangeChecksGiveTheirCodes) {
    struct { const char* what; std::string bytes; int32_t code; } cases[] = {
        {"file count 0", ManifestHead(0, {}, 10), CorruptFileCount},
        {"file count negative", ManifestHead(-3, {}, 10), CorruptFileCount},
        {"file count beyond the block", ManifestHead(1000000, {1, 2}, 10), CorruptFileCount},
        {"negative size", ManifestHead(2, {5, -1}, 10), CorruptFileSize},
        {"payload length 0", ManifestHead(1, {5}, 0), CorruptPayloadLength},
        {"payload length negative", ManifestHead(1, {5}, -7), CorruptPayloadLength},
        {"block cut after the count", ManifestHead(1, {}, 1).substr(0, 36), CorruptFileCount},
        {"empty block", std::string(), CorruptFileCount},
        {"sound head, texts missing", ManifestHead(1, {5}, 9), CorruptNone},
    };
    for (const auto& c : cases) {
        ByteStream in = StreamOf(c.bytes);
        Manifest m;
        EXPECT_EQ(c.code, ParseManifest(in, m)) << c.what;
    }
    // The installer's reader ends in the corrupt report with the code.
    struct { std::string bytes; const char* code; } fatal[] = {
        {ManifestHead(0, {}, 10), "Error code: 27"},
        {ManifestHead(1, {-1}, 10), "Error code: 28"},
        {ManifestHead(1, {4}, 0), "Error code: 29"},
    };
    for (const auto& c : fatal) {
        EXPECT_EXIT(
            {
                ByteStream in = StreamOf(c.bytes);
                Manifest m;
                ReadManifest(in, m);
            },
            ::testing::ExitedWithCode(1), c.code);
    }
}

// The size table must fit in what follows the count: four bytes a file.
// The payload length after it is not part of that bound, so exactly
// enough room gets as far as the payload length (read as 0 at the end).
TEST(ParseManifest, FileCountIsBoundByTheBytesLeftAtItsExactEdge) {
    for (int32_t count : {1, 2, 5}) {
        const std::string head = ManifestHead(count, {}, 1).substr(0, 36);  // up to and with the count
        std::string enough = head + std::string(size_t(count) * 4, '\x01');
        struct { const char* what; std::string bytes; int32_t code; } cases[] = {
            {"exactly the size table", enough, CorruptPayloadLength},
            {"one byte short", enough.substr(0, enough.size() - 1), CorruptFileCount},
            {"three bytes short", enough.substr(0, enough.size() - 3), CorruptFileCount},
            {"four bytes short", enough.substr(0, enough.size() - 4), CorruptFileCount},
        };
        for (const auto& c : cases) {
            ByteStream in = StreamOf(c.bytes);
            Manifest m;
            EXPECT_EQ(c.code, ParseManifest(in, m)) << c.what << ", count " << count;
        }
    }
}

// A record's data must lie within what is left after its name, kind and
// shortcut bits: exactly enough is taken, one byte more is an overrun.
TEST(ReadFileRecord, DataSizeIsBoundByTheBytesLeftAtItsExactEdge) {
    const std::string fields = std::string("a\0", 2) + std::string(8, '\0');  // name, kind Normal, no shortcuts
    for (int32 left : {0, 1, 4, 7}) {
        const std::string bytes = fields + std::string(size_t(left), 'x');
        struct { int32 size; int32_t code; } cases[] = {
            {left, CorruptNone},
            {left + 1, CorruptFileOverrun},
            {left + 2, CorruptFileOverrun},
        };
        for (const auto& c : cases) {
            ByteStream in = StreamOf(bytes);
            FileRecord r;
            EXPECT_EQ(c.code, ReadFileRecord(in, c.size, false, r)) << "size " << c.size << " of " << left;
            if (c.code == CorruptNone) {
                EXPECT_EQ(left, r.size);
            }
        }
    }
}

TEST(ParseManifest, ReadsEveryFieldInOrderAndOptionalOnesOnlyWhenFlagged) {
    BuildManifest b = SampleManifest();
    b.requiredProduct = "Rocket Base";
    for (bool updateOnly : {true, false}) {
        b.flags = updateOnly ? (b.flags | UpdateOnly) : (b.flags & ~UpdateOnly);
        b.bitmap = updateOnly ? std::string("\x28\0\0\0rest", 8) : "";
        std::string bytes = SerializeManifest(b, {3, 0, 7}, 99, 0xABCDEF01u, 0x12345678u);
        ByteStream in = StreamOf(bytes);
        Manifest m;
        ASSERT_EQ(CorruptNone, ParseManifest(in, m));
        EXPECT_EQ(bytes.size(), size_t(in.Position()));
        EXPECT_EQ(b.flags, m.flags);
        EXPECT_EQ(0, m.uninstallerDate.Compare(b.uninstallerDate));
        EXPECT_EQ(0x12345678u, m.uninstallerChecksum);
        ASSERT_EQ(3, m.fileCount);
        EXPECT_EQ(7, m.FileSize(2));
        EXPECT_EQ(-1, m.FileSize(3));
        EXPECT_EQ(99, m.payloadLength);
        EXPECT_EQ(0xABCDEF01u, m.payloadChecksum);
        EXPECT_STREQ("Acme", m.publisher.Text());
        EXPECT_STREQ("Rocket 2.1", m.displayTitle.Text());
        EXPECT_EQ(0x800000u, m.topColor);
        EXPECT_EQ(updateOnly ? 8 : 0, m.bitmap.Length());
        EXPECT_STREQ(updateOnly ? "Rocket Base" : "", m.requiredProduct.Text());
        EXPECT_STREQ("echo before", m.batchBefore.Text());
        EXPECT_STREQ("echo gone", m.uninstallBatch2.Text());
    }
}

TEST(ParseManifest, PublisherAndStartMenuFolderStayInside) {
    struct { const char *publisher, *startMenu; int32_t code; } cases[] = {
        {"", "", CorruptNone},
        {"a..b", "..a", CorruptNone},
        {"..\\x", "", CorruptFolderName},
        {"", "c:x", CorruptFolderName},
    };
    for (const auto& c : cases) {
        BuildManifest b = SampleManifest();
        b.publisher = c.publisher;
        b.startMenuFolder = c.startMenu;
        ByteStream in = StreamOf(SerializeManifest(b, {1}, 1, 0, 0));
        Manifest m;
        EXPECT_EQ(c.code, ParseManifest(in, m)) << c.publisher << " / " << c.startMenu;
    }
    EXPECT_STRNE("unknown corruption", CorruptCodeMeaning(CorruptFolderName));
}

TEST(ReadFileRecord, NamesMustStayInsideTheirFolder) {
    struct { const char* name; int32_t code; } cases[] = {
        {"a..b", CorruptNone}, {"dir\\a.txt", CorruptNone}, {"", CorruptEmptyName},
        {"a/../b", CorruptEmptyName}, {"c:x", CorruptEmptyName}, {"nul.txt", CorruptEmptyName},
    };
    for (const auto& c : cases) {
        BuildFile f;
        f.name = "a";
        f.data = "abc";
        std::string bytes = std::string(c.name) + '\0' + SerializeFileRecord(f).substr(2);  // "a\0" replaced
        ByteStream in = StreamOf(bytes);
        FileRecord r;
        EXPECT_EQ(c.code, ReadFileRecord(in, 3, true, r)) << c.name;
    }
}

TEST(ParseManifest, BitmapLengthBeyondTheBlockTakesNoMemory) {
    std::string bytes = SerializeManifest(SampleManifest(), {1}, 1, 0, 0);
    // The bitmap length sits right before the five texts; an empty-text
    // build shows where.
    BuildManifest b = SampleManifest();
    b.batchBefore = b.uninstallBatch2 = "";
    SetInt(bytes, SerializeManifest(b, {1}, 1, 0, 0).size() - 5 - 4, 0x7FFFFFF0);
    ByteStream in = StreamOf(bytes);
    Manifest m;
    ASSERT_EQ(CorruptNone, ParseManifest(in, m));
    EXPECT_TRUE(m.bitmap.IsEmpty());
    EXPECT_TRUE(m.batchBefore.IsEmpty());
}

class FakeHost : public ManifestHost {
public:
    String WindowsDirectory() override { return "C:\\WINDOWS"; }
    String ProgramFilesFolder() override { return programFiles; }
    String CommonFilesFolder() override { return "C:\\Program Files\\Common Files"; }
    void CreateDirectoryPath(const String& path) override { created.push_back(path.Text()); }
    void SetBackgroundTitle(const String& t) override { title = t.Text(); }
    void SetTitleColor(uint32 c) override { titleColor = c; }
    void SetBackgroundColors(uint32 t, uint32 b, bool m) override { top = t, bottom = b, mono = m; }
    void SetBackgroundBitmap(const String& p) override { bitmapBytes = p.Length(); }
    void RepaintBackground() override { ++repaints; }
    void CheckUpdateOnly(const String& r) override { required = r.Text(); }

    const char* programFiles = "C:\\Program Files";
    std::vector<std::string> created;
    std::string title, required;
    uint32 titleColor = 1, top = 1, bottom = 1;
    bool mono = true;
    int bitmapBytes = -1, repaints = 0;
};

struct Derived {
    std::string shared, startMenu, directory, product;
};

Derived Derive(const BuildManifest& b, const char* productOverride, FakeHost& host) {
    ByteStream in = StreamOf(SerializeManifest(b, {1}, 1, 0, 0));
    Manifest m;
    EXPECT_EQ(CorruptNone, ParseManifest(in, m));
    String product = productOverride;
    DeriveManifestValues(m, product, host);
    return {m.sharedDirectory.Text(), m.startMenuFolder.Text(), m.defaultDirectory.Text(), product.Text()};
}

TEST(DeriveManifestValues, NamesAndDirectories) {
    const char* kFiles = "C:\\Program Files";
    struct {
        const char* what; int32_t flags; const char *publisher, *product, *override, *startMenu, *directory, *base;
        Derived expected;
    } cases[] = {
        {"plain", WithUninstaller, "Acme", "Rocket", "", "", "", kFiles,
         {"C:\\Program Files\\Common Files\\Acme", "Acme\\Rocket", "C:\\Program Files\\Rocket", "Rocket"}},
        {"override wins", WithUninstaller, "Acme", "Rocket", "Jet", "", "", kFiles,
         {"C:\\Program Files\\Common Files\\Acme", "Acme\\Jet", "C:\\Program Files\\Jet", "Jet"}},
        {"no publisher", WithUninstaller, "", "Rocket", "", "", "", kFiles,
         {"C:\\Program Files\\Common Files", "Rocket", "C:\\Program Files\\Rocket", "Rocket"}},
        {"no uninstaller, no shared directory", 0, "Acme", "Rocket", "", "Games", "Tools", kFiles,
         {"", "Games", "C:\\Program Files\\Tools", "Rocket"}},
        {"os marker", 0, "", "Rocket", "", "", "<os>\\Rocket", kFiles, {"", "Rocket", "C:\\WINDOWS\\Rocket", "Rocket"}},
        {"marker is case-sensitive", 0, "", "R", "", "", "<OS>x", kFiles, {"", "R", "C:\\Program Files\\<OS>x", "R"}},
        {"rooted", 0, "", "R", "", "", "\\Apps\\R", kFiles, {"", "R", "C:\\Apps\\R", "R"}},
        {"drive relative", 0, "", "R", "", "", "D:Tools", kFiles, {"", "R", "D:\\Program Files\\Tools", "R"}},
        {"full path", 0, "", "R", "", "", "E:\\R", kFiles, {"", "R", "E:\\R", "R"}},
        {"no product name at all", 0, "", "", "", "", "", kFiles, {"", "", "C:\\Program Files\\", ""}},
        {"base without a drive stays relative", 0, "", "R", "", "", "", "", {"", "R", "R", "R"}},
    };
    for (const auto& c : cases) {
        BuildManifest b;
        b.flags = c.flags;
        b.publisher = c.publisher;
        b.productName = c.product;
        b.startMenuFolder = c.startMenu;
        b.defaultDirectory = c.directory;
        FakeHost host;
        host.programFiles = c.base;
        Derived d = Derive(b, c.override, host);
        EXPECT_EQ(c.expected.shared, d.shared) << c.what;
        EXPECT_EQ(c.expected.startMenu, d.startMenu) << c.what;
        EXPECT_EQ(c.expected.directory, d.directory) << c.what;
        EXPECT_EQ(c.expected.product, d.product) << c.what;
        EXPECT_EQ(c.expected.shared.empty() ? 0u : 1u, host.created.size()) << c.what;
    }
    EXPECT_STREQ("W\\a;W\\b", ReplaceOsMarker("<os>\\a;<os>\\b", "W").Text());
    EXPECT_STREQ("<os>x", ReplaceOsMarker("<os>x", "<os>").Text());  // each marker replaced once
}

TEST(DeriveManifestValues, BackgroundFollowsFlagsAndBitmap) {
    BuildManifest b = SampleManifest();
    b.flags = 0;
    FakeHost plain, coloured, pictured, update;
    Derive(b, "", plain);
    EXPECT_EQ(1u, plain.top) << "colours without CustomColors are ignored";
    EXPECT_EQ(1u, plain.titleColor);
    EXPECT_EQ("Rocket 2.1", plain.title);

    b.flags = CustomColors;
    Derive(b, "", coloured);
    EXPECT_EQ(0x800000u, coloured.top);
    EXPECT_EQ(0u, coloured.bottom);
    EXPECT_FALSE(coloured.mono);
    EXPECT_EQ(0xFFFFFFu, coloured.titleColor);
    EXPECT_GE(coloured.repaints, 1);

    b.flags = 0;
    b.bitmap = "BITMAPBYTES";
    Derive(b, "", pictured);
    EXPECT_EQ(11, pictured.bitmapBytes);
    EXPECT_EQ(0xFFFFFFu, pictured.titleColor) << "a bitmap brings its title colour";
    EXPECT_EQ(1u, pictured.top);

    b.flags = UpdateOnly;
    b.requiredProduct = "Base";
    Derive(b, "", update);
    EXPECT_EQ("Base", update.required);
}

}  // namespace
