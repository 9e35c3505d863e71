#include "archive/pe_image.h"

#include <string.h>

#include "core/checksum.h"

namespace {

const int32 kLfanewAt = 0x3C;
const int32 kFileHeaderAt = 4;                  // after "PE\0\0"
const int32 kOptionalSizeAt = kFileHeaderAt + 16;
const int32 kOptionalAt = kFileHeaderAt + 20;
const int32 kChecksumInOptional = 64;
const int32 kSecurityEntry = 4;
const int32 kDirectoryEntrySize = 8;

uint32 Read16(const byte* p) { return uint32(p[0]) | uint32(p[1]) << 8; }

uint32 Read32(const byte* p) {
    return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
}

}  // namespace

int64 PeHeadersOffset(const void* dosHeader, int64 length) {
    const byte* p = static_cast<const byte*>(dosHeader);
    if (!p || length < PeDosHeaderSize || p[0] != 'M' || p[1] != 'Z') return -1;
    int32 at = int32(Read32(p + kLfanewAt));
    return at < 0 ? -1 : at;
}

bool ReadPeHeaders(const void* headers, int64 length, int64 at, PeSignatureFields& fields) {
    fields = PeSignatureFields();
    const byte* p = static_cast<const byte*>(headers);
    if (!p || at < 0 || length < kOptionalAt + 2) return false;
    if (memcmp(p, "PE\0\0", 4) != 0) return false;
    uint32 magic = Read16(p + kOptionalAt);
    int32 countAt, directoriesAt;
    if (magic == 0x10B) {
        countAt = 92;
        directoriesAt = 96;
    } else if (magic == 0x20B) {
        countAt = 108;
        directoriesAt = 112;
    } else {
        return false;
    }
    int32 entryAt = directoriesAt + kSecurityEntry * kDirectoryEntrySize;
    int32 needed = entryAt + kDirectoryEntrySize;  // of the optional header
    if (length < kOptionalAt + needed) return false;
    if (int32(Read16(p + kOptionalSizeAt)) < needed) return false;
    if (Read32(p + kOptionalAt + countAt) <= uint32(kSecurityEntry)) return false;
    fields.checksumOffset = at + kOptionalAt + kChecksumInOptional;
    fields.directoryOffset = at + kOptionalAt + entryAt;
    fields.headersEnd = fields.directoryOffset + kDirectoryEntrySize;
    fields.tableOffset = Read32(p + kOptionalAt + entryAt);
    fields.tableSize = Read32(p + kOptionalAt + entryAt + 4);
    return true;
}

int32 PeMachine(const void* image, int64 length) {
    int64 at = PeHeadersOffset(image, length);
    if (at < 0 || at > length || length - at < kFileHeaderAt + 2) return -1;
    const byte* p = static_cast<const byte*>(image) + at;
    if (memcmp(p, "PE\0\0", 4) != 0) return -1;
    return int32(Read16(p + kFileHeaderAt));
}

const char* PeMachineName(int32 machine) {
    switch (machine) {
    case PeMachineI386: return "i386";
    case PeMachineAmd64: return "x86-64";
    default: return nullptr;
    }
}

bool FindPeSignatureFields(const void* image, int64 length, PeSignatureFields& fields) {
    fields = PeSignatureFields();
    int64 at = PeHeadersOffset(image, length);
    if (at < 0 || at >= length) return false;
    return ReadPeHeaders(static_cast<const byte*>(image) + at, length - at, at, fields);
}

bool DetachSignature(void* image, int64 length) {
    PeSignatureFields fields;
    if (!FindPeSignatureFields(image, length, fields)) return false;
    if (fields.tableOffset == 0 && fields.tableSize == 0) return false;
    if (fields.tableSize <= length && fields.tableOffset <= length - fields.tableSize) return false;
    byte* p = static_cast<byte*>(image);
    memset(p + fields.checksumOffset, 0, 4);
    memset(p + fields.directoryOffset, 0, kDirectoryEntrySize);
    return true;
}

bool ClearUnsignedChecksum(void* image, int64 length) {
    PeSignatureFields fields;
    if (!FindPeSignatureFields(image, length, fields)) return false;
    if (fields.tableOffset != 0 || fields.tableSize != 0) return false;
    memset(static_cast<byte*>(image) + fields.checksumOffset, 0, 4);
    return true;
}

uint32 ProgramImageChecksum(const void* image, int32 length) {
    uint32 sum = Checksum(image, length);
    PeSignatureFields fields;
    if (!FindPeSignatureFields(image, length, fields)) return sum;
    // The sum adds whole words unsigned and the last 1 to 3 bytes signed:
    // take back what each byte of the two fields contributed.
    const byte* p = static_cast<const byte*>(image);
    int64 wordsEnd = int64(length) / 4 * 4;
    const int64 starts[2] = {fields.checksumOffset, fields.directoryOffset};
    const int32 sizes[2] = {4, kDirectoryEntrySize};
    for (int f = 0; f < 2; ++f) {
        for (int64 i = starts[f]; i < starts[f] + sizes[f]; ++i) {
            if (i < wordsEnd) {
                sum -= uint32(p[i]) << (8 * (i % 4));
            } else {
                sum -= uint32(int32(static_cast<signed char>(p[i])));
            }
        }
    }
    return sum;
}
