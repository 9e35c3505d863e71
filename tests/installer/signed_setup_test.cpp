// A signed setup program on real files under Wine: its payload's first
// part stops at the trailer, not at the end of the certificate table after
// it, and a table that does not fit the file ends in the corrupt report.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../archive/signing_support.h"
#include "archive/archive.h"
#include "archive/build/archive_writer.h"
#include "core/fatal.h"
#include "installer/archive_locate.h"
#include "installer/extraction.h"
#include "platform/file_system.h"
#include "uninstall/removal_record.h"

namespace {

class SignedSetup : public ::testing::Test {
protected:
    void SetUp() override {
        AutomaticMode = true;
        root_ = String("C:\\signed-setup-test");
        DeleteTree(root_);
        ASSERT_TRUE(CreateDirectoryPath(root_));
        install_ = JoinPath(root_, "Product");
        ASSERT_TRUE(CreateDirectoryPath(install_));
    }
    void TearDown() override {
        for (int disk = 2; disk < 4; ++disk) RemoveFile(PathInModuleDirectory(String::FromFormat("Disk%d.QPK", disk)));
        DeleteTree(root_);
    }

    BuildOutput Build(const BuildOptions& options) {
        BuildManifest m;
        m.productName = "Signed";
        std::vector<BuildFile> files(2);
        files[0].name = "a.txt";
        files[0].data = std::string(900, 'a');
        files[1].name = "sub\\b.txt";
        files[1].data = std::string(900, 'b');
        return BuildArchive(signing::Stub(1001), m, files, options);
    }

    String WriteSetup(const std::string& setup, const std::vector<std::string>& disks) {
        String path = JoinPath(root_, "setup.exe");
        EXPECT_TRUE(WriteWholeFile(path, setup.data(), int32(setup.size())));
        for (size_t i = 0; i < disks.size(); ++i) {
            String disk = PathInModuleDirectory(String::FromFormat("Disk%d.QPK", int(i) + 2));
            EXPECT_TRUE(WriteWholeFile(disk, disks[i].data(), int32(disks[i].size())));
        }
        return path;
    }

    std::string Read(const char* name) {
        String bytes;
        EXPECT_TRUE(ReadWholeFile(JoinPath(install_, name), bytes)) << name;
        return std::string(bytes.Text(), size_t(bytes.Length()));
    }

    String root_;
    String install_;
};

TEST_F(SignedSetup, FirstPartStopsAtTheTrailer) {
    // All in the setup program, then a first part followed by a disk: the
    // table read as payload would break the payload checksum.
    for (int64_t first : {int64_t(-1), int64_t(100)}) {
        SCOPED_TRACE(first);
        BuildOptions options;
        options.compress = false;
        options.firstPartMax = first;
        BuildOutput out = Build(options);
        String path = WriteSetup(signing::Sign(out.setup), out.disks);
        File own;
        ByteStream header;
        Manifest manifest;
        ASSERT_TRUE(own.OpenForReading(path, false));
        ASSERT_TRUE(LocateArchive(own, header));
        EXPECT_TRUE(LocatedArchive().signedImage);
        EXPECT_EQ(int64(out.setup.size()), LocatedArchiveEnd());
        ReadManifest(header, manifest);
        StoredPayload payload(own, LocatedArchive().payloadStart, manifest);
        GatherPayload(payload);
        ResetRemovalRecord();
        String problems;
        StoredFiles stored;
        StoreAllFiles(payload, install_, problems, stored);
        EXPECT_STREQ(problems.Text(), "");
        EXPECT_EQ(Read("a.txt"), std::string(900, 'a'));
        EXPECT_EQ(Read("sub\\b.txt"), std::string(900, 'b'));
    }
}

TEST_F(SignedSetup, TableThatDoesNotFitIsCorrupt) {
    std::string good = signing::Sign(Build(BuildOptions()).setup);
    std::string outside = good;
    signing::Set32(outside, signing::kEntryAt, uint32(good.size()) + 16);
    struct { const char* what; std::string setup; } cases[] = {
        {"cut short by one byte", good.substr(0, good.size() - 1)},
        {"pointing outside the file", outside},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        String path = WriteSetup(c.setup, {});
        EXPECT_EXIT(
            {
                File own;
                ByteStream header;
                own.OpenForReading(path, false);
                LocateArchive(own, header);
                exit(0);
            },
            ::testing::ExitedWithCode(1), "Error code: 10");
    }
}

}  // namespace
