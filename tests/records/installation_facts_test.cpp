#include "records/installation_facts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

TEST(InstallationFacts, WrittenAndReadBack) {
    InstallationFacts facts;
    facts.product = "Tool";
    facts.installLocation = "C:\\Apps\\Tool";
    facts.sharedPath = "C:\\Common\\V";
    facts.productRegistry = "V\\Tool\nInjected=1";  // one line only
    facts.removalList = RemovalNone;
    facts.complete = true;
    String text = FactsText(facts);
    EXPECT_EQ(Str(text),
              "[Installation]\r\nProduct=Tool\r\nInstallLocation=C:\\Apps\\Tool\r\nSharedPath=C:\\Common\\V\r\n"
              "ProductRegistry=V\\Tool\r\nRemovalList=None\r\nState=Complete\r\n");
    InstallationFacts read;
    ASSERT_TRUE(ReadFactsText(text, read));
    EXPECT_EQ(Str(read.product), "Tool");
    EXPECT_EQ(Str(read.installLocation), "C:\\Apps\\Tool");
    EXPECT_EQ(Str(read.productRegistry), "V\\Tool");
    EXPECT_EQ(read.removalList, RemovalNone);
    EXPECT_TRUE(read.complete);
}

TEST(InstallationFacts, OnlyOurSectionWithProductAndLocationIsARecord) {
    struct { const char* text; bool record; } cases[] = {
        {"[Installation]\nProduct=T\nInstallLocation=C:\\T\n", true},
        {"[installation]\r\nproduct=T\r\ninstalllocation=C:\\T", true},
        {"Product=T\nInstallLocation=C:\\T\n", false},  // no section
        {"[Other]\nProduct=T\nInstallLocation=C:\\T\n", false},
        {"[Installation]\nProduct=\nInstallLocation=C:\\T\n", false},
        {"[Installation]\nProduct=T\n", false},
        {"", false},
        {"\xff\xfe\0garbage=", false},
    };
    for (const auto& c : cases) {
        InstallationFacts facts;
        EXPECT_EQ(ReadFactsText(c.text, facts), c.record) << c.text;
    }
    InstallationFacts facts;
    ASSERT_TRUE(ReadFactsText("[Installation]\nProduct=T\nInstallLocation=C:\\T\nState=Installing\nRemovalList=Odd\n",
                              facts));
    EXPECT_FALSE(facts.complete);
    EXPECT_EQ(facts.removalList, RemovalListed);
}

}  // namespace

namespace {

// The journal reads back what was written, whatever else the record holds.
TEST(InstallationJournal, LinesReadBackInOrder) {
    const JournalEntry written[] = {
        {JournalFolder, "C:\\New", ""},
        {JournalFile, "C:\\New\\App\\a.txt", ""},
        {JournalReplaced, "C:\\New\\App\\b.txt", "C:\\New\\App\\b.txt.qpk-backup"},
        {JournalShortcut, "C:\\Users\\u\\Desktop\\App.LNK", ""},
        {JournalFont, "App Sans (TrueType)", "appsans.ttf"},
        {JournalKey, "Vendor|Odd\\App", "HKCU"},  // a key name may hold "|"
        {JournalCountRaised, "C:\\Common\\V\\lib.dll", ""},
        {JournalCountReleased, "C:\\Common\\V\\old.dll", ""},
        {JournalPathEntry, "C:\\New\\App", ""},
    };
    InstallationFacts facts;
    facts.product = "App";
    facts.installLocation = "C:\\New\\App";
    String text = FactsText(facts);
    for (const JournalEntry& entry : written) text += JournalLine(entry);
    text += "Folder=\r\nReplaced=no bar\r\nFont=|x\r\nUnknown=1\r\n";  // passed over
    EXPECT_NE(Str(text).find("Key=HKCU|Vendor|Odd\\App\r\n"), std::string::npos);

    Vector<JournalEntry> read;
    ReadJournal(text, read);
    ASSERT_EQ(read.Count(), int32(sizeof written / sizeof written[0]));
    for (int32 i = 0; i < read.Count(); ++i) {
        EXPECT_EQ(read[i].kind, written[i].kind) << i;
        EXPECT_EQ(Str(read[i].path), Str(written[i].path)) << i;
        EXPECT_EQ(Str(read[i].other), Str(written[i].other)) << i;
    }
    InstallationFacts back;
    EXPECT_TRUE(ReadFactsText(text, back));  // the journal does not spoil the record
    EXPECT_FALSE(back.complete);
}

}  // namespace
