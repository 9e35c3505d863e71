// Turning the payload into files: gathering it from the setup program and
// the disk files that continue it, checking and decoding it, and storing
// every record where its kind says, with its date.
#ifndef QUILLPACK_INSTALLER_EXTRACTION_H
#define QUILLPACK_INSTALLER_EXTRACTION_H

#include "archive/manifest.h"
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

// Reads every payload part into `payload` (the own file from payloadStart,
// then "Disk2.QPK", ... beside the program, asking for each missing disk),
// checks the payload checksum and decodes it when compressed. Corruption
// ends the process with its code.
void GatherPayload(File& own, int64 payloadStart, const Manifest& manifest, ByteStream& payload);

// Stores every record of the decoded payload. Normal and startup programs go
// below installDirectory (recorded for removal unless NoRemovalList), shared
// files below the manifest's shared directory, fonts into the Fonts folder.
// Problems are appended to `problems`.
void StoreAllFiles(ByteStream& payload, const Manifest& manifest, const String& installDirectory,
                   String& problems, StoredFiles& stored);

// Creates path with the data and, when the date is set, gives it that
// last-write time. False when the file could not be written; a date that
// cannot be set is reported but the file counts as stored.
bool StoreFile(const String& path, const char* data, int32 size, const FileDate& date, String& problems);

// Whether a shared file or font may replace what is there: only an existing
// copy newer than the record's date is kept (in automatic mode) or asked
// about. kindWord is "shared" or "font".
bool MayReplace(const String& path, const FileDate& date, const char* kindWord);

// The system-wide registration of a stored font: the font table now and the
// Fonts key, so the font is still there after a restart.
bool RegisterFont(const String& fileName, const String& displayName);

#endif  // QUILLPACK_INSTALLER_EXTRACTION_H
