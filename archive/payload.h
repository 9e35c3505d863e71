// Splitting the payload into its file records, in the order of the
// manifest's size table. The storing itself is the caller's: the installer
// writes files, the builder's tools list or extract them, fuzzing only looks.
//
// Two ways, with the same codes for the same payloads:
// - SplitPayload: the decoded payload whole in memory (the tools).
// - CheckPayload then StreamPayload: two passes over the stored payload,
//   read in chunks from wherever it lies, in bounded memory whatever its
//   size (the installer). The first reads it all for its checksum and, when
//   compressed, checks that it decodes, before anything is stored; the
//   second decodes it through a window and splits it as its bytes arrive.
#ifndef QUILLPACK_ARCHIVE_PAYLOAD_H
#define QUILLPACK_ARCHIVE_PAYLOAD_H

#include "archive/manifest.h"

class ByteStream;

class RecordSink {
public:
    // Before record index of count is read (the installer's progress step).
    virtual void BeforeRecord(int32 index, int32 count) = 0;
    // A record that passed every check. From StreamPayload, a record whose
    // data came through Data has data null (size still says how much).
    virtual void Store(int32 index, const FileRecord& record) = 0;

protected:
    ~RecordSink() {}
};

// What StreamPayload needs beyond RecordSink: records larger than it holds
// arrive in pieces, before their checksum and kind can be known.
class RecordStreamSink : public RecordSink {
public:
    // Record index's name (checked), kind and shortcut bits (not yet
    // checked) and size; its data lies wholly in the payload. The data
    // follows through Data; then comes Store when the whole record is sound,
    // or Discard when it is not, and the split ends with that code.
    virtual void BeginData(int32 index, const FileRecord& head) = 0;
    virtual void Data(const char* piece, int32 length) = 0;
    virtual void Discard(int32 index) = 0;

protected:
    ~RecordStreamSink() {}
};

// The stored payload in order: the installer's own file from the first
// payload part, then "Disk2.QPK", "Disk3.QPK", ... as the installer finds
// them. Each pass reads it from its start.
class PayloadSource {
public:
    // Up to room (> 0) next bytes into `into`: the count read, at least 1;
    // 0 at the end of the payload; -1 when a part cannot be read.
    virtual int32 Read(char* into, int32 room) = 0;

protected:
    ~PayloadSource() {}
};

// The checksum of the archive over bytes that come in pieces: Value()
// equals Checksum() of all of them joined.
class RunningChecksum {
public:
    void Add(const void* data, size_t length);
    uint32 Value() const;
    uint64_t Length() const { return length_; }

private:
    uint32 sum_ = kChecksumSeed;
    uint32 group_ = 0;  // bytes of an unfinished 4-byte group, first byte lowest
    uint64_t length_ = 0;
};

// How the payload is stored: as it is, or compressed with the plain method
// (archive/lz_codec.h) or the entropy-coded one (archive/lze_codec.h). The
// manifest says only whether it is compressed; the stream's first four
// bytes say how.
enum PayloadMethod { PayloadStored, PayloadLz, PayloadLze };

// What the first pass learns for the second.
struct PayloadCheck {
    int64 storedLength = 0;
    int64 decodedLength = 0;  // the records' bytes: decoded, or as stored
    int32 method = PayloadStored;
};

// Records holding at most this much data reach the sink whole, through
// Store alone; larger ones come in pieces.
const int32 kHeldRecordBytes = 1 << 20;

// A record's name or shortcut name longer than this is refused (code 70):
// no file system or registry takes such a name, and the splitter must not
// hold an unbounded text.
const int32 kMaxRecordText = 65536;

// Most bytes the passes read from the source at a time.
const int32 kPayloadChunkBytes = 1 << 20;

// Reads the manifest's fileCount records in order from the payload's
// position and hands each good one to the sink. Returns CorruptNone, or the
// code of the first bad record (70, 90, 100, 110); the records before it
// have been stored by then, as an installation that stops there leaves them.
int32 SplitPayload(ByteStream& payload, const Manifest& manifest, RecordSink& sink);

// First pass: reads the whole stored payload. Returns CorruptNone, 50 (a
// part cannot be read, at once), 55 (its checksum differs from the
// manifest's) or, with CompressedPayload, 60 (it does not decode), in that
// order, as the installer checked them on the payload in memory. A block
// that decodes to more than kMaxDecodedLength passes here. A plain block is
// only walked; an entropy-coded stream is decoded, its output dropped, as
// nothing less shows it sound (memory: its decoder's window).
int32 CheckPayload(PayloadSource& source, const Manifest& manifest, PayloadCheck& check);

// Second pass, after CheckPayload succeeded on the same payload: decodes
// it when compressed and hands the records to the sink as their bytes
// arrive, with the codes of SplitPayload (70, 90, 100, 110, in its order of
// checks), and 50 or 60 should the payload now read or decode differently.
// Records holding more than holdLimit bytes of data come in pieces (see
// RecordStreamSink). Memory: the decoder's window, one chunk, the held
// record and two names, whatever the payload's size.
int32 StreamPayload(PayloadSource& source, const Manifest& manifest, const PayloadCheck& check,
                    RecordStreamSink& sink, int32 holdLimit = kHeldRecordBytes);

#endif  // QUILLPACK_ARCHIVE_PAYLOAD_H
