// Setup programs signed after they were built: the archive ends where the
// certificate table begins (after the signer's padding), the program image
// checksum survives the signer's changes, and tables that do not fit the
// file are corruption.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/build/archive_reader.h"
#include "archive/build/archive_writer.h"
#include "archive/pe_image.h"
#include "core/byte_stream.h"
#include "signing_support.h"

namespace {

using signing::kChecksumAt;
using signing::kEntryAt;
using signing::Set32;
using signing::Sign;
using signing::Stub;

BuildOutput Built(const std::string& stub) {
    BuildManifest m;
    m.flags = WithUninstaller;
    m.productName = "Signed";
    std::vector<BuildFile> files(2);
    files[0].name = "a.txt";
    files[0].data = "alpha";
    files[1].name = "b\\c.bin";
    files[1].data = std::string(700, 'z');
    return BuildArchive(stub, m, files, BuildOptions());
}


TEST(SignedSetup, ArchiveEndsBeforeTheTableWhateverThePadding) {
    // Eight stub lengths give each padding from 0 to 7 once.
    for (size_t stubLength = 1000; stubLength < 1008; ++stubLength) {
        BuildOutput out = Built(Stub(stubLength));
        std::string signedSetup = Sign(out.setup);
        Inspection r = InspectSetup(signedSetup, nullptr);
        EXPECT_TRUE(r.Sound()) << stubLength << ": " << r.problem;
        EXPECT_TRUE(r.signedImage) << stubLength;
        EXPECT_EQ(int64(out.setup.size()), r.head.end) << stubLength;
        ASSERT_EQ(2u, r.files.size()) << stubLength;
        EXPECT_EQ(std::string(700, 'z'), r.files[1].data);

        Inspection plain = InspectSetup(out.setup, nullptr);
        EXPECT_TRUE(plain.Sound()) << stubLength << ": " << plain.problem;
        EXPECT_FALSE(plain.signedImage);
        EXPECT_EQ(int64(out.setup.size()), plain.head.end);
    }
}

TEST(SignedSetup, MagicOfAShiftedTrailerDoesNotMisleadTheEnd) {
    // The stub's length 0x1234 read one byte further on is 0x12: put a
    // magic there whose header length does not fit, as a decoy.
    int tried = 0;
    for (size_t stubLength = 0x1230; stubLength < 0x1238; ++stubLength) {
        std::string stub = Stub(stubLength);
        Set32(stub, 0x12, uint32(ArchiveMagic));
        Set32(stub, 0x16, 0x7FFFFFF0);
        BuildOutput out = Built(stub);
        if (out.setup.size() % 8 == 0) continue;  // no padding, no shifted place
        ++tried;
        Inspection r = InspectSetup(Sign(out.setup), nullptr);
        EXPECT_TRUE(r.Sound()) << stubLength << ": " << r.problem;
        EXPECT_EQ(int32(stubLength), r.head.offset);
    }
    EXPECT_EQ(7, tried);
}

TEST(SignedSetup, ProgramImageChecksumSurvivesSigningAndOldSetupsStillPass) {
    std::string stub = Stub(1024);
    BuildOutput out = Built(stub);
    // The checksum the writer stores leaves the two fields out.
    EXPECT_EQ(CorruptNone, InspectSetup(Sign(out.setup), nullptr).code);

    // A setup built before: the plain sum of its image, CheckSum included.
    const int32 length = int32(stub.size());
    EXPECT_TRUE(UninstallerChecksumMatches(stub.data(), length, Checksum(stub.data(), length)));
    EXPECT_TRUE(UninstallerChecksumMatches(stub.data(), length, ProgramImageChecksum(stub.data(), length)));

    // Any other change to the image is still caught, signed or not.
    for (bool sign : {false, true}) {
        std::string damaged = out.setup;
        damaged[kChecksumAt + 4] ^= 0x01;  // the byte after the CheckSum
        if (sign) damaged = Sign(damaged);
        EXPECT_EQ(CorruptUninstallerChecksum, InspectSetup(damaged, nullptr).code) << sign;
    }
}

TEST(FindArchiveEnd, TableMustFitTheFileToItsLastByte) {
    const std::string setup = Built(Stub(1000)).setup;  // padding comes out as needed
    const std::string good = Sign(setup, 1504);
    const uint32 table = uint32(good.size() - 1504);
    const uint32 headersEnd = uint32(signing::kHeadersEnd);
    struct { const char* what; uint32 offset, size, declared; int32 code; bool signedImage; } cases[] = {
        {"exactly to the end", table, 1504, 1504, CorruptNone, true},
        {"one byte past the end (cut short)", table, 1505, 1504, CorruptArchiveOffset, false},
        {"one byte before the end", table, 1503, 1503, CorruptNone, false},
        {"starting at the end", uint32(good.size()), 8, 8, CorruptArchiveOffset, false},
        {"starting far outside", 0x7FFFFFF0u, 0x20, 8, CorruptArchiveOffset, false},
        {"offset and size past 32 bits", 0xFFFFFFF8u, 0x10, 8, CorruptArchiveOffset, false},
        {"size without offset", 0, 8, 8, CorruptArchiveOffset, false},
        {"offset without size", table, 0, 8, CorruptArchiveOffset, false},
        {"size one short of a certificate head", uint32(good.size() - 7), 7, 7, CorruptArchiveOffset, false},
        {"just a certificate head", uint32(good.size() - 8), 8, 8, CorruptNone, true},
        {"head declares one byte more", table, 1504, 1505, CorruptArchiveOffset, false},
        {"head declares one byte short of itself", table, 1504, 7, CorruptArchiveOffset, false},
        {"head declares just itself", table, 1504, 8, CorruptNone, true},
        {"table from the end of the headers", headersEnd, uint32(good.size()) - headersEnd, 8, CorruptNone, true},
        {"table one byte into the headers", headersEnd - 1, uint32(good.size()) - headersEnd + 1, 8,
         CorruptArchiveOffset, false},
    };
    for (const auto& c : cases) {
        std::string file = good;
        Set32(file, kEntryAt, c.offset);
        Set32(file, kEntryAt + 4, c.size);
        if (uint64_t(c.offset) + 8 <= file.size() && c.offset >= headersEnd) Set32(file, c.offset, c.declared);
        MemorySource source(file);
        int64 end = -1;
        bool signedImage = false;
        EXPECT_EQ(c.code, FindArchiveEnd(source, int64(file.size()), end, signedImage)) << c.what;
        EXPECT_EQ(c.signedImage, signedImage) << c.what;
        if (c.code == CorruptNone && !c.signedImage) {
            EXPECT_EQ(int64(file.size()), end) << c.what;
        }
        // The installer's road: a corrupt report, never a crash or a read past the end.
        Inspection r = InspectSetup(file, nullptr);
        if (c.code != CorruptNone) {
            EXPECT_TRUE(r.found) << c.what;
            EXPECT_EQ(c.code, r.code) << c.what;
        }
    }
}

TEST(FindArchiveEnd, DamagedSignedSetupsAreCorrupt) {
    const std::string good = Sign(Built(Stub(1003)).setup);
    struct { const char* what; std::string file; } cases[] = {
        {"last byte cut", good.substr(0, good.size() - 1)},
        {"half the table cut", good.substr(0, good.size() - 700)},
        {"table cut away", good.substr(0, good.size() - 1504)},
    };
    for (const auto& c : cases) {
        Inspection r = InspectSetup(c.file, nullptr);
        EXPECT_TRUE(r.found) << c.what;
        EXPECT_EQ(CorruptArchiveOffset, r.code) << c.what;
    }
    // Bytes after the table: the table no longer reaches the end, so the
    // file's last bytes are taken for the trailer, and they are no trailer.
    Inspection extra = InspectSetup(good + std::string("\x01\x02\x03\x04", 4), nullptr);
    EXPECT_FALSE(extra.signedImage);
    EXPECT_FALSE(extra.Sound());
}

TEST(FindArchiveEnd, SignedProgramWithoutArchiveHasNone) {
    std::string stub = Stub(1000);
    Set32(stub, 996, 0);
    Inspection r = InspectSetup(Sign(stub), nullptr);
    EXPECT_FALSE(r.found);
    EXPECT_TRUE(r.signedImage);
}

}  // namespace
