// "Uninstall.INI", written beside "Uninstall.DAT": what an installation
// owns, in a record of its own, so that the uninstaller acts on a folder or
// key only when the registration and this file both name it; and how far
// the installation got, so that a run that never finished can be undone.
//
//   [Installation]
//   Product=<product name>
//   InstallLocation=<canonical installation directory>
//   SharedPath=<shared directory, may be empty>
//   ProductRegistry=<product key path below Software, may be empty>
//   RemovalList=<Listed | None | Removed>
//   State=<Installing | Complete>
//
// One "Name=value" per line, CR LF ends. Unknown lines are ignored, so the
// record can grow; a value runs to its line end.
#ifndef QUILLPACK_RECORDS_INSTALLATION_FACTS_H
#define QUILLPACK_RECORDS_INSTALLATION_FACTS_H

#include "core/string.h"

extern const char kFactsFileName[];  // "Uninstall.INI"

// Whether "Uninstall.DAT" is to be expected: written with entries, left out
// because nothing was recordable, or already worked off by an uninstaller.
enum RemovalListState { RemovalListed, RemovalNone, RemovalRemoved };

struct InstallationFacts {
    String product;
    String installLocation;
    String sharedPath;
    String productRegistry;
    RemovalListState removalList = RemovalListed;
    bool complete = false;
};

String FactsText(const InstallationFacts& facts);

// False when the text is not such a record (no section, or no product or
// location); any bytes are accepted.
bool ReadFactsText(const String& text, InstallationFacts& facts);

#endif  // QUILLPACK_RECORDS_INSTALLATION_FACTS_H
