#include "records/system_path_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// UTF-16LE bytes of ASCII text, as the registry holds it.
String Wide(const std::string& text, bool terminated = false) {
    String wide;
    for (char c : text) {
        const char unit[2] = {c, 0};
        wide.AppendBytes(unit, 2);
    }
    if (terminated) wide.AppendBytes("\0\0", 2);
    return wide;
}

std::string Bytes(const String& s) { return std::string(s.Text(), size_t(s.Length())); }

const char kDir[] = "C:\\Program Files\\Tool";

TEST(SystemPathText, AddsTheDirectoryOnceAndKeepsEveryOtherUnit) {
    struct {
        const char *before, *after;
    } cases[] = {
        {"", "C:\\Program Files\\Tool"},
        {"%SystemRoot%\\system32", "%SystemRoot%\\system32;C:\\Program Files\\Tool"},
        {"%SystemRoot%;", "%SystemRoot%;C:\\Program Files\\Tool;"},
        {"a;;b ; c ", "a;;b ; c ;C:\\Program Files\\Tool"},  // empty entries and blanks stay
        {";", ";C:\\Program Files\\Tool;"},
        // Already there: any letter case, trailing backslashes, any place.
        {"C:\\Program Files\\Tool", nullptr},
        {"c:\\PROGRAM FILES\\tool\\", nullptr},
        {"a;C:\\Program Files\\Tool\\\\;b", nullptr},
        {"C:\\Program Files\\Tool;a", nullptr},
        // Entries that merely start or end like it are others.
        {"C:\\Program Files\\Tools", "C:\\Program Files\\Tools;C:\\Program Files\\Tool"},
        {"C:\\Program Files\\Tool\\bin", "C:\\Program Files\\Tool\\bin;C:\\Program Files\\Tool"},
        {" C:\\Program Files\\Tool", " C:\\Program Files\\Tool;C:\\Program Files\\Tool"},
    };
    for (const auto& c : cases) {
        String value = Wide(c.before, true);
        PathEdit edit = AddPathEntry(value, Wide(kDir));
        EXPECT_EQ(edit, c.after ? PathEdited : PathUnchanged) << c.before;
        EXPECT_EQ(Bytes(value), Bytes(Wide(c.after ? c.after : c.before, true))) << c.before;
    }
}

TEST(SystemPathText, RemovesOneEntryWithOneSeparator) {
    struct {
        const char *before, *after;
    } cases[] = {
        {"C:\\Program Files\\Tool", ""},                         // the only entry
        {"C:\\Program Files\\Tool;a", "a"},                      // first
        {"a;C:\\Program Files\\Tool", "a"},                      // last
        {"a;C:\\Program Files\\Tool;", "a;"},                    // added before a closing ";"
        {"a;C:\\Program Files\\Tool;b", "a;b"},
        {"a;;C:\\Program Files\\Tool", "a;"},
        {"c:\\program files\\TOOL\\;b", "b"},                    // by the loose comparison
        // The exact one wins over an earlier loose match.
        {"C:\\Program Files\\Tool\\;C:\\Program Files\\Tool", "C:\\Program Files\\Tool\\"},
        {"C:\\Program Files\\Tool;C:\\Program Files\\Tool", "C:\\Program Files\\Tool"},
        // Nothing that is not it.
        {"C:\\Program Files\\Tools;C:\\Program Files\\Tool\\bin", nullptr},
        {"", nullptr},
        {";", nullptr},
    };
    for (const auto& c : cases) {
        String value = Wide(c.before, true);
        PathEdit edit = RemovePathEntry(value, Wide(kDir));
        EXPECT_EQ(edit, c.after ? PathEdited : PathUnchanged) << c.before;
        EXPECT_EQ(Bytes(value), Bytes(Wide(c.after ? c.after : c.before, true))) << c.before;
    }
}

TEST(SystemPathText, AddingThenRemovingRestoresTheValueByteForByte) {
    std::string user = "%SystemRoot%\\system32;%SystemRoot%;;  odd spacing ;C:\\Program Files\\Toolbox;";
    while (user.size() < 4000) user += "C:\\Some Long Folder Name\\bin;";
    user.resize(4000);
    String original = Wide(user, true);
    original.AppendBytes("\x41", 1);  // an odd byte after the terminator stays too
    String value = original;
    ASSERT_EQ(AddPathEntry(value, Wide(kDir)), PathEdited);
    EXPECT_EQ(AddPathEntry(value, Wide(kDir)), PathUnchanged);
    ASSERT_EQ(RemovePathEntry(value, Wide(kDir)), PathEdited);
    EXPECT_EQ(Bytes(value), Bytes(original));

    // Without a terminator the text runs to the end.
    String bare = Wide("a");
    ASSERT_EQ(AddPathEntry(bare, Wide(kDir)), PathEdited);
    EXPECT_EQ(Bytes(bare), Bytes(Wide(std::string("a;") + kDir)));
}

TEST(SystemPathText, UnitsBeyondAsciiAreComparedAndKeptAsTheyAre) {
    // o and O with a macron (U+014D, U+014C): only A-Z fold, so these are two folders.
    String lower = Wide("C:\\T?ol"), upper = Wide("C:\\T?OL");
    lower.SetAt(8, char(0x4D));
    lower.SetAt(9, char(0x01));
    upper.SetAt(8, char(0x4C));
    upper.SetAt(9, char(0x01));
    EXPECT_FALSE(SamePathEntry(lower, upper));
    String value = upper;
    value.AppendBytes("\0\0", 2);
    EXPECT_EQ(AddPathEntry(value, lower), PathEdited);
    EXPECT_EQ(RemovePathEntry(value, lower), PathEdited);
    EXPECT_EQ(Bytes(value), Bytes(upper) + std::string("\0\0", 2));
    // A unit whose low byte is ";" is no separator.
    String wide = Wide("a");
    wide.AppendBytes("\x3B\x01", 2);
    EXPECT_EQ(AddPathEntry(wide, Wide("b")), PathEdited);
    EXPECT_EQ(RemovePathEntry(wide, Wide("b")), PathEdited);
    EXPECT_EQ(Bytes(wide), Bytes(Wide("a")) + "\x3B\x01");
}

TEST(SystemPathText, ADirectoryThatIsNotOneEntryIsRefused) {
    for (const String& directory : {Wide(""), Wide("C:\\a;b"), Wide(std::string("C:\\a\0b", 6)), String("C")}) {
        String value = Wide("x", true);
        EXPECT_EQ(AddPathEntry(value, directory), PathRefused);
        EXPECT_EQ(RemovePathEntry(value, directory), PathRefused);
        EXPECT_EQ(Bytes(value), Bytes(Wide("x", true)));
    }
}

}  // namespace
