// A device-independent bitmap held as packed data: the header, the color
// table and the pixel rows exactly as they follow the 14-byte file header of
// a ".BMP" file. The data comes from an archive or a file, so it is checked
// before the system is ever asked to draw it.
#ifndef QUILLPACK_UI_BITMAP_H
#define QUILLPACK_UI_BITMAP_H

#include <windows.h>

#include "core/string.h"

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    void Clear();
    bool IsEmpty() const { return width_ == 0; }

    // Fills the fields from the packed data; false (and empty) when the data
    // is not a bitmap that can be drawn without reading past its end.
    bool Parse();
    // False, bitmap unchanged, for no bytes; otherwise copies them and parses.
    bool LoadFromBytes(const void* bytes, int32 count);
    bool LoadFromFile(const char* path);
    bool SaveToFile(const char* path) const;
    // Stretches the whole image over the rectangle, both edges included.
    void Draw(HDC dc, const RECT& rect, DWORD rasterOperation) const;

    int32 Width() const { return width_; }
    int32 Height() const { return height_; }
    int32 BitsOffset() const { return bitsOffset_; }
    int32 PaletteEntries() const { return paletteEntries_; }
    int32 BitsPerPixel() const { return bitsPerPixel_; }
    const String& PackedData() const { return packed_; }

private:
    int32 width_ = 0;
    int32 height_ = 0;
    int32 bitsOffset_ = 0;
    int32 paletteEntries_ = 0;
    int32 bitsPerPixel_ = 0;
    String packed_;
};

#endif  // QUILLPACK_UI_BITMAP_H
