#include "records/startup_path_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Str(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

const char kLine[] = "PATH=%PATH%;C:\\PROGRA~1\\TOOL\r\n";

TEST(StartupPathText, LineNamesTheShortDirectory) {
    EXPECT_EQ(Str(StartupPathLine("C:\\PROGRA~1\\TOOL")), kLine);
}

TEST(StartupPathText, AddsTheLineOnceAfterALineEnd) {
    struct { const char *content, *addition; } cases[] = {
        {"", "\r\nPATH=%PATH%;C:\\PROGRA~1\\TOOL\r\n"},
        {"@echo off\r\n", kLine},
        {"@echo off\n", kLine},
        {"@echo off", "\r\nPATH=%PATH%;C:\\PROGRA~1\\TOOL\r\n"},
        {"PATH=%PATH%;C:\\PROGRA~1\\TOOL\r\n", ""},
        {"a\r\nPATH=%PATH%;C:\\PROGRA~1\\TOOL\r\nb\r\n", ""},
        {"path=%path%;c:\\progra~1\\tool\r\n", kLine},          // letter case counts here
        {"SET PATH=%PATH%;C:\\PROGRA~1\\TOOL\r\n", kLine},      // only a whole line is ours
    };
    for (const auto& c : cases) EXPECT_EQ(Str(StartupPathAddition(c.content, kLine)), c.addition) << c.content;
}

TEST(StartupPathText, RemovesTheWholeLineIgnoringCase) {
    struct { const char *content, *after; bool removed; } cases[] = {
        {"a\r\nPATH=%PATH%;C:\\PROGRA~1\\TOOL\r\nb\r\n", "a\r\nb\r\n", true},
        {"a\r\npath=%path%;c:\\progra~1\\tool\r\nb", "a\r\nb", true},
        {"a\r\nPATH=%PATH%;C:\\PROGRA~1\\TOOL", "a\r\n", true},  // last line without its end
        {"PATH=%PATH%;C:\\PROGRA~1\\TOOL\r\nPATH=%PATH%;C:\\PROGRA~1\\TOOL\r\n",
         "PATH=%PATH%;C:\\PROGRA~1\\TOOL\r\n", true},  // the first one only
        {"a\r\nb\r\n", "a\r\nb\r\n", false},
        {"", "", false},
        // Another program's line that merely begins like ours stays whole.
        {"PATH=%PATH%;C:\\PROGRA~1\\TOOLS\r\n", "PATH=%PATH%;C:\\PROGRA~1\\TOOLS\r\n", false},
        {"PATH=%PATH%;C:\\PROGRA~1\\TOOLS", "PATH=%PATH%;C:\\PROGRA~1\\TOOLS", false},
        {"SET PATH=%PATH%;C:\\PROGRA~1\\TOOL\r\nnext\r\n", "SET PATH=%PATH%;C:\\PROGRA~1\\TOOL\r\nnext\r\n", false},
    };
    for (const auto& c : cases) {
        String content(c.content);
        EXPECT_EQ(RemoveStartupPathLine(content, kLine), c.removed) << c.content;
        EXPECT_EQ(Str(content), c.after) << c.content;
    }
}

}  // namespace
