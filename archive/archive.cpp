#include "archive/archive.h"

#include <string.h>

#include "archive/lz_codec.h"
#include "core/byte_stream.h"
#include "core/fatal.h"

namespace {

int32 LittleEndian32(const byte* p) {
    return int32(uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24);
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
    case CorruptArchiveOffset: return "the archive offset is negative or out of the file";
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

int32 OpenArchive(ArchiveSource& source, ByteStream& header, ArchiveHead& head, bool& found) {
    found = false;
    head = ArchiveHead();
    header.Clear();

    // A file too short for a trailer carries no archive either.
    int64 size = source.Size();
    byte trailer[4] = {0, 0, 0, 0};
    if (size < ArchiveTrailerSize || !source.SeekTo(size - ArchiveTrailerSize) ||
        !source.ReadExact(trailer, 4)) {
        return CorruptNone;
    }
    int32 offset = LittleEndian32(trailer);
    if (offset == 0) return CorruptNone;
    found = true;
    head.offset = offset;
    if (offset < 0 || !source.SeekTo(offset)) return CorruptArchiveOffset;

    // A head cut short by the end of the file reads as zeros.
    byte headBytes[ArchiveHeadSize];
    memset(headBytes, 0, sizeof headBytes);
    if (!source.ReadExact(headBytes, ArchiveHeadSize)) memset(headBytes, 0, sizeof headBytes);
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
    int64 held = size - (int64(offset) + ArchiveHeadSize);
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
