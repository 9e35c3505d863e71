// Reading the machine, the CheckSum and the security entry of a program
// image: every field at the edge of the bytes given, the checksum that
// leaves both out, the CheckSum cleared in unsigned images, and the
// detaching of a signature whose table stayed in the signed file.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "archive/pe_image.h"
#include "core/checksum.h"

namespace {

void Set16(std::string& s, size_t at, uint32 v) {
    s[at] = char(v);
    s[at + 1] = char(v >> 8);
}

void Set32(std::string& s, size_t at, uint32 v) {
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(v >> (8 * i));
}

struct Layout {
    uint32 lfanew = 0x80;
    uint32 magic = 0x10B;
    uint32 optionalSize = 0;  // 0: exactly what reaches entry 4
    uint32 rvaCount = 16;

    size_t Directories() const { return lfanew + 24 + (magic == 0x20B ? 112 : 96); }
    size_t ChecksumAt() const { return lfanew + 24 + 64; }
    size_t EntryAt() const { return Directories() + 32; }
    size_t HeadersEnd() const { return EntryAt() + 8; }
};

// Headers with a CheckSum and a security entry, the rest bytes of a pattern.
std::string Image(const Layout& l, size_t length, uint32 checksum = 0x26C87, uint32 table = 0, uint32 size = 0) {
    std::string s(length > l.HeadersEnd() ? length : l.HeadersEnd(), '\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = char(i * 131 + 7);
    s[0] = 'M';
    s[1] = 'Z';
    Set32(s, 0x3C, l.lfanew);
    memcpy(&s[l.lfanew], "PE\0\0", 4);
    Set16(s, l.lfanew + 20, l.optionalSize ? l.optionalSize : uint32(l.HeadersEnd() - (l.lfanew + 24)));
    Set16(s, l.lfanew + 24, l.magic);
    Set32(s, l.lfanew + 24 + (l.magic == 0x20B ? 108 : 92), l.rvaCount);
    Set32(s, l.ChecksumAt(), checksum);
    Set32(s, l.EntryAt(), table);
    Set32(s, l.EntryAt() + 4, size);
    s.resize(length);
    return s;
}

TEST(PeHeadersOffset, NeedsTheWholeDosHeaderAndMZ) {
    Layout l;
    std::string image = Image(l, 400);
    EXPECT_EQ(-1, PeHeadersOffset(image.data(), PeDosHeaderSize - 1));
    EXPECT_EQ(0x80, PeHeadersOffset(image.data(), PeDosHeaderSize));
    EXPECT_EQ(-1, PeHeadersOffset(nullptr, 400));
    std::string zm = image;
    zm[0] = 'Z';
    EXPECT_EQ(-1, PeHeadersOffset(zm.data(), 400));
    std::string negative = image;
    Set32(negative, 0x3C, 0x80000000u);
    EXPECT_EQ(-1, PeHeadersOffset(negative.data(), 400));
}

TEST(FindPeSignatureFields, EveryFieldAtItsEdge) {
    for (uint32 magic : {0x10Bu, 0x20Bu}) {
        Layout l;
        l.magic = magic;
        std::string image = Image(l, l.HeadersEnd(), 0x11223344, 0x1000, 0x208);
        PeSignatureFields f;
        ASSERT_TRUE(FindPeSignatureFields(image.data(), int64(image.size()), f)) << magic;
        EXPECT_EQ(int64(l.ChecksumAt()), f.checksumOffset);
        EXPECT_EQ(int64(l.EntryAt()), f.directoryOffset);
        EXPECT_EQ(int64(l.HeadersEnd()), f.headersEnd);
        EXPECT_EQ(0x1000u, f.tableOffset);
        EXPECT_EQ(0x208u, f.tableSize);
        // One byte short of the security entry's end.
        EXPECT_FALSE(FindPeSignatureFields(image.data(), int64(image.size()) - 1, f)) << magic;
        EXPECT_EQ(0u, f.tableSize);

        size_t needed = l.HeadersEnd() - (l.lfanew + 24);
        struct { const char* what; uint32 optionalSize, rvaCount, magic; bool found; } cases[] = {
            {"optional header exactly to entry 4", uint32(needed), 16, magic, true},
            {"optional header one short", uint32(needed - 1), 16, magic, false},
            {"five directory entries", 0, 5, magic, true},
            {"four directory entries", 0, 4, magic, false},
            {"ROM image magic", 0, 16, 0x107, false},
        };
        for (const auto& c : cases) {
            Layout k = l;
            k.optionalSize = c.optionalSize;
            k.rvaCount = c.rvaCount;
            k.magic = c.magic;
            std::string bytes = Image(k, 1024, 1, 2, 8);
            EXPECT_EQ(c.found, FindPeSignatureFields(bytes.data(), int64(bytes.size()), f)) << c.what << " " << magic;
        }
    }
    Layout l;
    std::string image = Image(l, 1024);
    image[l.lfanew + 3] = 1;  // "PE\0\1"
    PeSignatureFields f;
    EXPECT_FALSE(FindPeSignatureFields(image.data(), int64(image.size()), f));
    // e_lfanew at the very end, then the magic's last byte missing.
    Layout far;
    far.lfanew = 1020;
    std::string end = Image(far, 1024);
    EXPECT_FALSE(FindPeSignatureFields(end.data(), int64(end.size()), f));
    Set32(end, 0x3C, 1024);
    EXPECT_FALSE(FindPeSignatureFields(end.data(), int64(end.size()), f));
    std::string magicCut = Image(l, l.lfanew + 25);
    EXPECT_FALSE(ReadPeHeaders(magicCut.data() + l.lfanew, 25, l.lfanew, f));
}

TEST(ProgramImageChecksum, CountsTheTwoFieldsAsZeroWhereverTheyFall) {
    // e_lfanew of each alignment puts the fields across word edges; lengths
    // from the entry's end on put them in the signed tail bytes too.
    for (uint32 lfanew = 0x80; lfanew < 0x84; ++lfanew) {
        Layout l;
        l.lfanew = lfanew;
        for (size_t extra = 0; extra < 9; ++extra) {
            size_t length = l.HeadersEnd() + extra;
            std::string image = Image(l, length, 0xFEDCBA98, 0x8899AABB, 0xCCDDEEFF);
            std::string cleared = image;
            memset(&cleared[l.ChecksumAt()], 0, 4);
            memset(&cleared[l.EntryAt()], 0, 8);
            uint32 expected = Checksum(cleared.data(), int32(length));
            EXPECT_EQ(expected, ProgramImageChecksum(image.data(), int32(length))) << lfanew << " " << extra;
            EXPECT_EQ(expected, ProgramImageChecksum(cleared.data(), int32(length))) << lfanew << " " << extra;
        }
    }
    // Bytes that are no PE image are summed as they are.
    std::string plain = "MZ not an image";
    EXPECT_EQ(Checksum(plain.data(), int32(plain.size())), ProgramImageChecksum(plain.data(), int32(plain.size())));
}

TEST(DetachSignature, ClearsOnlyAPointerToATableOutsideTheImage) {
    Layout l;
    const size_t length = 2000;
    struct { const char* what; uint32 table, size; bool detached; } cases[] = {
        {"unsigned", 0, 0, false},
        {"own table ending at the image's end", 1000, 1000, false},
        {"table one byte past the end", 1000, 1001, true},
        {"table beginning at the end", 2000, 8, true},
        {"sum past 32 bits", 0xFFFFFFF8u, 0x10, true},
    };
    for (const auto& c : cases) {
        std::string image = Image(l, length, 0x26C87, c.table, c.size);
        std::string before = image;
        EXPECT_EQ(c.detached, DetachSignature(&image[0], int64(length))) << c.what;
        if (!c.detached) {
            EXPECT_EQ(before, image) << c.what;
            continue;
        }
        PeSignatureFields f;
        ASSERT_TRUE(FindPeSignatureFields(image.data(), int64(length), f));
        EXPECT_EQ(0u, f.tableOffset) << c.what;
        EXPECT_EQ(0u, f.tableSize) << c.what;
        EXPECT_EQ(std::string(4, '\0'), image.substr(l.ChecksumAt(), 4)) << c.what;
        // Nothing else changes.
        memset(&before[l.ChecksumAt()], 0, 4);
        memset(&before[l.EntryAt()], 0, 8);
        EXPECT_EQ(before, image) << c.what;
    }
    std::string plain = "not an image at all";
    EXPECT_FALSE(DetachSignature(&plain[0], int64(plain.size())));
}

TEST(PeMachine, ReadsTheFileHeadersMachineAtItsEdge) {
    Layout l;
    struct { const char* what; uint32 machine; const char* name; } machines[] = {
        {"32-bit", 0x14C, "i386"}, {"64-bit", 0x8664, "x86-64"}, {"ARM64", 0xAA64, nullptr},
    };
    for (const auto& m : machines) {
        std::string image = Image(l, 400);
        Set16(image, l.lfanew + 4, m.machine);
        EXPECT_EQ(int32(m.machine), PeMachine(image.data(), int64(image.size()))) << m.what;
        if (m.name) {
            EXPECT_STREQ(m.name, PeMachineName(PeMachine(image.data(), int64(image.size())))) << m.what;
        } else {
            EXPECT_EQ(nullptr, PeMachineName(int32(m.machine))) << m.what;
        }
        // The field's last byte is the last one given, then one short.
        EXPECT_EQ(int32(m.machine), PeMachine(image.data(), int64(l.lfanew) + 6)) << m.what;
        EXPECT_EQ(-1, PeMachine(image.data(), int64(l.lfanew) + 5)) << m.what;
    }
    std::string image = Image(l, 400);
    image[l.lfanew + 2] = 'x';  // "PEx\0"
    EXPECT_EQ(-1, PeMachine(image.data(), 400));
    EXPECT_EQ(-1, PeMachine("MZ", 2));
    Set32(image, 0x3C, 0x7FFFFFF0u);  // e_lfanew far past the end
    EXPECT_EQ(-1, PeMachine(image.data(), 400));
}

// Unsigned, the CheckSum goes to zero and nothing else changes, so the
// plain sum of the image is the one that leaves both fields out.
TEST(ClearUnsignedChecksum, ZerosTheCheckSumOfUnsignedImagesOnly) {
    for (size_t length : {size_t(1024), size_t(1027)}) {
        Layout l;
        std::string image = Image(l, length, 0x26C87);
        std::string expected = image;
        memset(&expected[l.ChecksumAt()], 0, 4);
        EXPECT_TRUE(ClearUnsignedChecksum(&image[0], int64(length))) << length;
        EXPECT_EQ(expected, image) << length;
        EXPECT_EQ(Checksum(image.data(), int32(length)), ProgramImageChecksum(image.data(), int32(length))) << length;
    }
    struct { const char* what; std::string bytes; } untouched[] = {
        {"signed, table inside", Image(Layout(), 2000, 0x26C87, 1000, 1000)},
        {"signed, table outside", Image(Layout(), 2000, 0x26C87, 2000, 8)},
        {"size only", Image(Layout(), 2000, 0x26C87, 0, 8)},
        {"no PE image", std::string("MZ but nothing more")},
    };
    for (auto& c : untouched) {
        const std::string before = c.bytes;
        EXPECT_FALSE(ClearUnsignedChecksum(&c.bytes[0], int64(c.bytes.size()))) << c.what;
        EXPECT_EQ(before, c.bytes) << c.what;
    }
}

}  // namespace
