// The process-wide record of what an installation put on disk, saved as
// "Uninstall.DAT" in the installation directory, and the uninstaller's use
// of that file.
#ifndef QUILLPACK_UNINSTALL_REMOVAL_RECORD_H
#define QUILLPACK_UNINSTALL_REMOVAL_RECORD_H

#include "core/string.h"
#include "core/vector.h"

extern const char kRemovalFileName[];  // "Uninstall.DAT"

void ResetRemovalRecord();
// An empty path is ignored; paths compare with the system's case mapping
// and are recorded once.
void RecordRemovalPath(const String& path, bool isDirectory);
// Writes the record to "Uninstall.DAT"; an empty record deletes the file
// instead. False when the file could not be written completely.
bool SaveRemovalRecord(const String& installDirectory);
// What SaveRemovalRecord would write.
const String& RemovalRecordText();

// Where the lines of a record may reach: the canonical installation
// directory and the folders the installer puts shortcuts in.
struct RemovalScope {
    String installDirectory;
    Vector<String> linkFolders;
};
RemovalScope ScopeOfInstallation(const String& canonicalInstallDirectory);

// How reading "Uninstall.DAT" went.
enum RemovalFileState { RemovalFileRead, RemovalFileMissing, RemovalFileUnreadable };

// Works through "Uninstall.DAT" in bounded memory, whatever its size:
// deletes the listed files, then the listed directories (inner ones first),
// and "Install.LOG". Only lines inside the scope are acted on; any other
// line gets a "Skipped" problem line and is dropped. Folders listed above
// the installation directory are handed back in ancestors, to be removed
// once the directory itself is gone. One problem line for each file or
// directory that could not go (a file held open by a program is deleted at
// the next restart instead, see RemovedAtRestart); "Uninstall.DAT" is
// rewritten with just those (or deleted when all went).
RemovalFileState ApplyRemovalRecord(const RemovalScope& scope, String& problems, Vector<String>& ancestors);

// "Removed at restart: <path>" with CR LF for each file (and folder left
// with only such files) that a program held open, so that the system
// deletes it at the next restart; empty when there is none.
const String& RemovedAtRestart();

// Records every line of an existing "Uninstall.DAT" that lies inside the
// scope, so that what a previous installation put there is still removed
// after a new one was copied over it.
void MergeRemovalRecord(const RemovalScope& scope);

#endif  // QUILLPACK_UNINSTALL_REMOVAL_RECORD_H
