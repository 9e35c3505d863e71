// Encoder for the "lze" method (see archive/lze_codec.h). Builder side only:
// it may use the standard library and plenty of memory.
#ifndef QUILLPACK_ARCHIVE_BUILD_LZE_ENCODER_H
#define QUILLPACK_ARCHIVE_BUILD_LZE_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// Fast: hashed lazy parsing. Max: binary-tree match finder and optimal
// parsing priced from the block's own code lengths.
enum class LzeLevel { Fast, Max };

struct LzeOptions {
    LzeLevel level = LzeLevel::Max;
    // log2 of the window, LzeMinWindowLog..LzeMaxWindowLog; 0 picks the
    // level's own (24 fast; 26 max, 24 in a 32-bit builder), never more
    // than the input needs. The installer's decoder holds the window in
    // memory; the max level needs about 8 bytes per window byte.
    int windowLog = 0;
    // Byte ranges [first, second) to run through the branch filter, in
    // ascending order and not overlapping; usually the X86CodeRanges of
    // each file, moved to where the file lies in the input.
    std::vector<std::pair<size_t, size_t>> filterRanges;
    // Told now and then how many input bytes are done; last with
    // done == total. Never changes the output.
    std::function<void(size_t done, size_t total)> progress;
};

// A whole stream. The same input and options always give the same bytes.
std::vector<uint8_t> LzeEncode(const uint8_t* data, size_t size, const LzeOptions& options);

// A PE image for i386 or x86-64: "MZ", "PE\0\0" where e_lfanew points, and
// one of those two machine types.
bool LooksLikeX86Image(const uint8_t* data, size_t size);

// The file ranges of such an image's code sections (marked as code or
// executable), sorted and merged; nothing for other files. The filter pays
// on machine code and costs a little on anything else, such as debugging
// information or resources.
std::vector<std::pair<size_t, size_t>> X86CodeRanges(const uint8_t* data, size_t size);

#endif  // QUILLPACK_ARCHIVE_BUILD_LZE_ENCODER_H
