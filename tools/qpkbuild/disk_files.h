// Disk files (Disk2.QPK, Disk3.QPK, ...) carry nothing but payload bytes,
// so which setup program they continue is told by that setup's archive:
// its manifest's payload length and payload checksum must be met exactly
// by its first part followed by the disk files in order.
#ifndef QUILLPACK_TOOLS_QPKBUILD_DISK_FILES_H
#define QUILLPACK_TOOLS_QPKBUILD_DISK_FILES_H

#include <stdint.h>

#include <string>

// "Disk2.QPK" for disk 2.
std::string DiskName(int32_t disk);

// How many disk files beside the setup program at setupPath belong to it:
// 0 when there is no such file, no archive in it, or its payload is whole
// in it; also 0 when the disk files found do not complete its payload to
// the byte and to its checksum, for then they are no longer (or never
// were) its own.
int32_t OwnedDiskCount(const std::string& setupPath);

#endif  // QUILLPACK_TOOLS_QPKBUILD_DISK_FILES_H
