// Finding the archive in the installer's own file.
#ifndef QUILLPACK_INSTALLER_ARCHIVE_LOCATE_H
#define QUILLPACK_INSTALLER_ARCHIVE_LOCATE_H

#include "archive/archive.h"
#include "core/byte_stream.h"
#include "platform/file.h"

// Reads the trailer; false when no archive is attached (offset 0). Corrupt
// heads end in the corrupt-archive report (codes 10, 20, 22, 25; 10 also
// for a signature's certificate table that does not fit the file). On
// success header holds the decoded header block at position 0 and the file
// is positioned at the first payload part; AutomaticMode is switched on
// when the flags say so.
bool LocateArchive(File& own, ByteStream& header);

// Where the archive located last lies (offset = length of the program image).
const ArchiveHead& LocatedArchive();

// Where that archive's trailer ends: the end of the own file, or the start
// of the certificate table a signer appended after it. Everything read from
// the own file lies in front of this.
int64 LocatedArchiveEnd();

#endif  // QUILLPACK_INSTALLER_ARCHIVE_LOCATE_H
