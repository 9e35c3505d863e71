#include "archive/archive.h"

#include <string.h>

#include "archive/lz_codec.h"
#include "archive/pe_image.h"
#include "core/byte_stream.h"
#include "core/fatal.h"

namespace {

int32 LittleEndian32(const byte* p) {
    return int32(uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24);
}

bool ReadAt(ArchiveSource& source, int64 position, void* data, int32 count) {
    return source.SeekTo(position) && source.ReadExact(data, count);
}

// Signers start the certificate table on an 8-byte boundary, putting up to
// 7 zero bytes after the file they were given.
const int32 kMaxSignerPadding = 7;

// How well a trailer ending at `end` and naming `offset` looks like ours:
// 2 when the magic is at the offset and the header block fits in front of
// the trailer, 1 for the magic alone, 0 otherwise.
int TrailerFit(ArchiveSource& source, int32 offset, int64 end) {
    byte head[ArchiveHeadSize];
    if (offset <= 0 || int64(offset) + ArchiveHeadSize > end - ArchiveTrailerSize ||
        !ReadAt(source, offset, head, ArchiveHeadSize) || LittleEndian32(head) != ArchiveMagic) {
        return 0;
    }
    int32 length = LittleEndian32(head + 4);
    bool fits = length >= 1 && length <= end - ArchiveTrailerSize - (int64(offset) + ArchiveHeadSize);
    return fits ? 2 : 1;
}

// Where the trailer ends in front of a certificate table starting at
// `table`: at the table itself, or before padding zeros when the table is
// aligned. Each place is tried, the best fit winning and the least padding
// among equals; with none finding our magic, the table's start, where a
// damaged trailer is then read as it stands.
int64 EndBeforeTable(ArchiveSource& source, int64 table) {
    byte tail[kMaxSignerPadding + ArchiveTrailerSize];
    int32 n = table < int64(sizeof tail) ? int32(table) : int32(sizeof tail);
    if (n < ArchiveTrailerSize || !ReadAt(source, table - n, tail, n)) return table;
    int32 maxPadding = table % 8 == 0 ? n - ArchiveTrailerSize : 0;
    int64 best = table;
    int bestFit = 0;
    for (int32 padding = 0; padding <= maxPadding; ++padding) {
        if (padding > 0 && tail[n - padding] != 0) break;
        int32 offset = LittleEndian32(tail + n - padding - ArchiveTrailerSize);
        if (offset == 0) continue;
        int fit = TrailerFit(source, offset, table - padding);
        if (fit > bestFit) {
            bestFit = fit;
            best = table - padding;
        }
    }
    return best;
}

}  // namespace

void Scramble(void* data, int32 length, uint32 key) {
    if (!data || length <= 0) return;
    byte* p = static_cast<byte*>(data);
    const byte keyBytes[4] = {byte(key), byte(key >> 8), byte(key >> 16), byte(key >> 24)};
    uint32 word;
    memcpy(&word, keyBytes, 4);  // the key in memory order, whatever the host's byte order
    int32 words = length / 4;
    for (int32 i = 0; i < words; ++i, p += 4) {
        uint32 v;
        memcpy(&v, p, 4);
        v ^= word;
        memcpy(p, &v, 4);
    }
    for (int32 i = 0; i < length % 4; ++i) p[i] ^= keyBytes[i];
}

void ReportCorruptArchive(int code) {
    FatalError("This self-extracting archive is corrupt.  This is usually caused by a virus on "
               "your computer.  The installation cannot proceed.\r\n\r\nCheck your system for "
               "viruses, then ask your vendor to send you a replacement.\r\n\r\nError code: %d",
               code);
}

const char* CorruptCodeMeaning(int code) {
    switch (code) {
    case CorruptNegativeData: return "a file's data length is negative";
    case CorruptArchiveOffset:
        return "the archive offset is negative or out of the file, or the signature's certificate "
               "table does not fit the file";
    case CorruptMagic: return "the archive magic is wrong";
    case CorruptHeaderLength: return "the header length is less than 1";
    case CorruptFolderName: return "the publisher or start-menu folder leaves its base folder";
    case CorruptHeaderChecksum: return "the header block checksum differs from the key";
    case CorruptFileCount: return "the file count is out of range";
    case CorruptFileSize: return "a file size is negative";
    case CorruptPayloadLength: return "the payload length is less than 1";
    case CorruptUninstallerRead: return "the program image cannot be read";
    case CorruptUninstallerChecksum: return "the program image checksum differs";
    case CorruptFirstPart: return "the first payload part has negative length";
    case CorruptPartRead: return "a payload part cannot be read";
    case CorruptPayloadChecksum: return "the payload checksum differs";
    case CorruptPayloadDecode: return "the payload cannot be decompressed";
    case CorruptEmptyName: return "a file record's name is empty or leaves its base folder";
    case CorruptFileOverrun: return "a file's data runs past the end of the payload";
    case CorruptFileChecksum: return "a file's checksum differs";
    case CorruptFileKind: return "a file record has an unknown kind";
    default: return "unknown corruption";
    }
}

int32 FindArchiveEnd(ArchiveSource& source, int64 size, int64& end, bool& signedImage) {
    end = size;
    signedImage = false;
    byte dos[PeDosHeaderSize];
    if (size < PeDosHeaderSize || !ReadAt(source, 0, dos, PeDosHeaderSize)) return CorruptNone;
    int64 at = PeHeadersOffset(dos, PeDosHeaderSize);
    if (at < 0 || at >= size) return CorruptNone;
    byte headers[PeHeadersSpan];
    int32 count = size - at < PeHeadersSpan ? int32(size - at) : PeHeadersSpan;
    PeSignatureFields fields;
    if (!ReadAt(source, at, headers, count) || !ReadPeHeaders(headers, count, at, fields)) {
        return CorruptNone;
    }
    if (fields.tableOffset == 0 && fields.tableSize == 0) return CorruptNone;

    // Anything else names a table, which must lie whole in the file.
    int64 table = fields.tableOffset;
    int64 tableSize = fields.tableSize;
    if (table < fields.headersEnd || tableSize < PeCertificateHeadSize || tableSize > size - table) {
        return CorruptArchiveOffset;
    }
    byte certificate[PeCertificateHeadSize];
    if (!ReadAt(source, table, certificate, PeCertificateHeadSize)) return CorruptArchiveOffset;
    uint32 declared = uint32(LittleEndian32(certificate));
    if (declared < uint32(PeCertificateHeadSize) || declared > uint32(tableSize)) return CorruptArchiveOffset;
    // A table that stops short of the end belongs to a program image that
    // was signed before the archive was put after it.
    if (tableSize != size - table) return CorruptNone;
    signedImage = true;
    end = EndBeforeTable(source, table);
    return CorruptNone;
}

bool UninstallerChecksumMatches(const void* image, int32 length, uint32 stored) {
    return ProgramImageChecksum(image, length) == stored || Checksum(image, length) == stored;
}

int32 OpenArchive(ArchiveSource& source, ByteStream& header, ArchiveHead& head, bool& found) {
    found = false;
    head = ArchiveHead();
    header.Clear();

    int64 size = source.Size();
    int32 code = FindArchiveEnd(source, size, head.end, head.signedImage);
    if (code != CorruptNone) {
        found = true;
        return code;
    }
    // A file too short for a trailer carries no archive either.
    int64 end = head.end;
    byte trailer[4] = {0, 0, 0, 0};
    if (end < ArchiveTrailerSize || !ReadAt(source, end - ArchiveTrailerSize, trailer, 4)) return CorruptNone;
    int32 offset = LittleEndian32(trailer);
    if (offset == 0) return CorruptNone;
    found = true;
    head.offset = offset;
    if (offset < 0 || offset > end || !source.SeekTo(offset)) return CorruptArchiveOffset;

    // A head cut short by the end of the archive reads as zeros.
    byte headBytes[ArchiveHeadSize];
    memset(headBytes, 0, sizeof headBytes);
    if (int64(offset) + ArchiveHeadSize > end || !source.ReadExact(headBytes, ArchiveHeadSize)) {
        memset(headBytes, 0, sizeof headBytes);
    }
    if (LittleEndian32(headBytes) != ArchiveMagic) return CorruptMagic;
    int32 length = LittleEndian32(headBytes + 4);
    if (length < 1) return CorruptHeaderLength;
    head.headerLength = length;
    head.key = uint32(LittleEndian32(headBytes + 8));
    // The truth even when it lies past the end: the payload step reports a
    // first part of negative length.
    head.payloadStart = int64(offset) + ArchiveHeadSize + length;

    // A length beyond the end of the file is not refused here: the checksum
    // or the later steps find the damage. Only what the file holds is read,
    // so a damaged length never decides how much memory is taken.
    int64 held = end - (int64(offset) + ArchiveHeadSize);
    int32 stored = int64(length) > held ? int32(held > 0 ? held : 0) : length;
    String& block = header.Bytes();
    block.SetLength(stored);
    if (stored > 0) {
        memset(block.Buffer(), 0, size_t(stored));
        // A short read is caught by the decoding and the checksum below.
        source.ReadExact(block.Buffer(), stored);
    }
    source.SeekTo(head.payloadStart);  // fails, leaving the end, when past it
    Scramble(block.Buffer(), block.Length(), head.key);
    // A block that is not compressed is the manifest as it stands.
    DecodeBlock(block);
    header.Rewind();

    int32 flags = 0;
    header.ReadInt32(flags);
    header.Rewind();
    head.flags = flags;
    if ((flags & Checksums) && block.Checksum() != head.key) return CorruptHeaderChecksum;
    return CorruptNone;
}
