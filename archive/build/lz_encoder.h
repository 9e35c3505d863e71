// Encoder for the archive's block format (see archive/lz_codec.h). Builder
// side only: it may use the standard library and plenty of memory.
#ifndef QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H
#define QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Fast: hashed greedy parsing, for quick builds.
// Max: binary-tree match finder with cost-based (optimal) parsing.
enum class LzLevel { Fast, Max };

// A whole block: magic, decoded size, opcodes. The same input and level
// always give the same bytes. Inputs of 2 GB or more throw
// std::length_error; the installer's decoder takes at most kMaxDecodedLength.
std::vector<uint8_t> LzEncode(const uint8_t* data, size_t size, LzLevel level);

// Told now and then, on the encoding thread, how many input bytes of a block
// are done; last with done == total. Never changes the output.
using LzProgress = std::function<void(size_t done, size_t total)>;

// While one lives, LzEncode on this thread reports to its callback; callers
// deep inside (the archive writer) need not pass it along. Nests: the inner
// one wins until it ends.
class LzProgressScope {
public:
    explicit LzProgressScope(LzProgress progress);
    ~LzProgressScope();
    LzProgressScope(const LzProgressScope&) = delete;
    LzProgressScope& operator=(const LzProgressScope&) = delete;

private:
    LzProgress progress_;
    const LzProgress* outer_;
};

#endif  // QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H
