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
