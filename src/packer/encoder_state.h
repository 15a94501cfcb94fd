// Internal to the RAR 2.0 compressor: the format's fixed tables and the pieces of decoder state
// the encoder mirrors, shared by the files that make up the encoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvana::pack::detail {

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

inline uint8_t lenSlot(uint32_t coded) {  // coded length 0..255 -> slot 0..27
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

inline unsigned distSlot(uint32_t v) {  // v = distance - 1, 0..0xFFFFF
    if (v < 4) return v;
    if (v >= 262144) return 36 + (v - 262144) / 65536;
    unsigned top = 31 - static_cast<unsigned>(__builtin_clz(v));
    return 2 * top + ((v >> (top - 1)) & 1);
}

inline unsigned shortSlot(uint32_t v) {  // v = distance - 1, 0..255
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

// Frequencies with one more use of the table-change symbol, which every table codes so that the
// stream can always switch tables (also at the start of a following solid entry).
inline std::vector<uint32_t> withSwitch(const uint32_t* f, unsigned n, unsigned switchSym) {
    std::vector<uint32_t> v(f, f + n);
    if (switchSym < n) v[switchSym] += 1;
    return v;
}

inline uint64_t codedBits(const std::vector<uint32_t>& f, const std::vector<uint8_t>& len) {
    uint64_t bits = 0;
    for (size_t i = 0; i < f.size(); ++i) bits += uint64_t(f[i]) * len[i];
    return bits;
}

}  // namespace korvana::pack::detail
