#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/build/lz_encoder.h"
#include "archive/lz_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A block with the given opcode bytes; the size field says `claimed`.
Bytes Block(const Bytes& opcodes, uint32_t claimed) {
    Bytes b = {0xA1, 0x2B, 0xC7, 0x9E};
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(claimed >> (8 * i)));
    b.insert(b.end(), opcodes.begin(), opcodes.end());
    return b;
}

bool Decode(const Bytes& block, Bytes& result) {
    char* out = nullptr;
    int32 length = -1;
    if (!DecodeRange(block.data(), int32(block.size()), out, length)) return false;
    EXPECT_EQ(out[length], '\0');
    result.assign(out, out + length);
    Free(out);
    return true;
}

Bytes Literal(const std::string& text) {
    Bytes b(text.begin(), text.end());
    b.insert(b.begin(), uint8_t(0x40 | text.size()));
    return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct DecodeCase {
    const char* name;
    Bytes opcodes;
    Bytes expected;
};

TEST(DecodeRange, FollowsTheOpcodeRules) {
    const Bytes abcdefgh = Literal("abcdefgh");
    Bytes sixtySixA(66, 0x41);
    Bytes longLiteral(100, 'x');
    const Bytes longOp = Concat({{0x80 | (100 & 63), 100 >> 6}, longLiteral});
    const DecodeCase cases[] = {
        {"no opcodes", {}, {}},
        {"empty short literal", {0x40}, {}},
        {"empty long literal", {0x80, 0x00}, {}},
        {"longest run", {0x3F, 0x41}, sixtySixA},
        {"shortest run", {0x00, 0x7A}, Text("zzz")},
        {"long literal", longOp, longLiteral},
        // length 4 at distance 8: the first half again
        {"short match", Concat({abcdefgh, {0xC1, 0x04, 0x00}}), Text("abcdefghabcd")},
        // length field 5 (8 bytes) at distance 8
        {"long-length match", Concat({abcdefgh, {0xC0, 0x05, 0x00, 0x04, 0x00}}),
         Text("abcdefghabcdefgh")},
        {"length 10 at distance 4 overlaps and copies nothing",
         Concat({Literal("abcd"), {0xC7, 0x00, 0x00}, Literal("!")}), Text("abcd!")},
        {"distance before the output copies nothing",
         Concat({Literal("abcd"), {0xC1, 0x01, 0x00}, Literal("!")}), Text("abcd!")},
        {"match on empty output copies nothing", {0xC1, 0x00, 0x00}, {}},
        {"length equal to distance", Concat({abcdefgh, {0xC5, 0x04, 0x00}}),
         Text("abcdefghabcdefgh")},
    };
    // Each case twice: as it is, decoded near the block's end, and followed
    // by empty literals with a generous size claim, which decodes it on the
    // unchecked fast path.
    const Bytes padding(100, 0x40);
    for (const DecodeCase& c : cases) {
        Bytes got;
        ASSERT_TRUE(Decode(Block(c.opcodes, uint32_t(c.expected.size())), got)) << c.name;
        EXPECT_EQ(got, c.expected) << c.name;
        ASSERT_TRUE(Decode(Block(Concat({c.opcodes, padding}), 4096), got)) << c.name;
        EXPECT_EQ(got, c.expected) << c.name << " (fast path)";
    }
}

TEST(DecodeRange, TwentyFourBitMatchReachesPastSixtyFourK) {
    // 0xE5 0x10 0x00 0x01: length 8, distance 65,552 + 4.
    const size_t distance = 65556;
    Bytes data(distance);
    std::mt19937 rng(7);
    for (uint8_t& b : data) b = uint8_t(rng());
    Bytes opcodes;
    for (size_t at = 0; at < data.size(); at += 16383) {
        size_t n = std::min<size_t>(16383, data.size() - at);
        opcodes.push_back(uint8_t(0x80 | (n & 63)));
        opcodes.push_back(uint8_t(n >> 6));
        opcodes.insert(opcodes.end(), data.begin() + at, data.begin() + at + n);
    }
    Bytes match = {0xE5, 0x10, 0x00, 0x01};
    opcodes.insert(opcodes.end(), match.begin(), match.end());
    Bytes got;
    ASSERT_TRUE(Decode(Block(opcodes, 0), got));
    ASSERT_EQ(got.size(), distance + 8);
    EXPECT_TRUE(std::equal(got.begin() + distance, got.end(), data.begin()));
}

TEST(DecodeRange, RefusesDamagedBlocks) {
    const Bytes good = Literal("abcd");
    const struct {
        const char* name;
        Bytes block;
    } cases[] = {
        {"empty", {}},
        {"four bytes of magic", {0xA1, 0x2B, 0xC7, 0x9E}},
        {"size field cut short", {0xA1, 0x2B, 0xC7, 0x9E, 0x00, 0x00}},
        {"wrong magic", {0xA1, 0x2B, 0xC7, 0x9F, 0, 0, 0, 0, 0x40}},
        {"run without its byte", Block({0x3F}, 66)},
        {"short literal cut", Block({0x45, 'a', 'b'}, 5)},
        {"long literal without h", Block({0x80}, 0)},
        {"long literal cut", Block({0x81, 0x01, 'a'}, 65)},
        {"match cut in the distance", Block(Concat({good, {0xC1, 0x00}}), 8)},
        {"long-length match cut", Block(Concat({good, {0xC0, 0x01, 0x00, 0x00}}), 8)},
        {"far match without its top byte", Block(Concat({good, {0xE1, 0x00, 0x00}}), 8)},
        {"long literal claiming more than the block holds",
         Block(Concat({{0xBF, 0xFF}, Bytes(200, 'x')}), 4096)},
    };
    for (const auto& c : cases) {
        char* out = reinterpret_cast<char*>(1);
        int32 length = 12345;
        EXPECT_FALSE(DecodeRange(c.block.data(), int32(c.block.size()), out, length)) << c.name;
    }
    char* out = nullptr;
    int32 length = 0;
    EXPECT_FALSE(DecodeRange(nullptr, 100, out, length));
}

TEST(DecodeRange, SizeFieldIsOnlyAHint) {
    // Too small, too large and absurd: the output is the same and the absurd
    // claim does not turn into a gigantic reservation.
    Bytes opcodes = Concat({Literal("0123456789"), {0xC0, 0xF0, 0x00, 0x06, 0x00}, {0x3F, 0x20}});
    Bytes expected;
    ASSERT_TRUE(Decode(Block(opcodes, 0), expected));
    EXPECT_EQ(expected.size(), 10u + 66);  // the long match overlaps: nothing copied
    for (uint32_t claimed : {0u, 1u, 75u, 76u, 77u, 100000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Bytes got;
        ASSERT_TRUE(Decode(Block(opcodes, claimed), got)) << claimed;
        EXPECT_EQ(got, expected) << claimed;
    }
}

TEST(DecodeRange, GrowsPastAnUnderstatedSize) {
    // Many doubling matches from a tiny claimed size.
    Bytes opcodes = {0x3F, 0x55};  // 66 bytes
    size_t produced = 66;
    while (produced < 500000) {
        size_t n = std::min<size_t>(produced, 65538);
        opcodes.push_back(0xC0);
        opcodes.push_back(uint8_t((n - 3) & 0xFF));
        opcodes.push_back(uint8_t((n - 3) >> 8));
        opcodes.push_back(uint8_t((n - 4) & 0xFF));
        opcodes.push_back(uint8_t((n - 4) >> 8));
        produced += n;
    }
    Bytes got;
    ASSERT_TRUE(Decode(Block(opcodes, 1), got));
    EXPECT_EQ(got, Bytes(produced, 0x55));
}

TEST(DecodeBlock, ReplacesTheBufferOrLeavesIt) {
    Bytes block = Block(Concat({Literal("hello"), {0x00, '!'}}), 8);
    String buffer;
    buffer.Assign(block.data(), int32(block.size()));
    ASSERT_TRUE(DecodeBlock(buffer));
    EXPECT_STREQ(buffer.Text(), "hello!!!");
    EXPECT_EQ(buffer.Length(), 8);

    String plain("not a block at all");
    EXPECT_FALSE(DecodeBlock(plain));
    EXPECT_STREQ(plain.Text(), "not a block at all");

    Bytes empty = Block({}, 0);
    String e;
    e.Assign(empty.data(), int32(empty.size()));
    ASSERT_TRUE(DecodeBlock(e));
    EXPECT_EQ(e.Length(), 0);
}

// --- Round trips through the encoder -------------------------------------

// Walks a block and checks that every match is one the decoder accepts.
void ExpectOnlyAcceptedMatches(const Bytes& block, const char* name) {
    size_t i = 8, produced = 0;
    while (i < block.size()) {
        uint32_t c = block[i++], k = c & 63;
        switch (c >> 6) {
        case 0: produced += k + 3; i += 1; break;
        case 1: produced += k; i += k; break;
        case 2: { size_t n = block[i] * 64 + k; produced += n; i += 1 + n; break; }
        default: {
            bool far = k & 0x20;
            k &= 0x1F;
            if (k == 0) { k = block[i] | block[i + 1] << 8; i += 2; }
            size_t distance = block[i] | block[i + 1] << 8;
            i += 2;
            if (far) distance |= size_t(block[i++]) << 16;
            distance += 4;
            ASSERT_LE(k + 3, distance) << name << " at output " << produced;
            ASSERT_LE(distance, produced) << name << " at output " << produced;
            produced += k + 3;
        }
        }
    }
    EXPECT_EQ(i, block.size()) << name;
}

Bytes Random(size_t n, std::mt19937& rng) {
    Bytes b(n);
    for (uint8_t& x : b) x = uint8_t(rng());
    return b;
}

Bytes SomeText(size_t n) {
    static const char* words[] = {"the ",    "installer ", "archive ", "copies ", "files ",
                                  "into ",   "a ",         "directory ", "and\r\n", "records ",
                                  "what ",   "it ",        "did; ",  "uninstall ", "removes "};
    std::mt19937 rng(11);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[rng() % 15];
        b.insert(b.end(), w, w + strlen(w));
    }
    b.resize(n);
    return b;
}

// Unique bytes, then the same bytes again exactly `distance` later. A zero
// filler keeps far cases quick to encode; only the head can match.
Bytes RepeatAt(size_t distance, size_t length, uint32_t seed, bool zeroFiller = false) {
    std::mt19937 rng(seed);
    Bytes head = Random(length, rng);
    Bytes filler = zeroFiller ? Bytes(distance - length, 0) : Random(distance - length, rng);
    return Concat({head, filler, head});
}

TEST(LzEncode, RoundTripsVariedData) {
    uint32_t seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const struct {
        std::string name;
        Bytes data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x42}},
        {"seven bytes", Text("abcdefg")},
        {"short run", Bytes(5, 0)},
        {"long run", Bytes(3000000, 0xEE)},
        {"random", Random(300000, rng)},
        {"text", SomeText(400000)},
        {"period 3", [] { Bytes b; for (int i = 0; i < 100000; ++i) b.push_back("xyz"[i % 3]); return b; }()},
        {"period 12", [] { Bytes b; for (int i = 0; i < 200000; ++i) b.push_back(uint8_t(i % 12 * 7)); return b; }()},
        {"literals 63", Random(63, rng)},
        {"literals 64", Random(64, rng)},
        {"literals 16383", Random(16383, rng)},
        {"literals 16384", Random(16384, rng)},
        {"literals 16383*2+63", Random(16383 * 2 + 63, rng)},
        {"match at the 16-bit limit", RepeatAt(65539, 40, seed)},
        {"match just past the 16-bit limit", RepeatAt(65540, 40, seed)},
        {"match at the 24-bit limit", RepeatAt(16777219, 100, seed, true)},
        {"match just past the window", RepeatAt(16777220, 100, seed, true)},
        {"longest match", RepeatAt(70000, 65538, seed)},
        {"longer than one match", RepeatAt(140000, 131100, seed)},
        {"random with repeats", [&] {
             Bytes b = Random(200000, rng);
             for (int i = 0; i < 2000; ++i) {
                 size_t from = rng() % (b.size() - 300), to = rng() % (b.size() - 300);
                 std::copy(b.begin() + from, b.begin() + from + rng() % 300, b.begin() + to);
             }
             return b;
         }()},
    };
    for (const auto& c : cases) {
        for (LzLevel level : {LzLevel::Fast, LzLevel::Max}) {
            const char* name = level == LzLevel::Fast ? "fast" : "max";
            Bytes block = LzEncode(c.data.data(), c.data.size(), level);
            ExpectOnlyAcceptedMatches(block, (c.name + " " + name).c_str());
            Bytes got;
            ASSERT_TRUE(Decode(block, got)) << c.name << " " << name;
            EXPECT_TRUE(got == c.data) << c.name << " " << name;
        }
    }
}

TEST(LzEncode, CompressesWhatRepeats) {
    // Far repeats are found across the whole window, and long runs cost a
    // few bytes, not one opcode per 66 bytes.
    const struct {
        const char* name;
        Bytes data;
        size_t most;
    } cases[] = {
        {"run of 3 MB", Bytes(3000000, 0), 400},
        {"8 MB apart", RepeatAt(8000000, 100000, 5, true), 100000 + 1000},
        {"text", SomeText(400000), 400000 / 3},
    };
    for (const auto& c : cases) {
        for (LzLevel level : {LzLevel::Fast, LzLevel::Max}) {
            EXPECT_LE(LzEncode(c.data.data(), c.data.size(), level).size(), c.most)
                << c.name << (level == LzLevel::Fast ? " fast" : " max");
        }
    }
}

TEST(LzEncode, IsReproducible) {
    Bytes data = SomeText(300000);
    for (LzLevel level : {LzLevel::Fast, LzLevel::Max}) {
        EXPECT_EQ(LzEncode(data.data(), data.size(), level), LzEncode(data.data(), data.size(), level));
    }
}

TEST(LzEncode, DecodedSizeFieldIsTheInputLength) {
    Bytes data = SomeText(12345);
    Bytes block = LzEncode(data.data(), data.size(), LzLevel::Max);
    ASSERT_GE(block.size(), 8u);
    uint32_t magic = block[0] | block[1] << 8 | block[2] << 16 | uint32_t(block[3]) << 24;
    uint32_t size = block[4] | block[5] << 8 | block[6] << 16 | uint32_t(block[7]) << 24;
    EXPECT_EQ(magic, CompressionMagic);
    EXPECT_EQ(size, 12345u);
}

// --- Streaming and scanning ----------------------------------------------

// Collects the streaming decoder's output; checks that every piece is handed
// on by the end of the Feed that decoded it.
class Collect : public LzOutput {
public:
    bool Take(const byte* data, size_t length) override {
        EXPECT_GT(length, 0u);
        got.insert(got.end(), data, data + length);
        return stopAfter == 0 || got.size() < stopAfter;
    }
    Bytes got;
    size_t stopAfter = 0;
};

// Feeds the block in chunks of `chunk` bytes (0: a varying size from 1 up).
bool StreamDecode(const Bytes& block, size_t chunk, Bytes& out, uint64_t maxOutput = ~uint64_t(0)) {
    LzStreamDecoder decoder;
    Collect collect;
    decoder.Start(collect, maxOutput);
    bool ok = true;
    size_t step = 1;
    for (size_t at = 0; ok && at < block.size();) {
        size_t n = std::min(chunk ? chunk : step, block.size() - at);
        step = step * 3 % 1021 + 1;
        ok = decoder.Feed(block.data() + at, n);
        at += n;
        if (ok) {
            EXPECT_EQ(decoder.Produced(), collect.got.size()) << "output held back";
        }
    }
    ok = ok && decoder.Finish();
    EXPECT_EQ(ok, !decoder.Damaged());
    out = collect.got;
    return ok;
}

bool Scan(const Bytes& block, size_t chunk, uint64_t& produced) {
    LzBlockScanner scanner;
    scanner.Start();
    bool ok = true;
    for (size_t at = 0; ok && at < block.size(); at += chunk) {
        ok = scanner.Feed(block.data() + at, std::min(chunk, block.size() - at));
    }
    ok = ok && scanner.Finish();
    produced = scanner.Produced();
    return ok;
}

// Blocks of every opcode form, sound, damaged and truncated at each length.
std::vector<Bytes> VariedBlocks() {
    std::mt19937 rng(3);
    std::vector<Bytes> blocks;
    const Bytes abcdefgh = Literal("abcdefgh");
    const Bytes opcodes = Concat({abcdefgh, {0xC1, 0x04, 0x00}, {0xC0, 0x05, 0x00, 0x04, 0x00},
                                  {0xC7, 0x00, 0x00}, {0x3F, 0x41}, {0x80, 0x01}, Bytes(64, 'L'),
                                  {0xE1, 0x10, 0x00, 0x00}, {0x40}, {0xC5, 0x04, 0x00}, Literal("z")});
    Bytes sound = Block(opcodes, 0);
    for (size_t cut = 0; cut <= sound.size(); ++cut) blocks.push_back(Bytes(sound.begin(), sound.begin() + cut));
    blocks.push_back(Block({0xBF, 0xFF}, 10));
    Bytes wrongMagic = sound;
    wrongMagic[3] ^= 1;
    blocks.push_back(wrongMagic);
    Bytes text = SomeText(200000);
    for (LzLevel level : {LzLevel::Fast, LzLevel::Max}) {
        Bytes encoded = LzEncode(text.data(), text.size(), level);
        blocks.push_back(encoded);
        blocks.push_back(Bytes(encoded.begin(), encoded.end() - 1));
    }
    for (int i = 0; i < 20; ++i) {
        Bytes noise = Random(rng() % 3000, rng);
        blocks.push_back(Concat({Block({}, rng()), noise}));
    }
    return blocks;
}

TEST(LzStreamDecoder, GivesWhatTheWholeBlockDecoderGives) {
    for (const Bytes& block : VariedBlocks()) {
        Bytes whole;
        const bool wholeOk = Decode(block, whole);
        for (size_t chunk : {size_t(1), size_t(2), size_t(7), size_t(4096), size_t(0)}) {
            Bytes streamed;
            const bool streamOk = StreamDecode(block, chunk, streamed);
            ASSERT_EQ(streamOk, wholeOk) << "block of " << block.size() << " bytes, chunk " << chunk;
            if (wholeOk) {
                ASSERT_TRUE(streamed == whole) << "block of " << block.size() << ", chunk " << chunk;
            }
        }
    }
}

TEST(LzBlockScanner, AgreesWithTheDecoderOnSuccessAndLength) {
    for (const Bytes& block : VariedBlocks()) {
        Bytes whole;
        const bool wholeOk = Decode(block, whole);
        for (size_t chunk : {size_t(1), size_t(5), size_t(4096)}) {
            uint64_t produced = 0;
            ASSERT_EQ(Scan(block, chunk, produced), wholeOk) << "block of " << block.size() << ", chunk " << chunk;
            if (wholeOk) {
                EXPECT_EQ(produced, whole.size());
            }
        }
    }
}

TEST(LzStreamDecoder, SlidesItsWindowAndKeepsTheFarthestReach) {
    // More output than the window holds, with matches at the longest reach
    // just after each slide and at the edge of the output made so far.
    std::mt19937 rng(17);
    const size_t reach = kLzMaxDistance;
    Bytes opcodes;
    auto literals = [&](size_t n) {
        while (n > 0) {
            size_t k = std::min<size_t>(n, 16383);
            opcodes.push_back(uint8_t(0x80 | (k & 63)));
            opcodes.push_back(uint8_t(k >> 6));
            size_t at = opcodes.size();
            opcodes.resize(at + k);
            for (size_t i = 0; i < k; ++i) opcodes[at + i] = uint8_t(rng());
            n -= k;
        }
    };
    auto match = [&](size_t length, size_t distance) {
        size_t field = distance - 4;
        opcodes.insert(opcodes.end(), {0xE0, uint8_t(length - 3), uint8_t((length - 3) >> 8), uint8_t(field),
                                       uint8_t(field >> 8), uint8_t(field >> 16)});
    };
    literals(reach - 1);
    match(4, reach);  // one byte short of the output: refused
    literals(1);
    for (int i = 0; i < 300; ++i) match(65538, reach);  // exactly the output: copied
    literals(70000);
    for (int i = 0; i < 300; ++i) match(60000 + i, reach - i);
    Bytes block = Block(opcodes, 0);
    Bytes whole;
    ASSERT_TRUE(Decode(block, whole));
    ASSERT_GT(whole.size(), LzStreamDecoder::kLzWindowBytes + reach);  // slides twice
    // With the output limit at exactly the length, and one byte below it.
    Bytes streamed;
    ASSERT_TRUE(StreamDecode(block, 65536, streamed, whole.size()));
    ASSERT_EQ(streamed.size(), whole.size());
    EXPECT_TRUE(streamed == whole);
    EXPECT_FALSE(StreamDecode(block, 65536, streamed, whole.size() - 1));
}

TEST(LzStreamDecoder, OutputLimitAndStop) {
    Bytes block = Block(Concat({Literal("abcdefgh"), {0xC5, 0x08, 0x00}, {0x3F, 0x41}}), 0);
    Bytes whole, got;
    ASSERT_TRUE(Decode(block, whole));
    EXPECT_TRUE(StreamDecode(block, 3, got, whole.size()));  // exactly enough
    EXPECT_FALSE(StreamDecode(block, 3, got, whole.size() - 1));  // one byte short

    // An output that says stop ends decoding without calling the block damaged.
    LzStreamDecoder decoder;
    Collect collect;
    collect.stopAfter = 5;
    decoder.Start(collect);
    EXPECT_FALSE(decoder.Feed(block.data(), block.size()));
    EXPECT_FALSE(decoder.Damaged());
    EXPECT_FALSE(decoder.Finish());
    EXPECT_FALSE(decoder.Feed(block.data(), 1));

    // The decoder is reused for the next block.
    collect.got.clear();
    collect.stopAfter = 0;
    decoder.Start(collect);
    ASSERT_TRUE(decoder.Feed(block.data(), block.size()));
    ASSERT_TRUE(decoder.Finish());
    EXPECT_TRUE(collect.got == whole);
}

TEST(LzStreamEncoder, MakesTheFastLevelsBytesFromPieces) {
    // Past the input it holds (about 50 MB): repeats within and beyond the
    // reach, a long periodic stretch, runs, and more than 16 MB without a
    // match, whose literals are written before the window slides past them.
    std::mt19937 rng(23);
    Bytes big = Random(17 << 20, rng);
    Bytes head(big.begin(), big.begin() + (4 << 20));
    big.insert(big.end(), head.begin(), head.end());
    for (int i = 0; i < (3 << 20); ++i) big.push_back("0123456789ab"[i % 12]);
    big.insert(big.end(), size_t(5) << 20, 0x00);
    Bytes text = SomeText(20 << 20);
    big.insert(big.end(), text.begin(), text.end());
    big.insert(big.end(), head.begin(), head.end());
    const struct {
        const char* name;
        Bytes data;
        std::vector<size_t> pieces;
    } cases[] = {
        {"empty", {}, {1}},
        {"fifteen bytes", Text("fifteen bytes!!"), {1, 7}},
        {"text", SomeText(300000), {1, 7, 65536}},
        {"beyond the held input", big, {(size_t(1) << 20) - 1}},
    };
    for (const auto& c : cases) {
        const Bytes whole = LzEncode(c.data.data(), c.data.size(), LzLevel::Fast);
        for (size_t piece : c.pieces) {
            Bytes streamed;
            LzStreamEncoder encoder(c.data.size(), [&](const uint8_t* p, size_t n) {
                streamed.insert(streamed.end(), p, p + n);
            });
            for (size_t at = 0; at < c.data.size(); at += piece) {
                encoder.Feed(c.data.data() + at, std::min(piece, c.data.size() - at));
            }
            encoder.Finish();
            ASSERT_EQ(streamed.size(), whole.size()) << c.name << ", pieces of " << piece;
            EXPECT_TRUE(streamed == whole) << c.name << ", pieces of " << piece;
        }
    }
    // The announced size is held to, one byte either way.
    Bytes data = SomeText(100);
    LzStreamEncoder over(99, [](const uint8_t*, size_t) {});
    EXPECT_THROW(over.Feed(data.data(), 100), std::length_error);
    LzStreamEncoder under(101, [](const uint8_t*, size_t) {});
    under.Feed(data.data(), 100);
    EXPECT_THROW(under.Finish(), std::length_error);
}

}  // namespace
