#include "core/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TwoIn {
    const char* a;
    const char* b;
    const char* expected;
};

TEST(JoinPath, KeepsExactlyOneBackslashBetweenParts) {
    const TwoIn cases[] = {
        {"c:\\work", "app", "c:\\work\\app"},
        {"c:\\work\\", "app", "c:\\work\\app"},
        {"c:\\", "\\app", "c:\\app"},
        {"c:\\work", "\\app", "c:\\work\\app"},
        {"c:", "app", "c:app"},
        {"", "app", "app"},
        {"c:\\work", "", "c:\\work"},
        {"", "", ""},
        {"c:\\work\\\\", "\\app", "c:\\work\\\\app"},  // only one trailing "\" is dropped
    };
    for (const TwoIn& c : cases) {
        EXPECT_STREQ(JoinPath(c.a, c.b).Text(), c.expected) << c.a << " + " << c.b;
    }
}

TEST(ParentDirectory, CutsTheLastComponentAndKeepsDriveRoots) {
    const TwoIn cases[] = {
        {"c:\\a\\b", nullptr, "c:\\a"},
        {"c:\\a", nullptr, "c:\\"},
        {"c:\\", nullptr, "c:\\"},
        {"c:", nullptr, "c:"},
        {"c:a", nullptr, "c:"},
        {"c:\\work\\", nullptr, "c:\\work"},
        {"a", nullptr, ""},
        {"\\a", nullptr, ""},
        {"", nullptr, ""},
        {"a\\b", nullptr, "a"},
    };
    for (const TwoIn& c : cases) {
        EXPECT_STREQ(ParentDirectory(c.a).Text(), c.expected) << c.a;
    }
}

TEST(StripLastComponent, ChangesThePathOnlyWhenAParentExists) {
    String path("c:\\a\\b");
    EXPECT_TRUE(StripLastComponent(path));
    EXPECT_STREQ(path.Text(), "c:\\a");
    String bare("name");
    EXPECT_FALSE(StripLastComponent(bare));
    EXPECT_STREQ(bare.Text(), "name");
}

TEST(FileNamePart, TakesTheTextAfterTheLastSeparator) {
    const TwoIn cases[] = {
        {"c:\\a\\b.txt", nullptr, "b.txt"},
        {"c:b", nullptr, "b"},
        {"c:\\a\\", nullptr, ""},
        {"plain", nullptr, "plain"},
        {"", nullptr, ""},
    };
    for (const TwoIn& c : cases) {
        EXPECT_STREQ(FileNamePart(c.a).Text(), c.expected) << c.a;
    }
}

TEST(SplitPath, SeparatesKeyPathFromValueName) {
    struct Case {
        const char* path;
        const char* directory;
        const char* name;
        bool result;
    } cases[] = {
        {"Software\\Vendor\\Value", "Software\\Vendor\\", "Value", true},
        {"Software\\Key\\", "Software\\Key\\", "", true},
        {"c:file", "c:", "file", true},
        {"Value", "", "Value", true},
        {"", "", "", false},
    };
    for (const Case& c : cases) {
        String directory("old"), name("old");
        EXPECT_EQ(SplitPath(c.path, directory, name), c.result) << c.path;
        EXPECT_STREQ(directory.Text(), c.directory) << c.path;
        EXPECT_STREQ(name.Text(), c.name) << c.path;
    }
}

TEST(SplitPath, WorksWhenTheOutputIsTheInput) {
    String path("a\\b"), name;
    SplitPath(path, path, name);
    EXPECT_STREQ(path.Text(), "a\\");
    EXPECT_STREQ(name.Text(), "b");
}

TEST(AddExtension, AddsOnlyWhenTheLastComponentHasNoDot) {
    struct Case {
        const char* path;
        const char* extension;
        const char* expected;
        bool result;
    } cases[] = {
        {"c:\\dir.x\\setup", "EXE", "c:\\dir.x\\setup.EXE", true},
        {"setup.bin", "EXE", "setup.bin", false},
        {"setup", ".EXE", "setup.EXE", true},
        {"setup", nullptr, "setup", true},
        {"dir\\", "LOG", "dir\\.LOG", true},
    };
    for (const Case& c : cases) {
        String path(c.path);
        EXPECT_EQ(AddExtension(path, c.extension), c.result) << c.path;
        EXPECT_STREQ(path.Text(), c.expected) << c.path;
    }
}

TEST(QualifyName, JoinsOnlyBareNamesToANonEmptyBase) {
    struct Case {
        const char* name;
        const char* base;
        const char* expected;
        bool result;
    } cases[] = {
        {"readme.txt", "c:\\app", "c:\\app\\readme.txt", true},
        {"sub\\readme.txt", "c:\\app", "sub\\readme.txt", false},
        {"d:readme.txt", "c:\\app", "d:readme.txt", false},
        {"readme.txt", "", "readme.txt", false},
    };
    for (const Case& c : cases) {
        String name(c.name);
        EXPECT_EQ(QualifyName(name, c.base), c.result) << c.name;
        EXPECT_STREQ(name.Text(), c.expected) << c.name;
    }
}

TEST(MakeAbsolute, CompletesEachFormAgainstTheBase) {
    struct Case {
        const char* path;
        const char* base;
        const char* expected;
        bool result;
    } cases[] = {
        {"App", "c:\\Program Files", "c:\\Program Files\\App", true},
        {"\\App", "c:\\Program Files", "c:\\App", true},
        {"d:App", "c:\\Program Files", "d:\\Program Files\\App", true},
        {"d:\\App", "c:\\Program Files", "d:\\App", false},
        {"", "c:\\work", "c:\\work\\", true},
        {"App", "c:\\", "c:\\App", true},
        {"d:App", "c:\\", "d:\\App", true},
        {"App", "work", "App", false},
        {"App", "", "App", false},
    };
    for (const Case& c : cases) {
        String path(c.path);
        EXPECT_EQ(MakeAbsolute(path, c.base), c.result) << c.path << " on " << c.base;
        EXPECT_STREQ(path.Text(), c.expected) << c.path << " on " << c.base;
    }
}

TEST(DriveParts, RecogniseOnlyALetterFollowedByAColon) {
    struct Case {
        const char* path;
        bool full;
        char letter;
        const char* root;
    } cases[] = {
        {"c:\\work", true, 'C', "c:\\"},
        {"D:app", false, 'D', "D:\\"},
        {"1:\\x", true, '\0', ""},  // the first character of a full path is not examined
        {"\\work", false, '\0', ""},
        {"c", false, '\0', ""},
        {"", false, '\0', ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsFullPath(c.path), c.full) << c.path;
        EXPECT_EQ(DriveLetterOf(c.path), c.letter) << c.path;
        EXPECT_STREQ(DriveRootOf(c.path).Text(), c.root) << c.path;
    }
}

TEST(IsLegalPath, RejectsReservedCharactersAfterTheDrive) {
    struct Case {
        const char* path;
        bool legal;
    } cases[] = {
        {"c:\\Program Files\\App", true},
        {"\"c:\\Program Files\\App\"", true},
        {"relative dir", true},
        {"c:\\a:b", false},
        {"c:\\a;b", false},
        {"c:/app", false},
        {"c:\\a*", false},
        {"c:\\a?", false},
        {"c:\\a<b>", false},
        {"c:\\a|b", false},
        {"c:\\a\"b", false},
        {"\"c:\\app", false},
        {"", false},
        {"\"", false},
        {"\"\"", false},  // quotes around nothing
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsLegalPath(c.path), c.legal) << c.path;
    }
}

TEST(SamePath, IgnoresCaseAndTrailingBackslashes) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"C:\\Program Files\\", "c:\\program files", true},
        {"c:\\", "C:", true},
        {"c:\\app\\\\", "c:\\APP", true},
        {"c:\\app", "c:\\app2", false},
        {"c:\\app", "d:\\app", false},
        {"", "\\", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SamePath(c.a, c.b), c.same) << c.a << " vs " << c.b;
        EXPECT_EQ(SamePath(c.b, c.a), c.same) << c.b << " vs " << c.a;
    }
}

TEST(StartsWithPath, ComparesThePrefixWithoutCase) {
    EXPECT_TRUE(StartsWithPath("C:\\WINDOWS\\system32", "c:\\windows"));
    EXPECT_FALSE(StartsWithPath("c:\\win", "c:\\windows"));
    EXPECT_FALSE(StartsWithPath("d:\\windows", "c:\\windows"));
}

}  // namespace
