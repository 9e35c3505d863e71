#include "ui/bitmap.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "ui_test_support.h"

namespace {

using uitest::CoreBitmap;
using uitest::InfoBitmap;
using uitest::Put32;

TEST(BitmapParse, ReadsBothHeaderKindsAndTheirPaletteSizes) {
    const struct { const char* name; std::string data; int width, height, bits, palette, bitsOffset; } cases[] = {
        {"core 8-bit: 256 three-byte entries", CoreBitmap(3, 2, 8), 3, 2, 8, 256, 12 + 768},
        {"core 1-bit", CoreBitmap(9, 1, 1), 9, 1, 1, 2, 18},
        {"core 4-bit", CoreBitmap(2, 2, 4), 2, 2, 4, 16, 60},
        {"core 24-bit: no table", CoreBitmap(5, 3, 24), 5, 3, 24, 0, 12},
        {"info 24-bit: no table", InfoBitmap(4, 4, 24, 0, 0), 4, 4, 24, 0, 40},
        {"info 8-bit, 16 colors used", InfoBitmap(4, 4, 8, 16, 16), 4, 4, 8, 16, 40 + 64},
        {"info 8-bit, full table", InfoBitmap(4, 4, 8, 0, 256), 4, 4, 8, 256, 40 + 1024},
        {"info 1-bit", InfoBitmap(33, 2, 1, 0, 2), 33, 2, 1, 2, 48},
        {"info 24-bit with an optimising table", InfoBitmap(2, 2, 24, 3, 3), 2, 2, 24, 3, 52},
        {"info 16-bit has no implied table", InfoBitmap(2, 2, 16, 0, 0), 2, 2, 16, 0, 40},
        {"info 32-bit, color masks skipped", InfoBitmap(2, 2, 32, 0, 0, BI_BITFIELDS), 2, 2, 32, 0, 52},
        {"info top-down keeps its sign", InfoBitmap(3, -5, 24, 0, 0), 3, -5, 24, 0, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap b;
        ASSERT_TRUE(b.LoadFromBytes(c.data.data(), int32(c.data.size())));
        EXPECT_EQ((std::vector<int>{b.Width(), b.Height(), b.BitsPerPixel(), b.PaletteEntries(), b.BitsOffset()}),
                  (std::vector<int>{c.width, c.height, c.bits, c.palette, c.bitsOffset}));
        EXPECT_EQ(std::string(b.PackedData().Text(), size_t(b.PackedData().Length())), c.data);
    }
}

std::string Truncated(std::string s, size_t drop) { return s.substr(0, s.size() - drop); }
std::string WithField(std::string s, size_t at, uint32_t value) {
    Put32(s, at, value);
    return s;
}

TEST(BitmapParse, RefusesDataThatCannotBeDrawnSafely) {
    const std::string rle8 = [] {
        std::string s = InfoBitmap(4, 4, 8, 0, 256, BI_RLE8);
        Put32(s, 20, 40);  // says 40 bytes of runs, none present
        return s;
    }();
    const struct { const char* name; std::string data; } cases[] = {
        {"twelve bytes", std::string(12, '\x0c')},
        {"version 4 header size", WithField(InfoBitmap(2, 2, 24, 0, 0), 0, 108)},
        {"info header cut short", InfoBitmap(2, 2, 24, 0, 0).substr(0, 30)},
        {"one byte short of the pixel rows", Truncated(InfoBitmap(3, 3, 24, 0, 0), 1)},
        {"top-down one byte short", Truncated(InfoBitmap(3, -3, 24, 0, 0), 1)},
        {"core one byte short", Truncated(CoreBitmap(3, 3, 8), 1)},
        {"color table beyond the data", WithField(InfoBitmap(2, 2, 8, 4, 4), 32, 0x7FFFFFFF)},
        {"zero width", WithField(InfoBitmap(2, 2, 24, 0, 0), 4, 0)},
        {"zero height", WithField(InfoBitmap(2, 2, 24, 0, 0), 8, 0)},
        {"negative width", WithField(InfoBitmap(2, 2, 24, 0, 0), 4, uint32_t(-2))},
        {"width beyond 32767", WithField(InfoBitmap(2, 2, 24, 0, 0), 4, 32768)},
        {"height beyond -32767", WithField(InfoBitmap(2, 2, 24, 0, 0), 8, uint32_t(INT32_MIN))},
        {"2 bits per pixel", InfoBitmap(4, 4, 2, 4, 4)},
        {"core 32 bits per pixel", CoreBitmap(2, 2, 32)},
        {"run-length data beyond the end", rle8},
        {"unknown compression", InfoBitmap(2, 2, 24, 0, 0, 9)},
    };
    const std::string good = InfoBitmap(2, 2, 24, 0, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap b;
        ASSERT_TRUE(b.LoadFromBytes(good.data(), int32(good.size())));
        EXPECT_FALSE(b.LoadFromBytes(c.data.data(), int32(c.data.size())));
        EXPECT_TRUE(b.IsEmpty() && b.PackedData().Length() == 0 && b.BitsOffset() == 0);
    }
}

TEST(BitmapParse, RunLengthWithinItsStatedSizeIsAcceptedAndNoBytesChangeNothing) {
    std::string s = InfoBitmap(4, 4, 8, 2, 2, BI_RLE8);
    s.resize(40 + 8);
    const char runs[] = {4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 1};
    s.append(runs, sizeof runs);
    Put32(s, 20, sizeof runs);
    Bitmap b;
    ASSERT_TRUE(b.LoadFromBytes(s.data(), int32(s.size())));
    EXPECT_EQ(b.BitsOffset(), 48);
    EXPECT_FALSE(b.LoadFromBytes(nullptr, 10));
    EXPECT_FALSE(b.LoadFromBytes(s.data(), 0));
    EXPECT_FALSE(b.LoadFromBytes(s.data(), -5));
    EXPECT_EQ(b.PackedData().Length(), int32(s.size()));
}

class BitmapFile : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        path_ = std::string(dir) + "qp_bitmap_test.bmp";
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean() {
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path_.c_str());
    }
    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Write(const std::string& bytes) const {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::string path_;
};

TEST_F(BitmapFile, SaveThenLoadGivesTheSamePackedDataAndFields) {
    for (const std::string& data : {CoreBitmap(3, 2, 8), InfoBitmap(5, 3, 4, 0, 16), InfoBitmap(7, -2, 24, 0, 0)}) {
        Bitmap saved;
        ASSERT_TRUE(saved.LoadFromBytes(data.data(), int32(data.size())));
        ASSERT_TRUE(saved.SaveToFile(path_.c_str()));

        const std::string file = Contents();
        ASSERT_EQ(file.size(), data.size() + 14);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(*reinterpret_cast<const uint32_t*>(file.data() + 2), data.size() + 14);
        EXPECT_EQ(*reinterpret_cast<const uint32_t*>(file.data() + 10), uint32_t(saved.BitsOffset() + 14));
        EXPECT_EQ(file.substr(14), data);

        Bitmap loaded;
        ASSERT_TRUE(loaded.LoadFromFile(path_.c_str()));
        EXPECT_EQ(std::string(loaded.PackedData().Text(), size_t(loaded.PackedData().Length())), data);
        EXPECT_TRUE(loaded.Width() == saved.Width() && loaded.Height() == saved.Height() &&
                    loaded.BitsOffset() == saved.BitsOffset() && loaded.PaletteEntries() == saved.PaletteEntries());
    }
}

TEST_F(BitmapFile, RefusesFilesThatAreNotWholeBitmaps) {
    const std::string data = InfoBitmap(4, 4, 24, 0, 0);
    std::string whole = "BM" + std::string(12, '\0') + data;
    Put32(whole, 2, uint32_t(whole.size()));
    const struct { const char* name; std::string bytes; } cases[] = {
        {"not starting with BM", "MB" + whole.substr(2)},
        {"shorter than its size field", whole.substr(0, whole.size() - 1)},
        {"size field below the file header", WithField(whole, 2, 10)},
        {"size field far beyond the file", WithField(whole, 2, 0xFFFFFFF0u)},
        {"only part of the file header", whole.substr(0, 9)},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.bytes);
        Bitmap b;
        EXPECT_FALSE(b.LoadFromFile(path_.c_str()));
        EXPECT_TRUE(b.IsEmpty());
    }
    Write(whole);
    Bitmap b;
    EXPECT_TRUE(b.LoadFromFile(path_.c_str()));
    EXPECT_FALSE(b.LoadFromFile((path_ + ".missing").c_str()));
    EXPECT_FALSE(b.SaveToFile((path_ + "\\no such dir\\x.bmp").c_str()));
}

}  // namespace
