#include "records/log_entry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string S(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

TEST(InstallLogEntry, HeaderLinesThenBody) {
    struct Case {
        bool reinstall;
        const char* version;
        const char* expected;
    } cases[] = {
        {false, "1.2",
         "\r\nInstallation log for: P\r\nInstall date: 1/2/2026 3:04:05p\r\nInstall type: New\r\n"
         "Install location: C:\\P\r\nInstaller version: 4.0\r\nProduct version: 1.2\r\n\r\nBody"},
        {true, "",
         "\r\nInstallation log for: P\r\nInstall date: 1/2/2026 3:04:05p\r\nInstall type: Reinstall\r\n"
         "Install location: C:\\P\r\nInstaller version: 4.0\r\n\r\nBody"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(S(InstallLogEntry("P", "1/2/2026 3:04:05p", c.reinstall, "C:\\P", c.version, "Body")), c.expected);
    }
}

TEST(InstallLogEntry, UninstallationHasItsOwnTypeAndNoProductVersion) {
    EXPECT_EQ(S(UninstallLogEntry("P", "1/2/2026 3:04:05p", "C:\\P", "Success\r\n\r\n")),
              "\r\nInstallation log for: P\r\nInstall date: 1/2/2026 3:04:05p\r\nInstall type: Uninstall\r\n"
              "Install location: C:\\P\r\nInstaller version: 4.0\r\n\r\nSuccess\r\n\r\n");
}

TEST(InstallLogEntry, OutsideTextStaysLiteralAtAnyLength) {
    std::string body(70000, 'x');
    body += "%s%n";
    String entry = InstallLogEntry("%s%d", "now", false, "C:\\%n", "%x", body.c_str());
    std::string text = S(entry);
    EXPECT_NE(text.find("Installation log for: %s%d\r\n"), std::string::npos);
    EXPECT_NE(text.find("Install location: C:\\%n\r\n"), std::string::npos);
    EXPECT_NE(text.find("Product version: %x\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - body.size()), body);
}

}  // namespace
