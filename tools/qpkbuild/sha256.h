// SHA-256 (FIPS 180-4), for the digest package managers check a download
// against.
#ifndef QUILLPACK_TOOLS_QPKBUILD_SHA256_H
#define QUILLPACK_TOOLS_QPKBUILD_SHA256_H

#include <stddef.h>
#include <stdint.h>

#include <string>

class Sha256 {
public:
    Sha256();
    void Add(const void* data, size_t length);
    // The digest as 64 upper-case hexadecimal digits; ends the hashing.
    std::string HexDigest();

private:
    void Block(const uint8_t* block);

    uint32_t state_[8];
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

std::string Sha256Hex(const std::string& bytes);

#endif  // QUILLPACK_TOOLS_QPKBUILD_SHA256_H
