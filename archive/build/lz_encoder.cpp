#include "archive/build/lz_encoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "archive/lz_codec.h"

namespace {

thread_local const LzProgress* tProgress = nullptr;

// Reports every kStep input bytes; the encoders call Reach as they go.
class Progress {
public:
    explicit Progress(size_t total) : total_(total), next_(kStep) {}
    void Reach(size_t done) {
        if (done < next_ || !tProgress || !*tProgress) return;
        (*tProgress)(done, total_);
        next_ = done + kStep;
    }
    void Done() {
        if (tProgress && *tProgress) (*tProgress)(total_, total_);
    }

private:
    static constexpr size_t kStep = size_t(1) << 18;
    size_t total_, next_;
};

const uint32_t kMinDistance = 4;
const uint32_t kMaxNearDistance = 65539;
const uint32_t kMaxDistance = 16777219;
const uint32_t kMaxMatch = 65538;
const uint32_t kMaxShortFormMatch = 34;
const uint32_t kMinRun = 3;
const uint32_t kMaxRun = 66;
const size_t kMaxShortLiteral = 63;
const size_t kMaxLongLiteral = 16383;

// Bytes a match opcode takes.
inline uint32_t MatchBytes(uint32_t length, uint32_t distance) {
    uint32_t bytes = (length >= 4 && length <= kMaxShortFormMatch) ? 3 : 5;
    return distance > kMaxNearDistance ? bytes + 1 : bytes;
}

// Literal-stretch header bytes for n literals, split the way Writer splits.
inline uint32_t LiteralHeaderBytes(size_t n) {
    size_t full = n / kMaxLongLiteral, rest = n % kMaxLongLiteral;
    return uint32_t(2 * full + (rest == 0 ? 0 : rest <= kMaxShortLiteral ? 1 : 2));
}

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
}
inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

// Length of the common prefix of a and b, at most limit bytes.
inline size_t CommonLength(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x = Load64(a + n) ^ Load64(b + n);
        if (x) return n + (__builtin_ctzll(x) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

class Writer {
public:
    // reserve: the room to take at once (a whole block, or a streamed
    // block's next few pieces).
    Writer(size_t size, size_t reserve) {
        out_.reserve(reserve);
        Put32(CompressionMagic);
        Put32(uint32_t(size));
    }

    void Literals(const uint8_t* p, size_t n) {
        while (n > 0) {
            size_t chunk = std::min(n, kMaxLongLiteral);
            if (chunk <= kMaxShortLiteral) {
                out_.push_back(uint8_t(0x40 | chunk));
            } else {
                out_.push_back(uint8_t(0x80 | (chunk & 63)));
                out_.push_back(uint8_t(chunk >> 6));
            }
            out_.insert(out_.end(), p, p + chunk);
            p += chunk;
            n -= chunk;
        }
    }

    void Run(uint8_t value, uint32_t n) {
        out_.push_back(uint8_t(n - kMinRun));
        out_.push_back(value);
    }

    void Match(uint32_t length, uint32_t distance) {
        uint32_t field = distance - kMinDistance;
        uint8_t control = distance > kMaxNearDistance ? 0xE0 : 0xC0;
        if (length >= 4 && length <= kMaxShortFormMatch) {
            out_.push_back(uint8_t(control | (length - 3)));
        } else {
            out_.push_back(control);
            out_.push_back(uint8_t(length - 3));
            out_.push_back(uint8_t((length - 3) >> 8));
        }
        out_.push_back(uint8_t(field));
        out_.push_back(uint8_t(field >> 8));
        if (distance > kMaxNearDistance) out_.push_back(uint8_t(field >> 16));
    }

    std::vector<uint8_t> Take() { return std::move(out_); }
    std::vector<uint8_t>& Bytes() { return out_; }

private:
    void Put32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(uint8_t(v >> (8 * i)));
    }
    std::vector<uint8_t> out_;
};

struct Candidate {
    uint32_t length;
    uint32_t distance;
};

// The input an encoder reads, at absolute positions: all of it, or, while
// a block streams in, the stretch [base, base + held) still needed.
struct Window {
    const uint8_t* bytes = nullptr;
    size_t base = 0;
    const uint8_t* At(size_t p) const { return bytes + (p - base); }
    uint8_t operator[](size_t p) const { return bytes[p - base]; }
};

// Stretches where the data repeats with a short period d. A match may not
// overlap its own output, so inside such a stretch the useful distance is
// the largest multiple of d that still starts inside the stretch, which lets
// a long stretch be covered in a few doubling steps instead of d-byte bites.
class PeriodicRegion {
public:
    PeriodicRegion(const Window& data, size_t size) : data_(data), size_(size) {}

    // Called when the bytes at pos repeat those distance bytes earlier for
    // more than distance bytes. Adds up to two candidates: the farthest
    // usable distance and the farthest one with a 16-bit field.
    void AddCandidates(size_t pos, size_t distance, std::vector<Candidate>& out) {
        if (!Covers(pos)) Detect(pos, distance);
        if (!Covers(pos)) return;
        ExtendTo(pos);
        size_t reach = std::min(pos - start_, size_t(kMaxDistance));
        size_t reachNear = std::min(reach, size_t(kMaxNearDistance));
        size_t ahead = std::min(end_ - pos, size_t(kMaxMatch));
        for (size_t r : {reachNear, reach}) {
            size_t dist = r / period_ * period_;
            if (dist < kMinDistance) continue;
            size_t length = std::min(dist, ahead);
            if (length >= 4) out.push_back({uint32_t(length), uint32_t(dist)});
        }
    }

private:
    bool Covers(size_t pos) const { return period_ && pos >= start_ + period_ && pos < end_; }

    void Detect(size_t pos, size_t distance) {
        period_ = distance;
        size_t j = pos - distance;
        size_t floor = j > kMaxDistance ? j - kMaxDistance : 0;
        while (j > floor && data_[j - 1] == data_[j - 1 + distance]) --j;
        start_ = j;
        end_ = pos;
        open_ = true;
        ExtendTo(pos);
    }

    // Keeps the known end at least a few longest matches ahead of pos.
    void ExtendTo(size_t pos) {
        if (!open_ || end_ - pos >= 2 * size_t(kMaxMatch)) return;
        size_t stop = std::min(size_, pos + 4 * size_t(kMaxMatch));
        size_t j = end_;
        while (j < stop && data_[j] == data_[j - period_]) ++j;
        open_ = j == stop && stop < size_;
        end_ = j;
    }

    const Window& data_;
    size_t size_;
    size_t period_ = 0, start_ = 0, end_ = 0;
    bool open_ = false;
};

// Bytes equal to p[0] from p on, at most `limit` (which p must hold).
inline size_t RunLength(const uint8_t* p, size_t limit) {
    size_t n = 1;
    while (n < limit && p[n] == p[0]) ++n;
    return n;
}

inline int HashBits(size_t size, int most) {
    int bits = 12;
    while (bits < most && (size_t(1) << bits) < size) ++bits;
    return bits;
}

// ---------------------------------------------------------------------------
// Fast level: two hash tables, one keyed by 8 bytes (long and far matches)
// and one by 4 (short ones), looked up once per position; greedy, with one
// look at the next position's long key when the match is short; matches
// grow backwards into the pending literals; the step grows through data
// that does not compress; periodic stretches and byte runs handled directly.
//
// A table entry packs a position's low 24 bits (enough to reach across the
// window) with one byte of its key, so that most wrong candidates are
// dropped without touching the input, whose reads are the costly ones.

class FastEncoder {
public:
    // Reads must stay this far behind the input that has arrived: the
    // longest forward look is a periodic stretch's (four longest matches).
    static constexpr size_t kLookahead = 4 * size_t(kMaxMatch) + 64;
    // ... and keep this much behind the position: a periodic stretch is
    // traced back up to the farthest distance from a candidate that far.
    static constexpr size_t kHistory = (size_t(1) << 24) + kMaxDistance + 64;

    FastEncoder(const Window& data, size_t size, size_t reserve)
        : data_(data), size_(size), region_(data, size), writer_(size, reserve), progress_(size) {
        shortBits_ = HashBits(size, 16);
        longBits_ = HashBits(size, 20);
        short_.assign(size_t(1) << shortBits_, 0);
        long_.assign(size_t(1) << longBits_, 0);
    }

    // Encodes the positions before `limit`; the input must be there up to
    // limit + kLookahead, or to its end. Called with rising limits, it
    // makes the same bytes as one call with the whole input.
    void Advance(size_t limit) {
        if (size_ < 16) return;  // literals only, at Finish
        const size_t last = size_ - 8;  // every key reads 8 bytes
        size_t pos = pos_, anchor = anchor_;
        while (pos <= last && pos < limit) {
            progress_.Reach(pos);
            Choice best;
            Search(pos, anchor, best);
            if (best.savings <= 0) {
                // Skip faster the longer nothing has been found, though
                // not past a later repeat of these bytes: it finds them
                // only where this pass left a key.
                pos += 1 + std::min<size_t>((pos - anchor) >> 7, 15);
                continue;
            }
            if (best.length < 16 && best.start == pos && pos + 1 <= last) {
                Choice next;
                next.savings = best.savings + 1;  // must do better
                LookLong(pos + 1, anchor, next);
                if (next.length) best = next;
            }
            writer_.Literals(data_.At(anchor), best.start - anchor);
            if (best.distance == 0) {
                writer_.Run(data_[best.start], best.length);
            } else {
                writer_.Match(best.length, best.distance);
            }
            // Remember the positions just covered: the next repeat of
            // this stretch is then found at a short distance. Inside long
            // ones, the ends are enough.
            size_t end = best.start + best.length;
            size_t stop = std::min(end, last + 1);
            for (size_t p = pos + 1; p < stop; ++p) {
                if (p == pos + 32 && stop - p > 32) p = stop - 32;
                Insert(p);
            }
            pos = anchor = end;
        }
        pos_ = pos;
        anchor_ = anchor;
    }

    // Writes the pending literals a match could no longer reach back into,
    // in whole long-literal opcodes, as the final write would split them.
    void WriteOldLiterals() {
        if (pos_ < anchor_ + kMaxMatch) return;
        size_t n = (pos_ - kMaxMatch - anchor_) / kMaxLongLiteral * kMaxLongLiteral;
        writer_.Literals(data_.At(anchor_), n);
        anchor_ += n;
    }

    // The first position the encoder may still read.
    size_t Needed() const { return std::min(anchor_, pos_ > kHistory ? pos_ - kHistory : 0); }

    void Finish() {
        Advance(size_);
        writer_.Literals(data_.At(anchor_), size_ - anchor_);
        anchor_ = pos_ = size_;
    }

    Writer& Output() { return writer_; }

private:
    struct Choice {
        size_t start = 0;
        uint32_t length = 0;
        uint32_t distance = 0;  // 0: a run
        int savings = 0;
    };

    static uint32_t Tag(uint64_t key) { return uint32_t(key >> 24) & 0xFF; }
    static uint32_t Entry(size_t p, uint64_t key) { return uint32_t(p) << 8 | Tag(key); }
    // The entry's position when its tag matches the key, else pos itself
    // (distance 0, which no candidate may have).
    static size_t Stored(uint32_t entry, size_t pos, uint64_t key) {
        if ((entry & 0xFF) != Tag(key)) return pos;
        return pos - ((uint32_t(pos) - (entry >> 8)) & 0xFFFFFF);
    }

    uint32_t ShortHash(uint64_t key) const { return (uint32_t(key) * 2654435761u) >> (32 - shortBits_); }
    uint32_t LongHash(uint64_t key) const { return uint32_t((key * 0x9E3779B185EBCA87ull) >> (64 - longBits_)); }
    void Insert(size_t p) {
        uint64_t key = Load64(data_.At(p));
        short_[ShortHash(key)] = long_[LongHash(key)] = Entry(p, key);
    }

    // A match instead of literals: what it saves, less a byte for splitting
    // a literal stretch, less a little for far matches (each costs the
    // decoder a cache miss).
    static int Savings(uint32_t length, uint32_t distance) {
        int savings = int(length) - int(distance ? MatchBytes(length, distance) : 2) - 1;
        return savings - (distance > (1u << 21) ? 2 : distance > (1u << 18) ? 1 : 0);
    }

    void Rate(Choice& best, size_t start, uint32_t length, uint32_t distance) {
        int savings = Savings(length, distance);
        if (savings > best.savings) best = {start, length, distance, savings};
    }

    // The candidate position cand for pos, its match grown backwards down to
    // the anchor. A candidate from before the start of the input (an empty
    // entry read as a position) is no candidate.
    void Consider(Choice& best, size_t pos, size_t cand, size_t anchor) {
        size_t distance = pos - cand;
        if (distance == 0 || distance > pos || distance > kMaxDistance ||
            Load32(data_.At(pos)) != Load32(data_.At(cand))) {
            return;
        }
        size_t limit = std::min(size_ - pos, size_t(kMaxMatch) + 1);
        size_t raw = 4 + CommonLength(data_.At(pos + 4), data_.At(cand + 4), limit - 4);
        if (raw > distance) {
            // Too close to use directly, but it shows a periodic stretch.
            candidates_.clear();
            region_.AddCandidates(pos, distance, candidates_);
            for (const Candidate& c : candidates_) Rate(best, pos, c.length, c.distance);
        }
        if (distance < kMinDistance) return;
        size_t most = std::min(distance, size_t(kMaxMatch));
        size_t length = std::min(raw, most);
        size_t start = pos;
        while (start > anchor && start > distance && length < most &&
               data_[start - 1] == data_[start - 1 - distance]) {
            --start;
            ++length;
        }
        Rate(best, start, uint32_t(length), uint32_t(distance));
    }

    void LookLong(size_t pos, size_t anchor, Choice& best) {
        const uint64_t key = Load64(data_.At(pos));
        uint32_t& slot = long_[LongHash(key)];
        size_t cand = Stored(slot, pos, key);
        slot = Entry(pos, key);
        if (cand != pos && cand <= pos && Load64(data_.At(cand)) == key) Consider(best, pos, cand, anchor);
    }

    void Search(size_t pos, size_t anchor, Choice& best) {
        const uint64_t key = Load64(data_.At(pos));
        uint32_t& longSlot = long_[LongHash(key)];
        uint32_t& shortSlot = short_[ShortHash(key)];
        const size_t longCand = Stored(longSlot, pos, key);
        const size_t shortCand = Stored(shortSlot, pos, key);
        longSlot = shortSlot = Entry(pos, key);
        if (longCand < pos && Load64(data_.At(longCand)) == key) Consider(best, pos, longCand, anchor);
        if (best.length < 16 && shortCand < pos) Consider(best, pos, shortCand, anchor);
        if (best.length == 0 && data_[pos] == data_[pos + 1] && data_[pos] == data_[pos + 2]) {
            Rate(best, pos, uint32_t(RunLength(data_.At(pos), std::min(size_ - pos, size_t(kMaxRun)))), 0);
        }
    }

    const Window& data_;
    size_t size_;
    PeriodicRegion region_;
    Writer writer_;
    Progress progress_;
    int shortBits_, longBits_;
    std::vector<uint32_t> short_, long_;
    std::vector<Candidate> candidates_;
    size_t pos_ = 0, anchor_ = 0;
};

// ---------------------------------------------------------------------------
// Max level: binary-tree match finder over the whole window and a
// cost-based parse in chunks.

class BinaryTree {
public:
    BinaryTree(const uint8_t* data, size_t size, uint32_t depth, uint32_t nice)
        : data_(data), size_(size), depth_(depth), nice_(nice) {
        windowBits_ = 4;
        while (windowBits_ < 24 && (size_t(1) << windowBits_) < size) ++windowBits_;
        mask_ = (uint32_t(1) << windowBits_) - 1;
        son_.assign(size_t(2) << windowBits_, 0);
        hashBits_ = HashBits(size, 22);
        head_.assign(size_t(1) << hashBits_, 0);
    }

    // Inserts pos and, when `found` is given, appends the matches met on the
    // way, by increasing raw length (raw: not yet limited by the distance).
    void Insert(size_t pos, std::vector<Candidate>* found) {
        size_t remaining = size_ - pos;
        if (remaining < 4) return;
        uint32_t lenLimit = uint32_t(std::min(remaining, size_t(nice_)));
        uint32_t h = (Load32(data_ + pos) * 2654435761u) >> (32 - hashBits_);
        uint32_t cur = uint32_t(pos + 1);  // stored positions are offset by one
        uint32_t match = head_[h];
        head_[h] = cur;
        uint32_t* ptr0 = &son_[2 * (cur & mask_) + 1];
        uint32_t* ptr1 = &son_[2 * (cur & mask_)];
        uint32_t len0 = 0, len1 = 0, best = 0;
        const uint8_t* p = data_ + pos;
        for (uint32_t depth = depth_;; --depth) {
            uint32_t delta = cur - match;
            if (depth == 0 || match == 0 || delta > mask_) {
                *ptr0 = *ptr1 = 0;
                return;
            }
            uint32_t* pair = &son_[2 * (match & mask_)];
            const uint8_t* q = p - delta;
            uint32_t len = std::min(len0, len1);
            if (q[len] == p[len]) {
                len = uint32_t(len + 1 + CommonLength(p + len + 1, q + len + 1, lenLimit - len - 1));
                if (len > best) {
                    best = len;
                    // Distances below the minimum still reveal a periodic stretch.
                    if (found) found->push_back({len, delta});
                    if (len == lenLimit) {
                        *ptr1 = pair[0];
                        *ptr0 = pair[1];
                        return;
                    }
                }
            }
            if (q[len] < p[len]) {
                *ptr1 = match;
                ptr1 = pair + 1;
                match = *ptr1;
                len1 = len;
            } else {
                *ptr0 = match;
                ptr0 = pair;
                match = *ptr0;
                len0 = len;
            }
        }
    }

    uint32_t Nice() const { return nice_; }

private:
    const uint8_t* data_;
    size_t size_;
    uint32_t depth_, nice_;
    int windowBits_, hashBits_;
    uint32_t mask_;
    std::vector<uint32_t> son_, head_;
};

class OptimalEncoder {
public:
    OptimalEncoder(const uint8_t* data, size_t size)
        : data_(data), size_(size), window_{data, 0}, tree_(data, size, 128, 512), region_(window_, size),
          writer_(size, size + size / 128 + 64), progress_(size) {
        nodes_.assign(2 * (kChunk + kMaxMatch + 2), Node{kInfinity, 0, 0, 0, 0});
    }

    std::vector<uint8_t> Run() {
        size_t pos = 0;
        anchor_ = 0;
        while (pos < size_) {
            progress_.Reach(pos);
            pos = Chunk(pos);
        }
        writer_.Literals(data_ + anchor_, size_ - anchor_);
        return writer_.Take();
    }

private:
    static constexpr size_t kChunk = 4096;
    static constexpr uint32_t kUnit = 16;  // prices are in sixteenths of a byte
    static constexpr uint32_t kInfinity = 0xFFFFFFFFu;

    // Two states per position: just after a match or run (0), or inside
    // a literal stretch (1). The next literal costs a header byte more in
    // the first, so a cheaper path in one state does not make the other
    // useless.
    struct Node {
        uint32_t price;
        uint32_t length;    // step that reached this node; 1 with distance 0: literal
        uint32_t distance;  // 0 with length > 1: a run
        uint32_t literals;  // pending literal count (state 1)
        uint32_t from;      // state of the node the step came from
    };
    Node& At(size_t i, uint32_t state) { return nodes_[2 * i + state]; }

    // Far matches cost the decoder a cache miss each; make them earn it.
    // Every match also costs a quarter byte, so that of two parses of about
    // the same size the one with fewer opcodes (faster to decode) wins.
    static uint32_t FarPenalty(uint32_t distance) {
        return distance > (1u << 21) ? kUnit : distance > (1u << 18) ? kUnit / 2 : 0;
    }
    static uint32_t MatchPrice(uint32_t length, uint32_t distance) {
        return MatchBytes(length, distance) * kUnit + FarPenalty(distance) + kUnit / 4;
    }
    static uint32_t LiteralPrice(uint32_t pending) {
        return (1 + LiteralHeaderBytes(pending + 1) - LiteralHeaderBytes(pending)) * kUnit;
    }

    void Relax(size_t i, uint32_t state, uint32_t price, uint32_t length, uint32_t distance,
               uint32_t literals, uint32_t from) {
        Node& n = At(i, state);
        if (price < n.price) n = {price, length, distance, literals, from};
        if (i > touched_) touched_ = i;
    }

    // Matches at pos, by increasing length with the smallest distance for each.
    void Gather(size_t pos) {
        raw_.clear();
        tree_.Insert(pos, &raw_);
        matches_.clear();
        bool periodic = false;
        for (const Candidate& c : raw_) {
            if (c.length > c.distance) periodic = true;
            matches_.push_back({std::min(c.length, c.distance), c.distance});
        }
        // The tree stops comparing at its nice length; a long match may go on.
        if (!raw_.empty() && raw_.back().length == tree_.Nice() &&
            raw_.back().distance >= tree_.Nice()) {
            Candidate& c = matches_.back();
            size_t limit = std::min({size_ - pos, size_t(kMaxMatch), size_t(c.distance)});
            c.length = uint32_t(CommonLength(data_ + pos, data_ + pos - c.distance, limit));
        }
        if (periodic) region_.AddCandidates(pos, Period(), matches_);
        std::sort(matches_.begin(), matches_.end(), [](const Candidate& a, const Candidate& b) {
            return a.distance != b.distance ? a.distance < b.distance : a.length > b.length;
        });
        size_t kept = 0;
        for (const Candidate& c : matches_) {
            if (c.length >= 4 && (kept == 0 || c.length > matches_[kept - 1].length)) {
                matches_[kept++] = c;
            }
        }
        matches_.resize(kept);
    }

    // The smallest distance whose raw match ran past the distance itself.
    size_t Period() const {
        size_t best = size_;
        for (const Candidate& c : raw_) {
            if (c.length > c.distance && c.distance < best) best = c.distance;
        }
        return best;
    }

    void Skip(size_t from, size_t to) {
        // Inside very long matches the middle adds little but time.
        if (to - from > 1024) {
            for (size_t p = from; p < from + 512; ++p) tree_.Insert(p, nullptr);
            from = to - 512;
        }
        for (size_t p = from; p < to; ++p) tree_.Insert(p, nullptr);
    }

    size_t Chunk(size_t start) {
        size_t n = std::min(kChunk, size_ - start);
        for (size_t i = 0; i <= 2 * touched_ + 1 && i < nodes_.size(); ++i) nodes_[i].price = kInfinity;
        touched_ = 0;
        uint32_t pending = uint32_t(start - anchor_);
        At(0, pending ? 1 : 0) = {0, 0, 0, pending, 0};
        size_t endAt = n;
        for (size_t i = 0; i < endAt; ++i) {
            const Node after = At(i, 0), inside = At(i, 1);
            size_t pos = start + i;
            if (after.price != kInfinity) Relax(i + 1, 1, after.price + LiteralPrice(0), 1, 0, 1, 0);
            if (inside.price != kInfinity) {
                Relax(i + 1, 1, inside.price + LiteralPrice(inside.literals), 1, 0, inside.literals + 1, 1);
            }
            // A match or run costs the same from either state.
            const uint32_t from = inside.price < after.price ? 1 : 0;
            const uint32_t base = std::min(after.price, inside.price);

            Gather(pos);
            if (base == kInfinity) continue;
            if (!matches_.empty() && matches_.back().length >= tree_.Nice()) {
                const Candidate& c = matches_.back();
                Relax(i + c.length, 0, base + MatchPrice(c.length, c.distance), c.length, c.distance, 0, from);
                endAt = i + c.length;
                Skip(pos + 1, pos + c.length);
                break;
            }
            size_t ahead = size_ - pos;
            if (ahead >= kMinRun && data_[pos] == data_[pos + 1] && data_[pos] == data_[pos + 2]) {
                size_t run = RunLength(data_ + pos, std::min(size_ - pos, size_t(kMaxRun)));
                uint32_t price = base + 2 * kUnit;
                for (size_t l = kMinRun; l <= run; ++l) Relax(i + l, 0, price, uint32_t(l), 0, 0, from);
            }
            size_t c = 0;
            for (uint32_t l = 4; !matches_.empty() && l <= matches_.back().length; ++l) {
                while (matches_[c].length < l) ++c;
                uint32_t d = matches_[c].distance;
                Relax(i + l, 0, base + MatchPrice(l, d), l, d, 0, from);
            }
        }
        Emit(start, endAt);
        return start + endAt;
    }

    void Emit(size_t start, size_t endAt) {
        steps_.clear();
        uint32_t state = At(endAt, 1).price < At(endAt, 0).price ? 1 : 0;
        for (size_t i = endAt; i > 0;) {
            const Node& n = At(i, state);
            steps_.push_back(n);
            i -= n.length;
            state = n.from;
        }
        size_t pos = start;
        for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
            if (it->length == 1 && it->distance == 0) {
                ++pos;
                continue;
            }
            writer_.Literals(data_ + anchor_, pos - anchor_);
            if (it->distance == 0) {
                writer_.Run(data_[pos], it->length);
            } else {
                writer_.Match(it->length, it->distance);
            }
            pos += it->length;
            anchor_ = pos;
        }
    }

    const uint8_t* data_;
    size_t size_;
    Window window_;
    BinaryTree tree_;
    PeriodicRegion region_;
    Writer writer_;
    Progress progress_;
    size_t anchor_ = 0;
    size_t touched_ = 0;
    std::vector<Node> nodes_;
    std::vector<Candidate> raw_, matches_;
    std::vector<Node> steps_;
};

}  // namespace

std::vector<uint8_t> LzEncode(const uint8_t* data, size_t size, LzLevel level) {
    // Positions are kept in 32 bits and the size field has 32 bits.
    if (size > 0x7FFFFFFFu) throw std::length_error("LzEncode: input of 2 GB or more");
    std::vector<uint8_t> block;
    if (size == 0) {
        block = Writer(0, 8).Take();
    } else if (level == LzLevel::Fast) {
        Window whole{data, 0};
        FastEncoder encoder(whole, size, size + size / 128 + 64);
        encoder.Finish();
        block = encoder.Output().Take();
    } else {
        block = OptimalEncoder(data, size).Run();
    }
    Progress(size).Done();
    return block;
}

// Input held: what the fast encoder may still read, what it may not yet
// encode, and room for the next pieces (a slide moves about this much).
const size_t kStreamRoom = size_t(16) << 20;
const size_t kStreamHeld = FastEncoder::kHistory + FastEncoder::kLookahead + kMaxMatch + kMaxLongLiteral + kStreamRoom;

class LzStreamEncoder::Impl {
public:
    Impl(size_t size, LzBlockOutput output)
        : size_(size), output_(std::move(output)), buffer_(std::min(size, kStreamHeld)),
          window_{buffer_.data(), 0}, encoder_(window_, size, size_t(1) << 20) {}

    void Feed(const uint8_t* data, size_t n) {
        if (n > size_ - fed_) throw std::length_error("LzStreamEncoder: more input than announced");
        while (n > 0) {
            size_t held = fed_ - window_.base;
            if (held == buffer_.size()) {
                Slide();
                held = fed_ - window_.base;
            }
            size_t take = std::min(n, buffer_.size() - held);
            memcpy(&buffer_[held], data, take);
            data += take;
            n -= take;
            fed_ += take;
            if (fed_ < size_ && fed_ > FastEncoder::kLookahead) encoder_.Advance(fed_ - FastEncoder::kLookahead);
            Drain();
        }
    }

    void Finish() {
        if (fed_ != size_) throw std::length_error("LzStreamEncoder: less input than announced");
        encoder_.Finish();
        Drain();
        Progress(size_).Done();
    }

private:
    // Keeps only what the encoder may still read, at the start of the buffer.
    void Slide() {
        encoder_.WriteOldLiterals();
        Drain();
        size_t keep = encoder_.Needed();
        size_t shift = keep - window_.base;
        if (shift == 0) throw std::logic_error("LzStreamEncoder: no room to slide");
        memmove(buffer_.data(), buffer_.data() + shift, fed_ - keep);
        window_.base = keep;
    }

    void Drain() {
        std::vector<uint8_t>& bytes = encoder_.Output().Bytes();
        if (bytes.size() < (size_t(1) << 18) && fed_ < size_) return;
        if (!bytes.empty()) output_(bytes.data(), bytes.size());
        bytes.clear();
    }

    size_t size_;
    LzBlockOutput output_;
    std::vector<uint8_t> buffer_;
    Window window_;
    FastEncoder encoder_;
    size_t fed_ = 0;
};

LzStreamEncoder::LzStreamEncoder(uint64_t size, LzBlockOutput output) {
    if (size > 0x7FFFFFFFu) throw std::length_error("LzStreamEncoder: input of 2 GB or more");
    impl_.reset(new Impl(size_t(size), std::move(output)));
}

LzStreamEncoder::~LzStreamEncoder() = default;

void LzStreamEncoder::Feed(const uint8_t* data, size_t size) { impl_->Feed(data, size); }

void LzStreamEncoder::Finish() { impl_->Finish(); }

LzProgressScope::LzProgressScope(LzProgress progress)
    : progress_(std::move(progress)), outer_(tProgress) {
    tProgress = &progress_;
}

LzProgressScope::~LzProgressScope() { tProgress = outer_; }

LzProgress CurrentLzProgress() { return tProgress ? *tProgress : LzProgress(); }
