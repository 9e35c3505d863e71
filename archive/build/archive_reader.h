// Reading a setup program the way the installer does, without installing:
// the head, the manifest, the program image checksum, the payload from the
// setup program and its disk files, decompression and every file record.
// The first corruption found is reported with the installer's code.
//
// The payload is read as the installer reads it: one pass for its checksum
// and whether it decodes, a second that decodes it through a window and
// splits the records as their bytes arrive. So a setup of any size is
// checked in bounded memory; only the program image in front of the
// archive is held whole, as the installer holds it.
#ifndef QUILLPACK_ARCHIVE_BUILD_ARCHIVE_READER_H
#define QUILLPACK_ARCHIVE_BUILD_ARCHIVE_READER_H

#include <fstream>
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
    int32_t size = 0;
    std::string data;  // only from the in-memory InspectSetup
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
    int32_t machine = -1;                // the program image's PE Machine, once the head was sound
    int32_t disksRead = 0;               // disk files used after the setup program
    int64_t payloadRead = 0;
    int32_t method = 0;  // a PayloadMethod (archive/payload.h), once the first pass succeeded
    std::vector<InspectedFile> files;

    bool Sound() const { return found && code == CorruptNone && problem.empty(); }
};

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

// A setup program or disk file read from its file through the same
// interface, in pieces: the tools never hold a whole setup.
class FileArchiveSource : public ArchiveSource {
public:
    // Opens the file and reads its size; false when it cannot be read.
    bool Open(const std::string& path);
    int64 Size() override { return size_; }
    bool SeekTo(int64 position) override;
    bool ReadExact(void* data, int32 count) override;

private:
    std::ifstream in_;
    int64 size_ = 0;
};

// Where a setup program and its disk files are read from.
class SetupParts {
public:
    virtual ~SetupParts() {}
    virtual ArchiveSource& Setup() = 0;
    // Opens disk file n (2, 3, ...) for reading from its start and tells its
    // size; false when it is missing or cannot be read.
    virtual bool OpenDisk(int32_t disk, int64_t& size) = 0;
    // The open disk file's next count bytes; false when they cannot be read.
    virtual bool ReadDisk(char* into, int32_t count) = 0;
};

// Hands on each sound file's data as it is decoded, in pieces, so that a
// caller can write it out without holding it.
class InspectedData {
public:
    virtual ~InspectedData() {}
    // A file begins: its name (checked), kind, shortcut bits and size.
    virtual void Begin(const InspectedFile& file) = 0;
    virtual void Data(const char* piece, size_t length) = 0;
    // The file is whole and sound; every field is known now (data empty).
    virtual void End(const InspectedFile& file) = 0;
    // The file begun turned out damaged; the inspection ends with its code.
    virtual void Discard() = 0;
};

// Everything InspectSetup checks, from parts anywhere; each file's data goes
// to `data` when given, and is kept in InspectedFile::data when keepData.
Inspection InspectParts(SetupParts& parts, InspectedData* data = nullptr, bool keepData = false);

// Loads disk file number n (2, 3, ...) into bytes; false when it is missing.
using DiskLoader = std::function<bool(int32_t disk, std::string& bytes)>;

// A setup program and disks in memory; the files keep their data.
Inspection InspectSetup(const std::string& setup, const DiskLoader& loadDisk);

// The path of disk file n (2, 3, ...); empty when there is none.
using DiskPath = std::function<std::string(int32_t disk)>;

// A setup program and disks read from their files, in bounded memory. A
// setup that cannot be opened is reported as having no archive; callers
// that need to say why check it first.
Inspection InspectSetupFile(const std::string& setupPath, const DiskPath& diskPath,
                            InspectedData* data = nullptr);

#endif  // QUILLPACK_ARCHIVE_BUILD_ARCHIVE_READER_H
