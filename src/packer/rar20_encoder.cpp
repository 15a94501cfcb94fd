#include "packer/rar20_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "packer/bit_writer.h"
#include "packer/huffman.h"

namespace korvana::pack {

namespace {

// ---- Fixed tables of the format ---------------------------------------------------------------

constexpr uint32_t kLDecode[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                   24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr uint8_t kLBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr uint32_t kDDecode[48] = {0,      1,      2,      3,      4,      6,      8,      12,     16,     24,
                                   32,     48,     64,     96,     128,    192,    256,    384,    512,    768,
                                   1024,   1536,   2048,   3072,   4096,   6144,   8192,   12288,  16384,  24576,
                                   32768,  49152,  65536,  98304,  131072, 196608, 262144, 327680, 393216, 458752,
                                   524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
constexpr uint8_t kDBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
                                11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
constexpr uint32_t kSDDecode[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr uint8_t kSDBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

constexpr unsigned kLdSize = 298, kDdSize = 48, kRdSize = 28, kBdSize = 19, kMdSize = 257;
constexpr unsigned kLzTableSize = kLdSize + kDdSize + kRdSize;  // 374
constexpr unsigned kOldTableSize = 4 * kMdSize;                 // 1028
constexpr unsigned kSymRepeat = 256, kSymOld = 257, kSymShort = 261, kSymTables = 269, kSymMatch = 270;
constexpr unsigned kMdTables = 256;

// Matches may reach back almost a whole window; the window's own size is left out because
// decoders differ in whether a distance of exactly 1 MiB means "the byte about to be overwritten".
constexpr uint32_t kMaxDist = 0xFFFFF;
constexpr unsigned kMaxLen = 260;

// Prices are in sixteenths of a bit.
constexpr int kPriceScale = 16;

uint8_t lenSlot(uint32_t coded) {  // coded length 0..255 -> slot 0..27
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        unsigned slot = 0;
        for (unsigned v = 0; v < 256; ++v) {
            while (slot + 1 < 28 && kLDecode[slot + 1] <= v) ++slot;
            t[v] = static_cast<uint8_t>(slot);
        }
        return t;
    }();
    return table[coded];
}

unsigned distSlot(uint32_t v) {  // v = distance - 1, 0..0xFFFFF
    if (v < 4) return v;
    if (v >= 262144) return 36 + (v - 262144) / 65536;
    unsigned top = 31 - static_cast<unsigned>(__builtin_clz(v));
    return 2 * top + ((v >> (top - 1)) & 1);
}

unsigned shortSlot(uint32_t v) {  // v = distance - 1, 0..255
    if (v < 8) return v >> 2;
    if (v < 192) return 31 - static_cast<unsigned>(__builtin_clz(v)) - 1;
    return 7;
}

inline unsigned oldDistBonus(uint32_t d) { return (d >= 0x101) + (d >= 0x2000) + (d >= 0x40000); }
inline unsigned matchBonus(uint32_t d) { return (d >= 0x2000) + (d >= 0x40000); }

// ---- Decoder-mirroring state ------------------------------------------------------------------

struct LzState {
    uint32_t oldDist[4] = {0, 0, 0, 0};
    uint32_t oldDistPtr = 0;
    uint32_t lastDist = 0;
    uint32_t lastLength = 0;

    void push(uint32_t d) { oldDist[oldDistPtr++ & 3] = d; }
};

struct AudioChannel {
    int k[5] = {0, 0, 0, 0, 0};
    int d1 = 0, d2 = 0, d3 = 0, d4 = 0;
    int lastDelta = 0;
    uint32_t dif[11] = {};
    uint32_t byteCount = 0;
    int lastChar = 0;
};

struct AudioState {
    AudioChannel ch[4];
    int channelDelta = 0;
    unsigned curChannel = 0;

    // The residual symbol that makes the decoder's predictor produce `byte`, advancing the state
    // exactly as decoding that symbol does.
    uint8_t encode(unsigned c, uint8_t byte) {
        AudioChannel& v = ch[c];
        v.byteCount++;
        v.d4 = v.d3;
        v.d3 = v.d2;
        v.d2 = v.lastDelta - v.d1;
        v.d1 = v.lastDelta;
        int p = 8 * v.lastChar + v.k[0] * v.d1 + v.k[1] * v.d2 + v.k[2] * v.d3 + v.k[3] * v.d4 + v.k[4] * channelDelta;
        p = (p >> 3) & 0xFF;
        const uint8_t delta = static_cast<uint8_t>(p - byte);
        const int chr = p - delta;
        const int d = static_cast<int8_t>(delta) * 8;
        v.dif[0] += static_cast<uint32_t>(std::abs(d));
        v.dif[1] += static_cast<uint32_t>(std::abs(d - v.d1));
        v.dif[2] += static_cast<uint32_t>(std::abs(d + v.d1));
        v.dif[3] += static_cast<uint32_t>(std::abs(d - v.d2));
        v.dif[4] += static_cast<uint32_t>(std::abs(d + v.d2));
        v.dif[5] += static_cast<uint32_t>(std::abs(d - v.d3));
        v.dif[6] += static_cast<uint32_t>(std::abs(d + v.d3));
        v.dif[7] += static_cast<uint32_t>(std::abs(d - v.d4));
        v.dif[8] += static_cast<uint32_t>(std::abs(d + v.d4));
        v.dif[9] += static_cast<uint32_t>(std::abs(d - channelDelta));
        v.dif[10] += static_cast<uint32_t>(std::abs(d + channelDelta));
        v.lastDelta = channelDelta = static_cast<int8_t>(static_cast<uint8_t>(chr - v.lastChar));
        v.lastChar = chr;
        if ((v.byteCount & 0x1F) == 0) {
            uint32_t minDif = v.dif[0];
            unsigned numMin = 0;
            for (unsigned i = 1; i < 11; ++i) {
                if (v.dif[i] < minDif) {
                    minDif = v.dif[i];
                    numMin = i;
                }
            }
            std::memset(v.dif, 0, sizeof v.dif);
            if (numMin > 0) {
                int& w = v.k[(numMin - 1) / 2];
                if (numMin & 1) {
                    if (w >= -16) --w;
                } else {
                    if (w < 16) ++w;
                }
            }
        }
        return delta;
    }
};

struct Token {
    uint16_t sym;   // LD symbol: literal byte, 256..268 or 270..297
    uint16_t len;   // match length (0 for literals)
    uint32_t dist;  // match distance
};

struct LzStats {
    std::array<uint32_t, kLdSize> ld{};
    std::array<uint32_t, kDdSize> dd{};
    std::array<uint32_t, kRdSize> rd{};
    uint64_t extraBits = 0;

    void add(const LzStats& o) {
        for (unsigned i = 0; i < kLdSize; ++i) ld[i] += o.ld[i];
        for (unsigned i = 0; i < kDdSize; ++i) dd[i] += o.dd[i];
        for (unsigned i = 0; i < kRdSize; ++i) rd[i] += o.rd[i];
        extraBits += o.extraBits;
    }
    void count(const Token& t) {
        ++ld[t.sym];
        if (t.sym < 256 || t.sym == kSymRepeat) return;
        if (t.sym < kSymShort) {
            const uint32_t coded = t.len - 2 - oldDistBonus(t.dist);
            const unsigned s = lenSlot(coded);
            ++rd[s];
            extraBits += kLBits[s];
        } else if (t.sym < kSymTables) {
            extraBits += kSDBits[t.sym - kSymShort];
        } else {
            const unsigned s = t.sym - kSymMatch;
            extraBits += kLBits[s];
            const unsigned ds = distSlot(t.dist - 1);
            ++dd[ds];
            extraBits += kDBits[ds];
        }
    }
};

struct AudioStats {
    unsigned channels = 1;
    std::array<std::array<uint32_t, kMdSize>, 4> md{};

    void add(const AudioStats& o) {
        for (unsigned c = 0; c < 4; ++c)
            for (unsigned i = 0; i < kMdSize; ++i) md[c][i] += o.md[c][i];
    }
};

// Frequencies with one more use of the table-change symbol, which every table codes so that the
// stream can always switch tables (also at the start of a following solid entry).
std::vector<uint32_t> withSwitch(const uint32_t* f, unsigned n, unsigned switchSym) {
    std::vector<uint32_t> v(f, f + n);
    if (switchSym < n) v[switchSym] += 1;
    return v;
}

uint64_t codedBits(const std::vector<uint32_t>& f, const std::vector<uint8_t>& len) {
    uint64_t bits = 0;
    for (size_t i = 0; i < f.size(); ++i) bits += uint64_t(f[i]) * len[i];
    return bits;
}

// ---- Table transmission ------------------------------------------------------------------------

struct TableSym {
    uint8_t sym;
    uint8_t extra;
    uint8_t extraBits;
};

// Run-length form of a table of code lengths, as deltas against `old` (all zero without keepOld).
std::vector<TableSym> tableSymbols(const uint8_t* work, unsigned n, const uint8_t* old) {
    std::vector<TableSym> out;
    out.reserve(n);
    unsigned i = 0;
    while (i < n) {
        const uint8_t v = work[i];
        if (v == 0) {
            unsigned r = 1;
            while (i + r < n && work[i + r] == 0 && r < 138) ++r;
            if (r >= 11) {
                out.push_back({18, static_cast<uint8_t>(r - 11), 7});
                i += r;
                continue;
            }
            if (r >= 3) {
                out.push_back({17, static_cast<uint8_t>(r - 3), 3});
                i += r;
                continue;
            }
        }
        if (i > 0 && work[i - 1] == v) {
            unsigned r = 0;
            while (i + r < n && work[i + r] == v && r < 6) ++r;
            if (r >= 3) {
                out.push_back({16, static_cast<uint8_t>(r - 3), 2});
                i += r;
                continue;
            }
        }
        out.push_back({static_cast<uint8_t>((v - (old ? old[i] : 0)) & 15), 0, 0});
        ++i;
    }
    return out;
}

struct TablePlan {
    std::vector<TableSym> syms;
    std::vector<uint8_t> bdLen;
    uint64_t bits = 0;
};

TablePlan planTable(const uint8_t* work, unsigned n, const uint8_t* old, bool audio) {
    TablePlan p;
    p.syms = tableSymbols(work, n, old);
    std::vector<uint32_t> f(kBdSize, 0);
    for (const auto& s : p.syms) ++f[s.sym];
    p.bdLen = buildCodeLengths(f);
    p.bits = 2 + (audio ? 2 : 0) + 4 * kBdSize;
    for (const auto& s : p.syms) p.bits += p.bdLen[s.sym] + s.extraBits;
    return p;
}

// ---- Match finder ----------------------------------------------------------------------------

struct LevelParams {
    unsigned chainDepth;
    unsigned nice;
    bool lazy;
    unsigned passes;
    unsigned segment;
};

LevelParams paramsFor(int level) {
    switch (level) {
        case 1: return {6, 24, false, 1, 64 * 1024};
        case 2: return {16, 48, true, 2, 32 * 1024};
        case 3: return {48, 128, true, 2, 32 * 1024};
        case 4: return {128, 260, true, 2, 16 * 1024};
        default: return {400, 260, true, 3, 16 * 1024};
    }
}

constexpr unsigned kHashBits = 17;
constexpr uint32_t kPrevSize = 1u << 21;  // twice the window: links never clash within reach
constexpr uint32_t kPrevMask = kPrevSize - 1;

}  // namespace

struct Rar20Encoder::Impl {
    LevelParams params;
    PackOptions::Multimedia multimedia;

    // Everything the decoder's window has seen in this stream, in order.
    std::vector<uint8_t> hist;
    std::vector<int32_t> head3, head2;
    std::unique_ptr<int32_t[]> prev3, prev2;
    size_t inserted = 0;

    LzState lz;
    AudioState audio;

    // Tables the decoder currently holds.
    bool tablesSent = false;
    bool audioBlock = false;
    unsigned channels = 1;
    std::vector<uint8_t> ldLen, ddLen, rdLen;
    std::array<std::vector<uint8_t>, 4> mdLen;
    std::vector<uint16_t> ldCode, ddCode, rdCode;
    std::array<std::vector<uint16_t>, 4> mdCode;
    std::array<uint8_t, kOldTableSize> oldTable{};
    unsigned oldKnown = 0;  // positions of oldTable whose value every decoder agrees on
    unsigned emitChannel = 0;

    // Last LZ code lengths, used to price the first parse of a new LZ block.
    bool haveLzPrices = false;
    std::vector<uint8_t> lastLd, lastDd, lastRd;

    // The block being gathered: LZ tokens or multimedia residuals.
    struct Block {
        bool open = false;
        bool audio = false;
        unsigned channels = 1;
        unsigned startChannel = 0;
        std::vector<Token> tokens;
        std::vector<uint8_t> residuals;
        LzStats lzStats;
        AudioStats audioStats;
    } block;

    BitWriter* out = nullptr;
    bool firstTableOfEntry = true;

    Stats* stats = nullptr;

    Impl(int level, PackOptions::Multimedia mm) : params(paramsFor(level)), multimedia(mm) {
        head3.assign(size_t(1) << kHashBits, -1);
        head2.assign(65536, -1);
        prev3.reset(new int32_t[kPrevSize]);
        prev2.reset(new int32_t[kPrevSize]);
    }

    void resetStream() {
        hist.clear();
        std::fill(head3.begin(), head3.end(), -1);
        std::fill(head2.begin(), head2.end(), -1);
        inserted = 0;
        lz = LzState{};
        audio = AudioState{};
        tablesSent = false;
        audioBlock = false;
        channels = 1;
        oldTable.fill(0);
        oldKnown = kOldTableSize;
        emitChannel = 0;
        haveLzPrices = false;
    }

    static uint32_t hash3(const uint8_t* p) {
        return ((uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]) * 2654435761u) >> (32 - kHashBits);
    }

    void insertUpTo(size_t end) {
        const size_t limit = std::min(end, hist.size());
        for (; inserted < limit; ++inserted) {
            const size_t i = inserted;
            if (i + 1 < hist.size()) {
                const uint32_t k2 = uint32_t(hist[i]) << 8 | hist[i + 1];
                prev2[i & kPrevMask] = head2[k2];
                head2[k2] = static_cast<int32_t>(i);
            }
            if (i + 2 < hist.size()) {
                const uint32_t h = hash3(&hist[i]);
                prev3[i & kPrevMask] = head3[h];
                head3[h] = static_cast<int32_t>(i);
            }
        }
    }

    unsigned matchLen(size_t pos, uint32_t dist, unsigned maxLen) const {
        const uint8_t* a = hist.data() + pos;
        const uint8_t* b = a - dist;
        unsigned n = 0;
        while (n + 8 <= maxLen) {
            uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y) return n + static_cast<unsigned>(__builtin_ctzll(x ^ y) >> 3);
            n += 8;
        }
        while (n < maxLen && a[n] == b[n]) ++n;
        return n;
    }

    // ---- Prices ----

    struct Prices {
        std::array<int, kLdSize> ld;
        std::array<int, kDdSize> dd;
        std::array<int, kRdSize> rd;
    };

    static void pricesFromLengths(const std::vector<uint8_t>& len, int* out) {
        for (size_t i = 0; i < len.size(); ++i) out[i] = (len[i] ? len[i] : 17) * kPriceScale;
    }

    template <size_t N>
    static void pricesFromFreq(const std::array<uint32_t, N>& f, int* out) {
        uint64_t total = 0;
        for (uint32_t v : f) total += v;
        const double t = double(total) + 1.0;
        for (size_t i = 0; i < N; ++i) {
            const double p = f[i] ? double(f[i]) / t : 0.5 / t;
            double bits = -std::log2(p);
            bits = std::clamp(bits, 1.0, 17.0);
            out[i] = static_cast<int>(bits * kPriceScale + 0.5);
        }
    }

    Prices defaultPrices() const {
        Prices p;
        if (haveLzPrices) {
            pricesFromLengths(lastLd, p.ld.data());
            pricesFromLengths(lastDd, p.dd.data());
            pricesFromLengths(lastRd, p.rd.data());
            return p;
        }
        for (unsigned i = 0; i < kLdSize; ++i) p.ld[i] = (i < 256 ? 8 : 9) * kPriceScale;
        for (unsigned i = 0; i < kDdSize; ++i) p.dd[i] = 5 * kPriceScale;
        for (unsigned i = 0; i < kRdSize; ++i) p.rd[i] = 4 * kPriceScale;
        return p;
    }

    static Prices pricesFromStats(const LzStats& s) {
        Prices p;
        pricesFromFreq(s.ld, p.ld.data());
        pricesFromFreq(s.dd, p.dd.data());
        pricesFromFreq(s.rd, p.rd.data());
        return p;
    }

    // ---- Parsing ----

    struct Choice {
        int64_t gain = 0;  // bits saved against coding the same bytes as literals (scaled)
        Token tok{0, 0, 0};
        unsigned len = 1;
    };

    struct Match {
        uint32_t dist;
        uint32_t len;
    };
    struct MatchList {
        uint32_t shortDist = 0;      // nearest length-2 match within 256 bytes, 0 for none
        std::vector<Match> matches;  // along the chain, each longer than the one before
    };
    // Matches found at each position of one segment, kept across parse passes.
    struct MatchCache {
        size_t base = 0;
        std::vector<int32_t> index;  // per position: slot in `lists`, or -1
        std::vector<MatchList> lists;
        void reset(size_t from, size_t count) {
            base = from;
            index.assign(count, -1);
            lists.clear();
        }
        const MatchList* find(size_t pos) const {
            const size_t k = pos - base;
            return k < index.size() && index[k] >= 0 ? &lists[size_t(index[k])] : nullptr;
        }
        const MatchList* store(size_t pos, MatchList&& list) {
            const size_t k = pos - base;
            if (k >= index.size()) {
                spill = std::move(list);
                return &spill;
            }
            index[k] = static_cast<int32_t>(lists.size());
            lists.push_back(std::move(list));
            return &lists.back();
        }
        MatchList spill;
    };
    MatchCache matchCache;

    void findMatches(size_t i, size_t avail, size_t reach, MatchList& list) const {
        // Positions at or after i may already be in the chains (a later pass re-parses a segment
        // whose positions were inserted); they are stepped over, within a budget.
        unsigned skips = 512;
        int32_t cand2 = head2[uint32_t(hist[i]) << 8 | hist[i + 1]];
        while (cand2 >= 0 && size_t(cand2) >= i && skips > 0) {
            cand2 = prev2[size_t(cand2) & kPrevMask];
            --skips;
        }
        if (cand2 >= 0 && size_t(cand2) < i && i - size_t(cand2) <= 256) list.shortDist = static_cast<uint32_t>(i - size_t(cand2));

        if (avail < 3) return;
        int32_t cand = head3[hash3(&hist[i])];
        unsigned depth = params.chainDepth;
        unsigned longest = 2;
        const unsigned cap = static_cast<unsigned>(std::min<size_t>(avail, kMaxLen));
        while (cand >= 0 && depth > 0) {
            const size_t c = size_t(cand);
            if (c >= i) {
                if (skips-- == 0) break;
                cand = prev3[c & kPrevMask];
                continue;
            }
            const size_t dist = i - c;
            if (dist > reach) break;
            --depth;
            if (hist[c + longest] == hist[i + longest]) {
                const uint32_t d = static_cast<uint32_t>(dist);
                const unsigned bonus = matchBonus(d);
                const unsigned len = matchLen(i, d, std::min(cap, 258 + bonus));
                if (len > longest) {
                    longest = len;
                    if (len >= 3 + bonus) list.matches.push_back({d, len});
                    if (len >= params.nice || len >= cap) break;
                    // A good match already: look a little further only.
                    if (len >= 32 && depth > 16) depth = 16;
                }
            }
            cand = prev3[c & kPrevMask];
        }
    }

    // The cheapest way to code position i under the given prices and history.
    Choice bestAt(size_t i, size_t entryEnd, const LzState& st, const Prices& pr, const std::vector<int64_t>& lit,
                  size_t litBase, MatchCache* cache) const {
        Choice best;
        best.tok = {hist[i], 0, 0};
        const size_t avail = entryEnd - i;
        if (avail < 2) return best;
        auto litSum = [&](unsigned len) { return lit[i + len - litBase] - lit[i - litBase]; };
        auto consider = [&](int64_t gain, uint16_t sym, unsigned len, uint32_t dist) {
            if (gain > best.gain) {
                best.gain = gain;
                best.tok = {sym, static_cast<uint16_t>(len), dist};
                best.len = len;
            }
        };
        const size_t reach = std::min<size_t>(i, kMaxDist);

        if (st.lastLength > 0 && st.lastLength <= avail && st.lastDist <= reach &&
            matchLen(i, st.lastDist, st.lastLength) == st.lastLength) {
            consider(litSum(st.lastLength) - pr.ld[kSymRepeat], kSymRepeat, st.lastLength, st.lastDist);
        }
        unsigned longestRep = 0;
        for (unsigned k = 1; k <= 4; ++k) {
            const uint32_t d = st.oldDist[(st.oldDistPtr - k) & 3];
            if (d == 0 || d > reach) continue;
            const unsigned bonus = oldDistBonus(d);
            const unsigned maxLen = static_cast<unsigned>(std::min<size_t>(avail, 257 + bonus));
            const unsigned len = matchLen(i, d, maxLen);
            if (len < 2 + bonus) continue;
            longestRep = std::max(longestRep, len);
            const unsigned s = lenSlot(len - 2 - bonus);
            consider(litSum(len) - pr.ld[kSymOld + k - 1] - pr.rd[s] - kLBits[s] * kPriceScale, kSymOld + k - 1, len, d);
        }
        if (longestRep >= params.nice) return best;

        // Length-2 matches close by and longer ones along the hash chain: the same for every
        // parse pass over a segment, so they are found once and kept.
        const MatchList* found = cache ? cache->find(i) : nullptr;
        MatchList local;
        if (!found) {
            findMatches(i, avail, reach, local);
            if (cache) found = cache->store(i, std::move(local));
            else found = &local;
        }
        if (found->shortDist) {
            const uint32_t d = found->shortDist;
            const unsigned s = shortSlot(d - 1);
            consider(litSum(2) - pr.ld[kSymShort + s] - kSDBits[s] * kPriceScale, static_cast<uint16_t>(kSymShort + s), 2, d);
        }
        for (const Match& m : found->matches) {
            const unsigned bonus = matchBonus(m.dist);
            const unsigned s = lenSlot(m.len - 3 - bonus);
            const unsigned ds = distSlot(m.dist - 1);
            consider(litSum(m.len) - pr.ld[kSymMatch + s] - kLBits[s] * kPriceScale - pr.dd[ds] - kDBits[ds] * kPriceScale,
                     static_cast<uint16_t>(kSymMatch + s), m.len, m.dist);
        }
        return best;
    }

    static void apply(LzState& st, const Token& t) {
        if (t.sym < 256) return;
        st.push(t.dist);
        if (t.sym != kSymRepeat) {
            st.lastLength = t.len;
            st.lastDist = t.dist;
        }
    }

    // Parses [begin, at least segEnd) into tokens; returns where the parse stopped.
    size_t parse(size_t begin, size_t segEnd, size_t entryEnd, LzState& st, const Prices& pr, std::vector<Token>& tokens,
                 MatchCache* cache) {
        const size_t litEnd = std::min(entryEnd, segEnd + kMaxLen + 2);
        std::vector<int64_t> lit(litEnd - begin + 1);
        lit[0] = 0;
        for (size_t j = begin; j < litEnd; ++j) lit[j - begin + 1] = lit[j - begin] + pr.ld[hist[j]];
        size_t i = begin;
        bool havePending = false;
        Choice pending;
        while (i < segEnd) {
            insertUpTo(i);
            Choice cur = havePending ? pending : bestAt(i, entryEnd, st, pr, lit, begin, cache);
            havePending = false;
            if (cur.len >= 2 && params.lazy && cur.len < params.nice && i + 1 < segEnd) {
                insertUpTo(i + 1);
                Choice next = bestAt(i + 1, entryEnd, st, pr, lit, begin, cache);
                if (next.gain > cur.gain) {
                    tokens.push_back({hist[i], 0, 0});
                    ++i;
                    pending = next;
                    havePending = true;
                    continue;
                }
            }
            tokens.push_back(cur.tok);
            apply(st, cur.tok);
            i += cur.len;
        }
        return i;
    }

    // ---- Costs of blocks ----

    struct LzLengths {
        std::vector<uint8_t> ld, dd, rd;
    };

    static LzLengths lzLengths(const LzStats& s) {
        LzLengths l;
        l.ld = buildCodeLengths(withSwitch(s.ld.data(), kLdSize, kSymTables));
        l.dd = buildCodeLengths(std::vector<uint32_t>(s.dd.begin(), s.dd.end()));
        l.rd = buildCodeLengths(std::vector<uint32_t>(s.rd.begin(), s.rd.end()));
        return l;
    }

    static void lzWork(const LzLengths& l, uint8_t* work) {
        std::copy(l.ld.begin(), l.ld.end(), work);
        std::copy(l.dd.begin(), l.dd.end(), work + kLdSize);
        std::copy(l.rd.begin(), l.rd.end(), work + kLdSize + kDdSize);
    }

    // Bits to code a block with these statistics, its tables and the switch into it included.
    static uint64_t lzCost(const LzStats& s) {
        const LzLengths l = lzLengths(s);
        uint64_t bits = s.extraBits;
        bits += codedBits(std::vector<uint32_t>(s.ld.begin(), s.ld.end()), l.ld);
        bits += codedBits(std::vector<uint32_t>(s.dd.begin(), s.dd.end()), l.dd);
        bits += codedBits(std::vector<uint32_t>(s.rd.begin(), s.rd.end()), l.rd);
        uint8_t work[kLzTableSize];
        lzWork(l, work);
        return bits + planTable(work, kLzTableSize, nullptr, false).bits + 8;
    }

    static std::vector<uint8_t> audioWork(const AudioStats& s, std::array<std::vector<uint8_t>, 4>* lens) {
        std::vector<uint8_t> work(kMdSize * s.channels);
        for (unsigned c = 0; c < s.channels; ++c) {
            std::vector<uint8_t> l = buildCodeLengths(withSwitch(s.md[c].data(), kMdSize, kMdTables));
            std::copy(l.begin(), l.end(), work.begin() + kMdSize * c);
            if (lens) (*lens)[c] = std::move(l);
        }
        return work;
    }

    static uint64_t audioCost(const AudioStats& s) {
        std::array<std::vector<uint8_t>, 4> lens;
        std::vector<uint8_t> work = audioWork(s, &lens);
        uint64_t bits = 0;
        for (unsigned c = 0; c < s.channels; ++c)
            bits += codedBits(std::vector<uint32_t>(s.md[c].begin(), s.md[c].end()), lens[c]);
        return bits + planTable(work.data(), static_cast<unsigned>(work.size()), nullptr, true).bits + 8;
    }

    // ---- Emission ----

    void putSymbol(const std::vector<uint16_t>& codes, const std::vector<uint8_t>& lens, unsigned sym) {
        out->put(codes[sym], lens[sym]);
    }

    void writeSwitch() {
        if (audioBlock)
            putSymbol(mdCode[emitChannel], mdLen[emitChannel], kMdTables);
        else
            putSymbol(ldCode, ldLen, kSymTables);
    }

    void writeTables(const uint8_t* work, unsigned n, bool isAudio, unsigned chans) {
        TablePlan plan = planTable(work, n, nullptr, isAudio);
        bool keepOld = false;
        if (tablesSent && n <= oldKnown) {
            TablePlan delta = planTable(work, n, oldTable.data(), isAudio);
            if (delta.bits < plan.bits) {
                plan = std::move(delta);
                keepOld = true;
                ++stats->deltaTables;
            }
        }
        out->put(isAudio ? 1 : 0, 1);
        out->put(keepOld ? 1 : 0, 1);
        if (isAudio) out->put(chans - 1, 2);
        for (unsigned i = 0; i < kBdSize; ++i) out->put(plan.bdLen[i], 4);
        const std::vector<uint16_t> bdCode = canonicalCodes(plan.bdLen);
        for (const auto& s : plan.syms) {
            out->put(bdCode[s.sym], plan.bdLen[s.sym]);
            if (s.extraBits) out->put(s.extra, s.extraBits);
        }
        std::copy(work, work + n, oldTable.begin());
        oldKnown = n;
        tablesSent = true;
    }

    void emitBlock() {
        if (!block.open) return;
        if (!firstTableOfEntry) writeSwitch();
        firstTableOfEntry = false;
        if (block.audio) {
            std::array<std::vector<uint8_t>, 4> lens;
            AudioStats s = block.audioStats;
            s.channels = block.channels;
            std::vector<uint8_t> work = audioWork(s, &lens);
            writeTables(work.data(), static_cast<unsigned>(work.size()), true, block.channels);
            audioBlock = true;
            channels = block.channels;
            if (emitChannel >= channels) emitChannel = 0;
            for (unsigned c = 0; c < channels; ++c) {
                mdLen[c] = lens[c];
                mdCode[c] = canonicalCodes(lens[c]);
            }
            for (uint8_t r : block.residuals) {
                putSymbol(mdCode[emitChannel], mdLen[emitChannel], r);
                if (++emitChannel >= channels) emitChannel = 0;
            }
            ++stats->audioBlocks;
            stats->lastChannels = channels;
        } else {
            LzLengths l = lzLengths(block.lzStats);
            uint8_t work[kLzTableSize];
            lzWork(l, work);
            writeTables(work, kLzTableSize, false, 0);
            audioBlock = false;
            ldLen = l.ld;
            ddLen = l.dd;
            rdLen = l.rd;
            ldCode = canonicalCodes(ldLen);
            ddCode = canonicalCodes(ddLen);
            rdCode = canonicalCodes(rdLen);
            lastLd = ldLen;
            lastDd = ddLen;
            lastRd = rdLen;
            haveLzPrices = true;
            for (const Token& t : block.tokens) writeToken(t);
            ++stats->lzBlocks;
        }
        block = Block{};
    }

    void writeToken(const Token& t) {
        putSymbol(ldCode, ldLen, t.sym);
        if (t.sym <= kSymRepeat) return;
        if (t.sym < kSymShort) {
            const uint32_t coded = t.len - 2 - oldDistBonus(t.dist);
            const unsigned s = lenSlot(coded);
            putSymbol(rdCode, rdLen, s);
            out->put(coded - kLDecode[s], kLBits[s]);
        } else if (t.sym < kSymTables) {
            const unsigned s = t.sym - kSymShort;
            out->put(t.dist - 1 - kSDDecode[s], kSDBits[s]);
        } else {
            const unsigned s = t.sym - kSymMatch;
            const uint32_t coded = t.len - 3 - matchBonus(t.dist);
            out->put(coded - kLDecode[s], kLBits[s]);
            const unsigned ds = distSlot(t.dist - 1);
            putSymbol(ddCode, ddLen, ds);
            out->put(t.dist - 1 - kDDecode[ds], kDBits[ds]);
        }
    }

    // A symbol that is not the table change, so that a decoder peeking past the last real symbol
    // into padding sees an ordinary symbol.
    void writeSafeSymbol() {
        const std::vector<uint8_t>& lens = audioBlock ? mdLen[emitChannel] : ldLen;
        const std::vector<uint16_t>& codes = audioBlock ? mdCode[emitChannel] : ldCode;
        const unsigned avoid = audioBlock ? kMdTables : kSymTables;
        for (unsigned s = 0; s < lens.size(); ++s) {
            if (s != avoid && lens[s] != 0) {
                out->put(codes[s], lens[s]);
                return;
            }
        }
    }

    // ---- Segments ----

    struct AudioTrial {
        AudioState after;
        AudioStats stats;
        std::vector<uint8_t> residuals;
        unsigned startChannel = 0;
    };

    AudioTrial audioTrial(size_t begin, size_t end, unsigned chans, bool continues) const {
        AudioTrial t;
        t.after = audio;
        if (!continues && t.after.curChannel >= chans) t.after.curChannel = 0;
        t.startChannel = t.after.curChannel;
        t.stats.channels = chans;
        t.residuals.resize(end - begin);
        unsigned c = t.after.curChannel;
        for (size_t i = begin; i < end; ++i) {
            const uint8_t r = t.after.encode(c, hist[i]);
            t.residuals[i - begin] = r;
            ++t.stats.md[c][r];
            if (++c >= chans) c = 0;
        }
        t.after.curChannel = c;
        return t;
    }

    static double entropyBits(const uint32_t* counts, unsigned n) {
        uint64_t total = 0;
        for (unsigned k = 0; k < n; ++k) total += counts[k];
        double bits = 0;
        for (unsigned k = 0; k < n; ++k)
            if (counts[k]) bits -= counts[k] * std::log2(double(counts[k]) / double(total));
        return bits;
    }

    // Whether the predictor's residuals on the first few KiB of the segment are clearly more
    // predictable than the bytes themselves, for some channel count.
    bool audioLooksPromising(size_t begin, size_t end) const {
        const size_t sampleEnd = std::min(end, begin + 4096);
        uint32_t raw[256] = {};
        for (size_t i = begin; i < sampleEnd; ++i) ++raw[hist[i]];
        const double rawBits = entropyBits(raw, 256);
        for (unsigned chans = 1; chans <= 4; ++chans) {
            AudioState st = audio;
            if (st.curChannel >= chans) st.curChannel = 0;
            std::array<std::array<uint32_t, 256>, 4> counts{};
            unsigned c = st.curChannel;
            for (size_t i = begin; i < sampleEnd; ++i) {
                ++counts[c][st.encode(c, hist[i])];
                if (++c >= chans) c = 0;
            }
            double bits = 0;
            for (unsigned k = 0; k < chans; ++k) bits += entropyBits(counts[k].data(), 256);
            if (bits < 0.9 * rawBits) return true;
        }
        return false;
    }

    void encodeRange(size_t begin, size_t end) {
        using MM = PackOptions::Multimedia;
        size_t pos = begin;
        while (pos < end) {
            const size_t segEnd = std::min(end, pos + params.segment);

            // Best multimedia variant, if allowed.
            bool haveAudio = false;
            AudioTrial bestAudio;
            uint64_t audioCostBits = 0;
            bool audioMerges = false;
            // In automatic mode a cheap look at the start of the segment decides whether the full
            // trials (a predictor run per channel count) are worth their time.
            const bool tryAudio = multimedia == MM::On || (multimedia == MM::Auto && audioLooksPromising(pos, segEnd));
            if (tryAudio) {
                for (unsigned chans = 1; chans <= 4; ++chans) {
                    const bool canMerge = block.open && block.audio && block.channels == chans;
                    AudioTrial t = audioTrial(pos, segEnd, chans, canMerge);
                    uint64_t cost = audioCost(t.stats);
                    bool merges = false;
                    if (canMerge) {
                        AudioStats merged = block.audioStats;
                        merged.channels = chans;
                        merged.add(t.stats);
                        const uint64_t open = audioCost(block.audioStats);
                        const uint64_t together = audioCost(merged);
                        if (together - std::min(together, open) <= cost) {
                            cost = together - std::min(together, open);
                            merges = true;
                        }
                    }
                    if (!haveAudio || cost < audioCostBits) {
                        haveAudio = true;
                        bestAudio = std::move(t);
                        audioCostBits = cost;
                        audioMerges = merges;
                    }
                }
            }

            // LZ variant, if allowed.
            bool haveLz = false;
            std::vector<Token> tokens;
            LzState lzAfter;
            size_t lzEnd = segEnd;
            LzStats segStats;
            double lzCostPerByte = 0;
            bool lzMerges = false;
            if (multimedia != MM::On) {
                haveLz = true;
                const bool openLz = block.open && !block.audio;
                Prices pr = openLz ? pricesFromStats(block.lzStats) : defaultPrices();
                // Later passes re-parse with better prices, reusing the matches found before.
                matchCache.reset(pos, segEnd - pos + 1);
                for (unsigned pass = 0; pass < params.passes; ++pass) {
                    tokens.clear();
                    lzAfter = lz;
                    lzEnd = parse(pos, segEnd, end, lzAfter, pr, tokens, params.passes > 1 ? &matchCache : nullptr);
                    segStats = LzStats{};
                    for (const Token& t : tokens) segStats.count(t);
                    if (pass + 1 < params.passes) {
                        LzStats mix = segStats;
                        if (openLz) mix.add(block.lzStats);
                        pr = pricesFromStats(mix);
                    }
                }
                uint64_t cost = lzCost(segStats);
                if (openLz) {
                    LzStats merged = block.lzStats;
                    merged.add(segStats);
                    const uint64_t open = lzCost(block.lzStats);
                    const uint64_t together = lzCost(merged);
                    if (together - std::min(together, open) <= cost) {
                        cost = together - std::min(together, open);
                        lzMerges = true;
                    }
                }
                lzCostPerByte = double(cost) / double(lzEnd - pos);
            }

            const bool chooseAudio =
                haveAudio && (!haveLz || double(audioCostBits) / double(segEnd - pos) < lzCostPerByte);
            if (chooseAudio) {
                if (!audioMerges) {
                    emitBlock();
                    block.open = true;
                    block.audio = true;
                    block.channels = bestAudio.stats.channels;
                    block.startChannel = bestAudio.startChannel;
                    block.audioStats.channels = block.channels;
                }
                block.audioStats.add(bestAudio.stats);
                block.residuals.insert(block.residuals.end(), bestAudio.residuals.begin(), bestAudio.residuals.end());
                audio = bestAudio.after;
                insertUpTo(segEnd);
                pos = segEnd;
            } else {
                if (!lzMerges) {
                    emitBlock();
                    block.open = true;
                    block.audio = false;
                }
                block.lzStats.add(segStats);
                block.tokens.insert(block.tokens.end(), tokens.begin(), tokens.end());
                lz = lzAfter;
                pos = lzEnd;
            }
        }
    }
};

Rar20Encoder::Rar20Encoder(int level, PackOptions::Multimedia multimedia)
    : impl_(std::make_unique<Impl>(std::clamp(level, 1, 5), multimedia)) {}

Rar20Encoder::~Rar20Encoder() = default;

std::vector<uint8_t> Rar20Encoder::encodeEntry(const uint8_t* data, size_t size, bool continueSolid) {
    Impl& m = *impl_;
    stats_ = Stats{};
    if (!continueSolid) m.resetStream();
    BitWriter bw;
    m.out = &bw;
    m.stats = &stats_;
    m.firstTableOfEntry = !m.tablesSent;
    const size_t begin = m.hist.size();
    m.hist.insert(m.hist.end(), data, data + size);
    // Slack so that 8-byte comparisons near the end stay inside the buffer.
    m.hist.reserve(m.hist.size() + 16);
    m.encodeRange(begin, m.hist.size());
    m.emitBlock();
    // Extractors read ahead of the last symbol (and some peek at the next one for a table change
    // a following solid entry would start with): give them an ordinary symbol and a little slack.
    if (m.tablesSent) m.writeSafeSymbol();
    m.out = nullptr;
    std::vector<uint8_t> bytes = bw.finish();
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

}  // namespace korvana::pack
