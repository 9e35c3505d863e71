#include "ui/bitmap.h"

#include <string.h>

#include "platform/file.h"

namespace {

const int32 kFileHeaderSize = 14;
const int32 kCoreHeaderSize = 12;
const int32 kInfoHeaderSize = 40;
// Beyond this the system's own stretch code is not trusted with the image.
const int64 kMaxDimension = 32767;

uint32 Le16(const byte* p) { return uint32(p[0]) | uint32(p[1]) << 8; }
uint32 Le32(const byte* p) {
    return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
}
void PutLe16(byte* p, uint32 v) {
    p[0] = byte(v);
    p[1] = byte(v >> 8);
}
void PutLe32(byte* p, uint32 v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

bool IsDrawableDepth(int64 bits, bool coreHeader) {
    switch (bits) {
        case 1: case 4: case 8: case 24: return true;
        case 16: case 32: return !coreHeader;
        default: return false;
    }
}

}  // namespace

void Bitmap::Clear() {
    packed_.Clear();
    width_ = height_ = bitsOffset_ = paletteEntries_ = bitsPerPixel_ = 0;
}

bool Bitmap::Parse() {
    const int64 length = packed_.Length();
    if (length <= kCoreHeaderSize) {
        Clear();
        return false;
    }
    const byte* p = reinterpret_cast<const byte*>(packed_.Text());
    const uint32 headerSize = Le32(p);
    int64 width, height, bits, palette, entrySize;
    int64 masks = 0;
    uint32 compression = BI_RGB;
    int64 imageSize = 0;
    if (headerSize == uint32(kCoreHeaderSize)) {
        width = Le16(p + 4);
        height = Le16(p + 6);
        bits = Le16(p + 10);
        palette = bits <= 8 ? (int64(1) << bits) : 0;
        entrySize = 3;
    } else if (headerSize == uint32(kInfoHeaderSize) && length >= kInfoHeaderSize) {
        width = int32(Le32(p + 4));
        height = int32(Le32(p + 8));
        bits = Le16(p + 14);
        compression = Le32(p + 16);
        imageSize = Le32(p + 20);
        palette = Le32(p + 32);
        // Only depths up to 8 have an implied color table; 16 bits would
        // otherwise claim 65,536 entries that no file carries.
        if (palette == 0 && bits <= 8) palette = int64(1) << bits;
        entrySize = 4;
        // The three color masks sit between the header and the pixels.
        if (compression == BI_BITFIELDS) masks = 12;
    } else {
        Clear();
        return false;
    }

    const bool core = headerSize == uint32(kCoreHeaderSize);
    const int64 rows = height < 0 ? -height : height;
    bool sound = IsDrawableDepth(bits, core) && width > 0 && width <= kMaxDimension && rows > 0 &&
                 rows <= kMaxDimension;
    const int64 tableEnd = int64(headerSize) + masks + palette * entrySize;
    if (sound && tableEnd > length) sound = false;
    if (sound) {
        switch (compression) {
            case BI_RGB:
            case BI_BITFIELDS: {
                if (compression == BI_BITFIELDS && bits != 16 && bits != 32) sound = false;
                const int64 stride = (width * bits + 31) / 32 * 4;
                if (stride * rows > length - tableEnd) sound = false;
                break;
            }
            case BI_RLE8:
            case BI_RLE4:
                // Run-length data is bounded only by its stated size, and
                // only bottom-up images may be compressed.
                if (bits != (compression == BI_RLE8 ? 8 : 4) || height < 0 || imageSize == 0 ||
                    imageSize > length - tableEnd)
                    sound = false;
                break;
            default:
                sound = false;
        }
    }
    if (!sound) {
        Clear();
        return false;
    }
    width_ = int32(width);
    height_ = int32(height);
    bitsPerPixel_ = int32(bits);
    paletteEntries_ = int32(palette);
    bitsOffset_ = int32(tableEnd);
    return true;
}

bool Bitmap::LoadFromBytes(const void* bytes, int32 count) {
    if (!bytes || count <= 0) return false;
    packed_.Assign(bytes, count);
    return Parse();
}

bool Bitmap::LoadFromFile(const char* path) {
    File file;
    // Write access is asked for as well, so a read-only file is not loaded.
    if (!file.Open(path, true, true, false)) return false;
    byte header[kFileHeaderSize];
    memset(header, 0, sizeof header);
    if (!file.Read(header, kFileHeaderSize) || header[0] != 'B' || header[1] != 'M') return false;
    const int64 packedSize = int64(Le32(header + 2)) - kFileHeaderSize;
    const int64 available = int64(file.Size()) - kFileHeaderSize;
    // A file shorter than its header says would leave undefined bytes to draw.
    if (packedSize <= 0 || packedSize > available) {
        Clear();
        return false;
    }
    packed_.Resize(int32(packedSize));
    if (!file.Read(packed_.Buffer(), int32(packedSize))) {
        Clear();
        return false;
    }
    return Parse();
}

bool Bitmap::SaveToFile(const char* path) const {
    File file;
    if (!file.Create(path, true)) return false;
    byte header[kFileHeaderSize];
    header[0] = 'B';
    header[1] = 'M';
    PutLe32(header + 2, uint32(packed_.Length() + kFileHeaderSize));
    PutLe32(header + 6, 0);
    PutLe32(header + 10, uint32(bitsOffset_ + kFileHeaderSize));
    bool written = file.Write(header, kFileHeaderSize);
    if (written && packed_.Length() > 0) written = file.Write(packed_.Text(), packed_.Length());
    file.Close();
    return written;
}

void Bitmap::Draw(HDC dc, const RECT& rect, DWORD rasterOperation) const {
    if (!dc || IsEmpty()) return;
    const char* data = packed_.Text();
    const int rows = height_ < 0 ? -height_ : height_;
    StretchDIBits(dc, rect.left, rect.top, rect.right - rect.left + 1, rect.bottom - rect.top + 1, 0, 0,
                  width_, rows, data + bitsOffset_, reinterpret_cast<const BITMAPINFO*>(data),
                  DIB_RGB_COLORS, rasterOperation);
}
