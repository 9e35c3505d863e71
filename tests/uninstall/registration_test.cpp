// The uninstall registration, the product keys and the shared-file counts
// written to the real registry of the test prefix, then read back raw.
#ifdef _WIN32

#include "uninstall/registration.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "archive/format.h"
#include "records/quoted_list.h"
#include "platform/registry.h"

namespace {

const char kUninstallList[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kSharedCounts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string Unique(const char* stem) { return stem + std::to_string(GetCurrentProcessId()); }

struct RawValue {
    bool found = false;
    DWORD type = 0;
    std::string text;
    DWORD number = 0;
};

RawValue ReadRaw(HKEY root, const std::string& key, const std::string& name) {
    RawValue value;
    char data[4096];
    DWORD size = sizeof data;
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return value;
    if (RegQueryValueExA(opened, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
        value.found = true;
        if (value.type == REG_DWORD) memcpy(&value.number, data, 4);
        if (value.type == REG_SZ) value.text.assign(data, size ? size - 1 : 0);
    }
    RegCloseKey(opened);
    return value;
}

bool RawKeyExists(HKEY root, const std::string& key) {
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

LONG WINAPI FailsToCreate(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}

// Opens an existing key for reading only, so every write fails.
LONG WINAPI OpensReadOnly(HKEY root, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY key,
                          LPDWORD disposition) {
    *disposition = REG_OPENED_EXISTING_KEY;
    return RegOpenKeyExA(root, subKey, 0, KEY_READ, key);
}

Vector<String> Names(const std::vector<std::string>& names) {
    Vector<String> result;
    for (const auto& name : names) result.Append(String(name.c_str()));
    return result;
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        product_ = Unique("Quillpack Registration Test ");
        recordKey_ = std::string(kUninstallList) + "\\" + product_;
        shared_ = "C:\\QuillpackShared" + std::to_string(GetCurrentProcessId());
        vendorKey_ = "Software\\" + Unique("QuillpackVendor");
    }
    void TearDown() override {
        ReplaceRegistryCreateKey(nullptr);
        while (CurrentKey()) CloseKey();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, recordKey_.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, recordKey_.c_str());
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteTreeA(root, vendorKey_.c_str());
            RegDeleteKeyA(root, vendorKey_.c_str());
        }
        // Every count below the test's own shared directory.
        HKEY counts;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedCounts, 0, KEY_ALL_ACCESS, &counts) != ERROR_SUCCESS) return;
        std::vector<std::string> mine;
        char name[1024];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            if (RegEnumValueA(counts, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            if (std::string(name).rfind(shared_, 0) == 0 || std::string(name).rfind("D:\\QuillpackElsewhere", 0) == 0)
                mine.push_back(name);
        }
        for (const auto& each : mine) RegDeleteValueA(counts, each.c_str());
        RegCloseKey(counts);
    }

    UninstallRecordValues FullValues() const {
        UninstallRecordValues v;
        v.uninstallerPath = "C:\\Apps\\Tool\\Uninstall.EXE";
        v.productName = product_.c_str();
        v.installerPath = "C:\\Downloads\\setup.exe";
        v.version = "2.15";
        v.publisher = "Sample Works";
        v.installDirectory = "C:\\Apps\\Tool";
        v.registryPath = "Sample Works\\Tool";
        v.startMenuFolder = "Sample Works\\Tool";
        v.sharedDirectory = shared_.c_str();
        v.fontsList = "\"Sample (TrueType)\" \"s.ttf\" ";
        v.uninstallBatch1 = "echo one";
        v.uninstallBatch2 = "echo two";
        v.sharedFilesList = "\"a.dll\"";
        v.displayTitle = "Tool Setup";
        v.flags = WithUninstaller | CustomColors;
        v.titleColor = 0xFFFFFFu;
        v.topColor = 0x800000u;
        v.bottomColor = 0x80000000u;
        v.monoColor = false;
        v.displayIcon = "C:\\Apps\\Tool\\tool.exe";
        v.estimatedSizeBytes = 5000;
        return v;
    }

    RawValue Record(const char* name) const { return ReadRaw(HKEY_LOCAL_MACHINE, recordKey_, name); }
    DWORD Count(const std::string& path) const { return ReadRaw(HKEY_LOCAL_MACHINE, kSharedCounts, path).number; }
    bool Counted(const std::string& path) const { return ReadRaw(HKEY_LOCAL_MACHINE, kSharedCounts, path).found; }

    std::string product_, recordKey_, shared_, vendorKey_;
};

TEST_F(RegistrationTest, WritesEveryValueOfTheRecord) {
    String problems;
    ASSERT_TRUE(WriteUninstallRecord(FullValues(), problems));
    EXPECT_STREQ(problems.Text(), "");
    EXPECT_EQ(CurrentKey(), nullptr);
    std::string quoted = "\"C:\\Apps\\Tool\\Uninstall.EXE\"";
    struct { const char* name; std::string text; } texts[] = {
        {"UninstallString", quoted + " /u:\"" + product_ + "\""},
        {"QuietUninstallString", quoted + " /a /u:\"" + product_ + "\""},
        {"DisplayName", product_}, {"InstallSource", "C:\\Downloads\\setup.exe"},
        {"DisplayVersion", "2.15"}, {"Publisher", "Sample Works"}, {"InstallLocation", "C:\\Apps\\Tool"},
        {"ProductRegistry", "Sample Works\\Tool"}, {"ProductStartMenu", "Sample Works\\Tool"},
        {"SharedPath", shared_}, {"ProductFonts", "\"Sample (TrueType)\" \"s.ttf\" "},
        {"UninstallBatch1", "echo one"}, {"UninstallBatch2", "echo two"}, {"SharedFiles", "\"a.dll\""},
        {"DisplayTitle", "Tool Setup"}, {"DisplayIcon", "C:\\Apps\\Tool\\tool.exe"},
    };
    for (const auto& c : texts) {
        RawValue value = Record(c.name);
        EXPECT_TRUE(value.found && value.type == REG_SZ) << c.name;
        EXPECT_EQ(value.text, c.text) << c.name;
    }
    struct { const char* name; DWORD number; } numbers[] = {
        {"VersionMajor", 2}, {"VersionMinor", 15}, {"ProductFlags", WithUninstaller | CustomColors},
        {"TitleColor", 0xFFFFFF}, {"TopColor", 0x800000}, {"BottomColor", 0x80000000u}, {"MonoColor", 0},
        {"EstimatedSize", 5}, {"NoModify", 1}, {"NoRepair", 1},
    };
    for (const auto& c : numbers) {
        RawValue value = Record(c.name);
        EXPECT_TRUE(value.found && value.type == REG_DWORD) << c.name;
        EXPECT_EQ(value.number, c.number) << c.name;
    }
    EXPECT_TRUE(std::regex_match(Record("InstallDate").text,
                                 std::regex("(1[0-2]|[1-9])/([1-9]|[12][0-9]|3[01])/[0-9]{4} "
                                            "(1[0-2]|[1-9]):[0-5][0-9]:[0-5][0-9][ap]")))
        << Record("InstallDate").text;
}

TEST_F(RegistrationTest, EmptyTextsAndAbsentPartsRemoveWhatAPreviousRecordHad) {
    String problems;
    ASSERT_TRUE(WriteUninstallRecord(FullValues(), problems));
    UninstallRecordValues v = FullValues();
    v.version = "7";
    v.publisher = v.registryPath = v.startMenuFolder = v.sharedDirectory = v.fontsList = "";
    v.uninstallBatch1 = v.uninstallBatch2 = v.sharedFilesList = v.displayIcon = "";
    v.flags = WithUninstaller;
    v.monoColor = true;
    ASSERT_TRUE(WriteUninstallRecord(v, problems));
    for (const char* gone : {"Publisher", "ProductRegistry", "ProductStartMenu", "SharedPath", "ProductFonts",
                             "UninstallBatch1", "UninstallBatch2", "SharedFiles", "DisplayIcon", "VersionMajor",
                             "VersionMinor", "TitleColor"}) {
        EXPECT_FALSE(Record(gone).found) << gone;
    }
    EXPECT_EQ(Record("DisplayVersion").text, "7");
    EXPECT_EQ(Record("MonoColor").number, 1u);
    v.version = "";
    v.displayTitle = "";
    ASSERT_TRUE(WriteUninstallRecord(v, problems));
    EXPECT_FALSE(Record("DisplayVersion").found);
    EXPECT_TRUE(Record("DisplayTitle").found);  // kept, empty
    EXPECT_STREQ(problems.Text(), "");
}

TEST_F(RegistrationTest, TitleColourFollowsTheFlagsAndSizeRoundsUpToKilobytes) {
    struct { int32 flags; bool title; } colours[] = {
        {WithUninstaller, false}, {WithUninstaller | CustomColors, true}, {WithUninstaller | BackgroundFile, true},
    };
    for (const auto& c : colours) {
        UninstallRecordValues v = FullValues();
        v.flags = c.flags;
        String problems;
        ASSERT_TRUE(WriteUninstallRecord(v, problems));
        EXPECT_EQ(Record("TitleColor").found, c.title) << c.flags;
    }
    struct { int64 bytes; DWORD kilobytes; } sizes[] = {
        {0, 0}, {1, 1}, {1023, 1}, {1024, 1}, {1025, 2}, {-5, 0},
        {int64(0xFFFFFFFFu) * 1024, 0xFFFFFFFFu}, {int64(0xFFFFFFFFu) * 1024 + 1, 0xFFFFFFFFu},
        {INT64_MAX, 0xFFFFFFFFu},
    };
    for (const auto& c : sizes) {
        UninstallRecordValues v = FullValues();
        v.estimatedSizeBytes = c.bytes;
        String problems;
        ASSERT_TRUE(WriteUninstallRecord(v, problems));
        EXPECT_EQ(Record("EstimatedSize").number, c.kilobytes) << c.bytes;
    }
}

TEST_F(RegistrationTest, AFailedRecordIsReportedOnce) {
    const char* line = "Unable to register the uninstall information.  Uninstall will not work properly.\r\n\r\n";
    String problems;
    ReplaceRegistryCreateKey(FailsToCreate);
    EXPECT_FALSE(WriteUninstallRecord(FullValues(), problems));
    EXPECT_STREQ(problems.Text(), line);

    // The key opens but takes no writes: the command read back differs.
    ReplaceRegistryCreateKey(nullptr);
    HKEY made;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, recordKey_.c_str(), &made), ERROR_SUCCESS);
    RegCloseKey(made);
    ReplaceRegistryCreateKey(OpensReadOnly);
    problems.Clear();
    EXPECT_FALSE(WriteUninstallRecord(FullValues(), problems));
    EXPECT_STREQ(problems.Text(), line);
    EXPECT_EQ(CurrentKey(), nullptr);
    ReplaceRegistryCreateKey(nullptr);

    // A name that is not one key of its own never reaches the list.
    for (const char* name : {"", "Tool\\Sub", "\\"}) {
        UninstallRecordValues v = FullValues();
        v.productName = name;
        problems.Clear();
        EXPECT_FALSE(WriteUninstallRecord(v, problems)) << name;
        EXPECT_STREQ(problems.Text(), line);
    }
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kUninstallList, "UninstallString").found);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallList) + "\\Tool"));
}

TEST_F(RegistrationTest, SharedFilesAreCountedListedAndTakenBackOnCopyOver) {
    std::string a = shared_ + "\\a.dll", b = shared_ + "\\sub\\b.ocx";
    Vector<String> names = Names({"a.dll", "sub\\b.ocx", "..\\escape.dll", "", "c:\\Windows\\x.dll"});
    String problems;
    String list = CountSharedFiles(shared_.c_str(), names, "", problems);
    EXPECT_STREQ(list.Text(), "\"a.dll\";\"sub\\b.ocx\"");
    EXPECT_EQ(Count(a), 1u);
    EXPECT_EQ(Count(b), 1u);
    EXPECT_FALSE(Counted(shared_ + "\\..\\escape.dll"));
    EXPECT_FALSE(Counted("c:\\Windows\\x.dll"));
    EXPECT_EQ(CurrentKey(), nullptr);

    // A second product with the same files, then a copy over the first.
    CountSharedFiles(shared_.c_str(), names, "", problems);
    EXPECT_EQ(Count(a), 2u);
    String again = CountSharedFiles(shared_.c_str(), names, list, problems);
    EXPECT_TRUE(again == list);
    EXPECT_EQ(Count(a), 2u);
    EXPECT_EQ(Count(b), 2u);

    // Items of an older record: a full path is used as it is; a count of 1
    // or less goes away, a larger one drops by 1.
    HKEY counts;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedCounts, 0, KEY_ALL_ACCESS, &counts), ERROR_SUCCESS);
    std::string elsewhere = "D:\\QuillpackElsewhere\\full.dll", single = shared_ + "\\single.dll";
    DWORD three = 3, one = 1, zero = 0;
    RegSetValueExA(counts, elsewhere.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&three), 4);
    RegSetValueExA(counts, single.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4);
    RegSetValueExA(counts, (shared_ + "\\zero.dll").c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4);
    RegCloseKey(counts);
    String previous = "\"D:\\QuillpackElsewhere\\full.dll\";\"single.dll\";\"zero.dll\";\"missing.dll\"";
    list = CountSharedFiles(shared_.c_str(), Names({}), previous, problems);
    EXPECT_STREQ(list.Text(), "");
    EXPECT_EQ(Count(elsewhere), 2u);
    EXPECT_FALSE(Counted(single));
    EXPECT_FALSE(Counted(shared_ + "\\zero.dll"));
    EXPECT_FALSE(Counted(shared_ + "\\missing.dll"));
    EXPECT_STREQ(problems.Text(), "");
}

TEST_F(RegistrationTest, SharedCountsKeyThatCannotBeOpened) {
    ReplaceRegistryCreateKey(FailsToCreate);
    const char* line = "REGISTRY ERROR:  Unable to increment common file reference counts.\r\n\r\n";
    String problems;
    EXPECT_STREQ(CountSharedFiles(shared_.c_str(), Names({"a.dll"}), "", problems).Text(), "");
    EXPECT_STREQ(problems.Text(), line);
    problems.Clear();
    // Nothing was taken back, so the registration in place keeps its references.
    EXPECT_STREQ(CountSharedFiles(shared_.c_str(), Names({"a.dll"}), "\"old.dll\"", problems).Text(),
                 "\"old.dll\"");
    EXPECT_STREQ(problems.Text(), line);
    EXPECT_FALSE(Counted(shared_ + "\\a.dll"));
}

TEST_F(RegistrationTest, TwentyThousandSharedFiles) {
    std::vector<std::string> many;
    for (int i = 0; i < 20000; ++i) many.push_back("f" + std::to_string(i) + ".dll");
    String problems;
    String list = CountSharedFiles(shared_.c_str(), Names(many), "", problems);
    String item;
    int32 pos = 0, count = 0;
    while (TakeSharedFileItem(list, pos, item)) ++count;
    EXPECT_EQ(count, 20000);
    EXPECT_EQ(Count(shared_ + "\\f19999.dll"), 1u);
    EXPECT_STREQ(problems.Text(), "");
}

TEST_F(RegistrationTest, ProductKeysUnderBothHives) {
    std::string path = vendorKey_.substr(strlen("Software\\")) + "\\Tool";
    String problems;
    PrepareProductKeys(path.c_str(), problems);
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, vendorKey_ + "\\Tool"));
    EXPECT_TRUE(RawKeyExists(HKEY_CURRENT_USER, vendorKey_ + "\\Tool"));
    PrepareProductKeys("", problems);
    EXPECT_STREQ(problems.Text(), "");
    EXPECT_EQ(CurrentKey(), nullptr);

    ReplaceRegistryCreateKey(FailsToCreate);
    PrepareProductKeys("Sample Works\\Tool", problems);
    EXPECT_STREQ(problems.Text(), "Failure creating registry keys: Sample Works\\Tool\r\n\r\n");
}

}  // namespace

#endif  // _WIN32
