// Splitting the decoded payload into its file records, in the order of the
// manifest's size table. The storing itself is the caller's: the installer
// writes files, the builder's tools list or extract them, fuzzing only looks.
#ifndef QUILLPACK_ARCHIVE_PAYLOAD_H
#define QUILLPACK_ARCHIVE_PAYLOAD_H

#include "archive/manifest.h"

class ByteStream;

class RecordSink {
public:
    // Before record index of count is read (the installer's progress step).
    virtual void BeforeRecord(int32 index, int32 count) = 0;
    virtual void Store(int32 index, const FileRecord& record) = 0;

protected:
    ~RecordSink() {}
};

// Reads the manifest's fileCount records in order from the payload's
// position and hands each good one to the sink. Returns CorruptNone, or the
// code of the first bad record (70, 90, 100, 110); the records before it
// have been stored by then, as an installation that stops there leaves them.
int32 SplitPayload(ByteStream& payload, const Manifest& manifest, RecordSink& sink);

#endif  // QUILLPACK_ARCHIVE_PAYLOAD_H
