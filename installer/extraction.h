// Turning the payload into files: gathering it from the setup program and
// the disk files that continue it, checking and decoding it, and storing
// every record where its kind says, with its date.
#ifndef QUILLPACK_INSTALLER_EXTRACTION_H
#define QUILLPACK_INSTALLER_EXTRACTION_H

#include "archive/manifest.h"
#include "archive/payload.h"
#include "core/byte_stream.h"
#include "core/list.h"
#include "core/vector.h"
#include "core/string.h"
#include "platform/file.h"

// Desktop, start-menu and startup wishes for one stored program file.
struct ShortcutRequest {
    bool desktop = false;
    bool startMenu = false;
    bool startup = false;
    String target;
    String name;
};

// What storing leaves for the later steps of the installation.
struct StoredFiles {
    List<ShortcutRequest> shortcuts;
    Vector<String> sharedNames;  // every Shared record, stored or not
    String fontsList;
    bool anyFontRegistered = false;
    int64 storedBytes = 0;
};

// The stored payload as it lies: the setup program's own part from
// payloadStart to the trailer, then "Disk2.QPK", "Disk3.QPK", ... beside the
// program, asking for each disk that is missing (also in automatic mode:
// nobody else can supply it). Each pass reads it from its start, in pieces,
// so no part of it is ever held whole.
class StoredPayload : public PayloadSource {
public:
    StoredPayload(File& own, int64 payloadStart, const Manifest& manifest);
    int32 Read(char* into, int32 room) override;
    // Back to the payload's first byte, for the next pass.
    void Rewind();
    const Manifest& GetManifest() const { return manifest_; }
    // What the first pass found, for the second.
    PayloadCheck check;
    // The first pass moves the progress bar as it reads; the second leaves
    // it to the records.
    bool showProgress = true;

private:
    bool NextPart();

    File& own_;
    int64 payloadStart_;
    const Manifest& manifest_;
    File disk_;
    File* current_ = nullptr;
    int32 diskNumber_ = 1;
    int64 partLeft_ = 0;
    int64 received_ = 0;
    bool ended_ = false;
};

// The first pass: reads every part, checks the payload checksum and, when
// compressed, that it decodes, before anything is stored. Corruption ends
// the process with its code.
void GatherPayload(StoredPayload& payload);

// The second pass: decodes the payload through a window and stores each
// record as its bytes arrive, a large one in pieces. Normal and startup
// programs go below installDirectory (recorded for removal unless
// NoRemovalList), shared files below the manifest's shared directory, fonts
// into the Fonts folder. Problems are appended to `problems`; a damaged
// record ends the process with its code, the records before it stored.
void StoreAllFiles(StoredPayload& payload, const String& installDirectory, String& problems, StoredFiles& stored);

// Creates path with the data and, when the date is set, gives it that
// last-write time. A file there that another program holds open is
// replaced at the next restart: the data is written beside it and the swap
// scheduled. False when the file could not be written; a date that cannot
// be set is reported but the file counts as stored.
bool StoreFile(const String& path, const char* data, int32 size, const FileDate& date, String& problems);

// "Replaced at restart: <path>" with CR LF, one line per file that takes its
// place only at the next restart; empty when there is none.
const String& FilesReplacedAtRestart();

// Whether a shared file or font may replace what is there: only an existing
// copy newer than the record's date is kept (in automatic mode) or asked
// about. kindWord is "shared" or "font".
bool MayReplace(const String& path, const FileDate& date, const char* kindWord);

// The system-wide registration of a stored font: the font table now and the
// Fonts key, so the font is still there after a restart.
bool RegisterFont(const String& fileName, const String& displayName);

#endif  // QUILLPACK_INSTALLER_EXTRACTION_H
