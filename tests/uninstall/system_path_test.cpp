// The Path value edited in a scratch key of its own (the machine's
// environment is left alone), read and written through the wide API.
#ifdef _WIN32

#include "uninstall/system_path.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

const char kDir[] = "C:\\Program Files\\QP Path Tool";

class SystemPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = "Software\\QuillpackSystemPathTest" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    }
    void Set(DWORD type, const std::wstring& text) {
        Set(type, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t)));
    }
    void Set(DWORD type, const std::string& bytes) {
        ASSERT_EQ(RegSetValueExW(key_, L"Path", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 DWORD(bytes.size())),
                  ERROR_SUCCESS);
    }
    // The type and bytes as stored; type REG_NONE when the value is missing.
    std::pair<DWORD, std::string> Get() const {
        DWORD type = REG_NONE, size = 0;
        if (RegQueryValueExW(key_, L"Path", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {REG_NONE, ""};
        std::string bytes(size, '\0');
        RegQueryValueExW(key_, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size);
        return {type, bytes};
    }
    static std::string Stored(const std::wstring& text) {
        return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
    }
    PathValueResult Add(const char* directory = kDir) {
        return AddToPathValue(HKEY_CURRENT_USER, path_.c_str(), directory);
    }
    PathValueResult Remove(const char* entry = kDir) {
        return RemoveFromPathValue(HKEY_CURRENT_USER, path_.c_str(), entry);
    }

    std::string path_;
    HKEY key_ = nullptr;
};

TEST_F(SystemPathTest, TheValueKeepsItsTypeAndAMissingOneIsMadeExpandable) {
    for (DWORD type : {DWORD(REG_EXPAND_SZ), DWORD(REG_SZ)}) {
        SCOPED_TRACE(type);
        Set(type, std::wstring(L"%SystemRoot%\\system32;%SystemRoot%"));
        EXPECT_EQ(Add(), PathValueChanged);
        EXPECT_EQ(Get(),
                  std::make_pair(type, Stored(L"%SystemRoot%\\system32;%SystemRoot%;C:\\Program Files\\QP Path Tool")));
    }
    RegDeleteValueW(key_, L"Path");
    EXPECT_EQ(Remove(), PathValueUnchanged);
    EXPECT_EQ(Get().first, DWORD(REG_NONE));
    EXPECT_EQ(Add(), PathValueChanged);
    EXPECT_EQ(Get(), std::make_pair(DWORD(REG_EXPAND_SZ), Stored(L"C:\\Program Files\\QP Path Tool")));
    EXPECT_EQ(Remove(), PathValueChanged);
    EXPECT_EQ(Get(), std::make_pair(DWORD(REG_EXPAND_SZ), Stored(L"")));
}

TEST_F(SystemPathTest, ALongValueGetsTheEntryOnceAndLosesItByteForByte) {
    // Entries no code page holds, empty ones, odd spacing, and one that
    // merely begins like the directory.
    std::wstring user = L"%SystemRoot%\\system32;;%SystemRoot%; C:\\\x4E2D\x6587 ;C:\\Program Files\\QP Path Tools;";
    while (user.size() < 4000) user += L"C:\\Some Long Folder Name\\bin;";
    user.resize(4000);
    Set(REG_EXPAND_SZ, user);
    std::string original = Get().second;
    ASSERT_EQ(original.size(), 8002u);

    EXPECT_EQ(Add(), PathValueChanged);
    EXPECT_EQ(Get().second, Stored(user + L";C:\\Program Files\\QP Path Tool"));
    EXPECT_EQ(Add("c:\\program files\\qp path tool\\"), PathValueUnchanged);  // a second installation
    EXPECT_EQ(Remove(), PathValueChanged);
    EXPECT_EQ(Get(), std::make_pair(DWORD(REG_EXPAND_SZ), original));
    EXPECT_EQ(Remove(), PathValueUnchanged);
    EXPECT_EQ(Get().second, original);
}

TEST_F(SystemPathTest, AValueThatIsNoTextOrADirectoryThatIsNoEntryIsLeftAlone) {
    Set(REG_DWORD, std::string("\x05\0\0\0", 4));
    EXPECT_EQ(Add(), PathValueFailed);
    EXPECT_EQ(Remove(), PathValueFailed);
    EXPECT_EQ(Get(), std::make_pair(DWORD(REG_DWORD), std::string("\x05\0\0\0", 4)));
    Set(REG_MULTI_SZ, std::string("a\0\0\0\0\0", 6));
    EXPECT_EQ(Add(), PathValueFailed);

    Set(REG_SZ, std::wstring(L"a"));
    EXPECT_EQ(Add("C:\\a;b"), PathValueFailed);
    EXPECT_EQ(Add(""), PathValueFailed);
    EXPECT_EQ(Get().second, Stored(L"a"));
    EXPECT_EQ(AddToPathValue(HKEY_CURRENT_USER, (path_ + "\\missing").c_str(), kDir), PathValueFailed);
}

}  // namespace

#endif  // _WIN32
