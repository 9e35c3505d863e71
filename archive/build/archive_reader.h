// Reading a setup program the way the installer does, without installing:
// the head, the manifest, the program image checksum, the payload from the
// setup program and its disk files, decompression and every file record.
// The first corruption found is reported with the installer's code.
#ifndef QUILLPACK_ARCHIVE_BUILD_ARCHIVE_READER_H
#define QUILLPACK_ARCHIVE_BUILD_ARCHIVE_READER_H

#include <functional>
#include <memory>
#include <stdint.h>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/manifest.h"

struct InspectedFile {
    std::string name;
    int32_t kind = 0;
    int32_t shortcutBits = 0;
    std::string data;
    uint32_t checksum = 0;
    FileDate date;
    std::string shortcutName;
};

struct Inspection {
    bool found = false;  // an archive is attached at all
    // A certificate table from signing follows the archive (it is not
    // verified here, only found and measured).
    bool signedImage = false;
    int32_t code = CorruptNone;
    std::string problem;  // what went wrong, for the user; empty when sound
    ArchiveHead head;
    std::unique_ptr<Manifest> manifest;  // set once the head was sound
    int32_t disksRead = 0;               // disk files used after the setup program
    int64_t payloadRead = 0;
    std::vector<InspectedFile> files;

    bool Sound() const { return found && code == CorruptNone && problem.empty(); }
};

// Loads disk file number n (2, 3, ...) into bytes; false when it is missing.
// A setup program held in memory, seen through the interface the installer
// uses for its own file; the tools and the tests read archives through it.
class MemorySource : public ArchiveSource {
public:
    explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
    int64 Size() override { return int64(bytes_.size()); }
    bool SeekTo(int64 position) override;
    bool ReadExact(void* data, int32 count) override;
    size_t Position() const { return position_; }

private:
    const std::string& bytes_;
    size_t position_ = 0;
};

using DiskLoader = std::function<bool(int32_t disk, std::string& bytes)>;

Inspection InspectSetup(const std::string& setup, const DiskLoader& loadDisk);

#endif  // QUILLPACK_ARCHIVE_BUILD_ARCHIVE_READER_H
