// The few fields of a program image's headers that the archive cares about:
// the machine it is built for, and the two that signing with Authenticode
// changes: the optional header's CheckSum and the security entry of the data
// directory, which gives the file offset and size of the certificate table
// the signer appends at the end of the file. Read from plain bytes with every
// bound checked; anything too short or shaped otherwise is simply not a PE
// image with those fields. Portable: no windows.h.
#ifndef QUILLPACK_ARCHIVE_PE_IMAGE_H
#define QUILLPACK_ARCHIVE_PE_IMAGE_H

#include "core/types.h"

// The DOS header: "MZ" at 0, e_lfanew (offset of the PE headers) at 0x3C.
const int32 PeDosHeaderSize = 64;
// From e_lfanew: "PE\0\0", the 20-byte file header and the optional header
// up to the end of data directory entry 4 (136 bytes for PE32, 152 for
// PE32+). Reading this much covers both kinds.
const int32 PeHeadersSpan = 4 + 20 + 152;
// A certificate table holds at least one WIN_CERTIFICATE head (length,
// revision, type).
const int32 PeCertificateHeadSize = 8;

// The file header's Machine field, the first two bytes after "PE\0\0".
const int32 PeMachineI386 = 0x14C;
const int32 PeMachineAmd64 = 0x8664;

// The Machine field of an image held whole in memory, or -1 when the bytes
// hold no DOS header, no "PE\0\0" at its e_lfanew or end before the field.
int32 PeMachine(const void* image, int64 length);

// "i386" or "x86-64"; null for any other machine.
const char* PeMachineName(int32 machine);

struct PeSignatureFields {
    int64 checksumOffset = 0;   // file offset of the 4-byte CheckSum
    int64 directoryOffset = 0;  // file offset of the 8-byte security entry
    int64 headersEnd = 0;       // first byte after the security entry
    uint32 tableOffset = 0;     // the entry: file offset of the certificate table
    uint32 tableSize = 0;       // and its size; both 0 when the image is unsigned
};

// e_lfanew of a DOS header, or -1 when the bytes are shorter than the
// header, do not start with "MZ" or give a negative offset.
int64 PeHeadersOffset(const void* dosHeader, int64 length);

// The fields from `length` bytes read at file offset `at` (= e_lfanew).
// False unless they hold "PE\0\0", an optional header of magic 0x10B or
// 0x20B whose SizeOfOptionalHeader and NumberOfRvaAndSizes both reach
// entry 4, all within `length`.
bool ReadPeHeaders(const void* headers, int64 length, int64 at, PeSignatureFields& fields);

// Both steps on an image held whole in memory.
bool FindPeSignatureFields(const void* image, int64 length, PeSignatureFields& fields);

// For an image cut from a signed file: when the security entry names a
// certificate table that is not whole inside the image, sets the entry and
// the CheckSum (which covered the whole signed file) to zero and answers
// true. An unsigned image, or one carrying its own table, stays as it is.
bool DetachSignature(void* image, int64 length);

// For an unsigned image (its security entry all zero): sets the CheckSum to
// zero and answers true, so that the plain archive checksum of the image is
// the one ProgramImageChecksum gives. The linker's CheckSum is only checked
// for drivers; a builder embedding the image loses nothing by it. A signed
// image, or bytes that are no PE image, stay as they are.
bool ClearUnsignedChecksum(void* image, int64 length);

// The archive checksum of the image with the CheckSum and the security entry
// counted as zero, without changing or copying it. Signing changes only
// those fields in front of the archive, so this stays the same through it.
uint32 ProgramImageChecksum(const void* image, int32 length);

#endif  // QUILLPACK_ARCHIVE_PE_IMAGE_H
