#include "archive/build/lze_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <queue>
#include <stdexcept>

#include "archive/branch_filter.h"
#include "archive/lze_codec.h"
#include "archive/pe_image.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint32_t kInfinite = 0xFFFFFFFFu;
// Prices are in 1/256 bit.
const uint32_t kBit = 256;

inline uint32_t HighBit(uint32_t v) { return 31 - uint32_t(__builtin_clz(v)); }

// Code of value v in an alphabet with 2^logDirect direct codes, and its
// count of extra bits.
inline uint32_t ValueCode(uint32_t v, uint32_t logDirect) {
    if (v < (1u << logDirect)) return v;
    const uint32_t e = HighBit(v);
    return (1u << logDirect) + 2 * (e - logDirect) + ((v >> (e - 1)) & 1);
}
inline uint32_t ValueExtra(uint32_t v, uint32_t logDirect) {
    return v < (1u << logDirect) ? 0 : HighBit(v) - 1;
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
}

// Bytes a and b have in common, at most `limit`.
inline size_t CommonLength(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (limit - n >= 8) {
        const uint64_t x = Load64(a + n) ^ Load64(b + n);
        if (x) return n + (size_t(__builtin_ctzll(x)) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// One sequence: its literals, then a match. Offset codes are chosen only
// when a block is written, from the distances the decoder really holds.
struct Sequence {
    uint32_t literals;
    uint32_t length;
    uint32_t distance;
};

inline int RecentIndex(const uint32_t* recent, uint32_t distance) {
    for (int i = 0; i < LzeRepeatCodes; ++i) {
        if (recent[i] == distance) return i;
    }
    return -1;
}

// The recent distances after a match at `distance`.
inline void Advance(uint32_t* recent, uint32_t distance) {
    int i = RecentIndex(recent, distance);
    if (i < 0) i = LzeRepeatCodes - 1;
    for (; i > 0; --i) recent[i] = recent[i - 1];
    recent[0] = distance;
}

inline uint32_t DistanceCode(uint32_t distance) { return LzeRepeatCodes + ValueCode(distance - 1, 2); }

class BitWriter {
public:
    void Put(uint32_t value, uint32_t n) {
        acc_ |= uint64_t(value) << count_;
        count_ += n;
        if (count_ >= 32) {
            const size_t at = bytes_.size();
            bytes_.resize(at + 4);
            const uint32_t word = uint32_t(acc_);
            memcpy(bytes_.data() + at, &word, 4);
            acc_ >>= 32;
            count_ -= 32;
        }
    }
    Bytes Finish() {
        while (count_ > 0) {
            bytes_.push_back(uint8_t(acc_));
            acc_ >>= 8;
            count_ = count_ > 8 ? count_ - 8 : 0;
        }
        return std::move(bytes_);
    }

private:
    Bytes bytes_;
    uint64_t acc_ = 0;
    uint32_t count_ = 0;
};

// Huffman code lengths no longer than `limit`, filling the code space
// exactly (one used symbol gets length 1).
void HuffmanLengths(const uint32_t* freq, int n, int limit, uint8_t* lengths) {
    std::fill(lengths, lengths + n, 0);
    std::vector<int> used;
    for (int i = 0; i < n; ++i) {
        if (freq[i]) used.push_back(i);
    }
    if (used.empty()) return;
    if (used.size() == 1) {
        lengths[used[0]] = 1;
        return;
    }
    struct Item {
        uint64_t weight;
        int id;
    };
    auto later = [](const Item& a, const Item& b) {
        return a.weight != b.weight ? a.weight > b.weight : a.id > b.id;
    };
    std::priority_queue<Item, std::vector<Item>, decltype(later)> heap(later);
    const int leaves = int(used.size());
    std::vector<int> parent(2 * leaves, -1);
    for (int k = 0; k < leaves; ++k) heap.push({freq[used[k]], k});
    int next = leaves;
    while (heap.size() > 1) {
        const Item a = heap.top();
        heap.pop();
        const Item b = heap.top();
        heap.pop();
        parent[a.id] = parent[b.id] = next;
        heap.push({a.weight + b.weight, next++});
    }
    std::vector<int> depth(next, 0);
    for (int id = next - 2; id >= 0; --id) depth[id] = depth[parent[id]] + 1;

    const uint64_t full = uint64_t(1) << limit;
    uint64_t kraft = 0;
    for (int k = 0; k < leaves; ++k) {
        const int len = std::min(depth[k], limit);
        lengths[used[k]] = uint8_t(len);
        kraft += uint64_t(1) << (limit - len);
    }
    while (kraft > full) {
        // Lengthen the rarest of the longest codes that can still grow.
        int best = -1;
        for (int s : used) {
            if (lengths[s] >= limit) continue;
            if (best < 0 || lengths[s] > lengths[best] ||
                (lengths[s] == lengths[best] && freq[s] < freq[best])) {
                best = s;
            }
        }
        kraft -= uint64_t(1) << (limit - lengths[best] - 1);
        ++lengths[best];
    }
    while (kraft < full) {
        // Shorten the most frequent code whose gain still fits.
        int best = -1;
        for (int s : used) {
            if (lengths[s] <= 1 || (uint64_t(1) << (limit - lengths[s])) > full - kraft) continue;
            if (best < 0 || freq[s] > freq[best]) best = s;
        }
        kraft += uint64_t(1) << (limit - lengths[best]);
        --lengths[best];
    }
}

// Canonical codes, bit-reversed for writing from the low bit up.
void CanonicalCodes(const uint8_t* lengths, int n, uint32_t* codes) {
    uint32_t perLength[16] = {0};
    for (int i = 0; i < n; ++i) ++perLength[lengths[i]];
    perLength[0] = 0;
    uint32_t next[16];
    uint32_t code = 0;
    for (int len = 1; len < 16; ++len) {
        next[len] = code;
        code = (code + perLength[len]) << 1;
    }
    for (int s = 0; s < n; ++s) {
        const uint32_t len = lengths[s];
        codes[s] = 0;
        if (!len) continue;
        const uint32_t c = next[len]++;
        uint32_t reversed = 0;
        for (uint32_t i = 0; i < len; ++i) reversed |= ((c >> i) & 1) << (len - 1 - i);
        codes[s] = reversed;
    }
}

struct RunItem {
    uint8_t symbol;
    uint8_t extra;
};

// The code-length symbols describing `lengths`.
std::vector<RunItem> LengthRuns(const uint8_t* lengths, int n) {
    std::vector<RunItem> items;
    int i = 0;
    while (i < n) {
        const uint8_t v = lengths[i];
        int run = 1;
        while (i + run < n && lengths[i + run] == v) ++run;
        if (v == 0 && run >= 3) {
            while (run >= 3) {
                const int r = run >= 11 ? std::min(run, 138) : std::min(run, 10);
                items.push_back(r >= 11 ? RunItem{14, uint8_t(r - 11)} : RunItem{13, uint8_t(r - 3)});
                i += r;
                run -= r;
            }
            continue;
        }
        items.push_back({v, 0});
        ++i;
        --run;
        while (run >= 3) {
            const int r = std::min(run, 6);
            items.push_back({12, uint8_t(r - 3)});
            i += r;
            run -= r;
        }
    }
    return items;
}

const uint32_t kRunExtra[LzeLengthCodeSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

// A table description, written or only measured (out null); returns bits.
size_t DescribeTable(const uint8_t* lengths, int n, BitWriter* out) {
    const std::vector<RunItem> items = LengthRuns(lengths, n);
    uint32_t freq[LzeLengthCodeSymbols] = {0};
    for (const RunItem& it : items) ++freq[it.symbol];
    uint8_t codeLengths[LzeLengthCodeSymbols];
    HuffmanLengths(freq, LzeLengthCodeSymbols, LzeLengthCodeMaxLength, codeLengths);
    uint32_t codes[LzeLengthCodeSymbols];
    CanonicalCodes(codeLengths, LzeLengthCodeSymbols, codes);
    size_t bits = 3 * LzeLengthCodeSymbols;
    if (out) {
        for (int i = 0; i < LzeLengthCodeSymbols; ++i) out->Put(codeLengths[i], 3);
    }
    for (const RunItem& it : items) {
        bits += codeLengths[it.symbol] + kRunExtra[it.symbol];
        if (out) {
            out->Put(codes[it.symbol], codeLengths[it.symbol]);
            out->Put(it.extra, kRunExtra[it.symbol]);
        }
    }
    return bits;
}

// What the decoder holds for one table slot.
struct TableSlot {
    bool have = false;
    int single = -1;  // the symbol of a single-symbol table
    uint8_t lengths[256] = {0};
};

// Everything the decoder carries from one block to the next.
struct CoderState {
    uint32_t recent[LzeRepeatCodes] = {1, 4, 8};
    uint32_t lastLength = 0;
    TableSlot slot[LzeTableCount];
};

// The byte a difference literal at `at` is taken from.
inline uint8_t Reference(const uint8_t* data, size_t at, uint32_t distance) {
    return at >= distance ? data[at - distance] : 0;
}

// Walks a block: calls literal(position, value as difference) for each
// literal and match(sequence, recent index or -1) for each sequence,
// updating recent and lastLength as the decoder would.
template <typename OnLiteral, typename OnMatch>
void WalkBlock(const uint8_t* data, size_t start, size_t end, const Sequence* seqs, size_t count,
               uint32_t* recent, uint32_t& lastLength, OnLiteral literal, OnMatch match) {
    size_t pos = start;
    for (size_t k = 0; k < count; ++k) {
        const Sequence& s = seqs[k];
        for (uint32_t i = 0; i < s.literals; ++i, ++pos) {
            literal(pos, uint8_t(data[pos] - Reference(data, pos, recent[0])));
        }
        match(s, RecentIndex(recent, s.distance), lastLength);
        Advance(recent, s.distance);
        lastLength = s.length;
        pos += s.length;
    }
    for (; pos < end; ++pos) literal(pos, uint8_t(data[pos] - Reference(data, pos, recent[0])));
}

// The symbols of one block, counted, with the literals both ways.
struct Histogram {
    uint32_t freq[LzeTableCount][256];
    uint32_t plain[256];
    uint32_t difference[256];
    size_t literals;

    void Count(const uint8_t* data, size_t start, size_t end, const Sequence* seqs, size_t count,
               const CoderState& state) {
        memset(this, 0, sizeof(*this));
        uint32_t recent[LzeRepeatCodes];
        std::copy(state.recent, state.recent + LzeRepeatCodes, recent);
        uint32_t lastLength = state.lastLength;
        WalkBlock(
            data, start, end, seqs, count, recent, lastLength,
            [&](size_t pos, uint8_t value) {
                ++plain[data[pos]];
                ++difference[value];
                ++literals;
            },
            [&](const Sequence& s, int repeat, uint32_t last) {
                ++freq[LzeLiteralLengthSlot(last)][ValueCode(s.literals, 4)];
                ++freq[LzeMatchLengthSlot(s.literals)][ValueCode(s.length - 1, 5)];
                ++freq[LzeOffsetSlot(s.literals, s.length)][repeat >= 0 ? uint32_t(repeat)
                                                                        : DistanceCode(s.distance)];
            });
    }
};

// Bits to code these counts with a table of their own: entropy plus a
// rough table price.
double EstimateBits(const uint32_t* freq, int n) {
    double total = 0, bits = 0;
    int used = 0;
    for (int s = 0; s < n; ++s) {
        if (!freq[s]) continue;
        total += freq[s];
        ++used;
    }
    if (used <= 1) return 9;
    for (int s = 0; s < n; ++s) {
        if (freq[s]) bits -= freq[s] * std::log2(freq[s] / total);
    }
    return bits + 24 + 4.0 * used;
}

double EstimateBlock(const Histogram& h) {
    double bits = std::min(EstimateBits(h.plain, 256), EstimateBits(h.difference, 256));
    for (int t = 1; t < LzeTableCount; ++t) bits += EstimateBits(h.freq[t], LzeAlphabet[t]);
    return bits;
}

void Put24(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v >> 16));
}

// Bits to code `freq` with the decoder's current table, or UINT64_MAX when
// it lacks a code for one of them.
uint64_t KeepCost(const TableSlot& old, const uint32_t* freq, int n, int used, int only) {
    if (!old.have) return UINT64_MAX;
    if (old.single >= 0) return used == 0 || (used == 1 && only == old.single) ? 0 : UINT64_MAX;
    uint64_t bits = 0;
    for (int s = 0; s < n; ++s) {
        if (!freq[s]) continue;
        if (!old.lengths[s]) return UINT64_MAX;
        bits += uint64_t(freq[s]) * old.lengths[s];
    }
    return bits;
}

// Encodes block [start, end) with its sequences as a compressed body,
// choosing each table's mode by its cost; `state` follows the decoder.
Bytes EncodeBody(const uint8_t* data, size_t start, size_t end, const Sequence* seqs, size_t count,
                 CoderState& state) {
    Histogram h;
    h.Count(data, start, end, seqs, count, state);
    const bool difference = EstimateBits(h.difference, 256) < EstimateBits(h.plain, 256);
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "bit streams are written as little-endian words");
    memcpy(h.freq[LzeLiterals], difference ? h.difference : h.plain, sizeof(h.plain));
    const size_t literalCount = h.literals;

    uint32_t modes = 0;
    BitWriter tableBits;
    TableSlot chosen[LzeTableCount];
    uint32_t codes[LzeTableCount][256];
    for (int t = 0; t < LzeTableCount; ++t) {
        const int n = LzeAlphabet[t];
        const uint32_t* freq = h.freq[t];
        int used = 0, only = 0;
        for (int s = 0; s < n; ++s) {
            if (freq[s]) {
                ++used;
                only = s;
            }
        }
        const uint64_t keep = KeepCost(state.slot[t], freq, n, used, only);
        TableSlot fresh;
        fresh.have = true;
        uint64_t renew = UINT64_MAX;
        if (used >= 2) {
            HuffmanLengths(freq, n, t == LzeLiterals ? LzeMaxCodeLength : LzeMaxSequenceCodeLength, fresh.lengths);
            renew = DescribeTable(fresh.lengths, n, nullptr);
            for (int s = 0; s < n; ++s) renew += uint64_t(freq[s]) * fresh.lengths[s];
        }
        const uint64_t single = used <= 1 ? 9 : UINT64_MAX;
        const uint64_t raw = t == LzeLiterals ? 8 * uint64_t(literalCount) : UINT64_MAX;

        uint32_t mode = LzeKeepTable;
        uint64_t best = keep;
        if (single < best) {
            mode = LzeSingleSymbol;
            best = single;
        }
        if (renew < best) {
            mode = LzeNewTable;
            best = renew;
        }
        if (raw < best) mode = LzeRawLiterals;
        modes |= mode << (2 * t);
        chosen[t] = state.slot[t];
        if (mode == LzeNewTable) {
            chosen[t] = fresh;
            DescribeTable(fresh.lengths, n, &tableBits);
        } else if (mode == LzeSingleSymbol) {
            chosen[t] = TableSlot();
            chosen[t].have = true;
            chosen[t].single = only;
            tableBits.Put(uint32_t(only), 9);
        }
        if (chosen[t].single < 0) CanonicalCodes(chosen[t].lengths, n, codes[t]);
    }
    const Bytes tableSection = tableBits.Finish();

    // Literal values and the sequence streams, in one walk.
    Bytes values(literalCount);
    size_t valueCount = 0;
    BitWriter lw, ow;
    auto put = [&](BitWriter& w, int t, uint32_t symbol) {
        if (chosen[t].single < 0) w.Put(codes[t][symbol], chosen[t].lengths[symbol]);
    };
    WalkBlock(
        data, start, end, seqs, count, state.recent, state.lastLength,
        [&](size_t pos, uint8_t value) { values[valueCount++] = difference ? value : data[pos]; },
        [&](const Sequence& s, int repeat, uint32_t last) {
            uint32_t v = s.literals;
            put(lw, LzeLiteralLengthSlot(last), ValueCode(v, 4));
            uint32_t extra = ValueExtra(v, 4);
            lw.Put(v & ((1u << extra) - 1), extra);
            v = s.length - 1;
            put(lw, LzeMatchLengthSlot(s.literals), ValueCode(v, 5));
            extra = ValueExtra(v, 5);
            lw.Put(v & ((1u << extra) - 1), extra);
            const int slot = LzeOffsetSlot(s.literals, s.length);
            if (repeat >= 0) {
                put(ow, slot, uint32_t(repeat));
            } else {
                put(ow, slot, DistanceCode(s.distance));
                v = s.distance - 1;
                extra = ValueExtra(v, 2);
                ow.Put(v & ((1u << extra) - 1), extra);
            }
        });
    const Bytes seqStreams[2] = {lw.Finish(), ow.Finish()};

    Bytes body;
    body.push_back(difference ? uint8_t(LzeDifferenceLiterals) : 0);
    Put24(body, modes);
    Put24(body, uint32_t(literalCount));
    Put24(body, uint32_t(count));
    body.push_back(uint8_t(tableSection.size()));
    body.push_back(uint8_t(tableSection.size() >> 8));
    Put24(body, uint32_t(seqStreams[0].size()));
    const bool rawLiterals = (modes & 3) == uint32_t(LzeRawLiterals);
    Bytes streams[4];
    if (!rawLiterals) {
        const TableSlot& lit = chosen[LzeLiterals];
        const size_t quarter = (literalCount + 3) / 4;
        for (int i = 0; i < 4; ++i) {
            const size_t first = std::min(quarter * i, literalCount);
            const size_t last = i == 3 ? literalCount : std::min(first + quarter, literalCount);
            BitWriter lw;
            if (lit.single < 0) {
                for (size_t k = first; k < last; ++k) lw.Put(codes[LzeLiterals][values[k]], lit.lengths[values[k]]);
            }
            streams[i] = lw.Finish();
            Put24(body, uint32_t(streams[i].size()));
        }
    }
    body.insert(body.end(), tableSection.begin(), tableSection.end());
    if (rawLiterals) {
        body.insert(body.end(), values.begin(), values.end());
    } else {
        for (const Bytes& s : streams) body.insert(body.end(), s.begin(), s.end());
    }
    for (const Bytes& q : seqStreams) body.insert(body.end(), q.begin(), q.end());
    for (int t = 0; t < LzeTableCount; ++t) state.slot[t] = chosen[t];
    return body;
}

// Block boundaries within a parsed region: halves are kept apart while
// their own tables pay for themselves.
class BlockSplitter {
public:
    BlockSplitter(const uint8_t* data, size_t start, size_t end, const std::vector<Sequence>& seqs,
                  const CoderState& state)
        : data_(data), end_(end), seqs_(seqs), states_(seqs.size() + 1), at_(seqs.size() + 1) {
        states_[0] = {{state.recent[0], state.recent[1], state.recent[2]}, state.lastLength};
        at_[0] = start;
        for (size_t k = 0; k < seqs.size(); ++k) {
            Entry e = states_[k];
            Advance(e.recent, seqs[k].distance);
            e.lastLength = seqs[k].length;
            states_[k + 1] = e;
            at_[k + 1] = at_[k] + seqs[k].literals + seqs[k].length;
        }
    }

    // Sequence indices where blocks start, the first being 0; no block
    // shorter than `smallest` bytes is made.
    std::vector<size_t> Cuts(size_t smallest, bool middleOnly) {
        smallest_ = smallest;
        middleOnly_ = middleOnly;
        std::vector<size_t> cuts;
        Split(0, seqs_.size(), Cost(0, seqs_.size()), cuts);
        return cuts;
    }

    // Where a block starting at sequence k starts, and where one ending
    // before it ends: the region's end after the last sequence.
    size_t Start(size_t k) const { return at_[k]; }
    size_t Position(size_t k) const { return k == seqs_.size() ? end_ : at_[k]; }

private:
    struct Entry {
        uint32_t recent[LzeRepeatCodes];
        uint32_t lastLength;
    };

    double Cost(size_t a, size_t b) {
        CoderState s;
        std::copy(states_[a].recent, states_[a].recent + LzeRepeatCodes, s.recent);
        s.lastLength = states_[a].lastLength;
        Histogram h;
        h.Count(data_, at_[a], Position(b), seqs_.data() + a, b - a, s);
        return EstimateBlock(h);
    }

    // The sequence index nearest to byte position `target` within (a, b].
    size_t Nearest(size_t a, size_t b, size_t target) const {
        size_t cut = size_t(std::upper_bound(at_.begin() + a + 1, at_.begin() + b, target) - at_.begin());
        if (cut > a + 1 && target - at_[cut - 1] < at_[cut] - target) --cut;
        return cut;
    }

    // Tries cuts at each sixteenth (or only the middle) and keeps the best
    // when it pays.
    void Split(size_t a, size_t b, double whole, std::vector<size_t>& cuts) {
        const size_t from = at_[a], to = Position(b);
        size_t best = 0;
        double bestLeft = 0, bestRight = 0, bestCost = whole;
        if (to - from >= 2 * smallest_ && b - a >= 2) {
            for (size_t t = middleOnly_ ? 8 : 1; t < (middleOnly_ ? 9u : 16u); ++t) {
                const size_t target = from + (to - from) * t / 16;
                if (target - from < smallest_ || to - target < smallest_) continue;
                const size_t cut = Nearest(a, b, target);
                if (cut <= a || cut >= b) continue;
                const double left = Cost(a, cut), right = Cost(cut, b);
                if (left + right < bestCost) {
                    best = cut;
                    bestCost = left + right;
                    bestLeft = left;
                    bestRight = right;
                }
            }
        }
        if (!best) {
            cuts.push_back(a);
            return;
        }
        Split(a, best, bestLeft, cuts);
        Split(best, b, bestRight, cuts);
    }

    const uint8_t* data_;
    size_t end_;
    size_t smallest_ = 0;
    bool middleOnly_ = false;
    const std::vector<Sequence>& seqs_;
    std::vector<Entry> states_;
    std::vector<size_t> at_;
};

// ---------------------------------------------------------------- prices

struct Prices {
    uint32_t symbol[LzeTableCount][256];
    bool difference = false;
    static const uint32_t kTabled = 1024;
    uint32_t literalLength[2][kTabled];  // by slot - LzeLiteralLengths
    uint32_t matchLength[2][kTabled];    // by slot - LzeMatchLengths

    void From(const Histogram& h) {
        difference = EstimateBits(h.difference, 256) < EstimateBits(h.plain, 256);
        for (int t = 0; t < LzeTableCount; ++t) {
            const uint32_t* freq = t == LzeLiterals ? (difference ? h.difference : h.plain) : h.freq[t];
            const int n = LzeAlphabet[t];
            uint64_t total = 0;
            int used = 0;
            for (int s = 0; s < n; ++s) {
                total += freq[s];
                used += freq[s] ? 1 : 0;
            }
            const double k = 1.0;
            const double all = double(total) + k * n;
            for (int s = 0; s < n; ++s) {
                double bits = std::log2(all / (freq[s] + k));
                if (used > 1 && bits < 1) bits = 1;
                symbol[t][s] = uint32_t(bits * kBit);
            }
        }
        for (int c = 0; c < 2; ++c) {
            for (uint32_t v = 0; v < kTabled; ++v) literalLength[c][v] = LiteralLengthSlow(LzeLiteralLengths + c, v);
            for (uint32_t n = 1; n < kTabled; ++n) matchLength[c][n] = MatchLengthSlow(LzeMatchLengths + c, n);
        }
    }
    uint32_t LiteralLengthSlow(int slot, uint32_t v) const {
        return symbol[slot][ValueCode(v, 4)] + ValueExtra(v, 4) * kBit;
    }
    uint32_t MatchLengthSlow(int slot, uint32_t n) const {
        return symbol[slot][ValueCode(n - 1, 5)] + ValueExtra(n - 1, 5) * kBit;
    }
    // Literal-length price after a match of `previous` bytes.
    uint32_t LiteralLength(uint32_t previous, uint32_t v) const {
        const int slot = LzeLiteralLengthSlot(previous);
        return v < kTabled ? literalLength[slot - LzeLiteralLengths][v] : LiteralLengthSlow(slot, v);
    }
    uint32_t MatchLength(uint32_t literals, uint32_t n) const {
        const int slot = LzeMatchLengthSlot(literals);
        return n < kTabled ? matchLength[slot - LzeMatchLengths][n] : MatchLengthSlow(slot, n);
    }
    uint32_t Offset(int slot, int repeat, uint32_t distance) const {
        if (repeat >= 0) return symbol[slot][repeat];
        return symbol[slot][DistanceCode(distance)] + ValueExtra(distance - 1, 2) * kBit;
    }
    uint32_t Literal(uint8_t value) const { return symbol[LzeLiterals][value]; }
};

// ---------------------------------------------------------------- matching

struct Match {
    uint32_t length;
    uint32_t distance;
};

class TreeMatcher {
public:
    TreeMatcher(const uint8_t* data, size_t size, int windowLog, uint32_t depth, uint32_t nice)
        : data_(data), size_(size), depth_(depth), nice_(nice) {
        int cycleLog = windowLog;
        while (cycleLog > 10 && (size_t(1) << (cycleLog - 1)) >= size) --cycleLog;
        cycle_ = uint32_t(1) << cycleLog;
        son_.assign(size_t(2) * cycle_, 0);
        hashBits_ = std::min(22, std::max(12, cycleLog - 2));
        head_.assign(size_t(1) << hashBits_, 0);
        head3_.assign(size_t(1) << 16, 0);
    }

    // Matches at pos with strictly growing lengths, each at least 3; every
    // position is passed once, in order.
    size_t Find(uint32_t pos, Match* out) {
        const size_t avail = size_ - pos;
        if (avail < 4) return 0;
        const uint8_t* const p = data_ + pos;
        const uint32_t limit = uint32_t(std::min<size_t>(nice_, avail));
        size_t n = 0;
        uint32_t best = 2;

        const uint32_t h3 = (Load32(p) & 0xFFFFFF) * 0x9E3779B1u >> 16;
        const uint32_t c3 = head3_[h3];
        head3_[h3] = pos + 1;
        if (c3) {
            const uint32_t d = pos + 1 - c3;
            if (d < cycle_ && d <= 0xFFFF) {
                const uint32_t len = uint32_t(CommonLength(p, p - d, limit));
                if (len >= 3) {
                    out[n++] = {len, d};
                    best = len;
                }
            }
        }

        const uint32_t h = Load32(p) * 0x9E3779B1u >> (32 - hashBits_);
        uint32_t candidate = head_[h];
        head_[h] = pos + 1;
        uint32_t* less = &son_[2 * (pos & (cycle_ - 1))];
        uint32_t* more = less + 1;
        uint32_t lessLen = 0, moreLen = 0;
        for (uint32_t depth = depth_; candidate && depth > 0; --depth) {
            const uint32_t c = candidate - 1;
            const uint32_t d = pos - c;
            if (d >= cycle_) break;
            uint32_t* const pair = &son_[2 * (c & (cycle_ - 1))];
            const uint8_t* const q = data_ + c;
            uint32_t len = std::min(lessLen, moreLen);
            if (q[len] == p[len]) {
                len = uint32_t(len + 1 + CommonLength(p + len + 1, q + len + 1, limit - len - 1));
                if (len > best) {
                    best = len;
                    out[n++] = {len, d};
                }
                if (len >= limit) {
                    *less = pair[0];
                    *more = pair[1];
                    return n;
                }
            }
            if (q[len] < p[len]) {
                *less = candidate;
                less = pair + 1;
                candidate = *less;
                lessLen = len;
            } else {
                *more = candidate;
                more = pair;
                candidate = *more;
                moreLen = len;
            }
        }
        *less = 0;
        *more = 0;
        return n;
    }

    uint32_t Nice() const { return nice_; }

private:
    const uint8_t* data_;
    size_t size_;
    uint32_t depth_;
    uint32_t nice_;
    uint32_t cycle_;
    int hashBits_;
    std::vector<uint32_t> son_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> head3_;
};


// ---------------------------------------------------------------- parsing

// Hashed lazy parsing, one candidate per hash.
class FastParser {
public:
    FastParser(const uint8_t* data, size_t size, int windowLog)
        : data_(data), size_(size), window_(uint32_t(1) << windowLog) {
        table_.assign(size_t(1) << kHashBits, 0);
    }

    void Parse(size_t start, size_t end, const CoderState& state, std::vector<Sequence>& out) {
        const uint8_t* const base = data_;
        uint32_t recent[LzeRepeatCodes];
        std::copy(state.recent, state.recent + LzeRepeatCodes, recent);
        size_t ip = start, anchor = start;
        // Hashing reads 8 bytes; positions nearer the end stay literals.
        const size_t stop = end >= 8 && size_ >= 8 ? std::min(end, size_ - 8) : start;
        while (ip < stop) {
            const uint8_t* const p = base + ip;
            uint32_t length = 0, distance = 0;
            size_t at = ip;
            const uint32_t r0 = recent[0];
            if (r0 <= ip && Load32(p + 1 - r0) == Load32(p + 1)) {
                // The last distance again, one byte on: common in tables.
                at = ip + 1;
                length = uint32_t(CommonLength(p + 1, p + 1 - r0, end - at));
                distance = r0;
            }
            const uint32_t h = Hash(p);
            const uint32_t c = table_[h];
            table_[h] = uint32_t(ip);
            if (length < 4 && c < ip && ip - c <= window_ && Load32(base + c) == Load32(p)) {
                at = ip;
                length = uint32_t(CommonLength(p, base + c, end - ip));
                distance = uint32_t(ip - c);
                // One step of laziness.
                if (ip + 1 < stop) {
                    const uint32_t h1 = Hash(p + 1);
                    const uint32_t c1 = table_[h1];
                    table_[h1] = uint32_t(ip + 1);
                    if (c1 < ip + 1 && ip + 1 - c1 <= window_ && Load32(base + c1) == Load32(p + 1)) {
                        const uint32_t l1 = uint32_t(CommonLength(p + 1, base + c1, end - ip - 1));
                        if (l1 > length + 1) {
                            at = ip + 1;
                            length = l1;
                            distance = uint32_t(ip + 1 - c1);
                        }
                    }
                }
            }
            if (length < 4) {
                ip += 1 + ((ip - anchor) >> 7);
                continue;
            }
            // Grow backwards over literals that match too.
            while (at > anchor && at > distance && base[at - 1] == base[at - 1 - distance]) {
                --at;
                ++length;
            }
            out.push_back({uint32_t(at - anchor), length, distance});
            Advance(recent, distance);
            ip = at + length;
            anchor = ip;
            if (ip < stop) table_[Hash(base + ip - 2)] = uint32_t(ip - 2);
        }
    }

private:
    static const int kHashBits = 20;
    static uint32_t Hash(const uint8_t* p) {
        return uint32_t(((Load64(p) << 24) * 0x9E3779B185EBCA87ull) >> (64 - kHashBits));
    }

    const uint8_t* data_;
    size_t size_;
    uint32_t window_;
    std::vector<uint32_t> table_;
};

// Optimal parsing over the matches of every position, priced from the
// counts of the previous pass.
class OptimalParser {
public:
    OptimalParser(const uint8_t* data, size_t size, int windowLog)
        : data_(data),
          window_(uint32_t(1) << windowLog),
          matcher_(data, size, windowLog, kDepth, kNice),
          nodes_(kSegment + kNice + 2) {}

    void Parse(size_t start, size_t end, const CoderState& state, std::vector<Sequence>& out) {
        Gather(start, end);
        Histogram h;
        if (!havePrices_) {
            Greedy(start, end, out);
            h.Count(data_, start, end, out.data(), out.size(), state);
            prices_.From(h);
            havePrices_ = true;
        }
        // The second pass is priced from the first one's counts.
        for (int pass = 0; pass < 2; ++pass) {
            out.clear();
            Optimal(start, end, state, out);
            h.Count(data_, start, end, out.data(), out.size(), state);
            prices_.From(h);
        }
    }

private:
    // Tree nodes visited per position; a match this long is taken at once;
    // the longest stretch priced in one go.
    static const uint32_t kDepth = 64;
    static const uint32_t kNice = 320;
    static const uint32_t kSegment = 4096;

    struct Node {
        uint32_t cost;
        uint32_t literals;  // pending literal run
        uint32_t from;
        uint32_t length;  // 0 for a literal step
        uint32_t distance;
        uint32_t lastLength;
        uint32_t recent[LzeRepeatCodes];
    };

    void Gather(size_t start, size_t end) {
        first_.resize(end - start + 1);
        found_.clear();
        Match buffer[kNice + 8];
        for (size_t pos = start; pos < end; ++pos) {
            first_[pos - start] = uint32_t(found_.size());
            const size_t n = matcher_.Find(uint32_t(pos), buffer);
            found_.insert(found_.end(), buffer, buffer + n);
        }
        first_[end - start] = uint32_t(found_.size());
    }

    // Longest match everywhere: prices for a first block.
    void Greedy(size_t start, size_t end, std::vector<Sequence>& out) {
        size_t pos = start, anchor = start;
        while (pos < end) {
            const size_t i = pos - start;
            if (first_[i + 1] > first_[i]) {
                const Match& m = found_[first_[i + 1] - 1];
                const uint32_t length = uint32_t(std::min<size_t>(m.length, end - pos));
                if (length >= 4) {
                    out.push_back({uint32_t(pos - anchor), length, m.distance});
                    pos += length;
                    anchor = pos;
                    continue;
                }
            }
            ++pos;
        }
    }

    void Relax(size_t to, uint32_t cost, const Node& from, uint32_t fromIndex, uint32_t length,
               uint32_t distance, size_t& last) {
        while (last < to) nodes_[++last].cost = kInfinite;
        Node& n = nodes_[to];
        if (cost >= n.cost) return;
        n.cost = cost;
        n.from = fromIndex;
        n.length = length;
        n.distance = distance;
        std::copy(from.recent, from.recent + LzeRepeatCodes, n.recent);
        if (length) {
            n.literals = 0;
            n.lastLength = length;
            Advance(n.recent, distance);
        } else {
            n.literals = from.literals + 1;
            n.lastLength = from.lastLength;
        }
    }

    // Emits the path ending at node `end` of a segment starting at pos.
    void Commit(size_t pos, size_t end, size_t& anchor, std::vector<Sequence>& out) {
        steps_.clear();
        for (size_t i = end; i > 0; i = nodes_[i].from) steps_.push_back(uint32_t(i));
        for (size_t k = steps_.size(); k-- > 0;) {
            const Node& n = nodes_[steps_[k]];
            if (!n.length) continue;
            const size_t matchStart = pos + steps_[k] - n.length;
            out.push_back({uint32_t(matchStart - anchor), n.length, n.distance});
            anchor = matchStart + n.length;
        }
    }

    void Optimal(size_t start, size_t end, const CoderState& state, std::vector<Sequence>& out) {
        const Prices& pr = prices_;
        size_t pos = start, anchor = start;
        Node origin;
        std::copy(state.recent, state.recent + LzeRepeatCodes, origin.recent);
        origin.lastLength = state.lastLength;
        while (pos < end) {
            origin.literals = uint32_t(pos - anchor);
            origin.cost = pr.LiteralLength(origin.lastLength, origin.literals);
            origin.length = 0;
            origin.from = 0;
            nodes_[0] = origin;
            size_t last = 0, cur = 0;
            size_t longLength = 0;
            uint32_t longDistance = 0;
            for (;; ++cur) {
                if ((cur == last && cur > 0) || pos + cur >= end) break;
                if (cur >= kSegment) {
                    cur = last;
                    break;
                }
                const Node node = nodes_[cur];
                const size_t p = pos + cur;
                const uint8_t* const here = data_ + p;
                const size_t room = end - p;
                const uint8_t value = pr.difference ? uint8_t(*here - Reference(data_, p, node.recent[0])) : *here;
                Relax(cur + 1,
                      node.cost - pr.LiteralLength(node.lastLength, node.literals) +
                          pr.LiteralLength(node.lastLength, node.literals + 1) + pr.Literal(value),
                      node, uint32_t(cur), 0, 0, last);
                // After a match, an empty literal run is priced at once.
                const uint32_t afterShort = pr.LiteralLength(1, 0), afterLong = pr.LiteralLength(LzeShortMatch, 0);
                const int slotShort = LzeOffsetSlot(node.literals, 1);
                const int slotLong = LzeOffsetSlot(node.literals, LzeShortMatch);
                // Recent distances.
                for (int r = 0; r < LzeRepeatCodes; ++r) {
                    const uint32_t d = node.recent[r];
                    if (d > p || d > window_ || RecentIndex(node.recent, d) != r) continue;
                    const size_t len = CommonLength(here, here - d, std::min<size_t>(room, kNice));
                    if (len >= kNice) {
                        longLength = CommonLength(here, here - d, room);
                        longDistance = d;
                        break;
                    }
                    const uint32_t shortBase = node.cost + pr.Offset(slotShort, r, d) + afterShort;
                    const uint32_t longBase = node.cost + pr.Offset(slotLong, r, d) + afterLong;
                    for (uint32_t l = r == 0 ? 1 : 2; l <= len; ++l) {
                        const uint32_t base = l < uint32_t(LzeShortMatch) ? shortBase : longBase;
                        Relax(cur + l, base + pr.MatchLength(node.literals, l), node, uint32_t(cur), l, d, last);
                    }
                }
                if (longLength) break;
                // Found matches.
                const size_t i = p - start;
                uint32_t shorter = 2;
                for (uint32_t k = first_[i]; k < first_[i + 1]; ++k) {
                    const Match& m = found_[k];
                    const uint32_t len = uint32_t(std::min<size_t>(m.length, room));
                    if (len <= shorter) continue;
                    if (len >= kNice) {
                        longLength = CommonLength(here, here - m.distance, room);
                        longDistance = m.distance;
                        break;
                    }
                    const int repeat = RecentIndex(node.recent, m.distance);
                    const uint32_t shortBase = node.cost + pr.Offset(slotShort, repeat, m.distance) + afterShort;
                    const uint32_t longBase = node.cost + pr.Offset(slotLong, repeat, m.distance) + afterLong;
                    for (uint32_t l = shorter + 1; l <= len; ++l) {
                        const uint32_t base = l < uint32_t(LzeShortMatch) ? shortBase : longBase;
                        Relax(cur + l, base + pr.MatchLength(node.literals, l), node, uint32_t(cur), l,
                              m.distance, last);
                    }
                    shorter = len;
                }
                if (longLength) break;
            }
            Commit(pos, cur, anchor, out);
            origin.lastLength = nodes_[cur].lastLength;
            std::copy(nodes_[cur].recent, nodes_[cur].recent + LzeRepeatCodes, origin.recent);
            pos += cur;
            if (longLength) {
                out.push_back({uint32_t(pos - anchor), uint32_t(longLength), longDistance});
                Advance(origin.recent, longDistance);
                origin.lastLength = uint32_t(longLength);
                pos += longLength;
                anchor = pos;
            }
        }
    }

    const uint8_t* data_;
    uint32_t window_;
    TreeMatcher matcher_;
    std::vector<Node> nodes_;
    std::vector<uint32_t> first_;
    std::vector<Match> found_;
    std::vector<uint32_t> steps_;
    Prices prices_;
    bool havePrices_ = false;
};

// Sorted, merged, non-empty filter ranges within the input.
std::vector<std::pair<size_t, size_t>> MergeRanges(std::vector<std::pair<size_t, size_t>> ranges,
                                                    size_t size) {
    std::vector<std::pair<size_t, size_t>> merged;
    for (auto r : ranges) {
        r.second = std::min(r.second, size);
        if (r.first >= r.second) continue;
        if (!merged.empty() && r.first < merged.back().second) {
            throw std::invalid_argument("LzeEncode: filter ranges overlap or are out of order");
        }
        if (!merged.empty() && r.first == merged.back().second) {
            merged.back().second = r.second;
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

}  // namespace

bool LooksLikeX86Image(const uint8_t* data, size_t size) {
    const int64 at = PeHeadersOffset(data, int64(size));
    if (at < 0 || uint64_t(at) > size || size - size_t(at) < 6) return false;
    const uint8_t* const pe = data + at;
    if (memcmp(pe, "PE\0\0", 4) != 0) return false;
    const uint32_t machine = uint32_t(pe[4]) | uint32_t(pe[5]) << 8;
    return machine == 0x14C || machine == 0x8664;
}

std::vector<std::pair<size_t, size_t>> X86CodeRanges(const uint8_t* data, size_t size) {
    std::vector<std::pair<size_t, size_t>> ranges;
    if (!LooksLikeX86Image(data, size)) return ranges;
    auto read16 = [&](size_t at) { return at + 2 <= size ? uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 : 0u; };
    auto read32 = [&](size_t at) { return at + 4 <= size ? read16(at) | read16(at + 2) << 16 : 0u; };
    // COFF header after "PE\0\0": machine, section count, ..., size of
    // the optional header at 16; the 40-byte section headers follow it.
    const size_t coff = size_t(PeHeadersOffset(data, int64(size))) + 4;
    const uint32_t sections = read16(coff + 2);
    size_t header = coff + 20 + read16(coff + 16);
    for (uint32_t i = 0; i < sections && header + 40 <= size; ++i, header += 40) {
        const uint32_t rawSize = read32(header + 16), rawStart = read32(header + 20);
        const uint32_t characteristics = read32(header + 36);
        const bool code = (characteristics & 0x20) != 0 || (characteristics & 0x20000000) != 0;
        if (!code || rawStart >= size) continue;
        ranges.push_back({rawStart, std::min<size_t>(size, size_t(rawStart) + rawSize)});
    }
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<size_t, size_t>> merged;
    for (const auto& r : ranges) {
        if (r.first >= r.second) continue;
        if (!merged.empty() && r.first <= merged.back().second) {
            merged.back().second = std::max(merged.back().second, r.second);
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

std::vector<uint8_t> LzeEncode(const uint8_t* data, size_t size, const LzeOptions& options) {
    // The max level's trees take 8 bytes per window byte: a 32-bit builder
    // keeps to 16 MiB by default.
    const int maxDefault = sizeof(void*) >= 8 ? 26 : 24;
    int windowLog = options.windowLog ? options.windowLog : options.level == LzeLevel::Fast ? 24 : maxDefault;
    if (windowLog < LzeMinWindowLog || windowLog > LzeMaxWindowLog) {
        throw std::invalid_argument("LzeEncode: window log out of range");
    }
    while (windowLog > LzeMinWindowLog && (size_t(1) << (windowLog - 1)) >= size) --windowLog;
    // Positions are 32-bit.
    if (uint64_t(size) >= (uint64_t(1) << 32) - LzeMaxBlock) throw std::length_error("LzeEncode: input too large");

    const std::vector<std::pair<size_t, size_t>> ranges = MergeRanges(options.filterRanges, size);
    Bytes filtered;
    if (!ranges.empty()) {
        filtered.assign(data, data + size);
        for (const auto& r : ranges) {
            uint32_t position = 0;
            ApplyBranches(position, filtered.data() + r.first, r.second - r.first, true);
        }
        data = filtered.data();
    }

    Bytes out;
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(LzeMagic >> (8 * i)));
    out.push_back(1);
    out.push_back(uint8_t(windowLog));
    out.push_back(0);
    out.push_back(0);
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(uint64_t(size) >> (8 * i)));

    std::unique_ptr<FastParser> fast;
    std::unique_ptr<OptimalParser> optimal;
    if (options.level == LzeLevel::Fast) {
        fast.reset(new FastParser(data, size, windowLog));
    } else {
        optimal.reset(new OptimalParser(data, size, windowLog));
    }
    // The fast level cuts less finely: each try costs a count of the block.
    const size_t smallest = options.level == LzeLevel::Fast ? 131072 : 8192;
    CoderState state;
    std::vector<Sequence> seqs;
    size_t nextRange = 0;
    size_t pos = 0;
    while (pos < size) {
        // A region is parsed at once, then cut into blocks; regions end
        // where a filtered range starts or ends.
        size_t end = std::min(size, pos + size_t(LzeMaxBlock));
        bool filter = false;
        while (nextRange < ranges.size() && ranges[nextRange].second <= pos) ++nextRange;
        if (nextRange < ranges.size()) {
            const auto& r = ranges[nextRange];
            if (r.first > pos) {
                end = std::min(end, r.first);
            } else {
                filter = true;
                end = std::min(end, r.second);
            }
        }
        seqs.clear();
        if (fast) {
            fast->Parse(pos, end, state, seqs);
        } else {
            optimal->Parse(pos, end, state, seqs);
        }
        BlockSplitter splitter(data, pos, end, seqs, state);
        std::vector<size_t> cuts = splitter.Cuts(smallest, fast != nullptr);
        cuts.push_back(seqs.size());
        for (size_t c = 0; c + 1 < cuts.size(); ++c) {
            const size_t from = splitter.Start(cuts[c]);
            const size_t to = c + 2 == cuts.size() ? end : splitter.Position(cuts[c + 1]);
            CoderState next = state;
            Bytes body = EncodeBody(data, from, to, seqs.data() + cuts[c], cuts[c + 1] - cuts[c], next);
            uint8_t flags = filter ? uint8_t(LzeFiltered) : 0;
            if (body.size() >= to - from) {
                // Stored: the decoder's state stays as it was.
                body.assign(data + from, data + to);
                flags |= LzeStored;
            } else {
                state = next;
                flags |= LzeCompressed;
            }
            out.push_back(flags);
            Put24(out, uint32_t(to - from - 1));
            Put24(out, uint32_t(body.size()));
            out.insert(out.end(), body.begin(), body.end());
        }
        pos = end;
        if (options.progress) options.progress(pos, size);
    }
    if (options.progress && size == 0) options.progress(0, 0);
    return out;
}
