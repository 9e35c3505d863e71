// Writing a setup program: the manifest and file records serialised in the
// layout of archive/format.h, the payload compressed and split over disk
// files, the header block compressed and scrambled, and the trailer.
// Builder side only (tools and tests); the standard library is fine here.
#ifndef QUILLPACK_ARCHIVE_BUILD_ARCHIVE_WRITER_H
#define QUILLPACK_ARCHIVE_BUILD_ARCHIVE_WRITER_H

#include <functional>
#include <stdexcept>
#include <stdint.h>
#include <string>
#include <vector>

#include "archive/build/lz_encoder.h"
#include "archive/format.h"
#include "core/file_date.h"

// Anything the format cannot carry; the message names the offending item.
class BuildError : public std::runtime_error {
public:
    explicit BuildError(const std::string& message) : std::runtime_error(message) {}
};

struct BuildFile {
    std::string name;  // destination, relative, "\" separated
    int32_t kind = Normal;
    int32_t shortcutBits = 0;
    std::string data;
    FileDate date;
    std::string shortcutName;
    // For WriteArchive: when source is set, data is left empty and read
    // from that file while the archive is written; it must then hold
    // exactly sourceSize bytes.
    std::string source;
    int64_t sourceSize = 0;
};

struct BuildManifest {
    int32_t flags = 0;  // CompressedPayload and Checksums come from BuildOptions
    FileDate uninstallerDate;
    std::string publisher;
    std::string productName;
    std::string startMenuFolder;
    std::string defaultDirectory;
    std::string version;
    std::string registryKey;
    std::string welcomeText;
    std::string licenseText;
    std::string readmeText;
    std::string displayTitle;
    uint32_t titleColor = 0;
    uint32_t topColor = 0;
    uint32_t bottomColor = 0;
    std::string bitmap;           // packed DIB, no file header
    std::string requiredProduct;  // written only with UpdateOnly
    std::string batchBefore;
    std::string batchAfter;
    std::string batchFinal;
    std::string uninstallBatch1;
    std::string uninstallBatch2;
};

// How the payload is compressed: "lz", the plain method, or "lze", the
// entropy-coded one (smaller; slower to build and to install). The header
// block always takes the plain method.
enum class PayloadCompression { Lz, Lze };

struct BuildOptions {
    bool compress = true;
    PayloadCompression method = PayloadCompression::Lz;
    LzLevel level = LzLevel::Max;  // the lze method's level too
    bool checksums = true;
    int64_t firstPartMax = -1;  // bytes of payload in the setup program; -1: all
    int64_t diskMax = -1;       // bytes per disk file; -1: no limit
};

struct BuildOutput {
    std::string setup;               // stub + archive + trailer
    std::vector<std::string> disks;  // contents of Disk2.QPK, Disk3.QPK, ...
};

// A BuildError naming `what` when the installer would refuse `text` as a
// name joined to a folder (archive/safe_name.h); the empty text passes.
void CheckJoinedName(const std::string& text, const std::string& what);

// The destination name as the archive stores it ("/" becomes "\"), or a
// BuildError for one the installer must refuse (empty, or not contained)
// or that names no file (an empty or "." component).
std::string CheckDestinationName(const std::string& name);

// Every text the installer joins to a folder: the publisher, the
// start-menu folder (or the product name that stands in for it), record
// names and the shortcut names of kinds Normal and StartupProgram.
void CheckJoinedTexts(const BuildManifest& manifest, const std::vector<BuildFile>& files);

// Raw serialisations, exposed so tests can craft damaged archives.
std::string SerializeManifest(const BuildManifest& manifest, const std::vector<int32_t>& sizes,
                              int32_t payloadLength, uint32_t payloadChecksum,
                              uint32_t uninstallerChecksum);
std::string SerializeFileRecord(const BuildFile& file);

// Wraps an already encoded header block and payload parts around a stub.
std::string AssembleSetup(const std::string& stub, const std::string& storedHeader, uint32_t key,
                          const std::string& firstPart);

BuildOutput BuildArchive(const std::string& stub, const BuildManifest& manifest,
                         const std::vector<BuildFile>& files, const BuildOptions& options);

// Where WriteArchive puts its output: the setup program, disk file n
// (2, 3, ...), and a scratch file for the payload, which is written before
// the header that holds its length and checksum; the scratch file is
// removed afterwards.
struct ArchivePaths {
    std::string setup;
    std::function<std::string(int32_t disk)> disk;
    std::string scratch;
    // When set, told how many disk files will be written once the payload
    // is made, before the setup program or any disk file is; it may throw
    // (a BuildError) to stop there.
    std::function<void(int32_t disks)> beforeWriting;
};

struct WrittenArchive {
    int64_t setupBytes = 0;
    int64_t payloadBytes = 0;  // stored, all parts
    int64_t diskBytes = 0;     // stored in the disk files
    uint64_t dataBytes = 0;    // the files' data
    int32_t disks = 0;         // disk files written after the setup program
};

// BuildArchive's bytes, written to files without holding the product:
// each file's data is read in pieces (BuildFile::source) and compressed as
// it comes at the fast level. Memory: the stub, the manifest, the encoder's
// window and tables (about 55 MB) and a buffer, whatever the product's
// size; the max level and the lze method hold the whole payload, as they
// need it. A source that cannot be read or no longer has its size is a
// BuildError.
WrittenArchive WriteArchive(const std::string& stub, const BuildManifest& manifest,
                            const std::vector<BuildFile>& files, const BuildOptions& options,
                            const ArchivePaths& paths);

#endif  // QUILLPACK_ARCHIVE_BUILD_ARCHIVE_WRITER_H
