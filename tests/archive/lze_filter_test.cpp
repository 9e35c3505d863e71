#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "archive/branch_filter.h"
#include "archive/build/lze_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Apply(Bytes data) {
    uint32 position = 0;
    ApplyBranches(position, data.data(), data.size(), true);
    return data;
}

struct RuleCase {
    const char* name;
    Bytes in;
    Bytes out;
};

TEST(BranchFilter, ConvertsCallsAndJumpsWithNearOperandsOnly) {
    const RuleCase cases[] = {
        // The operand is relative to the next instruction, 5 bytes on.
        {"call 0 at 0", {0xE8, 0, 0, 0, 0}, {0xE8, 5, 0, 0, 0}},
        {"jump back 5 at 0", {0xE9, 0xFB, 0xFF, 0xFF, 0xFF}, {0xE9, 0, 0, 0, 0}},
        {"after a byte", {0x90, 0xE8, 0, 0, 0, 0}, {0x90, 0xE8, 6, 0, 0, 0}},
        {"far operand stays", {0xE8, 0, 0, 0, 0x01}, {0xE8, 0, 0, 0, 0x01}},
        {"top byte FE stays", {0xE8, 0, 0, 0, 0xFE}, {0xE8, 0, 0, 0, 0xFE}},
        {"other opcodes stay", {0xEA, 0, 0, 0, 0, 0xE7, 0, 0, 0, 0}, {0xEA, 0, 0, 0, 0, 0xE7, 0, 0, 0, 0}},
        // +16 MiB - 1 plus 5 wraps to -16 MiB + 4: modulo 2^25, sign-extended.
        {"wraps at 2^24", {0xE8, 0xFF, 0xFF, 0xFF, 0x00}, {0xE8, 0x04, 0x00, 0x00, 0xFF}},
        {"an operand is not scanned", {0xE8, 0xE8, 0, 0, 0, 0, 0}, {0xE8, 0xED, 0, 0, 0, 0, 0}},
        {"four bytes are too few", {0xE8, 0, 0, 0}, {0xE8, 0, 0, 0}},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Apply(c.in), c.out);
        Bytes back = c.out;
        uint32 position = 0;
        UndoBranches(position, back.data(), back.size(), true);
        EXPECT_EQ(back, c.in);
        EXPECT_EQ(position, uint32(c.in.size()));
    }
}

TEST(BranchFilter, PiecesOfAnySizeGiveTheWholeResult) {
    std::mt19937 rng(3);
    Bytes data(100000);
    for (uint8_t& b : data) {
        const uint32_t r = rng() % 16;
        b = r == 0 ? 0xE8 : r == 1 ? 0xE9 : r < 8 ? 0 : r < 10 ? 0xFF : uint8_t(rng());
    }
    const Bytes whole = Apply(data);
    EXPECT_NE(whole, data);
    for (size_t most : {size_t(1), size_t(4), size_t(5), size_t(7), size_t(4096)}) {
        SCOPED_TRACE(most);
        // Unfinished bytes are presented again with the next piece.
        Bytes out, pending;
        uint32 position = 0;
        size_t at = 0;
        while (at < data.size()) {
            const size_t n = std::min(most, data.size() - at);
            pending.insert(pending.end(), data.begin() + at, data.begin() + at + n);
            at += n;
            const size_t done = ApplyBranches(position, pending.data(), pending.size(), at == data.size());
            ASSERT_LE(pending.size() - done, 4u);
            out.insert(out.end(), pending.begin(), pending.begin() + done);
            pending.erase(pending.begin(), pending.begin() + done);
        }
        EXPECT_TRUE(pending.empty());
        EXPECT_EQ(out, whole);
        EXPECT_EQ(position, uint32(data.size()));
    }
    uint32 position = 0;
    Bytes back = whole;
    UndoBranches(position, back.data(), back.size(), true);
    EXPECT_EQ(back, data);
}

// A PE header: "MZ", e_lfanew at 0x3C, "PE\0\0" and the machine there.
Bytes Image(uint16_t machine, size_t size = 0x100) {
    Bytes b(size, 0);
    b[0] = 'M';
    b[1] = 'Z';
    b[0x3C] = 0x80;
    if (size >= 0x86) {
        memcpy(&b[0x80], "PE\0\0", 4);
        b[0x84] = uint8_t(machine);
        b[0x85] = uint8_t(machine >> 8);
    }
    return b;
}

TEST(LooksLikeX86Image, TakesI386AndAmd64ImagesOnly) {
    EXPECT_TRUE(LooksLikeX86Image(Image(0x14C).data(), 0x100));
    EXPECT_TRUE(LooksLikeX86Image(Image(0x8664).data(), 0x100));
    EXPECT_FALSE(LooksLikeX86Image(Image(0x1C4).data(), 0x100));  // ARM
    EXPECT_FALSE(LooksLikeX86Image(Image(0xAA64).data(), 0x100));  // ARM64
    // The machine field is the last byte needed: one short is no image.
    EXPECT_TRUE(LooksLikeX86Image(Image(0x14C, 0x86).data(), 0x86));
    EXPECT_FALSE(LooksLikeX86Image(Image(0x14C, 0x86).data(), 0x85));
    Bytes text(0x100, 'M');
    EXPECT_FALSE(LooksLikeX86Image(text.data(), text.size()));
    Bytes noPe = Image(0x14C);
    noPe[0x81] = 'F';
    EXPECT_FALSE(LooksLikeX86Image(noPe.data(), noPe.size()));
}

}  // namespace
