// Encoder for the archive's block format (see archive/lz_codec.h). Builder
// side only: it may use the standard library and plenty of memory.
#ifndef QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H
#define QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Fast: hashed greedy parsing, for quick builds.
// Max: binary-tree match finder with cost-based (optimal) parsing.
enum class LzLevel { Fast, Max };

// A whole block: magic, decoded size, opcodes. The same input and level
// always give the same bytes. Inputs of 2 GB or more throw
// std::length_error; the installer's decoder takes at most kMaxDecodedLength.
std::vector<uint8_t> LzEncode(const uint8_t* data, size_t size, LzLevel level);

// Where a streamed block goes, in order, in pieces of any size.
using LzBlockOutput = std::function<void(const uint8_t* data, size_t size)>;

// A block at the fast level from input that arrives in pieces, in bounded
// memory (about 50 MB of input held, 4 MB of tables, whatever the size):
// the bytes LzEncode(..., LzLevel::Fast) gives for the same input. The
// size is announced first, as the block's size field needs it; feeding more
// or less throws std::length_error.
class LzStreamEncoder {
public:
    LzStreamEncoder(uint64_t size, LzBlockOutput output);
    ~LzStreamEncoder();
    LzStreamEncoder(const LzStreamEncoder&) = delete;
    LzStreamEncoder& operator=(const LzStreamEncoder&) = delete;

    void Feed(const uint8_t* data, size_t size);
    void Finish();

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

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

// The innermost scope's callback on this thread, or an empty one: for
// encoders of other methods that report the same way.
LzProgress CurrentLzProgress();

#endif  // QUILLPACK_ARCHIVE_BUILD_LZ_ENCODER_H
