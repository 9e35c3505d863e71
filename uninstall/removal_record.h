// The process-wide record of what an installation put on disk, saved as
// "Uninstall.DAT" in the installation directory, and the uninstaller's use
// of that file.
#ifndef QUILLPACK_UNINSTALL_REMOVAL_RECORD_H
#define QUILLPACK_UNINSTALL_REMOVAL_RECORD_H

#include "core/string.h"

extern const char kRemovalFileName[];  // "Uninstall.DAT"

void ResetRemovalRecord();
// An empty path is ignored; directories compare with the system's case
// mapping and are recorded once.
void RecordRemovalPath(const String& path, bool isDirectory);
// Writes the record to "Uninstall.DAT"; an empty record deletes the file
// instead. False when the file could not be written.
bool SaveRemovalRecord(const String& installDirectory);
// What SaveRemovalRecord would write.
const String& RemovalRecordText();

// Deletes the listed files, then the listed directories (inner ones first),
// and "Install.LOG"; appends one problem line for each file or directory
// that could not go and rewrites "Uninstall.DAT" with just those (or
// deletes it when all went).
void ApplyRemovalRecord(const String& installDirectory, String& problems);

#endif  // QUILLPACK_UNINSTALL_REMOVAL_RECORD_H
