// An earlier installation of the same product, found through the uninstall
// registration it left: the update-only check, the lookup, and the choice
// between copying over it and uninstalling it first.
#ifndef QUILLPACK_INSTALLER_PREVIOUS_INSTALL_H
#define QUILLPACK_INSTALLER_PREVIOUS_INSTALL_H

#include "archive/manifest.h"
#include "core/string.h"

struct PreviousInstall {
    String location;     // "InstallLocation"
    String version;      // "DisplayVersion" as text
    String sharedFiles;  // "SharedFiles", taken back when copying over
    bool found = false;  // the location is an existing directory
};

// A registration with an uninstall command.
bool IsProductInstalled(const String& productName);

// Ends the process (silently in automatic mode) when the product an
// update-only archive needs is not installed.
void CheckRequiredProduct(const String& requiredProduct, const String& productName);

PreviousInstall LookUpPreviousInstallation(const String& productName);

// The question, or the automatic answer. Returns true for copying over
// (directory then holds the previous location); false after the previous
// installation was uninstalled (or the user chose to go on without it).
// Every other way ends the process.
bool DecidePreviousInstallation(const PreviousInstall& previous, const Manifest& manifest,
                                const String& productName, String& directory);

#endif  // QUILLPACK_INSTALLER_PREVIOUS_INSTALL_H
