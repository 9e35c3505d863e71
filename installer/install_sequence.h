// The install road, from the located archive to the end of the process.
#ifndef QUILLPACK_INSTALLER_INSTALL_SEQUENCE_H
#define QUILLPACK_INSTALLER_INSTALL_SEQUENCE_H

#include "core/byte_stream.h"
#include "core/string.h"
#include "platform/file.h"

// Runs after LocateArchive: reads the manifest, asks what it has to ask,
// stores the payload, registers the product and ends the process with the
// installation's exit code (0, 2, 3 or 3010; 1 for a fatal stop).
[[noreturn]] void RunInstallation(File& own, const String& ownPath, ByteStream& header,
                                  const String& directoryOverride,
                                  const String& productNameOverride);

#endif  // QUILLPACK_INSTALLER_INSTALL_SEQUENCE_H
