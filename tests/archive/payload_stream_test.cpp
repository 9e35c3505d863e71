// The installer's two passes over a stored payload read in chunks
// (CheckPayload, StreamPayload) against the whole payload in memory
// (Checksum, DecodeBlock or LzeDecodeRange, SplitPayload): the same codes
// and the same records, for sound and damaged payloads of either
// compression method, at every chunk size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/build/lz_encoder.h"
#include "archive/build/lze_encoder.h"
#include "archive/lz_codec.h"
#include "archive/lze_codec.h"
#include "archive/payload.h"
#include "core/byte_stream.h"

namespace {

struct Rec {
    std::string name;
    int32 kind = Normal;
    int32 bits = 0;
    std::string data;
    uint32 checksum = 0;
    FileDate date;
    std::string shortcut;
    bool operator==(const Rec& o) const {
        return name == o.name && kind == o.kind && bits == o.bits && data == o.data &&
               checksum == o.checksum && memcmp(&date, &o.date, sizeof date) == 0 && shortcut == o.shortcut;
    }
};

struct Outcome {
    int32 code = CorruptNone;
    std::vector<Rec> stored;
    int32 lastBefore = -1;  // the last index BeforeRecord saw
};

void PutInt(std::string& out, uint32 v) {
    for (int i = 0; i < 4; ++i) out += char(v >> (8 * i));
}

// One record as the builder writes it; `checksum` replaces the true one
// when given.
std::string Record(const Rec& r, const uint32* checksum = nullptr) {
    std::string out = r.name;
    out += '\0';
    PutInt(out, uint32(r.kind));
    PutInt(out, uint32(r.bits));
    out += r.data;
    PutInt(out, checksum ? *checksum : Checksum(r.data.data(), int32(r.data.size())));
    const int32 date[6] = {r.date.year, r.date.month, r.date.day, r.date.hour, r.date.minute, r.date.second};
    for (int32 d : date) PutInt(out, uint32(d));
    out += r.shortcut;
    out += '\0';
    return out;
}

Rec MakeRec(const std::string& name, size_t size, uint32_t seed, int32 kind = Normal) {
    Rec r;
    r.name = name;
    r.kind = kind;
    r.bits = int32(seed & 3);
    std::mt19937 rng(seed);
    static const char* words[] = {"alpha ", "beta ", "gamma\r\n", "delta ", "\x01\x02\x03\x04"};
    while (r.data.size() < size) r.data += words[rng() % 5];
    r.data.resize(size);
    r.date = {2024, int32(seed % 12 + 1), 5, 6, 7, 8};
    r.shortcut = "Sample\\" + name;
    return r;
}

// A payload as stored, its manifest's fields, and whether it is a block.
struct Payload {
    std::string stored;
    std::vector<int32> sizes;
    int32 flags = 0;
    uint32 checksum = 0;  // the manifest's
};

Payload Make(const std::string& records, std::vector<int32> sizes, bool compress, bool checksums,
             bool lze = false) {
    Payload p;
    p.stored = records;
    if (compress && lze) {
        LzeOptions options;
        options.level = LzeLevel::Fast;
        std::vector<uint8_t> stream = LzeEncode(reinterpret_cast<const uint8_t*>(records.data()), records.size(), options);
        p.stored.assign(stream.begin(), stream.end());
    } else if (compress) {
        std::vector<uint8_t> block =
            LzEncode(reinterpret_cast<const uint8_t*>(records.data()), records.size(), LzLevel::Fast);
        p.stored.assign(block.begin(), block.end());
    }
    p.sizes = std::move(sizes);
    p.flags = (compress ? CompressedPayload : 0) | (checksums ? Checksums : 0);
    p.checksum = Checksum(p.stored.data(), int32(p.stored.size()));
    return p;
}

void FillManifest(const Payload& p, Manifest& m) {
    m.flags = p.flags;
    m.fileCount = int32(p.sizes.size());
    m.fileSizes = static_cast<int32*>(Allocate(std::max<size_t>(1, p.sizes.size()) * sizeof(int32)));
    for (size_t i = 0; i < p.sizes.size(); ++i) m.fileSizes[i] = p.sizes[i];
    m.payloadChecksum = p.checksum;
    m.payloadLength = int32(p.stored.size());
}

Rec FromRecord(const FileRecord& r, const std::string& data) {
    Rec out;
    out.name.assign(r.name.Text(), size_t(r.name.Length()));
    out.kind = r.kind;
    out.bits = r.shortcutBits;
    out.data = data;
    out.checksum = r.checksum;
    out.date = r.date;
    out.shortcut.assign(r.shortcutName.Text(), size_t(r.shortcutName.Length()));
    return out;
}

class WholeSink : public RecordSink {
public:
    explicit WholeSink(Outcome& o) : o_(o) {}
    void BeforeRecord(int32 index, int32) override { o_.lastBefore = index; }
    void Store(int32, const FileRecord& r) override {
        o_.stored.push_back(FromRecord(r, std::string(r.data, size_t(r.size))));
    }

private:
    Outcome& o_;
};

// Checks the order of the calls: Data only inside a begun record, which
// ends in Store (data null, every byte received) or Discard.
class StreamSink : public RecordStreamSink {
public:
    explicit StreamSink(Outcome& o) : o_(o) {}
    ~StreamSink() { EXPECT_EQ(open_, -1) << "a begun record was neither stored nor discarded"; }
    void BeforeRecord(int32 index, int32) override {
        EXPECT_EQ(open_, -1);
        o_.lastBefore = index;
    }
    void BeginData(int32 index, const FileRecord& head) override {
        ++begun;
        EXPECT_EQ(open_, -1);
        EXPECT_EQ(index, o_.lastBefore);
        EXPECT_FALSE(head.name.IsEmpty());
        open_ = index;
        expected_ = head.size;
        data_.clear();
    }
    void Data(const char* piece, int32 length) override {
        EXPECT_NE(open_, -1);
        EXPECT_GT(length, 0);
        data_.append(piece, size_t(length));
        EXPECT_LE(int64(data_.size()), int64(expected_));
    }
    void Discard(int32 index) override {
        EXPECT_EQ(index, open_);
        open_ = -1;
        ++discards;
    }
    void Store(int32 index, const FileRecord& r) override {
        EXPECT_EQ(index, o_.lastBefore);
        if (open_ == index) {
            EXPECT_EQ(r.data, nullptr);
            EXPECT_EQ(int64(data_.size()), int64(r.size));
            o_.stored.push_back(FromRecord(r, data_));
            open_ = -1;
        } else {
            EXPECT_EQ(open_, -1);
            o_.stored.push_back(FromRecord(r, std::string(r.data, size_t(r.size))));
        }
    }
    int discards = 0;
    int begun = 0;

private:
    Outcome& o_;
    int32 open_ = -1;
    int32 expected_ = 0;
    std::string data_;
};

// Hands out the payload `chunk` bytes at a time at most, whatever room the
// reader offers; fails with -1 once `failAt` bytes have gone.
class ChunkSource : public PayloadSource {
public:
    ChunkSource(const std::string& bytes, size_t chunk, size_t failAt = SIZE_MAX)
        : bytes_(bytes), chunk_(chunk), failAt_(failAt) {}
    int32 Read(char* into, int32 room) override {
        if (at_ >= failAt_) return -1;
        size_t n = std::min({chunk_, size_t(room), bytes_.size() - at_, failAt_ - at_});
        memcpy(into, bytes_.data() + at_, n);
        at_ += n;
        return int32(n);
    }

private:
    const std::string& bytes_;
    size_t chunk_, failAt_;
    size_t at_ = 0;
};

Outcome Whole(const Payload& p) {
    Manifest m;
    FillManifest(p, m);
    Outcome o;
    if (Checksum(p.stored.data(), int32(p.stored.size())) != m.payloadChecksum) {
        o.code = CorruptPayloadChecksum;
        return o;
    }
    ByteStream payload;
    payload.Bytes().Assign(p.stored.data(), int32(p.stored.size()));
    if (m.Has(CompressedPayload)) {
        const byte* stored = reinterpret_cast<const byte*>(p.stored.data());
        char* out = nullptr;
        int32 length = 0;
        bool lze = IsLzeBlock(stored, int32(p.stored.size()));
        if (lze ? !LzeDecodeRange(stored, int32(p.stored.size()), out, length) : !DecodeBlock(payload.Bytes())) {
            o.code = CorruptPayloadDecode;
            return o;
        }
        if (lze) payload.Bytes().Adopt(out, length);
    }
    payload.Rewind();
    WholeSink sink(o);
    o.code = SplitPayload(payload, m, sink);
    return o;
}

Outcome Streamed(const Payload& p, size_t chunk, int32 holdLimit, int* discards = nullptr) {
    Manifest m;
    FillManifest(p, m);
    Outcome o;
    PayloadCheck check;
    ChunkSource first(p.stored, chunk);
    o.code = CheckPayload(first, m, check);
    if (o.code != CorruptNone) return o;
    EXPECT_EQ(check.storedLength, int64(p.stored.size()));
    ChunkSource second(p.stored, chunk);
    StreamSink sink(o);
    o.code = StreamPayload(second, m, check, sink, holdLimit);
    if (discards) *discards = sink.discards;
    return o;
}

// Each chunk size with the hold limit beside it.
void ExpectSame(const Payload& p, const std::string& what, const std::vector<size_t>& chunks,
                const std::vector<int32>& holds) {
    const Outcome whole = Whole(p);
    for (size_t i = 0; i < chunks.size(); ++i) {
        const size_t chunk = chunks[i];
        {
            const int32 hold = holds[i % holds.size()];
            Outcome s = Streamed(p, chunk, hold);
            ASSERT_EQ(s.code, whole.code) << what << ", chunk " << chunk << ", hold " << hold;
            ASSERT_EQ(s.stored.size(), whole.stored.size()) << what << ", chunk " << chunk << ", hold " << hold;
            for (size_t i = 0; i < s.stored.size(); ++i) {
                ASSERT_TRUE(s.stored[i] == whole.stored[i]) << what << ": record " << i << ", chunk " << chunk;
            }
            if (whole.code != CorruptPayloadChecksum && whole.code != CorruptPayloadDecode) {
                EXPECT_EQ(s.lastBefore, whole.lastBefore) << what;
            }
        }
    }
}

std::string Join(const std::vector<Rec>& recs) {
    std::string out;
    for (const Rec& r : recs) out += Record(r);
    return out;
}

std::vector<int32> Sizes(const std::vector<Rec>& recs) {
    std::vector<int32> sizes;
    for (const Rec& r : recs) sizes.push_back(int32(r.data.size()));
    return sizes;
}

std::vector<Rec> Product() {
    std::vector<Rec> recs = {MakeRec("readme.txt", 900, 1), MakeRec("empty.dat", 0, 2),
                             MakeRec("bin\\tool.exe", 200000, 3, StartupProgram), MakeRec("shared.dll", 3000, 4, Shared),
                             MakeRec("font.ttf", 5000, 5, Font), MakeRec("sub\\deeper\\last.cfg", 70, 6)};
    recs[4].shortcut = "Sample Font (TrueType)";
    return recs;
}

TEST(StreamPayload, SameCodesAndRecordsAsTheWholePayload) {
    const std::vector<Rec> product = Product();
    const uint32 wrong = 12345;
    struct Case {
        std::string name;
        std::string records;
        std::vector<int32> sizes;
    };
    std::vector<Case> cases;
    cases.push_back({"sound", Join(product), Sizes(product)});
    {
        std::vector<Rec> r = product;
        r[2].name = "";
        cases.push_back({"empty name", Join(r), Sizes(r)});
        r[2].name = "..\\outside.exe";
        cases.push_back({"name leaving its folder", Join(r), Sizes(r)});
    }
    {
        std::string records;
        for (size_t i = 0; i < product.size(); ++i) records += Record(product[i], i == 2 ? &wrong : nullptr);
        cases.push_back({"checksum off in the large record", records, Sizes(product)});
    }
    {
        std::vector<Rec> r = product;
        r[2].kind = 3;
        cases.push_back({"unknown kind in the large record", Join(r), Sizes(r)});
        std::string records;
        for (size_t i = 0; i < r.size(); ++i) records += Record(r[i], i == 2 ? &wrong : nullptr);
        cases.push_back({"unknown kind and checksum off: the checksum first", records, Sizes(r)});
        r = product;
        r[5].kind = -1;
        cases.push_back({"unknown kind in the last record", Join(r), Sizes(r)});
    }
    {
        std::vector<int32> sizes = Sizes(product);
        std::string records = Join(product);
        // The last record's data: one byte more than the payload holds (its
        // checksum, date and shortcut name count as data then).
        sizes.back() += 28 + int32(product.back().shortcut.size()) + 1 + 1;
        cases.push_back({"last record one byte past the end", records, sizes});
        sizes.back() -= 1;
        cases.push_back({"last record reaching exactly the end", records, sizes});
    }
    {
        std::string records = Join(product);
        cases.push_back({"cut inside the large record", records.substr(0, 100000), Sizes(product)});
        const Rec& last = product.back();
        cases.push_back({"cut after the last name",
                         records.substr(0, records.size() - Record(last).size() + last.name.size() + 1),
                         Sizes(product)});
        cases.push_back({"trailing bytes", records + std::string(5000, 'x'), Sizes(product)});
        std::vector<int32> fewer = Sizes(product);
        fewer.pop_back();
        cases.push_back({"fewer sizes than records", records, fewer});
        std::vector<int32> more = Sizes(product);
        more.push_back(0);
        cases.push_back({"more sizes than records", records, more});
    }
    {
        // Past the end a record reads as zeros: size 0, checksum 0.
        std::vector<Rec> r = {MakeRec("a.txt", 10, 7)};
        std::string records = Join(r) + "b.txt";
        cases.push_back({"a record of nothing but its name", records, {10, 0}});
    }
    for (const Case& c : cases) {
        for (int method : {PayloadStored, PayloadLz, PayloadLze}) {
            for (bool checksums : {false, true}) {
                Payload p = Make(c.records, c.sizes, method != PayloadStored, checksums, method == PayloadLze);
                std::string what = c.name + (method == PayloadLz ? ", lz" : method == PayloadLze ? ", lze" : "") +
                                   (checksums ? ", checksums" : "");
                ExpectSame(p, what, {1, 7, 4096, size_t(1) << 20}, {kHeldRecordBytes, 0, 1000, 0});
            }
        }
    }
}

TEST(StreamPayload, HoldsRecordsUpToTheLimitAndStreamsLargerOnes) {
    std::vector<Rec> recs = {MakeRec("a.txt", 999, 41), MakeRec("b.txt", 1000, 42), MakeRec("c.txt", 1001, 43)};
    Payload p = Make(Join(recs), Sizes(recs), true, true);
    Manifest m;
    FillManifest(p, m);
    PayloadCheck check;
    ChunkSource first(p.stored, 100);
    ASSERT_EQ(CheckPayload(first, m, check), CorruptNone);
    ChunkSource second(p.stored, 100);
    Outcome o;
    StreamSink sink(o);
    EXPECT_EQ(StreamPayload(second, m, check, sink, 1000), CorruptNone);
    EXPECT_EQ(sink.begun, 1);  // only the record one byte over the limit
    ASSERT_EQ(o.stored.size(), 3u);
    EXPECT_EQ(o.stored[2].data, recs[2].data);
}

TEST(StreamPayload, DiscardsALargeRecordFoundDamagedAtItsEnd) {
    std::vector<Rec> recs = Product();
    const uint32 wrong = 1;
    std::string records;
    for (size_t i = 0; i < recs.size(); ++i) records += Record(recs[i], i == 2 ? &wrong : nullptr);
    Payload p = Make(records, Sizes(recs), true, true);
    int discards = 0;
    Outcome o = Streamed(p, 4096, 1000, &discards);
    EXPECT_EQ(o.code, CorruptFileChecksum);
    EXPECT_EQ(o.stored.size(), 2u);
    EXPECT_EQ(discards, 1);
}

TEST(StreamPayload, EveryTruncationAndByteChangeOfASmallPayload) {
    std::vector<Rec> recs = {MakeRec("a.txt", 300, 11), MakeRec("b\\c.bin", 700, 12, Shared),
                             MakeRec("d.ttf", 40, 13, Font)};
    for (int method : {PayloadLz, PayloadLze, PayloadStored}) {
        const Payload sound = Make(Join(recs), Sizes(recs), method != PayloadStored, true, method == PayloadLze);
        std::mt19937 rng(5);
        for (size_t cut = 0; cut < sound.stored.size(); ++cut) {
            Payload p = sound;
            p.stored.resize(cut);
            p.checksum = Checksum(p.stored.data(), int32(p.stored.size()));
            ExpectSame(p, "cut at " + std::to_string(cut), {1, 7}, {kHeldRecordBytes, 0});
            p = sound;
            p.stored[cut] = char(p.stored[cut] ^ (1 + rng() % 255));
            p.checksum = Checksum(p.stored.data(), int32(p.stored.size()));
            ExpectSame(p, "byte " + std::to_string(cut) + " changed", {7}, {16});
        }
    }
}

TEST(CheckPayload, ReadFailureThenChecksumThenDecoding) {
    std::vector<Rec> recs = Product();
    Payload p = Make(Join(recs), Sizes(recs), true, true);
    Manifest m;
    FillManifest(p, m);
    PayloadCheck check;
    ChunkSource failing(p.stored, 4096, 10000);
    EXPECT_EQ(CheckPayload(failing, m, check), CorruptPartRead);

    std::string damaged = p.stored;
    damaged[1] ^= 1;  // not a block any more
    ChunkSource wrongSum(damaged, 4096);
    EXPECT_EQ(CheckPayload(wrongSum, m, check), CorruptPayloadChecksum);
    m.payloadChecksum = Checksum(damaged.data(), int32(damaged.size()));
    ChunkSource noBlock(damaged, 4096);
    EXPECT_EQ(CheckPayload(noBlock, m, check), CorruptPayloadDecode);

    m.payloadChecksum = p.checksum;
    ChunkSource sound(p.stored, 4096);
    ASSERT_EQ(CheckPayload(sound, m, check), CorruptNone);
    EXPECT_EQ(check.decodedLength, int64(Join(recs).size()));

    // A read failing in the second pass drops the record it was in.
    ChunkSource late(p.stored, 4096, p.stored.size() / 2);
    Outcome o;
    {
        StreamSink sink(o);
        EXPECT_EQ(StreamPayload(late, m, check, sink, 1000), CorruptPartRead);
    }
    EXPECT_LT(o.stored.size(), recs.size());
}

TEST(CheckPayload, ChoosesTheDecoderByTheStreamsMagic) {
    // Either method's stream with its magic split over the first chunks, and
    // the damage that must be code 60: exactly whole decodes, one byte short
    // or one more does not.
    const std::vector<Rec> recs = Product();
    const std::string records = Join(recs);
    const Payload lz = Make(records, Sizes(recs), true, true);
    const Payload lze = Make(records, Sizes(recs), true, true, true);
    const Outcome whole = Whole(Make(records, Sizes(recs), false, true));
    ASSERT_EQ(whole.stored.size(), recs.size());
    std::string badBlock = lze.stored;
    badBlock[LzeHeaderSize] = char(badBlock[LzeHeaderSize] | 0x80);  // a block flag no stream has
    std::string badVersion = lze.stored;
    badVersion[4] = 2;
    std::string neither = lze.stored;
    neither[3] = char(neither[3] ^ 1);
    struct Case {
        const char* name;
        std::string stored;
        int32 code;
        int32 method;
    };
    const std::vector<Case> cases = {
        {"lz", lz.stored, CorruptNone, PayloadLz},
        {"lze", lze.stored, CorruptNone, PayloadLze},
        {"lze one byte short", lze.stored.substr(0, lze.stored.size() - 1), CorruptPayloadDecode, 0},
        {"lze one byte more", lze.stored + '\0', CorruptPayloadDecode, 0},
        {"lze block damaged", badBlock, CorruptPayloadDecode, 0},
        {"lze of another version", badVersion, CorruptPayloadDecode, 0},
        {"lze magic alone", lze.stored.substr(0, 4), CorruptPayloadDecode, 0},
        {"three bytes of the magic", lze.stored.substr(0, 3), CorruptPayloadDecode, 0},
        {"nothing", "", CorruptPayloadDecode, 0},
        {"a magic of neither method", neither, CorruptPayloadDecode, 0},
    };
    for (const Case& c : cases) {
        for (size_t chunk : {1, 2, 3, 5, 4096}) {
            Payload p = lze;
            p.stored = c.stored;
            p.checksum = Checksum(p.stored.data(), int32(p.stored.size()));
            Manifest m;
            FillManifest(p, m);
            PayloadCheck check;
            ChunkSource first(p.stored, chunk);
            ASSERT_EQ(CheckPayload(first, m, check), c.code) << c.name << ", chunk " << chunk;
            if (c.code != CorruptNone) continue;
            EXPECT_EQ(check.method, c.method) << c.name;
            EXPECT_EQ(check.decodedLength, int64(records.size())) << c.name;
            Outcome o;
            {
                StreamSink sink(o);
                ChunkSource second(p.stored, chunk);
                ASSERT_EQ(StreamPayload(second, m, check, sink, 1000), CorruptNone) << c.name << ", chunk " << chunk;
            }
            ASSERT_EQ(o.stored.size(), whole.stored.size()) << c.name;
            for (size_t i = 0; i < o.stored.size(); ++i) {
                EXPECT_TRUE(o.stored[i] == whole.stored[i]) << c.name << ": record " << i;
            }
        }
    }

    // Damaged between the passes: the second finds it, with the same code.
    Manifest m;
    FillManifest(lze, m);
    PayloadCheck check;
    ChunkSource first(lze.stored, 4096);
    ASSERT_EQ(CheckPayload(first, m, check), CorruptNone);
    for (const std::string& later : {badBlock, lze.stored.substr(0, lze.stored.size() - 1)}) {
        Outcome o;
        StreamSink sink(o);
        ChunkSource second(later, 7);
        EXPECT_EQ(StreamPayload(second, m, check, sink, 1000), CorruptPayloadDecode);
    }
}

TEST(StreamPayload, NamesUpToTheLongestTextAStreamHolds) {
    for (int extra : {0, 1}) {
        Rec named = MakeRec("n", 10, 21);
        named.name = std::string(size_t(kMaxRecordText + extra), 'n');
        Rec shortcut = MakeRec("s.lnk", 10, 22);
        shortcut.shortcut = std::string(size_t(kMaxRecordText + extra), 's');
        for (const Rec& rec : {named, shortcut}) {
            Payload p = Make(Record(rec), {10}, false, true);
            Outcome o = Streamed(p, 4096, kHeldRecordBytes);
            // Exactly the longest text is taken; one byte more is refused.
            EXPECT_EQ(o.code, extra ? CorruptEmptyName : CorruptNone);
            EXPECT_EQ(o.stored.size(), extra ? 0u : 1u);
        }
    }
}

TEST(StreamPayload, APayloadLargerThanTheWindow) {
    // 52 MB of records, one of them 40 MB that repeats itself within and
    // beyond the window's reach, sound and damaged: the whole-block result,
    // record for record, from a decoder that never holds the payload.
    std::vector<Rec> recs = Product();
    Rec big = MakeRec("big\\image.bin", 0, 31);
    std::mt19937 rng(31);
    std::string piece(16 << 20, '\0');
    for (char& ch : piece) ch = char(rng() % 7 == 0 ? rng() : 0x90);
    big.data = piece + piece.substr(0, 8 << 20) + piece;
    recs.insert(recs.begin() + 3, big);
    recs.push_back(MakeRec("after.txt", 12000000, 32));
    const std::string records = Join(recs);
    ASSERT_GT(records.size(), LzStreamDecoder::kLzWindowBytes + kLzMaxDistance);  // slides twice
    const Payload sound = Make(records, Sizes(recs), true, true);
    ExpectSame(sound, "large", {(size_t(1) << 20) - 3}, {kHeldRecordBytes});

    // Damaged past the window, stored: the record in pieces is dropped.
    Rec badKind = recs.back();
    badKind.kind = 7;
    std::string damaged = records.substr(0, records.size() - Record(recs.back()).size()) + Record(badKind);
    ExpectSame(Make(damaged, Sizes(recs), false, true), "large, last kind unknown", {65536}, {kHeldRecordBytes});
}

}  // namespace
