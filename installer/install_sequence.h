// The install road, from the located archive to the end of the process.
#ifndef QUILLPACK_INSTALLER_INSTALL_SEQUENCE_H
#define QUILLPACK_INSTALLER_INSTALL_SEQUENCE_H

#include "core/byte_stream.h"
#include "core/core32.h"
#include "platform/file.h"

// Runs after LocateArchive. Reads the manifest (corrupt codes 27, 28, 29),
// derives its values and shows the background it asks for. The steps after
// the manifest are not built yet: the road then stops with a fatal message
// that names the product and says so (exit code 1).
[[noreturn]] void RunInstallation(File& own, const String& ownPath, ByteStream& header,
                                  const String& directoryOverride,
                                  const String& productNameOverride);

#endif  // QUILLPACK_INSTALLER_INSTALL_SEQUENCE_H
