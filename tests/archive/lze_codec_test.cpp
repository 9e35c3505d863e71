#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "archive/build/lze_encoder.h"
#include "archive/lz_codec.h"
#include "archive/lze_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- inputs

Bytes Random(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (uint8_t& x : b) x = uint8_t(rng());
    return b;
}

Bytes Text(size_t n) {
    static const char* words[] = {"setup ", "install ", "the ", "file ", "registry ", "key ", "value\r\n",
                                  "Program Files\\", "product ", "uninstall "};
    std::mt19937 rng(7);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[rng() % 10];
        b.insert(b.end(), w, w + strlen(w));
    }
    b.resize(n);
    return b;
}

// Something like a PE image: headers, then x86 code calling a few
// functions, then a table of pointers.
Bytes PeLike(size_t n, uint16_t machine) {
    Bytes b(n, 0);
    b[0] = 'M';
    b[1] = 'Z';
    b[0x3C] = 0x80;
    memcpy(&b[0x80], "PE\0\0", 4);
    b[0x84] = uint8_t(machine);
    b[0x85] = uint8_t(machine >> 8);
    std::mt19937 rng(11);
    size_t at = 0x200;
    while (at + 16 < n * 3 / 4) {
        const uint32_t target = 0x1000 + (rng() % 8) * 0x40;
        b[at] = 0x55;
        b[at + 1] = 0x8B;
        b[at + 2] = 0xEC;
        b[at + 3] = 0xE8;  // call rel32
        const uint32_t rel = target - uint32_t(at + 8);
        memcpy(&b[at + 4], &rel, 4);
        b[at + 8] = uint8_t(rng());
        b[at + 9] = 0xC3;
        at += 10 + rng() % 6;
    }
    for (; at + 4 <= n; at += 4) {
        const uint32_t p = 0x401000 + (rng() % 64) * 16;
        memcpy(&b[at], &p, 4);
    }
    return b;
}

// ---------------------------------------------------------------- decoding

class Collect : public LzOutput {
public:
    bool Take(const byte* data, size_t length) override {
        out.insert(out.end(), data, data + length);
        return stopAfter == 0 || out.size() < stopAfter;
    }
    Bytes out;
    size_t stopAfter = 0;
};

bool DecodeWhole(const Bytes& stream, Bytes& result) {
    char* out = nullptr;
    int32 length = -1;
    if (!LzeDecodeRange(stream.data(), int32(stream.size()), out, length)) return false;
    EXPECT_EQ(out[length], '\0');
    result.assign(out, out + length);
    Free(out);
    return true;
}

// Feeds the stream in pieces of `chunk` bytes (0: random sizes from
// `seed`); false when the decoder refuses it.
bool DecodeChunked(const Bytes& stream, size_t chunk, Bytes& result, uint32_t seed = 1, int32 maxWindowLog = 26) {
    LzeStreamDecoder decoder(maxWindowLog);
    Collect sink;
    decoder.Start(sink);
    std::mt19937 rng(seed);
    size_t at = 0;
    bool ok = true;
    while (ok && at < stream.size()) {
        size_t n = chunk ? chunk : 1 + rng() % 9000;
        n = std::min(n, stream.size() - at);
        // A copy, so that a read past the piece is caught by the sanitizers.
        const Bytes piece(stream.begin() + at, stream.begin() + at + n);
        ok = decoder.Feed(piece.data(), piece.size());
        at += n;
    }
    ok = ok && decoder.Finish();
    EXPECT_EQ(decoder.Produced(), ok ? sink.out.size() : decoder.Produced());
    result = sink.out;
    return ok;
}

struct RoundCase {
    const char* name;
    Bytes data;
    bool filter;
    int windowLog;
};

TEST(LzeRoundTrip, BothLevelsDecodeWholeAndInAnyChunks) {
    Bytes far = Random(40000, 3);
    Bytes farTwice = far;
    farTwice.insert(farTwice.end(), far.begin(), far.end());  // repeats 40000 back: beyond a 2^15 window
    Bytes mixed = Text(100000);
    const Bytes noise = Random(300000, 5);  // a whole region that stays stored
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    const Bytes more = Text(70000);
    mixed.insert(mixed.end(), more.begin(), more.end());
    const RoundCase cases[] = {
        {"empty", {}, false, 0},
        {"one byte", {0x41}, false, 0},
        {"run", Bytes(700000, 'a'), false, 0},
        {"random", Random(100000, 1), false, 0},
        {"text", Text(300000), false, 0},
        {"pe x86", PeLike(200000, 0x14C), true, 0},
        {"pe x64 unfiltered", PeLike(100000, 0x8664), false, 0},
        {"beyond the window", farTwice, false, 15},
        {"text, noise, text", mixed, false, 0},
    };
    for (const RoundCase& c : cases) {
        for (LzeLevel level : {LzeLevel::Fast, LzeLevel::Max}) {
            SCOPED_TRACE(std::string(c.name) + (level == LzeLevel::Fast ? " fast" : " max"));
            LzeOptions options;
            options.level = level;
            options.windowLog = c.windowLog;
            if (c.filter) options.filterRanges = {{0, c.data.size()}};
            const Bytes stream = LzeEncode(c.data.data(), c.data.size(), options);
            EXPECT_EQ(stream, LzeEncode(c.data.data(), c.data.size(), options)) << "not deterministic";
            Bytes whole;
            ASSERT_TRUE(DecodeWhole(stream, whole));
            EXPECT_TRUE(whole == c.data);
            for (size_t chunk : {size_t(1), size_t(7), size_t(4096), size_t(0)}) {
                if (chunk == 1 && c.data.size() > 200000) continue;
                Bytes pieces;
                ASSERT_TRUE(DecodeChunked(stream, chunk, pieces)) << "chunk " << chunk;
                EXPECT_TRUE(pieces == c.data) << "chunk " << chunk;
            }
        }
    }
}

TEST(LzeRoundTrip, FilterRangesAreUndoneExactlyWhereTheyWere) {
    Bytes data = Text(50000);
    const Bytes code = PeLike(120000, 0x14C);
    data.insert(data.end(), code.begin(), code.end());
    const Bytes code2 = PeLike(90000, 0x8664);
    data.insert(data.end(), code2.begin(), code2.end());
    LzeOptions options;
    // Two touching ranges (one region) and one cut mid-way.
    options.filterRanges = {{50000, 110001}, {110001, 170000}, {170000, 200000}};
    const Bytes stream = LzeEncode(data.data(), data.size(), options);
    Bytes whole, pieces;
    ASSERT_TRUE(DecodeWhole(stream, whole));
    EXPECT_TRUE(whole == data);
    ASSERT_TRUE(DecodeChunked(stream, 0, pieces, 9));
    EXPECT_TRUE(pieces == data);

}

TEST(LzeRoundTrip, FilteredCallsRepeat) {
    const Bytes code = PeLike(200000, 0x14C);
    LzeOptions filtered;
    filtered.filterRanges = {{0, code.size()}};
    EXPECT_LT(LzeEncode(code.data(), code.size(), filtered).size(), LzeEncode(code.data(), code.size(), LzeOptions()).size());
}

TEST(LzeRoundTrip, ReportsProgressAndRefusesWindowsOutOfRange) {
    const Bytes data = Text(600000);
    LzeOptions options;
    options.level = LzeLevel::Fast;
    std::vector<size_t> done;
    options.progress = [&](size_t d, size_t total) {
        EXPECT_EQ(total, data.size());
        done.push_back(d);
    };
    const Bytes stream = LzeEncode(data.data(), data.size(), options);
    ASSERT_EQ(done.size(), 3u);  // three regions of at most LzeMaxBlock
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.back(), data.size());
    options.progress = nullptr;
    for (int windowLog : {10, 26}) {
        options.windowLog = windowLog;
        EXPECT_NO_THROW(LzeEncode(data.data(), 100, options));
    }
    for (int windowLog : {9, 27}) {
        options.windowLog = windowLog;
        EXPECT_THROW(LzeEncode(data.data(), 100, options), std::invalid_argument);
    }
}

TEST(LzeRoundTrip, RefusesOverlappingFilterRanges) {
    const Bytes data = Text(1000);
    LzeOptions options;
    options.filterRanges = {{0, 500}, {400, 800}};
    EXPECT_THROW(LzeEncode(data.data(), data.size(), options), std::invalid_argument);
}

TEST(LzeDecoder, AcrossManyLapsOfItsWindow) {
    // 2^16 window, 3 MB of output: the ring wraps many times and matches
    // reach into the previous lap.
    Bytes data;
    const Bytes base = Random(50000, 21);
    std::mt19937 rng(4);
    while (data.size() < 3000000) {
        const size_t from = rng() % (base.size() - 3000);
        data.insert(data.end(), base.begin() + from, base.begin() + from + 1000 + rng() % 2000);
        data.push_back(uint8_t(rng()));
    }
    LzeOptions options;
    options.level = LzeLevel::Fast;
    options.windowLog = 16;
    const Bytes stream = LzeEncode(data.data(), data.size(), options);
    Bytes pieces;
    ASSERT_TRUE(DecodeChunked(stream, 0, pieces, 5, 16));
    EXPECT_TRUE(pieces == data);
    EXPECT_FALSE(DecodeChunked(stream, 0, pieces, 5, 15)) << "window above the decoder's limit";
}

TEST(LzeDecoder, StopsWhenTheOutputSaysSo) {
    const Bytes data = Text(600000);
    const Bytes stream = LzeEncode(data.data(), data.size(), LzeOptions());
    LzeStreamDecoder decoder;
    Collect sink;
    sink.stopAfter = 1;
    decoder.Start(sink);
    EXPECT_FALSE(decoder.Feed(stream.data(), stream.size()));
    EXPECT_FALSE(decoder.Damaged());
    EXPECT_FALSE(decoder.Feed(stream.data(), 1));
    EXPECT_FALSE(decoder.Finish());
    // The same decoder takes the next stream afresh.
    Collect again;
    decoder.Start(again);
    EXPECT_TRUE(decoder.Feed(stream.data(), stream.size()));
    EXPECT_TRUE(decoder.Finish());
    EXPECT_TRUE(again.out == data);
}

TEST(LzeDecoder, MethodsRefuseEachOthersBlocks) {
    const Bytes data = Text(5000);
    const Bytes stream = LzeEncode(data.data(), data.size(), LzeOptions());
    EXPECT_TRUE(IsLzeBlock(stream.data(), int32(stream.size())));
    char* out = nullptr;
    int32 length = 0;
    EXPECT_FALSE(DecodeRange(stream.data(), int32(stream.size()), out, length));
    const Bytes lz = {0xA1, 0x2B, 0xC7, 0x9E, 1, 0, 0, 0, 0x40};
    EXPECT_FALSE(IsLzeBlock(lz.data(), int32(lz.size())));
    EXPECT_FALSE(LzeDecodeRange(lz.data(), int32(lz.size()), out, length));
    EXPECT_FALSE(IsLzeBlock(stream.data(), 3));
}

// ------------------------------------------------- hand-built streams

// Bits from the lowest of each byte up, as the format has them.
class Bits {
public:
    Bits& Put(uint32_t value, int n) {
        for (int i = 0; i < n; ++i, ++count_) {
            if (count_ % 8 == 0) bytes_.push_back(0);
            bytes_.back() |= uint8_t(((value >> i) & 1) << (count_ % 8));
        }
        return *this;
    }
    Bytes bytes() const { return bytes_; }

private:
    Bytes bytes_;
    int count_ = 0;
};

void Put24(Bytes& b, uint32_t v) {
    for (int i = 0; i < 3; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

Bytes Header(uint64_t size, int windowLog = 16, uint8_t version = 1, uint16_t flags = 0) {
    Bytes b = {0xC4, 0x31, 0x8E, 0x5A, version, uint8_t(windowLog), uint8_t(flags), uint8_t(flags >> 8)};
    for (int i = 0; i < 8; ++i) b.push_back(uint8_t(size >> (8 * i)));
    return b;
}

Bytes Block(uint8_t flags, uint32_t decoded, const Bytes& body, uint32_t bodySize = UINT32_MAX) {
    Bytes b = {flags};
    Put24(b, decoded - 1);
    Put24(b, bodySize == UINT32_MAX ? uint32_t(body.size()) : bodySize);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes Stored(const std::string& text) { return Block(0, uint32_t(text.size()), Bytes(text.begin(), text.end())); }

// The symbols of one sequence, all its slots in single-symbol mode: the
// sequence stream then holds only extra bits.
struct Singles {
    uint32_t literalLength = 0;  // symbol, both literal-length slots
    uint32_t matchLength = 0;    // symbol, both match-length slots
    uint32_t offset = 0;         // symbol, all four offset slots
};

// A compressed body with raw literals and every other slot a single symbol.
Bytes Body(const std::string& literals, uint32_t sequences, const Singles& s, const Bytes& lengthStream = {},
           const Bytes& offsetStream = {}, uint8_t flags = 0) {
    uint32_t modes = 3;
    for (int t = 1; t < 9; ++t) modes |= 2u << (2 * t);
    Bits tables;
    for (int t = 1; t < 9; ++t) tables.Put(t < 3 ? s.literalLength : t < 5 ? s.matchLength : s.offset, 9);
    const Bytes t = tables.bytes();
    Bytes b = {flags};
    Put24(b, modes);
    Put24(b, uint32_t(literals.size()));
    Put24(b, sequences);
    b.push_back(uint8_t(t.size()));
    b.push_back(uint8_t(t.size() >> 8));
    Put24(b, uint32_t(lengthStream.size()));
    b.insert(b.end(), t.begin(), t.end());
    b.insert(b.end(), literals.begin(), literals.end());
    b.insert(b.end(), lengthStream.begin(), lengthStream.end());
    b.insert(b.end(), offsetStream.begin(), offsetStream.end());
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct StreamCase {
    const char* name;
    Bytes stream;
    bool good;
    Bytes expected;
};

void Check(const StreamCase& c) {
    SCOPED_TRACE(c.name);
    Bytes whole, pieces;
    const bool wholeOk = DecodeWhole(c.stream, whole);
    EXPECT_EQ(wholeOk, c.good);
    for (size_t chunk : {size_t(1), size_t(7), size_t(4096)}) {
        const bool ok = DecodeChunked(c.stream, chunk, pieces);
        EXPECT_EQ(ok, c.good) << "chunk " << chunk;
        if (ok && c.good) {
            EXPECT_TRUE(pieces == c.expected) << "chunk " << chunk;
        }
    }
    if (wholeOk && c.good) {
        EXPECT_TRUE(whole == c.expected);
    }
}

TEST(LzeDecoder, StreamAndBlockHeadersAtTheirEdges) {
    const Bytes abc = Stored("abc");
    const Bytes empty = Header(0);
    const StreamCase cases[] = {
        {"empty stream", empty, true, {}},
        {"header one byte short", Bytes(empty.begin(), empty.end() - 1), false, {}},
        {"a byte after the end", Cat({Header(0), {0}}), false, {}},
        {"stored block", Cat({Header(3), abc}), true, Str("abc")},
        {"block one byte short", Cat({Header(3), Bytes(abc.begin(), abc.end() - 1)}), false, {}},
        {"block header cut", Cat({Header(3), Bytes(abc.begin(), abc.begin() + 6)}), false, {}},
        {"stream says less than the block", Cat({Header(2), abc}), false, {}},
        {"stream says more than the blocks", Cat({Header(4), abc}), false, {}},
        {"version 2", Cat({Header(3, 16, 2), abc}), false, {}},
        {"a flag", Cat({Header(3, 16, 1, 1), abc}), false, {}},
        {"window log 10", Cat({Header(3, 10), abc}), true, Str("abc")},
        {"window log 9", Cat({Header(3, 9), abc}), false, {}},
        {"window log 26", Cat({Header(3, 26), abc}), true, Str("abc")},
        {"window log 27", Cat({Header(3, 27), abc}), false, {}},
        {"block type 2", Cat({Header(3), Block(2, 3, Str("abc"))}), false, {}},
        {"block type 3", Cat({Header(3), Block(3, 3, Str("abc"))}), false, {}},
        {"unknown block flag", Cat({Header(3), Block(8, 3, Str("abc"))}), false, {}},
        {"stored body one short of its size", Cat({Header(3), Block(0, 3, Str("ab"), 2)}), false, {}},
        {"two stored blocks", Cat({Header(6), abc, Stored("def")}), true, Str("abcdef")},
        {"filtered stored blocks", Cat({Header(6), Block(4, 3, {0xE8, 5, 0}), Block(4, 3, {0, 0, 'x'})}), true,
         {0xE8, 0, 0, 0, 0, 'x'}},
    };
    for (const StreamCase& c : cases) Check(c);
}

TEST(LzeDecoder, ObeysItsLimits) {
    const Bytes stream = Cat({Header(3, 16), Stored("abc")});
    Bytes out;
    EXPECT_TRUE(DecodeChunked(stream, 4096, out, 1, 16));
    EXPECT_FALSE(DecodeChunked(stream, 4096, out, 1, 15));
    LzeStreamDecoder decoder;
    Collect sink;
    decoder.Start(sink, 3);
    EXPECT_TRUE(decoder.Feed(stream.data(), stream.size()) && decoder.Finish());
    decoder.Start(sink, 2);
    EXPECT_FALSE(decoder.Feed(stream.data(), stream.size()));
    EXPECT_TRUE(decoder.Damaged());
}

TEST(LzeDecoder, SequencesAtTheirEdges) {
    // Symbols: literal length n = symbol n (below 16); match length n =
    // symbol n - 1 (up to 32); distance d = offset symbol 2 + d (up to 4),
    // 17 + 3 extra bits = symbol 11; repeat codes 0-2.
    Singles copy4;
    copy4.literalLength = 4;
    copy4.matchLength = 3;  // 4 bytes
    copy4.offset = 3 + 3;   // distance 4
    Singles overlap = copy4;
    overlap.matchLength = 9;  // 10 bytes at distance 4
    Singles farther = copy4;
    farther.offset = 3 + 4;  // distance 5 + 1 extra bit
    Singles repeat = copy4;
    repeat.offset = 2;  // the third recent distance, 8 at first
    Singles noLiterals = copy4;
    noLiterals.literalLength = 0;
    Singles distance17;
    distance17.matchLength = 15;  // 16 bytes
    distance17.offset = 11;
    const Bytes zero1 = Bits().Put(0, 1).bytes(), zero3 = Bits().Put(0, 3).bytes(), one3 = Bits().Put(1, 3).bytes();
    const std::string sixteen = "0123456789abcdef";
    const StreamCase cases[] = {
        {"literals then a match", Cat({Header(8), Block(1, 8, Body("abcd", 1, copy4))}), true, Str("abcdabcd")},
        {"overlapping match", Cat({Header(14), Block(1, 14, Body("abcd", 1, overlap))}), true, Str("abcdabcdabcdab")},
        {"distance one past the output", Cat({Header(8), Block(1, 8, Body("abcd", 1, farther, {}, zero1))}), false,
         {}},
        {"recent distance past the output", Cat({Header(8), Block(1, 8, Body("abcd", 1, repeat))}), false, {}},
        {"match at the stream's start", Cat({Header(4), Block(1, 4, Body("", 1, noLiterals))}), false, {}},
        {"match one past the block", Cat({Header(7), Block(1, 7, Body("abcd", 1, copy4))}), false, {}},
        {"block longer than its sequences", Cat({Header(9), Block(1, 9, Body("abcd", 1, copy4))}), false, {}},
        {"literal count short of the lengths", Cat({Header(8), Block(1, 8, Body("abc", 1, copy4))}), false, {}},
        {"last literals end the block", Cat({Header(10), Block(1, 10, Body("abcdef", 1, copy4))}), true,
         Str("abcdabcdef")},
        {"distance 17 from byte 17", Cat({Header(33), Stored(sixteen + "!"), Block(1, 16, Body("", 1, distance17, {}, zero3))}),
         true, Str(sixteen + "!" + sixteen)},
        {"distance 18 from byte 17", Cat({Header(33), Stored(sixteen + "!"), Block(1, 16, Body("", 1, distance17, {}, one3))}),
         false, {}},
        {"a spare byte in the offset stream",
         Cat({Header(33), Stored(sixteen + "!"), Block(1, 16, Body("", 1, distance17, {}, {0, 0}))}), false, {}},
        {"difference literals", Cat({Header(8), Block(1, 8, Body(std::string("a\x01\x01\x01", 4), 1, copy4, {}, {}, 1))}),
         true, Str("abcdabcd")},
        {"unknown body flag", Cat({Header(8), Block(1, 8, Body("abcd", 1, copy4, {}, {}, 2))}), false, {}},
    };
    for (const StreamCase& c : cases) Check(c);
}

TEST(LzeDecoder, CompressedBodiesUpToTheLargestBlock) {
    // Raw literals only: 24 bytes of body around them.
    const std::string most(LzeMaxBlock - 24, 'q');
    const std::string over(LzeMaxBlock - 23, 'q');
    Bytes out;
    EXPECT_TRUE(DecodeWhole(Cat({Header(most.size()), Block(1, uint32_t(most.size()), Body(most, 0, Singles()))}), out));
    EXPECT_TRUE(out == Str(most));
    EXPECT_FALSE(DecodeWhole(Cat({Header(over.size()), Block(1, uint32_t(over.size()), Body(over, 0, Singles()))}), out));
}

// A body whose only new table is `slot`, described by `describe`; the
// other slots single symbols, literals raw.
Bytes TableBody(int slot, const std::function<void(Bits&)>& describe, uint32_t keepSlot = 99) {
    uint32_t modes = 3;
    Bits tables;
    for (int t = 1; t < 9; ++t) {
        if (t == slot) {
            modes |= 1u << (2 * t);
            describe(tables);
        } else if (uint32_t(t) == keepSlot) {
            // mode 0: keep
        } else {
            modes |= 2u << (2 * t);
            tables.Put(0, 9);
        }
    }
    const Bytes t = tables.bytes();
    Bytes b = {0};
    Put24(b, modes);
    Put24(b, 1);  // one literal, no sequences
    Put24(b, 0);
    b.push_back(uint8_t(t.size()));
    b.push_back(uint8_t(t.size() >> 8));
    Put24(b, 0);
    b.insert(b.end(), t.begin(), t.end());
    b.push_back('z');
    return b;
}

// The code-length code used below: symbol 14 in 3 bits, 0-13 in 4.
const int kCodeLength[15] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3};

void LengthCode(Bits& b) {
    for (int i = 0; i < 15; ++i) b.Put(uint32_t(kCodeLength[i]), 3);
}

// Canonical codes ascend with the length, then the symbol; written from
// the first bit of the code.
void Symbol(Bits& b, int symbol) {
    uint32_t code = 0;
    for (int n = 1; n <= 7; ++n) {
        for (int s = 0; s < 15; ++s) {
            if (kCodeLength[s] != n) continue;
            if (s == symbol) {
                for (int i = n - 1; i >= 0; --i) b.Put((code >> i) & 1, 1);
                return;
            }
            ++code;
        }
        code <<= 1;
    }
}

// Lengths for an alphabet of n: the given ones, then zeros.
std::function<void(Bits&)> Lengths(std::vector<int> given, int n) {
    return [given, n](Bits& b) {
        LengthCode(b);
        for (int v : given) Symbol(b, v);
        int rest = n - int(given.size());
        while (rest >= 11) {
            const int run = std::min(rest, 138);
            Symbol(b, 14);
            b.Put(uint32_t(run - 11), 7);
            rest -= run;
        }
        for (; rest > 0; --rest) Symbol(b, 0);
    };
}

TEST(LzeDecoder, RefusesEveryDamagedTable) {
    struct Case {
        const char* name;
        Bytes body;
        bool good;
    };
    // Slot 1: literal lengths, alphabet 45, codes of at most 9 bits.
    const std::vector<int> upTo9 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 9};
    const std::vector<int> upTo10 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10};
    auto single = [](uint32_t symbol) {
        Bytes b = TableBody(1, [symbol](Bits& bits) { bits.Put(symbol, 9); });
        b[1] = uint8_t((b[1] & ~(3 << 2)) | 2 << 2);  // slot 1: one symbol
        return b;
    };
    const Case cases[] = {
        {"complete", TableBody(1, Lengths({1, 2, 2}, 45)), true},
        {"one symbol of length 1", TableBody(1, Lengths({1}, 45)), true},
        {"over-subscribed", TableBody(1, Lengths({1, 1, 2}, 45)), false},
        {"incomplete", TableBody(1, Lengths({1, 2}, 45)), false},
        {"one symbol of length 2", TableBody(1, Lengths({2}, 45)), false},
        {"longest code 9", TableBody(1, Lengths(upTo9, 45)), true},
        {"a code of 10 bits", TableBody(1, Lengths(upTo10, 45)), false},
        {"repeat with nothing before",
         TableBody(1,
                   [](Bits& b) {
                       LengthCode(b);
                       Symbol(b, 12);
                       b.Put(0, 2);
                   }),
         false},
        {"zeros up to the alphabet's end",
         TableBody(1,
                   [](Bits& b) {
                       LengthCode(b);
                       Symbol(b, 1);
                       Symbol(b, 1);
                       Symbol(b, 14);
                       b.Put(43 - 11, 7);
                   }),
         true},
        {"zeros one past the alphabet",
         TableBody(1,
                   [](Bits& b) {
                       LengthCode(b);
                       Symbol(b, 1);
                       Symbol(b, 1);
                       Symbol(b, 14);
                       b.Put(44 - 11, 7);
                   }),
         false},
        {"length code over-subscribed", TableBody(1, [](Bits& b) { for (int i = 0; i < 15; ++i) b.Put(1, 3); }),
         false},
        {"keeping a table never sent", TableBody(2, Lengths({1, 1}, 45), 3), false},
        {"single symbol 44", single(44), true},
        {"single symbol 45, past the alphabet", single(45), false},
        {"raw mode in a length slot",
         [] {
             Bytes b = TableBody(1, Lengths({1, 1}, 45));
             b[1] |= uint8_t(3 << 2);
             return b;
         }(),
         false},
        {"a spare byte in the table section",
         [] {
             Bytes b = TableBody(1, Lengths({1, 1}, 45));
             b[10] = uint8_t(b[10] + 1);  // the section's size, one more
             b.insert(b.end() - 1, 0);
             return b;
         }(),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = Cat({Header(1), Block(1, 1, c.body)});
        Bytes out;
        EXPECT_EQ(DecodeWhole(stream, out), c.good);
        EXPECT_EQ(DecodeChunked(stream, 7, out), c.good);
        if (c.good) {
            EXPECT_TRUE(out == Str("z"));
        }
    }
}

}  // namespace
