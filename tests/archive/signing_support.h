// Program images and signatures made up for tests: a PE32 image whose
// linker filled in a CheckSum, and what a signer does to a built setup.
#ifndef QUILLPACK_TESTS_ARCHIVE_SIGNING_SUPPORT_H
#define QUILLPACK_TESTS_ARCHIVE_SIGNING_SUPPORT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

namespace signing {

inline void Set32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(v >> (8 * i));
}

const size_t kLfanew = 0x80;
const size_t kChecksumAt = kLfanew + 24 + 64;
const size_t kEntryAt = kLfanew + 24 + 128;  // PE32, data directory entry 4
const size_t kHeadersEnd = kEntryAt + 8;
const uint32_t kLinkerChecksum = 0x26C87;

// A PE32 program image of `length` bytes (at least kHeadersEnd).
inline std::string Stub(size_t length) {
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i) s[i] = char(i * 37 + 11);
    s[0] = 'M';
    s[1] = 'Z';
    Set32(s, 0x3C, uint32_t(kLfanew));
    memcpy(&s[kLfanew], "PE\0\0", 4);
    s[kLfanew + 20] = char(224);  // SizeOfOptionalHeader
    s[kLfanew + 21] = 0;
    s[kLfanew + 24] = 0x0B;  // PE32
    s[kLfanew + 25] = 0x01;
    Set32(s, kLfanew + 24 + 92, 16);  // NumberOfRvaAndSizes
    Set32(s, kChecksumAt, kLinkerChecksum);
    Set32(s, kEntryAt, 0);
    Set32(s, kEntryAt + 4, 0);
    return s;
}

// Zeros up to an 8-byte boundary, a certificate table of tableSize bytes
// whose head declares `declared` (0: its size), the security entry
// pointing at it and a new CheckSum.
inline std::string Sign(std::string file, uint32_t tableSize = 1504, uint32_t declared = 0) {
    while (file.size() % 8 != 0) file += '\0';
    uint32_t offset = uint32_t(file.size());
    std::string table(tableSize, '\x30');
    if (tableSize >= 8) {
        Set32(table, 0, declared ? declared : tableSize);
        Set32(table, 4, 0x00020200);  // revision 2.0, PKCS#7
    }
    file += table;
    Set32(file, kEntryAt, offset);
    Set32(file, kEntryAt + 4, tableSize);
    Set32(file, kChecksumAt, 0x5A5A1234);
    return file;
}

}  // namespace signing

#endif  // QUILLPACK_TESTS_ARCHIVE_SIGNING_SUPPORT_H
