// Gathering and storing a payload on real files under Wine: setup programs
// written by the archive writer, stored into a scratch folder, with their
// dates, removal record, shortcut requests and the corrupt codes of damaged
// payloads.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/build/archive_writer.h"
#include "core/fatal.h"
#include "installer/archive_locate.h"
#include "installer/extraction.h"
#include "platform/file_system.h"
#include "uninstall/removal_record.h"

namespace {

const char kCorrupt[] = "Error code: %d";

void PutInt(std::string& out, int32_t value) { out.append(reinterpret_cast<const char*>(&value), 4); }

// A record as the format lays it out, whatever its name: the writer itself
// refuses the names these tests need.
std::string RawRecord(const BuildFile& f) {
    std::string out = f.name + '\0';
    PutInt(out, f.kind);
    PutInt(out, f.shortcutBits);
    out += f.data;
    PutInt(out, int32_t(Checksum(f.data.data(), int32(f.data.size()))));
    const int32_t date[6] = {f.date.year, f.date.month, f.date.day, f.date.hour, f.date.minute, f.date.second};
    out.append(reinterpret_cast<const char*>(date), sizeof date);
    return out + f.shortcutName + '\0';
}

std::string Stub() { return std::string("MZ") + std::string(510, '\x90'); }

BuildFile MakeFile(const std::string& name, const std::string& data, int32_t kind = Normal) {
    BuildFile f;
    f.name = name;
    f.kind = kind;
    f.data = data;
    f.date = FileDate(2021, 6, 15, 14, 30, 20);
    return f;
}

class Extraction : public ::testing::Test {
protected:
    void SetUp() override {
        AutomaticMode = true;
        root_ = String("C:\\extraction-test");
        DeleteTree(root_);
        ASSERT_TRUE(CreateDirectoryPath(root_));
        install_ = JoinPath(root_, "Product");
        ASSERT_TRUE(CreateDirectoryPath(install_));
        manifest_.productName = "Product";
    }
    void TearDown() override {
        for (int disk = 2; disk < 5; ++disk) RemoveFile(PathInModuleDirectory(DiskName(disk)));
        DeleteTree(root_);
    }

    static String DiskName(int disk) { return String::FromFormat("Disk%d.QPK", disk); }

    // Writes the setup program (and its disks beside the test program) and
    // opens it as the installer opens its own file.
    void Write(const std::vector<BuildFile>& files, const BuildOptions& options, File& own, Manifest& manifest,
               ByteStream& header) {
        BuildOutput out = BuildArchive(Stub(), manifest_, files, options);
        String setup = JoinPath(root_, "setup.exe");
        ASSERT_TRUE(WriteWholeFile(setup, out.setup.data(), int32(out.setup.size())));
        for (size_t i = 0; i < out.disks.size(); ++i) {
            String disk = PathInModuleDirectory(DiskName(int(i) + 2));
            ASSERT_TRUE(WriteWholeFile(disk, out.disks[i].data(), int32(out.disks[i].size())));
        }
        ASSERT_TRUE(own.OpenForReading(setup, false));
        ASSERT_TRUE(LocateArchive(own, header));
        ReadManifest(header, manifest);
        manifest.sharedDirectory = JoinPath(root_, "Shared");
        CreateDirectoryPath(manifest.sharedDirectory);
    }

    void Install(const std::vector<BuildFile>& files, const BuildOptions& options, String& problems,
                 StoredFiles& stored) {
        File own;
        Manifest manifest;
        ByteStream header;
        Write(files, options, own, manifest, header);
        StoredPayload payload(own, LocatedArchive().payloadStart, manifest);
        GatherPayload(payload);
        ResetRemovalRecord();
        StoreAllFiles(payload, install_, problems, stored);
    }

    static std::string Read(const String& path) {
        String bytes;
        EXPECT_TRUE(ReadWholeFile(path, bytes)) << path.Text();
        return std::string(bytes.Text(), size_t(bytes.Length()));
    }

    static FileDate DateOf(const String& path) {
        File file;
        FileDate date;
        EXPECT_TRUE(file.OpenForReading(path, false));
        EXPECT_TRUE(file.GetTime(&date));
        return date;
    }

    String root_;
    String install_;
    BuildManifest manifest_;
};

TEST_F(Extraction, StoresEveryKindWithItsDateAndRecordsWhatTheUninstallerRemoves) {
    std::vector<BuildFile> files = {MakeFile("top.txt", "top"), MakeFile("a\\b\\deep.txt", "deep"),
                                    MakeFile("a\\mid.txt", "mid"), MakeFile("lib.dll", "shared", Shared),
                                    MakeFile("nodate.txt", "n")};
    files[0].shortcutBits = DesktopShortcut | StartMenuShortcut;
    files[0].shortcutName = "Top";
    files[1].kind = StartupProgram;  // no shortcut bits: no shortcut at all
    files[4].date = FileDate();
    for (bool compress : {true, false}) {
        SCOPED_TRACE(compress);
        BuildOptions options;
        options.compress = compress;
        String problems;
        StoredFiles stored;
        Install(files, options, problems, stored);
        EXPECT_STREQ(problems.Text(), "");
        EXPECT_EQ(Read(JoinPath(install_, "a\\b\\deep.txt")), "deep");
        EXPECT_EQ(Read(JoinPath(root_, "Shared\\lib.dll")), "shared");
        EXPECT_EQ(DateOf(JoinPath(install_, "top.txt")).Compare(FileDate(2021, 6, 15, 14, 30, 20)), 0);
        EXPECT_EQ(DateOf(JoinPath(install_, "nodate.txt")).year, LocalNow().year);
        EXPECT_EQ(stored.storedBytes, 3 + 4 + 3 + 6 + 1);
        ASSERT_EQ(stored.sharedNames.Count(), 1);
        EXPECT_STREQ(stored.sharedNames[0].Text(), "lib.dll");
        ASSERT_EQ(stored.shortcuts.Count(), 1);
        ShortcutRequest* request = stored.shortcuts.Front();
        EXPECT_TRUE(request->desktop && request->startMenu && !request->startup);
        EXPECT_STREQ(request->name.Text(), "Top");
        // Every folder made below the installation directory is recorded,
        // outer first, before its files; shared files are not recorded.
        String i = install_;
        String expected = i + "\\top.txt\r\n~" + i + "\\a\r\n~" + i + "\\a\\b\r\n" + i + "\\a\\b\\deep.txt\r\n" + i +
                          "\\a\\mid.txt\r\n" + i + "\\nodate.txt\r\n";
        EXPECT_STREQ(RemovalRecordText().Text(), expected.Text());
    }
}

TEST_F(Extraction, NoRemovalListRecordsNothing) {
    manifest_.flags = NoRemovalList;
    String problems;
    StoredFiles stored;
    Install({MakeFile("x\\y.txt", "y")}, BuildOptions(), problems, stored);
    EXPECT_EQ(Read(JoinPath(install_, "x\\y.txt")), "y");
    EXPECT_STREQ(RemovalRecordText().Text(), "");
}

TEST_F(Extraction, PayloadSpreadOverDisksIsGatheredWholeEvenWithAnEmptyFirstPart) {
    std::vector<BuildFile> files;
    for (int i = 0; i < 6; ++i) files.push_back(MakeFile("f" + std::to_string(i), std::string(700, char('a' + i))));
    for (int64_t first : {int64_t(0), int64_t(1000)}) {
        SCOPED_TRACE(first);
        BuildOptions options;
        options.compress = false;
        options.firstPartMax = first;
        options.diskMax = 1500;
        String problems;
        StoredFiles stored;
        Install(files, options, problems, stored);
        EXPECT_STREQ(problems.Text(), "");
        for (int i = 0; i < 6; ++i) EXPECT_EQ(Read(JoinPath(install_, String::FromFormat("f%d", i))).size(), 700u);
    }
}

TEST_F(Extraction, NewerSharedFileIsKeptInAutomaticModeButStillCounted) {
    String existing = JoinPath(root_, "Shared\\lib.dll");
    CreateDirectoryPath(JoinPath(root_, "Shared"));
    ASSERT_TRUE(WriteWholeFile(existing, "newer", 5));
    File file;
    ASSERT_TRUE(file.Open(existing, false, true, false));
    ASSERT_TRUE(file.SetTime(FileDate(2030, 1, 1, 0, 0, 0)));
    file.Close();
    String problems;
    StoredFiles stored;
    Install({MakeFile("lib.dll", "older", Shared)}, BuildOptions(), problems, stored);
    EXPECT_EQ(Read(existing), "newer");
    EXPECT_EQ(stored.sharedNames.Count(), 1);
    // Not newer (same date to the second): replaced without a question.
    ASSERT_TRUE(file.Open(existing, false, true, false));
    ASSERT_TRUE(file.SetTime(FileDate(2021, 6, 15, 14, 30, 20)));
    file.Close();
    EXPECT_TRUE(MayReplace(existing, FileDate(2021, 6, 15, 14, 30, 20), "shared"));
    EXPECT_FALSE(MayReplace(existing, FileDate(2021, 6, 15, 14, 30, 19), "shared"));
    EXPECT_TRUE(MayReplace(existing, FileDate(), "shared"));
    EXPECT_TRUE(MayReplace(JoinPath(root_, "missing.dll"), FileDate(2000, 1, 1, 0, 0, 0), "shared"));
}

// Where the pending renames of the next restart are kept.
std::string PendingRenames() {
    HKEY key;
    std::string text;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_ALL_ACCESS,
                      &key) != ERROR_SUCCESS)
        return text;
    char buffer[8192];
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                         &size) == ERROR_SUCCESS)
        text.assign(buffer, size);
    RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
    return text;
}

TEST_F(Extraction, FilesThatCannotBeWrittenAreProblemsNotStops) {
    String blocked = JoinPath(install_, "blocked.txt");
    ASSERT_TRUE(CreateDirectoryPath(blocked));  // a folder where the file should go
    String problems;
    StoredFiles stored;
    Install({MakeFile("blocked.txt", "new"), MakeFile("fine.txt", "fine")}, BuildOptions(), problems, stored);
    EXPECT_STREQ(problems.Text(), (String("Unable to create file: ") + blocked + "\r\n\r\n").Text());
    EXPECT_EQ(Read(JoinPath(install_, "fine.txt")), "fine");
    EXPECT_EQ(stored.storedBytes, 4);
}

// A file another program holds open is written beside it and takes its
// place at the next restart, instead of leaving the product half old.
TEST_F(Extraction, FilesInUseAreReplacedAtTheRestart) {
    PendingRenames();
    String held = JoinPath(install_, "held.txt");
    ASSERT_TRUE(WriteWholeFile(held, "old", 3));
    File holder;
    ASSERT_TRUE(holder.OpenForReading(held, true));  // nobody else may open it
    String problems;
    StoredFiles stored;
    Install({MakeFile("held.txt", "new"), MakeFile("fine.txt", "fine")}, BuildOptions(), problems, stored);
    holder.Close();
    EXPECT_STREQ(problems.Text(), "");
    EXPECT_EQ(Read(held), "old");
    EXPECT_EQ(Read(held + ".qpk-new"), "new");
    EXPECT_EQ(DateOf(held + ".qpk-new").Compare(FileDate(2021, 6, 15, 14, 30, 20)), 0);
    EXPECT_NE(std::string(FilesReplacedAtRestart().Text()).find("Replaced at restart: " + std::string(held.Text()) +
                                                                 "\r\n"),
              std::string::npos);
    std::string pending = PendingRenames();
    EXPECT_NE(pending.find(std::string(held.Text()) + ".qpk-new"), std::string::npos) << pending;
    EXPECT_EQ(stored.storedBytes, 7);
}

// A file larger than what is held whole arrives in pieces and is written as
// they come; the result is the same file with its date.
TEST_F(Extraction, LargeFilesAreStoredPieceByPiece) {
    std::string big(9 * 1024 * 1024 + 3, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char((i * 2654435761u) >> 13);
    BuildOptions options;
    options.compress = true;
    String problems;
    StoredFiles stored;
    Install({MakeFile("big.bin", big), MakeFile("after.txt", "after")}, options, problems, stored);
    EXPECT_STREQ(problems.Text(), "");
    EXPECT_TRUE(Read(JoinPath(install_, "big.bin")) == big);
    EXPECT_EQ(DateOf(JoinPath(install_, "big.bin")).Compare(FileDate(2021, 6, 15, 14, 30, 20)), 0);
    EXPECT_EQ(Read(JoinPath(install_, "after.txt")), "after");
    EXPECT_EQ(stored.storedBytes, int64(big.size()) + 5);
}

// Each damage is made with consistent outer checksums so that it reaches
// the check it is meant for.
TEST_F(Extraction, DamagedPayloadsEndWithTheirCodes) {
    struct Case {
        int code;
        const char* what;
    } cases[] = {{55, "payload byte"}, {70, "empty name"}, {70, "climbing name"}, {70, "climbing shortcut name"},
                 {90, "size past the end"}, {100, "file checksum"}, {110, "kind"}, {60, "undecodable block"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BuildFile> files = {MakeFile("ok.txt", "fine"), MakeFile("bad.txt", "data")};
        std::string what = c.what;
        BuildOptions options;
        options.compress = what == "undecodable block";
        std::string first;
        BuildFile& bad = files[1];
        std::vector<int32_t> sizes = {4, what == "size past the end" ? 1000 : 4};
        std::string payload = RawRecord(files[0]);
        if (what == "empty name") bad.name = "";
        if (what == "climbing name") bad.name = "..\\escaped.txt";
        if (what == "climbing shortcut name") {
            bad.shortcutBits = DesktopShortcut;
            bad.shortcutName = "..\\..\\escaped";
        }
        if (what == "kind") bad.kind = 3;
        std::string record = RawRecord(bad);
        if (what == "file checksum") record[bad.name.size() + 1 + 8] ^= 1;
        payload += record;
        if (what == "undecodable block") payload = std::string("\xA1\x2B\xC7\x9E\x10\x00\x00\x00\xFF", 9);
        uint32_t checksum = Checksum(payload.data(), int32(payload.size()));
        if (what == "payload byte") payload[3] ^= 1;
        BuildManifest manifest = manifest_;
        manifest.flags |= Checksums | (options.compress ? CompressedPayload : 0);
        std::string header = SerializeManifest(manifest, sizes, int32(payload.size()), checksum, 0);
        uint32_t key = Checksum(header.data(), int32(header.size()));
        Scramble(&header[0], int32(header.size()), key);
        std::string setup = AssembleSetup(Stub(), header, key, payload);
        String path = JoinPath(root_, "damaged.exe");
        ASSERT_TRUE(WriteWholeFile(path, setup.data(), int32(setup.size())));
        EXPECT_EXIT(
            {
                File own;
                Manifest m;
                ByteStream h;
                own.OpenForReading(path, false);
                LocateArchive(own, h);
                ReadManifest(h, m);
                StoredPayload p(own, LocatedArchive().payloadStart, m);
                GatherPayload(p);
                String problems;
                StoredFiles stored;
                StoreAllFiles(p, install_, problems, stored);
                exit(0);
            },
            ::testing::ExitedWithCode(1), String::FromFormat(kCorrupt, c.code).Text());
        EXPECT_FALSE(FileExists(JoinPath(root_, "escaped.txt")));
    }
}

TEST_F(Extraction, EmptyDiskFileIsFatal) {
    std::vector<BuildFile> files = {MakeFile("a", std::string(600, 'a'))};
    BuildOptions options;
    options.compress = false;
    options.firstPartMax = 100;
    File own;
    Manifest manifest;
    ByteStream header;
    Write(files, options, own, manifest, header);
    String disk = PathInModuleDirectory("Disk2.QPK");
    ASSERT_TRUE(WriteWholeFile(disk, "", 0));
    EXPECT_EXIT(
        {
            StoredPayload payload(own, LocatedArchive().payloadStart, manifest);
            GatherPayload(payload);
            exit(0);
        },
        ::testing::ExitedWithCode(1), "The file .*Disk2.QPK is empty");
}

}  // namespace
