// The archive container: scrambling, the corrupt-archive report and the
// locating of the archive and its header block in a setup program.
// Portable: the caller hands in its file through ArchiveSource.
#ifndef QUILLPACK_ARCHIVE_ARCHIVE_H
#define QUILLPACK_ARCHIVE_ARCHIVE_H

#include "archive/format.h"
#include "core/string.h"

class ByteStream;

// Exclusive-or of byte i with byte (i mod 4) of the key, low byte first.
// Its own inverse.
void Scramble(void* data, int32 length, uint32 key);

// The fatal corrupt-archive box with the code; never returns.
[[noreturn]] void ReportCorruptArchive(int code);

// One line describing a corrupt code, for the builder's diagnostics.
const char* CorruptCodeMeaning(int code);

// The few operations locating needs from the setup program's file; the
// installer adapts its own file, the tools and tests adapt a memory image.
class ArchiveSource {
public:
    virtual int64 Size() = 0;
    // False when the position is negative or beyond the end.
    virtual bool SeekTo(int64 position) = 0;
    // False unless all count bytes were read.
    virtual bool ReadExact(void* data, int32 count) = 0;

protected:
    ~ArchiveSource() {}
};

// Where the parts of an attached archive lie in the file.
struct ArchiveHead {
    int32 offset = 0;        // A: start of the archive, length of the program image
    int32 headerLength = 0;  // H: header block as stored
    uint32 key = 0;          // K
    int32 flags = 0;         // first field of the decoded header block
    // A + 12 + H: the first payload part. Told as it is even when a damaged
    // H puts it past the end of the archive (first part = end - this - 4 < 0).
    int64 payloadStart = 0;
    // Where the trailer ends: the end of the file, or, when a signer
    // appended a certificate table after it, the start of that table less
    // the alignment padding the signer put before it.
    int64 end = 0;
    bool signedImage = false;  // a certificate table follows the archive
};

// The end of the archive in a file of `size` bytes (see ArchiveHead::end).
// When the program image's security entry names a certificate table, it
// must be whole inside the file, begin after the PE headers and hold at
// least its 8-byte head whose length fits the entry; otherwise the result
// is CorruptArchiveOffset. A table that does not reach the end of the file
// (a signed program image in front of the archive) leaves the end there.
int32 FindArchiveEnd(ArchiveSource& source, int64 size, int64& end, bool& signedImage);

// Whether the program image in front of the archive matches the checksum
// the manifest holds for it. Counted with the image's CheckSum and security
// entry as zero, which signing changes; setups built before that rule
// stored the plain checksum of the image, which is taken as well.
bool UninstallerChecksumMatches(const void* image, int32 length, uint32 stored);

// Reads the trailer and head, then the header block: unscrambled,
// decompressed when it is a compressed block, checked against the key when
// its flags ask for checksums. Returns CorruptNone with found false when no
// archive is attached; a CorruptCode (10, 20, 22, 25) for a damaged head,
// 10 also for a certificate table that does not fit the file.
// A header length running past the end of the archive reads what is there
// (never allocating more) and is left to the checksum or the later steps.
// On success header holds the decoded block at position 0 and the source is
// positioned at the first payload part, or at the end of the file when the
// header length puts that part beyond it. Everything is read in front of
// head.end, never from a certificate table.
int32 OpenArchive(ArchiveSource& source, ByteStream& header, ArchiveHead& head, bool& found);

#endif  // QUILLPACK_ARCHIVE_ARCHIVE_H
