#include "archive/payload.h"

#include "core/byte_stream.h"

int32 SplitPayload(ByteStream& payload, const Manifest& manifest, RecordSink& sink) {
    bool verify = manifest.Has(Checksums);
    for (int32 i = 0; i < manifest.fileCount; ++i) {
        sink.BeforeRecord(i, manifest.fileCount);
        FileRecord record;
        int32 code = ReadFileRecord(payload, manifest.FileSize(i), verify, record);
        if (code != CorruptNone) return code;
        sink.Store(i, record);
    }
    return CorruptNone;
}
