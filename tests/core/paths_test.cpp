#include "core/paths.h"

#include <gtest/gtest.h>

namespace {

TEST(PathTexts, JoinParentAndFileName) {
    struct { const char *a, *b, *expected; } joins[] = {
        {"c:\\work", "app", "c:\\work\\app"}, {"c:\\work\\", "app", "c:\\work\\app"}, {"c:\\", "\\app", "c:\\app"},
        {"c:\\work", "\\app", "c:\\work\\app"}, {"c:", "app", "c:app"}, {"", "app", "app"},
        {"c:\\work", "", "c:\\work"}, {"", "", ""},
        {"c:\\work\\\\", "\\app", "c:\\work\\\\app"},  // only one trailing "\" is dropped
    };
    for (const auto& c : joins) EXPECT_STREQ(JoinPath(c.a, c.b).Text(), c.expected) << c.a << " + " << c.b;
    struct { const char *path, *parent, *name; } parts[] = {
        {"c:\\a\\b.txt", "c:\\a", "b.txt"}, {"c:\\a", "c:\\", "a"}, {"c:\\", "c:\\", ""}, {"c:", "c:", ""},
        {"c:a", "c:", "a"}, {"c:\\work\\", "c:\\work", ""}, {"a", "", "a"}, {"\\a", "", "a"},
        {"", "", ""}, {"a\\b", "a", "b"},
    };
    for (const auto& c : parts) {
        EXPECT_STREQ(ParentDirectory(c.path).Text(), c.parent) << c.path;
        EXPECT_STREQ(FileNamePart(c.path).Text(), c.name) << c.path;
    }
    String path("c:\\a\\b"), bare("name");
    EXPECT_TRUE(StripLastComponent(path));
    EXPECT_STREQ(path.Text(), "c:\\a");
    EXPECT_FALSE(StripLastComponent(bare));
    EXPECT_STREQ(bare.Text(), "name");
}

TEST(PathTexts, SplitPathSeparatesKeyPathFromValueName) {
    struct { const char *path, *directory, *name; bool result; } cases[] = {
        {"Software\\Vendor\\Value", "Software\\Vendor\\", "Value", true},
        {"Software\\Key\\", "Software\\Key\\", "", true}, {"c:file", "c:", "file", true},
        {"Value", "", "Value", true}, {"", "", "", false},
    };
    for (const auto& c : cases) {
        String directory("old"), name("old");
        EXPECT_EQ(SplitPath(c.path, directory, name), c.result) << c.path;
        EXPECT_STREQ(directory.Text(), c.directory) << c.path;
        EXPECT_STREQ(name.Text(), c.name) << c.path;
    }
    String path("a\\b"), name;  // the output may be the input
    SplitPath(path, path, name);
    EXPECT_STREQ(path.Text(), "a\\");
    EXPECT_STREQ(name.Text(), "b");
}

// The functions that change a path in place and answer whether they did.
struct Change {
    const char *path, *arg, *expected;
    bool result;
};

TEST(PathTexts, AddExtensionQualifyNameAndMakeAbsolute) {
    const Change extensions[] = {
        {"c:\\dir.x\\setup", "EXE", "c:\\dir.x\\setup.EXE", true}, {"setup.bin", "EXE", "setup.bin", false},
        {"setup", ".EXE", "setup.EXE", true}, {"setup", nullptr, "setup", true}, {"dir\\", "LOG", "dir\\.LOG", true},
    };
    for (const Change& c : extensions) {
        String path(c.path);
        EXPECT_EQ(AddExtension(path, c.arg), c.result) << c.path;
        EXPECT_STREQ(path.Text(), c.expected) << c.path;
    }
    const Change names[] = {
        {"readme.txt", "c:\\app", "c:\\app\\readme.txt", true}, {"sub\\readme.txt", "c:\\app", "sub\\readme.txt", false},
        {"d:readme.txt", "c:\\app", "d:readme.txt", false}, {"readme.txt", "", "readme.txt", false},
    };
    for (const Change& c : names) {
        String name(c.path);
        EXPECT_EQ(QualifyName(name, c.arg), c.result) << c.path;
        EXPECT_STREQ(name.Text(), c.expected) << c.path;
    }
    const Change absolutes[] = {
        {"App", "c:\\Program Files", "c:\\Program Files\\App", true}, {"\\App", "c:\\Program Files", "c:\\App", true},
        {"d:App", "c:\\Program Files", "d:\\Program Files\\App", true}, {"d:\\App", "c:\\Program Files", "d:\\App", false},
        {"", "c:\\work", "c:\\work\\", true}, {"App", "c:\\", "c:\\App", true}, {"d:App", "c:\\", "d:\\App", true},
        {"App", "work", "App", false}, {"App", "", "App", false},
    };
    for (const Change& c : absolutes) {
        String path(c.path);
        EXPECT_EQ(MakeAbsolute(path, c.arg), c.result) << c.path << " on " << c.arg;
        EXPECT_STREQ(path.Text(), c.expected) << c.path << " on " << c.arg;
    }
}

TEST(PathTexts, DrivePartsNeedALetterFollowedByAColon) {
    struct { const char* path; bool full; char letter; const char* root; } cases[] = {
        {"c:\\work", true, 'C', "c:\\"}, {"D:app", false, 'D', "D:\\"},
        {"1:\\x", true, '\0', ""},  // the first character of a full path is not examined
        {"\\work", false, '\0', ""}, {"c", false, '\0', ""}, {"", false, '\0', ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsFullPath(c.path), c.full) << c.path;
        EXPECT_EQ(DriveLetterOf(c.path), c.letter) << c.path;
        EXPECT_STREQ(DriveRootOf(c.path).Text(), c.root) << c.path;
    }
}

TEST(PathTexts, IsLegalPathRejectsReservedCharactersAfterTheDrive) {
    for (const char* legal : {"c:\\Program Files\\App", "\"c:\\Program Files\\App\"", "relative dir"}) {
        EXPECT_TRUE(IsLegalPath(legal)) << legal;
    }
    for (const char* illegal : {"c:\\a:b", "c:\\a;b", "c:/app", "c:\\a*", "c:\\a?", "c:\\a<b>", "c:\\a|b",
                                "c:\\a\"b", "\"c:\\app", "", "\"", "\"\""}) {
        EXPECT_FALSE(IsLegalPath(illegal)) << illegal;
    }
}

TEST(PathTexts, SamePathIgnoresCaseAndTrailingBackslashes) {
    struct { const char *a, *b; bool same; } cases[] = {
        {"C:\\Program Files\\", "c:\\program files", true}, {"c:\\", "C:", true}, {"c:\\app\\\\", "c:\\APP", true},
        {"c:\\app", "c:\\app2", false}, {"c:\\app", "d:\\app", false}, {"", "\\", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SamePath(c.a, c.b), c.same) << c.a << " vs " << c.b;
        EXPECT_EQ(SamePath(c.b, c.a), c.same) << c.b << " vs " << c.a;
    }
    EXPECT_TRUE(StartsWithPath("C:\\WINDOWS\\system32", "c:\\windows"));
    EXPECT_FALSE(StartsWithPath("c:\\win", "c:\\windows"));
    EXPECT_FALSE(StartsWithPath("d:\\windows", "c:\\windows"));
}

}  // namespace
