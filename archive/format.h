// The on-disk layout of a setup program's archive, shared by the installer
// (which reads it) and the builder (which writes it). Portable: no windows.h.
//
// A setup program of S bytes whose archive starts at offset A:
//
//   offset        size         field
//   0             A            program image (also the uninstaller image)
//   A             4            magic, ArchiveMagic
//   A+4           4            header length H (>= 1)
//   A+8           4            key K: scrambling key of the header block and,
//                              with the Checksums flag, the checksum of the
//                              decoded header block
//   A+12          H            header block: the manifest, compressed as one
//                              block (usually), then scrambled with K
//   A+12+H        S-A-16-H     first payload part (may be empty)
//   S-4           4            archive offset A; 0 means no archive attached
//
// Disk files "Disk2.QPK", "Disk3.QPK", ... next to the program hold nothing
// but the following payload parts. The payload is the concatenation of all
// parts; with CompressedPayload it is one compressed block that decodes to
// the file records.
//
// Every integer is 32-bit little-endian; texts end in one NUL byte.
//
// Manifest (decoded header block), in stored order:
//   int32     flags (ArchiveFlag bits)
//   FileDate  uninstaller date (six int32: year month day hour minute second)
//   int32     uninstaller checksum (of the program image, bytes 0..A-1)
//   int32     file count N (>= 1)
//   N x int32 file data sizes (each >= 0), in payload order
//   int32     payload length (>= 1), as stored, all parts together
//   int32     payload checksum, over the payload as stored
//   text      publisher, product name, start-menu folder, default directory,
//             version, product registry key, welcome text, license text,
//             readme text, display title
//   int32     title colour, top colour, bottom colour (0x00BBGGRR)
//   int32     bitmap length B; then B bytes of packed DIB when B > 0
//   text      required product (only with UpdateOnly)
//   text      batch before, batch after, batch final,
//             uninstall batch 1, uninstall batch 2
//
// The publisher and the start-menu folder are joined to system folders, and
// so are record names and shortcut names: each stays inside its folder
// (archive/safe_name.h).
//
// File record (decoded payload: exactly N of them, in size-table order):
//   text      name (relative path, never empty)
//   int32     kind (FileKind)
//   int32     shortcut bits (ShortcutBit)
//   bytes     data, its length taken from the manifest's size table
//   int32     checksum of the data
//   FileDate  last-write time, local; month 0 for none
//   text      shortcut name (kinds Normal and StartupProgram) or font
//             display name (kind Font)
#ifndef QUILLPACK_ARCHIVE_FORMAT_H
#define QUILLPACK_ARCHIVE_FORMAT_H

#include <stdint.h>

const int32_t ArchiveMagic = 12345678;   // bytes 4E 61 BC 00
const int32_t ArchiveHeadSize = 12;      // magic, header length, key
const int32_t ArchiveTrailerSize = 4;    // archive offset
const int32_t FileDateSize = 24;
// Largest stored text, file or payload: every length in the format is a
// signed 32-bit value.
const int64_t ArchiveMaxLength = 2147483647;

// Printed with the disk number 2, 3, ...; the program's own file is disk 1.
#define DISK_FILE_FORMAT "Disk%d.QPK"

// Flags word of the manifest; also stored in the registry as ProductFlags.
enum ArchiveFlag : int32_t {
    MustUninstallFirst = 0x1,
    QuietFileList = 0x2,
    WithUninstaller = 0x4,
    ConfirmFontRemoval = 0x10,
    CompressedPayload = 0x20,
    AlwaysWriteLog = 0x40,
    AskDirectory = 0x80,
    Automatic = 0x100,
    AutomaticUninstall = 0x200,
    NoRemovalList = 0x400,
    Checksums = 0x800,
    EditPath = 0x1000,
    CustomColors = 0x2000,
    RebootPrompt = 0x4000,
    BackgroundFile = 0x8000,
    UpdateOnly = 0x10000,
};

enum FileKind : int32_t {
    Normal = 0,
    Shared = 1,
    Font = 4,
    StartupProgram = 5,
};

enum ShortcutBit : int32_t {
    DesktopShortcut = 0x1,
    StartMenuShortcut = 0x2,
};

// What the installer reports, by the condition it found.
enum CorruptCode : int32_t {
    CorruptNone = 0,
    CorruptNegativeData = 5,        // file data length negative when storing
    CorruptArchiveOffset = 10,      // offset negative or not seekable
    CorruptMagic = 20,
    CorruptHeaderLength = 22,       // below 1
    CorruptHeaderChecksum = 25,
    // The publisher or the start-menu folder would leave the folder it is
    // joined to (Common Files, the start menu's programs): absolute, with a
    // drive, a ".." component or a device name.
    CorruptFolderName = 26,
    CorruptFileCount = 27,          // below 1, or more than the block can hold
    CorruptFileSize = 28,
    CorruptPayloadLength = 29,
    CorruptUninstallerRead = 30,
    CorruptUninstallerChecksum = 40,
    CorruptFirstPart = 45,          // first payload part of negative length
    CorruptPartRead = 50,
    CorruptPayloadChecksum = 55,
    CorruptPayloadDecode = 60,
    CorruptEmptyName = 70,
    CorruptFileOverrun = 90,
    CorruptFileChecksum = 100,
    CorruptFileKind = 110,
};

#endif  // QUILLPACK_ARCHIVE_FORMAT_H
