// Scrambling, the checksum, locating the archive in a setup image and
// reading the manifest with its range checks and derived values.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/build/archive_reader.h"
#include "archive/build/archive_writer.h"
#include "archive/manifest.h"
#include "core/byte_stream.h"

namespace {

void PutInt(std::string& out, int32_t v) {
    out.append(reinterpret_cast<const char*>(&v), 4);  // the test hosts are little-endian
}

ByteStream StreamOf(const std::string& bytes) {
    ByteStream s;
    s.Bytes().Assign(bytes.data(), int32(bytes.size()));
    return s;
}

BuildManifest SampleManifest() {
    BuildManifest m;
    m.flags = WithUninstaller | CustomColors;
    m.uninstallerDate = FileDate(2024, 5, 6, 7, 8, 9);
    m.publisher = "Acme";
    m.productName = "Rocket";
    m.defaultDirectory = "Rocket";
    m.version = "2.1";
    m.displayTitle = "Rocket 2.1";
    m.titleColor = 0xFFFFFF;
    m.topColor = 0x800000;
    m.bottomColor = 0x000000;
    m.batchBefore = "echo before";
    m.uninstallBatch2 = "echo gone";
    return m;
}

TEST(Scramble, XorsEachByteWithTheKeyByteOfItsPosition) {
    unsigned char data[7] = {0, 0, 0, 0, 0, 0, 0xFF};
    Scramble(data, 7, 0x44332211u);
    const unsigned char expected[7] = {0x11, 0x22, 0x33, 0x44, 0x11, 0x22, 0xFF ^ 0x33};
    EXPECT_EQ(0, memcmp(data, expected, 7));
}

TEST(Scramble, TwiceRestoresEveryLength) {
    for (int32 length = 0; length <= 9; ++length) {
        std::string original = std::string("abcdefghi").substr(0, size_t(length));
        std::string data = original;
        Scramble(&data[0], length, 0xDEADBEEFu);
        if (length > 0) EXPECT_NE(original, data) << length;
        Scramble(&data[0], length, 0xDEADBEEFu);
        EXPECT_EQ(original, data) << length;
    }
}

TEST(Checksum, MatchesTheFormatsDefinition) {
    EXPECT_EQ(2044902854u, Checksum("abc", 3));
    EXPECT_EQ(2044902557u, Checksum(nullptr, 5));
    EXPECT_EQ(2044902557u, Checksum("abc", 0));
    // Tail bytes count as signed: 0xFF adds -1, plus the length 1.
    EXPECT_EQ(2044902557u, Checksum("\xFF", 1));
    // A whole word is added unsigned, then the length.
    EXPECT_EQ(2044902557u + 0x04030201u + 4u, Checksum("\x01\x02\x03\x04", 4));
}

// Locating is checked through the builder's inspection, which runs the
// same code on a memory image.
struct HeadCase {
    const char* what;
    int32_t code;
    std::string (*damage)(std::string setup, int32_t offset);
};

std::string SetupWith(bool checksums, int32_t flags = 0, const std::string& stub = "MZstub") {
    BuildManifest m = SampleManifest();
    m.flags |= flags;
    BuildFile f;
    f.name = "a.txt";
    f.data = "hello";
    BuildOptions options;
    options.compress = false;
    options.checksums = checksums;
    return BuildArchive(stub, m, {f}, options).setup;
}

void SetInt(std::string& s, size_t at, int32_t v) { memcpy(&s[at], &v, 4); }

TEST(OpenArchive, DamagedHeadsGiveTheirCodes) {
    const HeadCase cases[] = {
        {"negative offset", CorruptArchiveOffset,
         [](std::string s, int32_t) { SetInt(s, s.size() - 4, -5); return s; }},
        {"offset beyond the file", CorruptArchiveOffset,
         [](std::string s, int32_t) { SetInt(s, s.size() - 4, int32_t(s.size()) + 1); return s; }},
        {"wrong magic", CorruptMagic,
         [](std::string s, int32_t a) { s[size_t(a)] ^= 1; return s; }},
        {"offset into the trailer", CorruptMagic,
         [](std::string s, int32_t) { SetInt(s, s.size() - 4, int32_t(s.size()) - 2); return s; }},
        {"header length 0", CorruptHeaderLength,
         [](std::string s, int32_t a) { SetInt(s, size_t(a) + 4, 0); return s; }},
        {"header length negative", CorruptHeaderLength,
         [](std::string s, int32_t a) { SetInt(s, size_t(a) + 4, -1); return s; }},
        {"header length past the end", CorruptHeaderLength,
         [](std::string s, int32_t a) { SetInt(s, size_t(a) + 4, 0x7FFFFFFF); return s; }},
        {"key differs", CorruptHeaderChecksum,
         [](std::string s, int32_t a) { s[size_t(a) + 8] ^= 1; return s; }},
    };
    const std::string setup = SetupWith(true);
    for (const HeadCase& c : cases) {
        Inspection result = InspectSetup(c.damage(setup, 6), nullptr);
        EXPECT_TRUE(result.found) << c.what;
        EXPECT_EQ(c.code, result.code) << c.what;
    }
}

TEST(OpenArchive, ZeroTrailerMeansNoArchive) {
    for (std::string image : {std::string("MZ\0\0\0\0", 6), std::string("ab"), std::string()}) {
        Inspection result = InspectSetup(image, nullptr);
        EXPECT_FALSE(result.found);
        EXPECT_EQ(CorruptNone, result.code);
    }
}

TEST(OpenArchive, WithoutChecksumsAWrongKeyOnlyGarblesTheBlock) {
    // Flipping a key bit that scrambles the flags' upper byte, which is
    // zero in a valid manifest, leaves the manifest readable but wrong:
    // nothing may report a header checksum when the flag is clear.
    std::string setup = SetupWith(false);
    setup[6 + 8 + 3] ^= 0x01;
    Inspection result = InspectSetup(setup, nullptr);
    EXPECT_NE(CorruptHeaderChecksum, result.code);
    ASSERT_TRUE(result.manifest);
    EXPECT_EQ(0x01000000, result.manifest->flags & 0x7F000000);
}

TEST(OpenArchive, ReportsFlagsAndWhereThePayloadStarts) {
    std::string setup = SetupWith(true, Automatic);
    Inspection result = InspectSetup(setup, nullptr);
    ASSERT_TRUE(result.Sound()) << result.problem;
    EXPECT_EQ(6, result.head.offset);
    EXPECT_TRUE(result.head.flags & Automatic);
    EXPECT_EQ(6 + 12 + result.head.headerLength, result.head.payloadStart);
}

// Manifests built field by field, to reach the range checks directly.
std::string ManifestHead(int32_t flags, int32_t count, std::vector<int32_t> sizes, int32_t payload) {
    std::string out;
    PutInt(out, flags);
    for (int i = 0; i < 6; ++i) PutInt(out, 0);  // date
    PutInt(out, 0);                              // uninstaller checksum
    PutInt(out, count);
    for (int32_t s : sizes) PutInt(out, s);
    PutInt(out, payload);
    PutInt(out, 0);  // payload checksum
    return out;
}

TEST(ParseManifest, RangeChecksGiveTheirCodes) {
    struct Case {
        const char* what;
        std::string bytes;
        int32_t code;
    } cases[] = {
        {"file count 0", ManifestHead(0, 0, {}, 10), CorruptFileCount},
        {"file count negative", ManifestHead(0, -3, {}, 10), CorruptFileCount},
        {"file count beyond the block", ManifestHead(0, 1000000, {1, 2}, 10), CorruptFileCount},
        {"negative size", ManifestHead(0, 2, {5, -1}, 10), CorruptFileSize},
        {"payload length 0", ManifestHead(0, 1, {5}, 0), CorruptPayloadLength},
        {"payload length negative", ManifestHead(0, 1, {5}, -7), CorruptPayloadLength},
        {"block cut after the count", ManifestHead(0, 1, {}, 1).substr(0, 36), CorruptFileCount},
        {"empty block", std::string(), CorruptFileCount},
        {"sound head, texts missing", ManifestHead(0, 1, {5}, 9), CorruptNone},
    };
    for (const Case& c : cases) {
        ByteStream in = StreamOf(c.bytes);
        Manifest m;
        EXPECT_EQ(c.code, ParseManifest(in, m)) << c.what;
    }
}

TEST(ReadManifestDeathTest, CorruptManifestEndsInTheCorruptReport) {
    struct Case {
        std::string bytes;
        const char* code;
    } cases[] = {
        {ManifestHead(0, 0, {}, 10), "Error code: 27"},
        {ManifestHead(0, 1, {-1}, 10), "Error code: 28"},
        {ManifestHead(0, 1, {4}, 0), "Error code: 29"},
    };
    for (const Case& c : cases) {
        EXPECT_EXIT(
            {
                ByteStream in = StreamOf(c.bytes);
                Manifest m;
                ReadManifest(in, m);
            },
            ::testing::ExitedWithCode(1), c.code);
    }
}

TEST(ParseManifest, ReadsEveryFieldInOrder) {
    BuildManifest b = SampleManifest();
    b.flags |= UpdateOnly;
    b.requiredProduct = "Rocket Base";
    b.bitmap = std::string("\x28\0\0\0rest", 8);
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
    EXPECT_EQ(8, m.bitmap.Length());
    EXPECT_STREQ("Rocket Base", m.requiredProduct.Text());
    EXPECT_STREQ("echo before", m.batchBefore.Text());
    EXPECT_STREQ("echo gone", m.uninstallBatch2.Text());
}

TEST(ParseManifest, OptionalFieldsAreAbsentWhenNotFlagged) {
    // Without UpdateOnly the text after the colours and bitmap is batch
    // before; a bitmap length of 0 has no bytes after it.
    BuildManifest b = SampleManifest();
    b.requiredProduct = "ignored";
    ByteStream in = StreamOf(SerializeManifest(b, {1}, 1, 0, 0));
    Manifest m;
    ASSERT_EQ(CorruptNone, ParseManifest(in, m));
    EXPECT_TRUE(m.requiredProduct.IsEmpty());
    EXPECT_TRUE(m.bitmap.IsEmpty());
    EXPECT_STREQ("echo before", m.batchBefore.Text());
}

TEST(ParseManifest, BitmapLengthBeyondTheBlockTakesNoMemory) {
    std::string bytes = SerializeManifest(SampleManifest(), {1}, 1, 0, 0);
    // The bitmap length sits right after the three colours; find it by
    // rebuilding the block up to there.
    BuildManifest b = SampleManifest();
    b.batchBefore = b.batchAfter = b.batchFinal = b.uninstallBatch1 = b.uninstallBatch2 = "";
    std::string prefix = SerializeManifest(b, {1}, 1, 0, 0);
    size_t at = prefix.size() - 5 - 4;  // five empty texts, then back over the length
    SetInt(bytes, at, 0x7FFFFFF0);
    ByteStream in = StreamOf(bytes);
    Manifest m;
    ASSERT_EQ(CorruptNone, ParseManifest(in, m));
    EXPECT_TRUE(m.bitmap.IsEmpty());
    EXPECT_TRUE(m.batchBefore.IsEmpty());
}

TEST(ReadFileRecord, DamagedRecordsGiveTheirCodes) {
    BuildFile f;
    f.name = "dir\\file.txt";
    f.data = "payload";
    f.date = FileDate(2023, 1, 2, 3, 4, 5);
    f.shortcutName = "File";
    const std::string good = SerializeFileRecord(f);
    const size_t dataAt = f.name.size() + 1 + 8;
    struct Case {
        const char* what;
        std::string bytes;
        int32_t size;
        int32_t code;
    } cases[] = {
        {"sound", good, 7, CorruptNone},
        {"empty name", good.substr(f.name.size()), 7, CorruptEmptyName},
        {"size past the end", good, int32_t(good.size()), CorruptFileOverrun},
        {"data changed", std::string(good).replace(dataAt, 1, "X"), 7, CorruptFileChecksum},
        {"kind 2", std::string(good).replace(f.name.size() + 1, 1, "\x02"), 7, CorruptFileKind},
        {"kind 6", std::string(good).replace(f.name.size() + 1, 1, "\x06"), 7, CorruptFileKind},
    };
    for (const Case& c : cases) {
        ByteStream in = StreamOf(c.bytes);
        FileRecord r;
        EXPECT_EQ(c.code, ReadFileRecord(in, c.size, true, r)) << c.what;
    }
    ByteStream in = StreamOf(std::string(good).replace(dataAt, 1, "X"));
    FileRecord r;
    EXPECT_EQ(CorruptNone, ReadFileRecord(in, 7, false, r)) << "checksums off";
    EXPECT_EQ(std::string("Xayload"), std::string(r.data, size_t(r.size)));
    EXPECT_STREQ("File", r.shortcutName.Text());
    EXPECT_EQ(3, r.date.hour);
}

class FakeHost : public ManifestHost {
public:
    String WindowsDirectory() override { return "C:\\WINDOWS"; }
    String ProgramFilesFolder() override { return programFiles; }
    String CommonFilesFolder() override { return "C:\\Program Files\\Common Files"; }
    void CreateDirectoryPath(const String& path) override { created.push_back(path.Text()); }
    void SetBackgroundTitle(const String& t) override { title = t.Text(); }
    void SetTitleColor(uint32 c) override { titleColor = c; }
    void SetBackgroundColors(uint32 t, uint32 b, bool m) override {
        top = t;
        bottom = b;
        mono = m;
    }
    void SetBackgroundBitmap(const String& p) override { bitmapBytes = p.Length(); }
    void RepaintBackground() override { ++repaints; }
    void CheckUpdateOnly(const String& r) override { required = r.Text(); ++updateChecks; }

    String programFiles = "C:\\Program Files";
    std::vector<std::string> created;
    std::string title, required;
    uint32 titleColor = 1, top = 1, bottom = 1;
    bool mono = true;
    int bitmapBytes = -1, repaints = 0, updateChecks = 0;
};

struct Derived {
    std::string shared, startMenu, directory, product;
};

Derived Derive(BuildManifest b, const char* productOverride, FakeHost& host) {
    ByteStream in = StreamOf(SerializeManifest(b, {1}, 1, 0, 0));
    Manifest m;
    EXPECT_EQ(CorruptNone, ParseManifest(in, m));
    String product = productOverride;
    DeriveManifestValues(m, product, host);
    return {m.sharedDirectory.Text(), m.startMenuFolder.Text(), m.defaultDirectory.Text(),
            product.Text()};
}

TEST(DeriveManifestValues, NamesAndDirectories) {
    struct Case {
        const char* what;
        int32_t flags;
        const char* publisher;
        const char* product;
        const char* override;
        const char* startMenu;
        const char* directory;
        Derived expected;
    } cases[] = {
        {"plain", WithUninstaller, "Acme", "Rocket", "", "", "",
         {"C:\\Program Files\\Common Files\\Acme", "Acme\\Rocket", "C:\\Program Files\\Rocket", "Rocket"}},
        {"override wins", WithUninstaller, "Acme", "Rocket", "Jet", "", "",
         {"C:\\Program Files\\Common Files\\Acme", "Acme\\Jet", "C:\\Program Files\\Jet", "Jet"}},
        {"no publisher", WithUninstaller, "", "Rocket", "", "", "",
         {"C:\\Program Files\\Common Files", "Rocket", "C:\\Program Files\\Rocket", "Rocket"}},
        {"no uninstaller, no shared directory", 0, "Acme", "Rocket", "", "Games", "Tools",
         {"", "Games", "C:\\Program Files\\Tools", "Rocket"}},
        {"os marker", 0, "", "Rocket", "", "", "<os>\\Rocket",
         {"", "Rocket", "C:\\WINDOWS\\Rocket", "Rocket"}},
        {"marker is case-sensitive", 0, "", "R", "", "", "<OS>x",
         {"", "R", "C:\\Program Files\\<OS>x", "R"}},
        {"rooted", 0, "", "R", "", "", "\\Apps\\R", {"", "R", "C:\\Apps\\R", "R"}},
        {"drive relative", 0, "", "R", "", "", "D:Tools", {"", "R", "D:\\Program Files\\Tools", "R"}},
        {"full path", 0, "", "R", "", "", "E:\\R", {"", "R", "E:\\R", "R"}},
        {"no product name at all", 0, "", "", "", "", "", {"", "", "C:\\Program Files\\", ""}},
    };
    for (const Case& c : cases) {
        BuildManifest b;
        b.flags = c.flags;
        b.publisher = c.publisher;
        b.productName = c.product;
        b.startMenuFolder = c.startMenu;
        b.defaultDirectory = c.directory;
        FakeHost host;
        Derived d = Derive(b, c.override, host);
        EXPECT_EQ(c.expected.shared, d.shared) << c.what;
        EXPECT_EQ(c.expected.startMenu, d.startMenu) << c.what;
        EXPECT_EQ(c.expected.directory, d.directory) << c.what;
        EXPECT_EQ(c.expected.product, d.product) << c.what;
        EXPECT_EQ(c.expected.shared.empty() ? 0u : 1u, host.created.size()) << c.what;
    }
}

TEST(DeriveManifestValues, BaseWithoutDriveLeavesTheDirectoryRelative) {
    BuildManifest b;
    b.productName = "R";
    FakeHost host;
    host.programFiles = "";
    EXPECT_EQ("R", Derive(b, "", host).directory);
}

TEST(DeriveManifestValues, BackgroundFollowsFlagsAndBitmap) {
    BuildManifest b = SampleManifest();
    b.flags = 0;
    FakeHost plain;
    Derive(b, "", plain);
    EXPECT_EQ(1u, plain.top) << "colours without CustomColors are ignored";
    EXPECT_EQ(1u, plain.titleColor);
    EXPECT_EQ("Rocket 2.1", plain.title);

    b.flags = CustomColors;
    FakeHost coloured;
    Derive(b, "", coloured);
    EXPECT_EQ(0x800000u, coloured.top);
    EXPECT_EQ(0u, coloured.bottom);
    EXPECT_FALSE(coloured.mono);
    EXPECT_EQ(0xFFFFFFu, coloured.titleColor);
    EXPECT_GE(coloured.repaints, 1);

    b.flags = 0;
    b.bitmap = "BITMAPBYTES";
    FakeHost pictured;
    Derive(b, "", pictured);
    EXPECT_EQ(11, pictured.bitmapBytes);
    EXPECT_EQ(0xFFFFFFu, pictured.titleColor) << "a bitmap brings its title colour";
    EXPECT_EQ(1u, pictured.top);

    b.flags = UpdateOnly;
    b.requiredProduct = "Base";
    FakeHost update;
    Derive(b, "", update);
    EXPECT_EQ(1, update.updateChecks);
    EXPECT_EQ("Base", update.required);
}

TEST(ReplaceOsMarker, ReplacesEveryMarkerOnce) {
    EXPECT_STREQ("W\\a;W\\b", ReplaceOsMarker("<os>\\a;<os>\\b", "W").Text());
    EXPECT_STREQ("<os>x", ReplaceOsMarker("<os>x", "<os>").Text());
    EXPECT_STREQ("", ReplaceOsMarker("", "W").Text());
}

}  // namespace
