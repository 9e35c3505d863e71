// Removing an installed product, driven by its uninstall registration and
// its "Uninstall.DAT": from the /u: road, from the system's list of
// programs, or from inside a new installation of the same product.
#ifndef QUILLPACK_UNINSTALL_UNINSTALLER_H
#define QUILLPACK_UNINSTALL_UNINSTALLER_H

#include "core/string.h"
#include "core/vector.h"

enum UninstallResult {
    UninstallComplete,    // everything is gone and the product is unregistered
    UninstallPartial,     // problems were reported; the product stays registered
    UninstallNotPossible  // not registered, or its registration cannot be opened
};

struct UninstallOutcome {
    UninstallResult result = UninstallNotPossible;
    // After a complete run: the registered uninstaller, and the folders to
    // remove when empty once it is gone (its own first, then those above).
    String uninstaller;
    Vector<String> folders;
    // Some files go only at the next restart (they were in use).
    bool restartNeeded = false;
};

// Asks for confirmation (declining ends the process with the cancelled
// code), runs the uninstall batches, and removes fonts, listed files and
// folders, the start-menu folder, unused shared files, the product's keys
// and, when nothing failed, the PATH line and the registration. A folder
// or key is touched only when the registration and the installation's own
// record both name it; anything refused is a problem line.
UninstallOutcome UninstallProduct(const String& productName);

// Releases the shared files of a registration: every count goes down by one
// and a file no longer used is deleted (asked first unless automatic).
// Only counted items inside the shared directory are touched.
// Returns false when the counts could not be opened; nothing was released.
bool ReleaseSharedFiles(const String& sharedFilesList, const String& sharedDirectory, String& problems);

#endif  // QUILLPACK_UNINSTALL_UNINSTALLER_H
