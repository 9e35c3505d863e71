// The manifest (the decoded header block) and the file records of the
// decoded payload, read field by field with their range checks, and the
// values derived from the manifest. Byte layout: archive/format.h.
#ifndef QUILLPACK_ARCHIVE_MANIFEST_H
#define QUILLPACK_ARCHIVE_MANIFEST_H

#include "archive/format.h"
#include "core/string.h"
#include "core/file_date.h"

class ByteStream;

struct Manifest {
    Manifest() = default;
    Manifest(const Manifest&) = delete;
    Manifest& operator=(const Manifest&) = delete;
    ~Manifest() { Free(fileSizes); }

    bool Has(int32 flag) const { return (flags & flag) != 0; }
    int32 FileSize(int32 i) const { return (i >= 0 && i < fileCount) ? fileSizes[i] : -1; }

    // As stored.
    int32 flags = 0;
    FileDate uninstallerDate;
    uint32 uninstallerChecksum = 0;
    int32 fileCount = 0;
    int32* fileSizes = nullptr;  // fileCount entries
    int32 payloadLength = 0;
    uint32 payloadChecksum = 0;
    String publisher;
    String productName;
    String startMenuText;         // as stored; see startMenuFolder
    String defaultDirectoryText;  // as stored; see defaultDirectory
    String version;
    String registryKey;
    String welcomeText;
    String licenseText;
    String readmeText;
    String displayTitle;
    uint32 titleColor = 0;
    uint32 topColor = 0;
    uint32 bottomColor = 0;
    int32 bitmapLength = 0;  // as stored; 0 or negative for none
    String bitmap;           // packed DIB, empty when none
    String requiredProduct;  // only with UpdateOnly
    String batchBefore;
    String batchAfter;
    String batchFinal;
    String uninstallBatch1;
    String uninstallBatch2;

    // Derived by DeriveManifestValues.
    String sharedDirectory;
    String startMenuFolder;
    String defaultDirectory;
};

// One record of the decoded payload. The data points into the payload
// buffer it was read from and is valid as long as that buffer is.
struct FileRecord {
    String name;
    int32 kind = 0;
    int32 shortcutBits = 0;
    const char* data = nullptr;
    int32 size = 0;
    uint32 checksum = 0;
    FileDate date;
    String shortcutName;
};

// Reads the manifest from the decoded header block (from its position,
// normally 0). Returns CorruptNone or the code for a file count that is
// below 1 or larger than the rest of the block could hold (27), a negative
// file size (28), a payload length below 1 (29) or a publisher or start-menu
// folder that would leave its base folder (26, see archive/safe_name.h).
int32 ParseManifest(ByteStream& header, Manifest& manifest);

// ParseManifest that ends in the corrupt-archive report.
void ReadManifest(ByteStream& header, Manifest& manifest);

// Reads the next record of size bytes of data from the decoded payload.
// Returns CorruptNone or 70 (a name that is empty or would leave the folder
// it is joined to, see archive/safe_name.h), 90 (data runs past the end),
// 100 (checksum differs, checked only when verifyChecksum) or 110 (kind).
int32 ReadFileRecord(ByteStream& payload, int32 size, bool verifyChecksum, FileRecord& record);

// What deriving the manifest's values needs from the system; the installer
// supplies the real folders and background, tests supply fakes.
class ManifestHost {
public:
    virtual String WindowsDirectory() = 0;
    virtual String ProgramFilesFolder() = 0;
    virtual String CommonFilesFolder() = 0;
    // Result not examined: a later step reports a directory it cannot use.
    virtual void CreateDirectoryPath(const String& path) = 0;
    virtual void SetBackgroundTitle(const String& title) = 0;
    virtual void SetTitleColor(uint32 color) = 0;
    virtual void SetBackgroundColors(uint32 top, uint32 bottom, bool mono) = 0;
    virtual void SetBackgroundBitmap(const String& packedBitmap) = 0;
    virtual void RepaintBackground() = 0;
    // The update-only check: the required product must be installed.
    virtual void CheckUpdateOnly(const String& requiredProduct) = 0;

protected:
    ~ManifestHost() {}
};

// Fills the derived values in the order the installer needs them: the
// product name (when productName is still empty), the shared directory
// (created at once), the start-menu folder, the default directory, the
// background title, colours and bitmap, and the update-only check.
void DeriveManifestValues(Manifest& manifest, String& productName, ManifestHost& host);

// Every "<os>" in text (case-sensitive) replaced by the Windows directory.
String ReplaceOsMarker(const String& text, const String& windowsDirectory);

#endif  // QUILLPACK_ARCHIVE_MANIFEST_H
