// The uninstaller on real files and the real registry of the test prefix:
// registrations are written as an installation leaves them, then removed
// completely, partially, twice, or refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "archive/format.h"
#include "core/fatal.h"
#include "uninstall/registration.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "uninstall/batch_script.h"
#include "uninstall/installation_record.h"
#include "uninstall/self_removal.h"
#include "uninstall/uninstaller.h"

namespace {

const char kProduct[] = "Qp Uninstall Test";
const char kCounts[] = "Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

int32 CountOf(const String& path) {
    if (OpenSoftwareKey(kCounts, false, RegOpenOnly) == OpenFailed) return -1;
    int32 count = ValueExists(path.Text()) ? ReadInteger(path.Text(), 0) : -1;
    CloseKey();
    return count;
}

void SetCount(const String& path, int32 count) {
    ASSERT_NE(OpenSoftwareKey(kCounts, false), OpenFailed);
    WriteInteger(path.Text(), count);
    CloseKey();
}

class Uninstaller : public ::testing::Test {
protected:
    void SetUp() override {
        AutomaticMode = true;
        char interpreter[MAX_PATH];
        ExpandEnvironmentStringsA("%comspec%", interpreter, MAX_PATH);
        CommandInterpreter = interpreter;
        root_ = "C:\\uninstaller-test";
        DeleteTree(root_);
        install_ = JoinPath(root_, "Product");
        shared_ = JoinPath(root_, "Shared");
        ASSERT_TRUE(CreateDirectoryPath(JoinPath(install_, "sub")));
        ASSERT_TRUE(CreateDirectoryPath(shared_));
    }
    void TearDown() override {
        DeleteSoftwareSubKey("Microsoft\\Windows\\CurrentVersion\\Uninstall", kProduct, false);
        DeleteSoftwareKey("QpTestVendor", false);
        DeleteSoftwareKey("QpTestVendor", true);
        DeleteTree(root_);
        DeleteTree(JoinPath(ProgramsFolder(), "QpTestVendor"));
    }

    String Make(const String& path) {
        EXPECT_TRUE(WriteWholeFile(path, "x", 1)) << path.Text();
        return path;
    }

    // A registration as an installation of two files in a sub-folder, a
    // start-menu shortcut, one shared file and product keys leaves it.
    void Register(int32 flags) {
        String file = Make(JoinPath(install_, "sub\\a.txt"));
        String top = Make(JoinPath(install_, "b.txt"));
        String menu = JoinPath(ProgramsFolder(), "QpTestVendor\\Product");
        ASSERT_TRUE(CreateDirectoryPath(menu));
        String link = Make(JoinPath(menu, "Tool.LNK"));
        String record = "~" + JoinPath(install_, "sub") + "\r\n" + file + "\r\n" + top + "\r\n" + link + "\r\n";
        ASSERT_TRUE(WriteBufferToFile(JoinPath(install_, "Uninstall.DAT"), record));
        Make(JoinPath(shared_, "lib.dll"));
        SetCount(JoinPath(shared_, "lib.dll"), 1);
        ASSERT_NE(OpenSoftwareKey("QpTestVendor\\Product", false), OpenFailed);
        CloseKey();
        ASSERT_NE(OpenSoftwareKey("QpTestVendor\\Product", true), OpenFailed);
        CloseKey();
        ASSERT_NE(OpenSoftwareKey(UninstallKeyPath(kProduct).Text(), false), OpenFailed);
        WriteString("UninstallString", "\"x\" /u:\"Qp Uninstall Test\"");
        WriteString("InstallLocation", install_.Text());
        WriteInteger("ProductFlags", flags);
        WriteString("ProductStartMenu", "QpTestVendor\\Product");
        WriteString("ProductRegistry", "QpTestVendor\\Product");
        WriteString("SharedPath", shared_.Text());
        WriteString("SharedFiles", "\"lib.dll\"");
        String marker = JoinPath(root_, "after.txt");
        WriteString("UninstallBatch2", ("echo done>\"" + marker + "\"").Text());
        CloseKey();
    }

    static bool Registered() { return SoftwareKeyExists(UninstallKeyPath(kProduct).Text(), false); }

    String root_, install_, shared_;
};

TEST_F(Uninstaller, RemovesEverythingTheRegistrationNames) {
    Register(0);
    EXPECT_EQ(UninstallProduct(kProduct).result, UninstallComplete);
    // The folder itself goes with the uninstaller's self-removal.
    EXPECT_TRUE(RemoveEmptyDirectory(install_));
    EXPECT_FALSE(DirectoryExists(JoinPath(ProgramsFolder(), "QpTestVendor")));
    EXPECT_TRUE(DirectoryExists(ProgramsFolder()));
    EXPECT_FALSE(FileExists(JoinPath(shared_, "lib.dll")));
    EXPECT_EQ(CountOf(JoinPath(shared_, "lib.dll")), -1);
    EXPECT_FALSE(SoftwareKeyExists("QpTestVendor", false));
    EXPECT_FALSE(SoftwareKeyExists("QpTestVendor", true));
    EXPECT_FALSE(Registered());
    EXPECT_TRUE(FileExists(JoinPath(root_, "after.txt")));  // the post-uninstallation batch ran
}

TEST_F(Uninstaller, APartialRunKeepsTheRegistrationAndASecondRunReleasesNothingTwice) {
    Register(0);
    String other = JoinPath(shared_, "lib.dll");
    SetCount(other, 2);  // another product holds it too
    // The user's own file keeps a listed folder in place.
    String mine = Make(JoinPath(install_, "sub\\mine.txt"));
    EXPECT_EQ(UninstallProduct(kProduct).result, UninstallPartial);
    EXPECT_TRUE(Registered());
    EXPECT_FALSE(FileExists(JoinPath(root_, "after.txt")));
    EXPECT_EQ(CountOf(other), 1);
    EXPECT_TRUE(FileExists(other));
    String left;
    ReadWholeFile(JoinPath(install_, "Uninstall.DAT"), left);
    EXPECT_STREQ(left.Text(), ("~" + JoinPath(install_, "sub") + "\r\n").Text());
    ASSERT_TRUE(RemoveFile(mine));

    EXPECT_EQ(UninstallProduct(kProduct).result, UninstallComplete);
    EXPECT_EQ(CountOf(other), 1) << "released a second time";
    EXPECT_FALSE(Registered());
    EXPECT_TRUE(RemoveEmptyDirectory(install_));
}

TEST_F(Uninstaller, SharedFilesAreReleasedOnceAndDeletedWhenUnused) {
    String kept = Make(JoinPath(shared_, "kept.dll"));
    String unused = Make(JoinPath(shared_, "unused.dll"));
    ASSERT_TRUE(CreateDirectoryPath(JoinPath(shared_, "sub")));
    String uncounted = Make(JoinPath(shared_, "sub\\uncounted.dll"));
    String outside = Make(JoinPath(root_, "outside.dll"));
    String full = Make(JoinPath(root_, "full.dll"));
    String fullInside = Make(JoinPath(shared_, "full inside.dll"));
    SetCount(kept, 3);
    SetCount(unused, 1);
    SetCount(full, 1);
    SetCount(fullInside, 1);
    String problems;
    String list = "\"kept.dll\";\"unused.dll\";\"sub\\uncounted.dll\";\"..\\outside.dll\";\"" + full + "\";\"" +
                  fullInside + "\"";
    ASSERT_TRUE(ReleaseSharedFiles(list, shared_, problems));
    EXPECT_EQ(std::string(problems.Text()),
              "Skipped the shared file \"" + std::string(uncounted.Text()) + "\": it has no reference count.\r\n"
              "Skipped the shared file \"..\\outside.dll\": it lies outside the shared directory.\r\n"
              "Skipped the shared file \"" + std::string(full.Text()) + "\": it lies outside the shared directory.\r\n");
    EXPECT_EQ(CountOf(kept), 2);
    EXPECT_TRUE(FileExists(kept));
    EXPECT_EQ(CountOf(unused), -1);
    EXPECT_FALSE(FileExists(unused));
    EXPECT_TRUE(FileExists(uncounted)) << "a file nobody counted is not ours to take";
    EXPECT_TRUE(FileExists(outside)) << "an item that climbs out of the shared folder";
    EXPECT_TRUE(FileExists(full)) << "a full path outside the shared folder";
    EXPECT_EQ(CountOf(full), 1);
    EXPECT_FALSE(FileExists(fullInside));
}

TEST_F(Uninstaller, WholeDirectoryRemovalRefusesSpecialFolders) {
    Register(NoRemovalList);
    for (const String& location : {ProgramFilesFolder(), ProgramFilesFolder() + "\\", ParentDirectory(DesktopFolder()),
                                   String("C:\\")}) {
        SCOPED_TRACE(location.Text());
        ASSERT_NE(OpenSoftwareKey(UninstallKeyPath(kProduct).Text(), false), OpenFailed);
        WriteString("InstallLocation", location.Text());
        CloseKey();
        EXPECT_EQ(UninstallProduct(kProduct).result, UninstallPartial);
        EXPECT_TRUE(DirectoryExists(location));
        EXPECT_TRUE(Registered());
    }
    ASSERT_NE(OpenSoftwareKey(UninstallKeyPath(kProduct).Text(), false), OpenFailed);
    WriteString("InstallLocation", install_.Text());
    CloseKey();
    Make(JoinPath(install_, "personal.doc"));
    EXPECT_EQ(UninstallProduct(kProduct).result, UninstallComplete);
    EXPECT_FALSE(DirectoryExists(install_));
}

TEST_F(Uninstaller, SystemKeysNamedAsProductKeysStay) {
    Register(0);
    for (const char* path : {"Microsoft", "microsoft\\Windows", "\\Classes", ""}) {
        ASSERT_NE(OpenSoftwareKey(UninstallKeyPath(kProduct).Text(), false), OpenFailed);
        WriteString("ProductRegistry", path);
        CloseKey();
        UninstallProduct(kProduct);
        EXPECT_TRUE(SoftwareKeyExists("Microsoft\\Windows", false)) << path;
        EXPECT_TRUE(SoftwareKeyExists("Classes", false)) << path;
    }
}

TEST_F(Uninstaller, UnknownProductsAreNotTouched) {
    EXPECT_EQ(UninstallProduct("Qp No Such Product").result, UninstallNotPossible);
    EXPECT_EQ(UninstallProduct("").result, UninstallNotPossible);
    EXPECT_EQ(UninstallProduct("..\\Qp").result, UninstallNotPossible);
    EXPECT_FALSE(SoftwareKeyExists("Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qp No Such Product", false));
}


// What an installation now writes beside its list: the places it owns.
InstallationFacts FactsOf(const String& install, const String& shared) {
    InstallationFacts facts;
    facts.product = kProduct;
    facts.installLocation = install;
    facts.sharedPath = shared;
    facts.productRegistry = "QpTestVendor\\Product";
    facts.complete = true;
    return facts;
}

void SetValue(const char* name, const String& text) {
    ASSERT_NE(OpenSoftwareKey(UninstallKeyPath(kProduct).Text(), false), OpenFailed);
    WriteString(name, text.Text());
    CloseKey();
}

// Each damaged value of a registration whose installation kept its record:
// what the value points at stays, the run says why, the product stays
// registered so that a repaired registration can finish the job.
TEST_F(Uninstaller, PlacesTheInstallationRecordDoesNotNameStay) {
    String otherInstall = JoinPath(root_, "Other Product");
    String otherShared = JoinPath(root_, "Other Shared");
    ASSERT_TRUE(CreateDirectoryPath(otherInstall));
    ASSERT_TRUE(CreateDirectoryPath(otherShared));
    struct Case {
        const char* value;
        String damaged;
        const char* said;
    } cases[] = {
        {"ProductRegistry", "QpOtherVendor", "The registry key \"QpOtherVendor\" is not the one"},
        {"SharedPath", otherShared, "is not the one the installation recorded; its files were left alone"},
        {"InstallLocation", otherInstall, "holds the record of another installation"},
        {"InstallLocation", JoinPath(root_, "Gone"), "is missing"},
        {"InstallLocation", "Product", "is not a complete path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value + std::string("=") + c.damaged.Text());
        ASSERT_TRUE(CreateDirectoryPath(JoinPath(install_, "sub")));
        ASSERT_TRUE(CreateDirectoryPath(shared_));
        Register(0);
        ASSERT_TRUE(SaveInstallationFacts(install_, FactsOf(install_, shared_)));
        InstallationFacts other = FactsOf(otherInstall, otherShared);
        other.product = "Qp Other Product";
        ASSERT_TRUE(SaveInstallationFacts(otherInstall, other));
        String otherLog = Make(JoinPath(otherInstall, "Install.LOG"));
        String otherLib = Make(JoinPath(otherShared, "lib.dll"));
        SetCount(otherLib, 1);
        ASSERT_NE(OpenSoftwareKey("QpOtherVendor", false), OpenFailed);
        CloseKey();
        SetValue(c.value, c.damaged);

        EXPECT_EQ(UninstallProduct(kProduct).result, UninstallPartial);
        EXPECT_TRUE(Registered());
        EXPECT_TRUE(SoftwareKeyExists("QpOtherVendor", false));
        EXPECT_TRUE(FileExists(otherLog));
        EXPECT_TRUE(FileExists(otherLib));
        EXPECT_EQ(CountOf(otherLib), 1);
        DeleteSoftwareKey("QpOtherVendor", false);
        DeleteSoftwareSubKey("Microsoft\\Windows\\CurrentVersion\\Uninstall", kProduct, false);
    }
}

TEST_F(Uninstaller, ARecordThatShouldBeThereAndIsNotIsAProblem) {
    Register(0);
    ASSERT_TRUE(SaveInstallationFacts(install_, FactsOf(install_, shared_)));
    ASSERT_TRUE(RemoveFile(JoinPath(install_, "Uninstall.DAT")));
    EXPECT_EQ(UninstallProduct(kProduct).result, UninstallPartial);
    EXPECT_TRUE(Registered());

    // Once a run has worked the list off, its absence is no problem.
    InstallationFacts facts = FactsOf(install_, shared_);
    facts.removalList = RemovalRemoved;
    ASSERT_TRUE(SaveInstallationFacts(install_, facts));
    UninstallOutcome outcome = UninstallProduct(kProduct);
    EXPECT_EQ(outcome.result, UninstallComplete);
    EXPECT_FALSE(FileExists(JoinPath(install_, kFactsFileName)));
    EXPECT_TRUE(outcome.uninstaller.Compare(JoinPath(CanonicalPath(install_), "Uninstall.EXE"), false) == 0);
}

TEST_F(Uninstaller, AProductKeyWithATrailingBackslashIsDeleted) {
    Register(0);
    SetValue("ProductRegistry", "QpTestVendor\\Product\\");
    EXPECT_EQ(UninstallProduct(kProduct).result, UninstallComplete);
    EXPECT_FALSE(SoftwareKeyExists("QpTestVendor", false));
    EXPECT_FALSE(SoftwareKeyExists("QpTestVendor", true));
}

TEST(SelfRemoval, ScriptQuotesEveryPathAndGivesUp) {
    Vector<String> folders;
    folders.Append("C:\\Apps & %v%\\Tool");
    folders.Append("C:\\Apps & %v%");
    String script = SelfRemovalScript("C:\\Apps & %v%\\Tool\\Uninstall.EXE", folders, "C:\\Temp\\q 1.bat");
    EXPECT_NE(script.Find("del \"C:\\Apps & %%v%%\\Tool\\Uninstall.EXE\""), -1) << script.Text();
    EXPECT_NE(script.Find("if not exist \"C:\\Apps & %%v%%\\Tool\\Uninstall.EXE\" goto Removed"), -1);
    EXPECT_NE(script.Find("rd \"C:\\Apps & %%v%%\\Tool\" >nul 2>nul\r\nrd \"C:\\Apps & %%v%%\" >nul"), -1);
    EXPECT_NE(script.Find("del \"C:\\Temp\\q 1.bat\""), -1);
    EXPECT_NE(script.Find("geq 60 goto Removed"), -1);
}

}  // namespace
