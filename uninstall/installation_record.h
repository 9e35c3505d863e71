// "Uninstall.INI" on disk: the installation's own record of what it owns
// and how far it got, beside "Uninstall.DAT" in the installation directory.
#ifndef QUILLPACK_UNINSTALL_INSTALLATION_RECORD_H
#define QUILLPACK_UNINSTALL_INSTALLATION_RECORD_H

#include "core/string.h"
#include "records/installation_facts.h"

// False when the file could not be written completely.
bool SaveInstallationFacts(const String& installDirectory, const InstallationFacts& facts);

// False when there is no such file or it is not such a record.
bool LoadInstallationFacts(const String& installDirectory, InstallationFacts& facts);

void RemoveInstallationFacts(const String& installDirectory);

#endif  // QUILLPACK_UNINSTALL_INSTALLATION_RECORD_H
