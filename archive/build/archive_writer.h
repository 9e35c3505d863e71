// Writing a setup program: the manifest and file records serialised in the
// layout of archive/format.h, the payload compressed and split over disk
// files, the header block compressed and scrambled, and the trailer.
// Builder side only (tools and tests); the standard library is fine here.
#ifndef QUILLPACK_ARCHIVE_BUILD_ARCHIVE_WRITER_H
#define QUILLPACK_ARCHIVE_BUILD_ARCHIVE_WRITER_H

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

struct BuildOptions {
    bool compress = true;
    LzLevel level = LzLevel::Max;
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

#endif  // QUILLPACK_ARCHIVE_BUILD_ARCHIVE_WRITER_H
