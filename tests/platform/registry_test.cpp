// The registry module against the real registry, below a key of its own
// under HKEY_CURRENT_USER\Software that each test removes again.
#ifdef _WIN32

#include "platform/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::string TestKeyName() { return "QuillpackRegistryTest" + std::to_string(GetCurrentProcessId()); }

bool RawKeyExists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void RawSet(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = TestKeyName();
        path_ = "Software\\" + name_;
        ASSERT_EQ(CurrentKey(), nullptr);
        ASSERT_EQ(OpenSoftwareKey(name_.c_str(), true), CreatedNew);
    }
    void TearDown() override {
        while (CurrentKey()) CloseKey();
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    }

    std::string name_;
    std::string path_;
};

TEST_F(RegistryTest, OpenReportsNewExistingOrFailureAndNestedClosesRestore) {
    HKEY test = CurrentKey();
    EXPECT_EQ(OpenSubKey("a\\b"), CreatedNew);
    CloseKey();
    EXPECT_EQ(OpenSubKey("absent", RegOpenOnly), OpenFailed);
    EXPECT_FALSE(RawKeyExists(path_ + "\\absent"));
    EXPECT_EQ(CurrentKey(), test);
    ASSERT_EQ(OpenSubKey("a", RegOpenOnly), OpenedExisting);
    HKEY a = CurrentKey();
    ASSERT_EQ(OpenSubKey("b"), OpenedExisting);
    EXPECT_NE(CurrentKey(), a);
    CloseKey();
    EXPECT_EQ(CurrentKey(), a);
    CloseKey();
    EXPECT_EQ(CurrentKey(), test);
    CloseKey();
    EXPECT_EQ(CurrentKey(), nullptr);
    EXPECT_EQ(OpenSubKey("a"), OpenFailed);
    // A close without its open is a program fault.
    EXPECT_EXIT(CloseKey(), ::testing::ExitedWithCode(1), "Stack<HKEY>::pop");
}

TEST_F(RegistryTest, ValuesReadBackByType) {
    HKEY key = CurrentKey();
    std::string longText(300, 'L');
    std::string shortText = "exactly thirty-one characters..";
    ASSERT_EQ(shortText.size(), 31u);  // 32 bytes with the terminator: fits the first query
    RawSet(key, "short", REG_SZ, shortText.c_str(), 32);
    RawSet(key, "long", REG_SZ, longText.c_str(), 301);
    RawSet(key, "unterminated", REG_SZ, "abc", 3);
    RawSet(key, "empty", REG_SZ, "", 1);
    DWORD five = 5;
    RawSet(key, "dword", REG_DWORD, &five, 4);
    RawSet(key, "expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    std::string longExpand = "%TEMP%\\" + std::string(100, 'e');
    RawSet(key, "longexpand", REG_EXPAND_SZ, longExpand.c_str(), static_cast<DWORD>(longExpand.size() + 1));
    std::string bytes("\x01\x00\x02\xff", 4);
    RawSet(key, "binary", REG_BINARY, bytes.data(), 4);
    std::string longBytes(100, '\x07');
    RawSet(key, "longbinary", REG_BINARY, longBytes.data(), 100);
    RawSet(key, "multi", REG_MULTI_SZ, "a\0b\0", 5);
    RawSet(key, "qword", REG_QWORD, "\x01\x00\x00\x00\x00\x00\x00\x00", 8);

    struct { const char* name; bool found; RegistryValue::Kind kind; std::string content; } cases[] = {
        {"short", true, RegistryValue::Text, shortText},     {"long", true, RegistryValue::Text, longText},
        {"unterminated", true, RegistryValue::Text, "abc"},  {"empty", true, RegistryValue::Text, ""},
        {"dword", true, RegistryValue::Integer, "5"},        {"binary", true, RegistryValue::Bytes, bytes},
        {"longbinary", true, RegistryValue::Bytes, longBytes},
        {"multi", true, RegistryValue::Bytes, std::string("a\0b\0", 5)},
        {"expand", false, {}, ""}, {"longexpand", false, {}, ""}, {"qword", false, {}, ""}, {"missing", false, {}, ""},
    };
    for (const auto& c : cases) {
        RegistryValue value;
        EXPECT_EQ(ReadValue(c.name, value), c.found) << c.name;
        if (!c.found) continue;
        EXPECT_EQ(value.GetKind(), c.kind) << c.name;
        String text = value.ToText();
        EXPECT_EQ(std::string(text.Text(), text.Length()), c.content) << c.name;
    }
}

TEST_F(RegistryTest, TypedReadersConvertAndFallBack) {
    HKEY key = CurrentKey();
    RawSet(key, "digits", REG_SZ, "42abc", 6);
    RawSet(key, "negative", REG_SZ, "-7", 3);
    RawSet(key, "letters", REG_SZ, "abc", 4);
    RawSet(key, "empty", REG_SZ, "", 1);
    DWORD zero = 0, five = 5;
    RawSet(key, "zero", REG_DWORD, &zero, 4);
    RawSet(key, "five", REG_DWORD, &five, 4);

    EXPECT_EQ(ReadInteger("digits", 9), 42);
    EXPECT_EQ(ReadInteger("negative", 9), -7);
    EXPECT_EQ(ReadInteger("letters", 9), 0);
    EXPECT_EQ(ReadInteger("missing", 9), 9);
    EXPECT_STREQ(ReadString("five", "d").Text(), "5");
    EXPECT_STREQ(ReadString("missing", "d").Text(), "d");
    EXPECT_STREQ(ReadString("empty", "d").Text(), "");
    EXPECT_TRUE(ReadBool("five", false));
    EXPECT_FALSE(ReadBool("zero", true));
    EXPECT_TRUE(ReadBool("letters", false));
    EXPECT_FALSE(ReadBool("empty", true));
    EXPECT_TRUE(ReadBool("missing", true));
}

TEST_F(RegistryTest, WritingAndRemovingWhenEmpty) {
    EXPECT_TRUE(WriteString("text", "value"));
    EXPECT_STREQ(ReadString("text", "").Text(), "value");
    EXPECT_TRUE(WriteInteger("number", -12345));
    EXPECT_EQ(ReadInteger("number", 0), -12345);
    EXPECT_TRUE(WriteBool("flag", true));
    EXPECT_EQ(ReadInteger("flag", 0), 1);
    EXPECT_TRUE(WriteString("blank", ""));
    EXPECT_TRUE(ValueExists("blank"));

    EXPECT_TRUE(WriteString("text", "", RegRemoveIfEmpty));
    EXPECT_FALSE(ValueExists("text"));
    EXPECT_FALSE(WriteString("text", "", RegRemoveIfEmpty));  // nothing left to remove
    EXPECT_TRUE(WriteInteger("number", 0, RegRemoveIfEmpty));
    EXPECT_FALSE(ValueExists("number"));
    EXPECT_TRUE(WriteInteger("number", 0, RegRemoveIfEmpty));  // success though nothing was there
    EXPECT_TRUE(WriteInteger("kept", 0));
    EXPECT_TRUE(ValueExists("kept"));

    EXPECT_TRUE(DeleteValue("kept"));
    EXPECT_FALSE(DeleteValue("kept"));
    EXPECT_FALSE(DeleteValue(nullptr));
}

TEST_F(RegistryTest, NothingIsDoneWithoutACurrentKey) {
    CloseKey();
    EXPECT_FALSE(WriteString("a", "b"));
    EXPECT_FALSE(WriteInteger("a", 1));
    EXPECT_FALSE(ValueExists("a"));
    EXPECT_STREQ(ReadString("a", "d").Text(), "d");
    EXPECT_TRUE(IsKeyEmpty());
    List<String> names;
    EXPECT_EQ(ListSubKeys(&names), 0);
    EXPECT_FALSE(DeleteSubKey("a"));
}

TEST_F(RegistryTest, ListsAndDeletesSubKeysRecursivelyOrOnlyIfEmpty) {
    EXPECT_TRUE(IsKeyEmpty());
    for (const char* child : {"top\\middle\\bottom", "top\\middle2", "full", "parent\\child", "bare"}) {
        ASSERT_EQ(OpenSubKey(child), CreatedNew);
        WriteString("value", "x");
        CloseKey();
    }
    EXPECT_FALSE(IsKeyEmpty());
    List<String> names;
    names.Append(String("kept"));
    SetLastError(123);
    EXPECT_EQ(ListSubKeys(&names), 4);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(names.Count(), 5);
    EXPECT_EQ(ListSubKeys(nullptr), 0);

    EXPECT_TRUE(DeleteSubKey("top"));  // three levels with values
    EXPECT_FALSE(RawKeyExists(path_ + "\\top"));
    EXPECT_FALSE(DeleteSubKey("full", RegOnlyIfEmpty));  // a value
    EXPECT_FALSE(DeleteSubKey("parent", RegOnlyIfEmpty));  // a sub-key
    EXPECT_TRUE(RawKeyExists(path_ + "\\parent\\child"));
    ASSERT_EQ(OpenSubKey("bare"), OpenedExisting);
    DeleteValue("value");
    CloseKey();
    EXPECT_TRUE(DeleteSubKey("bare", RegOnlyIfEmpty));
    EXPECT_FALSE(RawKeyExists(path_ + "\\bare"));
    EXPECT_TRUE(DeleteSubKey("ghost"));  // missing: nothing to do
    EXPECT_FALSE(RawKeyExists(path_ + "\\ghost"));
    EXPECT_FALSE(DeleteSubKey(""));  // an empty name deletes nothing, not the current key
    EXPECT_FALSE(DeleteSubKey(nullptr));
    EXPECT_FALSE(DeleteSoftwareKey((name_ + "\\").c_str(), true));
    EXPECT_TRUE(RawKeyExists(path_ + "\\full"));
}

TEST_F(RegistryTest, SoftwareShortcuts) {
    ASSERT_EQ(OpenSubKey("product\\part"), CreatedNew);
    CloseKey();
    HKEY test = CurrentKey();
    std::string product = name_ + "\\product";
    EXPECT_TRUE(SoftwareKeyExists(product.c_str(), true));
    EXPECT_FALSE(SoftwareKeyExists((name_ + "\\nothing").c_str(), true));
    EXPECT_FALSE(SoftwareKeyExists(nullptr, true));
    EXPECT_EQ(CurrentKey(), test);

    EXPECT_TRUE(DeleteSoftwareSubKey(product.c_str(), "part", true));
    EXPECT_FALSE(RawKeyExists(path_ + "\\product\\part"));
    EXPECT_TRUE(DeleteSoftwareKey(product.c_str(), true));
    EXPECT_FALSE(RawKeyExists(path_ + "\\product"));
    EXPECT_TRUE(RawKeyExists(path_));
    EXPECT_EQ(CurrentKey(), test);
}

TEST_F(RegistryTest, ReadPathValue) {
    WriteString("Location", "c:\\somewhere");
    std::string full = path_ + "\\Location";
    EXPECT_STREQ(ReadPathValue(HKEY_CURRENT_USER, full.c_str(), "d").Text(), "c:\\somewhere");
    EXPECT_STREQ(ReadPathValue(HKEY_CURRENT_USER, (path_ + "\\Missing").c_str(), "d").Text(), "");
    EXPECT_STREQ(ReadPathValue(HKEY_CURRENT_USER, "", "d").Text(), "d");
    EXPECT_STREQ(ReadPathValue(HKEY_CURRENT_USER, nullptr, "d").Text(), "d");
    EXPECT_STREQ(ReadPathValue(HKEY_CURRENT_USER, "NoSuchValueAtTheRoot", "d").Text(), "");
}

// The closed-handle and odd-disposition conditions are made on purpose here;
// these tests run in a child process and leave no key behind.
TEST(RegistryDeathTest, AQueryErrorOtherThanMissingOrLongIsAnInternalError) {
    EXPECT_EXIT(
        {
            OpenKey(HKEY_CURRENT_USER, "Software", RegOpenOnly);
            RegCloseKey(CurrentKey());  // behind the module's back
            ReadString("anything", "");
        },
        ::testing::ExitedWithCode(1), "registry 360");
}

LONG WINAPI OpensWithoutDisposition(HKEY root, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM sam,
                                    LPSECURITY_ATTRIBUTES, PHKEY key, LPDWORD disposition) {
    *disposition = 0;
    return RegOpenKeyExA(root, subKey, 0, sam, key);
}

TEST(RegistryDeathTest, ANeitherNewNorExistingKeyIsAnInternalError) {
    EXPECT_EXIT(
        {
            ReplaceRegistryCreateKey(OpensWithoutDisposition);
            OpenKey(HKEY_CURRENT_USER, "Software");
        },
        ::testing::ExitedWithCode(1), "registry 795");
}

}  // namespace

#endif  // _WIN32
