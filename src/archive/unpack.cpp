// The RAR 2.0 decoder: Huffman tables sent in the stream, LZ matches over a 1 MiB window, and the
// multimedia mode that hands residuals to the audio predictor.
//
// Output must match the format bit for bit, so every rule that decides which bits are read (the
// refill points, the decode-table search including its behaviour on broken tables) is kept as
// the format has it. Speed comes from how those rules are carried out: bits are peeked a word at a
// time, a lookup table answers short codes without the DecodeLen search, matches that do not
// cross the window end are copied without per-byte masking, and multimedia symbols are decoded in
// runs that need none of the per-symbol checks, with the predictor in vector form (audio.h).
#include "archive/unpack.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "archive/debug_log.h"

namespace korvana {

namespace {

constexpr uint8_t LDecode[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                 24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr uint8_t LBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                               2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr uint32_t DDecode[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
constexpr uint8_t DBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                               7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                               15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
constexpr uint8_t SDDecode[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr uint8_t SDBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

constexpr uint32_t READ_ERROR = 0xFFFFFFFFu;
constexpr uint32_t REFILL_KEEP = 32;  // bytes carried over from the end of the buffer on refill
constexpr uint32_t MAIN_REFILL_AT = 8162;
constexpr uint32_t TABLES_REFILL_AT = 8167;
constexpr uint32_t TABLE_SYMBOL_REFILL_AT = 8187;
// Copy-out happens once UnpPtr comes this close to WrPtr; above the longest match (260), so a
// match never overwrites bytes not yet copied out.
constexpr uint32_t WRITE_MARGIN = 270;
constexpr uint32_t LZ_TABLE_SIZE = UNP_NC + UNP_DC + UNP_RC;

static_assert(UNP_QUICK_BITS < 15, "the search below starts after the quick lengths");

inline uint32_t loadBigEndian32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) {
        v = __builtin_bswap32(v);
    }
    return v;
}

// The 16 bits starting at bit position `pos` (byte pos / 8, bit pos % 8 from the top).
inline uint32_t peekBits(const uint8_t* in, uint32_t pos) {
    return (loadBigEndian32(in + (pos >> 3)) << (pos & 7)) >> 16;
}

uint32_t decodeNumberSlow(const DecodeTable& t, uint32_t bitField, uint32_t& pos) {
    uint32_t len = UNP_QUICK_BITS + 1;
    while (len < 15 && bitField >= t.DecodeLen[len]) {
        ++len;
    }
    pos += len;
    uint32_t n = t.DecodePos[len] + ((bitField - t.DecodeLen[len - 1]) >> (16 - len));
    if (n >= t.MaxNum) {
        n = 0;
    }
    return t.DecodeNum[n];
}

// Same result as the DecodeLen search for every input, broken tables included: for code lengths
// up to UNP_QUICK_BITS the limits DecodeLen[1..UNP_QUICK_BITS] are multiples of 2^(16 - UNP_QUICK_BITS)
// (or 0xFFFF, above every peeked value), so the leading bits alone decide length and symbol.
inline uint32_t decodeNumber(const DecodeTable& t, const uint8_t* in, uint32_t& pos) {
    const uint32_t bitField = peekBits(in, pos) & 0xFFFE;
    const uint32_t quick = bitField >> (16 - UNP_QUICK_BITS);
    const uint32_t entry = t.Quick[quick];
    if ((entry & 0xFF) != 0) {
        pos += entry & 0xFF;
        return entry >> 8;
    }
    return decodeNumberSlow(t, bitField, pos);
}

inline uint64_t loadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) {
        v = __builtin_bswap64(v);
    }
    return v;
}

// The hot loop's view of the input: the bits at `pos` kept left-aligned in a register, reloaded
// from the buffer only when fewer than 16 remain, so most symbols cost no memory access for
// their bits. `pos` stays the exact bit position the format's refill rules work on.
struct BitCache {
    const uint8_t* in;
    uint32_t pos;
    uint64_t bits = 0;
    uint32_t avail = 0;

    void ensure16() {
        if (avail < 16) {
            bits = loadBigEndian64(in + (pos >> 3)) << (pos & 7);
            avail = 64 - (pos & 7);
        }
    }
    // Forgets the cached bits after the buffer or the position changed behind its back.
    void reset(uint32_t newPos) {
        pos = newPos;
        avail = 0;
    }
    void skip(uint32_t count) {
        bits <<= count;
        avail -= count;
        pos += count;
    }
    uint32_t get(uint32_t count) {
        ensure16();
        const uint32_t value = static_cast<uint32_t>(bits >> (64 - count));
        skip(count);
        return value;
    }
};

inline uint32_t decodeNumber(const DecodeTable& t, BitCache& c) {
    c.ensure16();
    const uint32_t bitField = static_cast<uint32_t>(c.bits >> 48) & 0xFFFE;
    const uint32_t quick = bitField >> (16 - UNP_QUICK_BITS);
    const uint32_t entry = t.Quick[quick];
    if ((entry & 0xFF) != 0) {
        c.skip(entry & 0xFF);
        return entry >> 8;
    }
    uint32_t pos = c.pos;
    const uint32_t symbol = decodeNumberSlow(t, bitField, pos);
    c.skip(pos - c.pos);
    return symbol;
}

void makeDecodeTables(const uint8_t* lengths, DecodeTable& t, uint32_t size) {
    uint32_t lenCount[16] = {};
    for (uint32_t i = 0; i < size; ++i) {
        ++lenCount[lengths[i] & 15];
    }
    lenCount[0] = 0;

    t.DecodeLen[0] = 0;
    t.DecodePos[0] = 0;
    uint64_t n = 0;
    for (uint32_t l = 1; l < 16; ++l) {
        n = 2 * (n + lenCount[l]);
        t.DecodeLen[l] = static_cast<uint32_t>(std::min<uint64_t>(n << (15 - l), 0xFFFF));
        t.DecodePos[l] = t.DecodePos[l - 1] + lenCount[l - 1];
    }

    uint32_t next[16];
    std::memcpy(next, t.DecodePos, sizeof next);
    for (uint32_t i = 0; i < size; ++i) {
        const uint32_t l = lengths[i] & 15;
        if (l != 0) {
            t.DecodeNum[next[l]++] = i;
        }
    }
    t.MaxNum = size;

    // DecodeLen never decreases with the length, so one walk over the prefixes finds each one's
    // code length.
    uint32_t len = 1;
    for (uint32_t prefix = 0; prefix < (1u << UNP_QUICK_BITS); ++prefix) {
        const uint32_t bitField = prefix << (16 - UNP_QUICK_BITS);
        while (len < 15 && bitField >= t.DecodeLen[len]) {
            ++len;
        }
        if (len <= UNP_QUICK_BITS) {
            uint32_t index = t.DecodePos[len] + ((bitField - t.DecodeLen[len - 1]) >> (16 - len));
            if (index >= t.MaxNum) {
                index = 0;
            }
            t.Quick[prefix] = (t.DecodeNum[index] << 8) | len;
        } else {
            t.Quick[prefix] = 0;
        }
    }
}

inline void copy8(uint8_t* dest, const uint8_t* src) {
    uint64_t v;
    std::memcpy(&v, src, 8);
    std::memcpy(dest, &v, 8);
}

inline void copy4(uint8_t* dest, const uint8_t* src) {
    uint32_t v;
    std::memcpy(&v, src, 4);
    std::memcpy(dest, &v, 4);
}

// Copies `len` bytes from `from` to `out`, which lies `gap` bytes after it: byte by byte in
// effect, so an overlapping copy repeats the pattern.
inline void copyForward(uint8_t* out, const uint8_t* from, uint32_t len, uint32_t gap) {
    if (gap >= 8) {
        // Word steps read only bytes that are already final, so overlapping copies repeat the
        // pattern exactly as byte steps would; the last word is placed to end at `len`, rewriting
        // a few bytes with the values they already hold.
        if (len >= 8) {
            uint32_t i = 0;
            do {
                copy8(out + i, from + i);
                i += 8;
            } while (i + 8 <= len);
            if (i < len) {
                copy8(out + len - 8, from + len - 8);
            }
        } else if (len >= 4) {
            copy4(out, from);
            copy4(out + len - 4, from + len - 4);
        } else {
            for (uint32_t i = 0; i < len; ++i) {
                out[i] = from[i];
            }
        }
    } else if (gap == 1) {
        std::memset(out, *from, len);
    } else {
        for (uint32_t i = 0; i < len; ++i) {
            out[i] = from[i];
        }
    }
}

// Copies a match in the window; `dist` is 1..0x100000 (0 only from an empty history, which
// copies a byte onto itself). Returns the new, masked, write position.
inline uint32_t copyMatch(uint8_t* w, uint32_t dst, uint32_t dist, uint32_t len) {
    const uint32_t src = (dst - dist) & UNP_WINDOW_MASK;
    if (dst + len <= UNP_WINDOW_SIZE && src + len <= UNP_WINDOW_SIZE) {
        if (src < dst) {
            copyForward(w + dst, w + src, len, dst - src);
        } else if (src > dst) {
            // The source lies ahead (a distance close to the window size): a forward copy reads
            // every byte before it is overwritten, which is what memmove does.
            std::memmove(w + dst, w + src, len);
        }
        // src == dst copies each byte onto itself.
        return (dst + len) & UNP_WINDOW_MASK;
    }
    for (uint32_t i = 0; i < len; ++i) {
        w[dst] = w[(dst - dist) & UNP_WINDOW_MASK];
        dst = (dst + 1) & UNP_WINDOW_MASK;
    }
    return dst;
}

// The same match in a direct decode, where `w` is the entry's output from its first byte on. In
// the window a distance reaches back (dist - 1) % window size + 1 bytes (0 means a whole window),
// and a non-solid entry's window starts zeroed, so bytes before the output's start read as zero.
inline uint32_t copyMatchDirect(uint8_t* w, uint32_t dst, uint32_t dist, uint32_t len) {
    const uint32_t back = ((dist - 1) & UNP_WINDOW_MASK) + 1;
    if (back <= dst) {
        copyForward(w + dst, w + dst - back, len, back);
    } else {
        for (uint32_t i = 0; i < len; ++i) {
            w[dst + i] = dst + i >= back ? w[dst + i - back] : 0;
        }
    }
    return dst + len;
}

// Direct: decoding into the caller's output instead of the window (UnpackIo::direct). Window
// positions are then plain output positions; WrPtr keeps the place where the window would last
// have been copied out, which decides what an overrun at the end loses, exactly as in the window.
template <bool Direct>
class Unpacker {
public:
    Unpacker(UnpackState& state, uint8_t* window, UnpackIo& io)
        : s_(state), window_(Direct ? io.output : window), io_(io),
          found_((io.output != nullptr || io.write != nullptr) && io.outSize != nullptr) {}

    void run();

private:
    void unpInitData();
    void unpReadBuf(bool first);
    uint32_t readPacked(uint8_t* dest, uint32_t count);
    void readTables();
    void readLastTables();
    bool unpWriteBuf();
    void finishDirect();
    [[gnu::always_inline]] inline bool prepareStep(BitCache& in, uint32_t& unpPtr, uint32_t& wrPtr, uint32_t& inLimit,
                                                   int64_t& dest);
    // Returns false when the loop has to stop because the packed data is used up.
    bool decodeLz(int64_t& destUnpSize);
    bool decodeAudioBlock(int64_t& destUnpSize);
    template <typename Channel>
    bool decodeAudioSymbols(Channel* state, int64_t& destUnpSize);

    uint32_t inAddr() const { return pos_ >> 3; }

    UnpackState& s_;
    uint8_t* window_;
    UnpackIo& io_;
    const bool found_;
    uint32_t pos_ = 0;  // bit position in InBuf: InAddr * 8 + InBit
};

// Reads until `count` bytes are in or the packed data ends: the refill rules assume every read
// but the last fills its part of the buffer, whatever the source's read granularity.
template <bool Direct>
uint32_t Unpacker<Direct>::readPacked(uint8_t* dest, uint32_t count) {
    uint32_t total = 0;
    while (io_.read != nullptr && total < count) {
        const uint32_t n = io_.read(io_.context, dest + total, count - total);
        // A failed read ends the packed data like its real end does; the entry then fails its
        // check.
        if (n == READ_ERROR || n == 0) {
            break;
        }
        total += std::min(n, count - total);
    }
    return total;
}

template <bool Direct>
void Unpacker<Direct>::unpReadBuf(bool first) {
    if (first) {
        const uint32_t n = readPacked(s_.InBuf, UNP_INPUT_SIZE);
        s_.ReadTop = static_cast<int32_t>(n);
        s_.InEnd = n;
        pos_ = 0;
        return;
    }
    std::memmove(s_.InBuf, s_.InBuf + UNP_INPUT_SIZE - REFILL_KEEP, REFILL_KEEP);
    const uint32_t kept = s_.InEnd > UNP_INPUT_SIZE - REFILL_KEEP ? s_.InEnd - (UNP_INPUT_SIZE - REFILL_KEEP) : 0;
    pos_ = ((inAddr() % REFILL_KEEP) << 3) | (pos_ & 7);
    const uint32_t n = readPacked(s_.InBuf + REFILL_KEEP, UNP_INPUT_SIZE - REFILL_KEEP);
    if (n > 0) {
        s_.ReadTop = static_cast<int32_t>(n + REFILL_KEEP);
        s_.InEnd = n + REFILL_KEEP;
    } else {
        // ReadTop follows the format's rule; InEnd keeps track of the carried-over bytes that
        // really are packed data, so that the end of the data is noticed.
        s_.ReadTop = static_cast<int32_t>(inAddr());
        s_.InEnd = kept;
    }
}

template <bool Direct>
void Unpacker<Direct>::unpInitData() {
    pos_ = 0;
    if (!io_.solid) {
        for (AudioVariables& v : s_.AudV) {
            v = AudioVariables{};
        }
        s_.ChannelDelta = 0;
        std::memset(s_.OldDist, 0, sizeof s_.OldDist);
        s_.OldDistPtr = 0;
        s_.LastDist = 0;
        s_.LastLength = 0;
        s_.CurChannel = 0;
        if constexpr (!Direct) {
            // Only what was written since the last clear can be non-zero.
            std::memset(window_, 0, s_.WindowDirty);
            s_.WindowDirty = 0;
        }
        std::memset(s_.UnpOldTable, 0, sizeof s_.UnpOldTable);
        s_.WrPtr = 0;
        s_.UnpPtr = 0;
    }
}

template <bool Direct>
void Unpacker<Direct>::readTables() {
    if (inAddr() > TABLES_REFILL_AT) {
        unpReadBuf(false);
    }
    const uint8_t* in = s_.InBuf;
    const uint32_t header = peekBits(in, pos_);
    s_.UnpAudioBlock = (header & 0x8000) != 0;
    if ((header & 0x4000) == 0) {
        std::memset(s_.UnpOldTable, 0, sizeof s_.UnpOldTable);
    }
    pos_ += 2;

    uint32_t tableSize;
    if (s_.UnpAudioBlock) {
        s_.UnpChannels = ((header >> 12) & 3) + 1;
        if (s_.CurChannel >= s_.UnpChannels) {
            s_.CurChannel = 0;
        }
        pos_ += 2;
        tableSize = UNP_MC * s_.UnpChannels;
    } else {
        tableSize = LZ_TABLE_SIZE;
    }

    uint8_t bitLength[UNP_BC];
    for (uint8_t& length : bitLength) {
        length = static_cast<uint8_t>(peekBits(in, pos_) >> 12);
        pos_ += 4;
    }
    makeDecodeTables(bitLength, s_.BD, UNP_BC);

    // Zeroed, so that the lengths beyond this set's size, which reach UnpOldTable and may be kept
    // by a later larger set, are defined.
    uint8_t table[UNP_MAX_TABLE] = {};
    uint32_t i = 0;
    while (i < tableSize) {
        if (inAddr() > TABLE_SYMBOL_REFILL_AT) {
            unpReadBuf(false);
        }
        const uint32_t symbol = decodeNumber(s_.BD, in, pos_);
        if (symbol < 16) {
            table[i] = static_cast<uint8_t>((symbol + s_.UnpOldTable[i]) & 15);
            ++i;
        } else if (symbol == 16) {
            uint32_t count = (peekBits(in, pos_) >> 14) + 3;
            pos_ += 2;
            // At position 0 there is no previous length: the run repeats length 0.
            for (; count > 0 && i < tableSize; --count, ++i) {
                table[i] = i > 0 ? table[i - 1] : 0;
            }
        } else {
            uint32_t count;
            if (symbol == 17) {
                count = (peekBits(in, pos_) >> 13) + 3;
                pos_ += 3;
            } else {
                count = (peekBits(in, pos_) >> 9) + 11;
                pos_ += 7;
            }
            for (; count > 0 && i < tableSize; --count, ++i) {
                table[i] = 0;
            }
        }
    }

    if (s_.UnpAudioBlock) {
        for (uint32_t c = 0; c < s_.UnpChannels; ++c) {
            makeDecodeTables(&table[c * UNP_MC], s_.MD[c], UNP_MC);
        }
    } else {
        makeDecodeTables(&table[0], s_.LD, UNP_NC);
        makeDecodeTables(&table[UNP_NC], s_.DD, UNP_DC);
        makeDecodeTables(&table[UNP_NC + UNP_DC], s_.RD, UNP_RC);
    }
    std::memcpy(s_.UnpOldTable, table, sizeof s_.UnpOldTable);
}

// A table change right at the end of an entry belongs to the next, solid, entry, which reads no
// tables at its start.
template <bool Direct>
void Unpacker<Direct>::readLastTables() {
    if (static_cast<int64_t>(s_.ReadTop) < static_cast<int64_t>(inAddr()) + 5) {
        return;
    }
    if (s_.UnpAudioBlock) {
        if (decodeNumber(s_.MD[s_.CurChannel], s_.InBuf, pos_) == 256) {
            readTables();
        }
    } else if (decodeNumber(s_.LD, s_.InBuf, pos_) == 269) {
        readTables();
    }
}

template <bool Direct>
bool Unpacker<Direct>::unpWriteBuf() {
    bool fits = true;
    // Between two calls the write position moves less than a window, so it stands before the
    // previous one only when it wrapped.
    if (s_.UnpPtr < s_.WrPtr) {
        s_.WindowDirty = UNP_WINDOW_SIZE;
    } else {
        s_.WindowDirty = std::max(s_.WindowDirty, std::min(s_.UnpPtr, UNP_WINDOW_SIZE));
    }
    if (found_) {
        const uint32_t unpPtr = s_.UnpPtr;
        const uint32_t wrPtr = s_.WrPtr;
        const uint32_t pending =
            unpPtr >= wrPtr ? unpPtr - wrPtr : (UNP_WINDOW_SIZE - wrPtr) + unpPtr;
        const uint32_t done = *io_.outSize;
        if (static_cast<uint64_t>(done) + pending > io_.unpSize) {
            KORVANA_LOG("Fatal! Buffer overrun during decompression!");
            fits = false;
        } else if (io_.write != nullptr) {
            if (unpPtr < wrPtr) {
                const uint32_t tail = UNP_WINDOW_SIZE - wrPtr;
                fits = io_.write(io_.writeContext, window_ + wrPtr, tail) &&
                       (unpPtr == 0 || io_.write(io_.writeContext, window_, unpPtr));
            } else if (pending != 0) {
                fits = io_.write(io_.writeContext, window_ + wrPtr, pending);
            }
            if (fits) {
                *io_.outSize = done + pending;
            }
        } else {
            uint8_t* out = io_.output + done;
            if (unpPtr < wrPtr) {
                const uint32_t tail = UNP_WINDOW_SIZE - wrPtr;
                std::memcpy(out, window_ + wrPtr, tail);
                std::memcpy(out + tail, window_, unpPtr);
            } else {
                std::memcpy(out, window_ + wrPtr, pending);
            }
            *io_.outSize = done + pending;
        }
    }
    s_.WrPtr = s_.UnpPtr;
    return fits;
}

// The end of a direct decode, with the window's outcome: an entry that produced more than its
// size loses what the last copy-out would have brought, so its bytes stay zero.
template <bool Direct>
void Unpacker<Direct>::finishDirect() {
    const uint32_t unpPtr = s_.UnpPtr;
    const uint32_t lastCopy = s_.WrPtr;
    if (unpPtr > io_.unpSize) {
        KORVANA_LOG("Fatal! Buffer overrun during decompression!");
        std::memset(io_.output + lastCopy, 0, unpPtr - lastCopy);
        *io_.outSize = lastCopy;
    } else {
        *io_.outSize = unpPtr;
    }
    // The window itself was not used: it holds no entry now.
    s_.UnpPtr = 0;
    s_.WrPtr = 0;
}

// The checks both decoding loops make before each step, on their register copies of the state:
// the input refill at the format's refill point (false once the packed data is used up), and the
// copy-out when pending output is within WRITE_MARGIN of being overwritten (and not none at all).
// An overrun ends the entry through `dest`.
template <bool Direct>
bool Unpacker<Direct>::prepareStep(BitCache& in, uint32_t& unpPtr, uint32_t& wrPtr, uint32_t& inLimit, int64_t& dest) {
    if constexpr (!Direct) {
        unpPtr &= UNP_WINDOW_MASK;
    }
    if ((in.pos >> 3) >= inLimit) {
        if ((in.pos >> 3) > MAIN_REFILL_AT) {
            pos_ = in.pos;
            unpReadBuf(false);
            in.reset(pos_);
            inLimit = std::min(MAIN_REFILL_AT + 1, s_.InEnd);
        }
        if ((in.pos >> 3) >= s_.InEnd) {
            return false;
        }
    }
    if constexpr (Direct) {
        // Where the window would be copied out; intermediate copy-outs never overrun (the loop
        // runs only while fewer than unpSize bytes are out), so only the place is kept.
        if (unpPtr - wrPtr >= UNP_WINDOW_SIZE - (WRITE_MARGIN - 1)) {
            wrPtr = unpPtr;
        }
    } else if (((wrPtr - unpPtr - 1) & UNP_WINDOW_MASK) < WRITE_MARGIN - 1) {
        s_.UnpPtr = unpPtr;
        if (!unpWriteBuf()) {
            dest = -1;
        }
        wrPtr = s_.WrPtr;
    }
    return true;
}

// Decodes LZ symbols until the entry is complete, a table change switches to multimedia mode, or
// the packed data runs out (then returns false).
template <bool Direct>
bool Unpacker<Direct>::decodeLz(int64_t& destUnpSize) {
    uint8_t* const w = window_;
    BitCache in{s_.InBuf, pos_};
    uint32_t unpPtr = s_.UnpPtr;
    uint32_t wrPtr = s_.WrPtr;
    int64_t dest = destUnpSize;
    // One comparison covers both the refill point and the end of the packed data.
    uint32_t inLimit = std::min(MAIN_REFILL_AT + 1, s_.InEnd);
    bool more = true;

    while (dest >= 0) {
        if (!prepareStep(in, unpPtr, wrPtr, inLimit, dest)) {
            more = false;
            break;
        }

        const uint32_t symbol = decodeNumber(s_.LD, in);
        if (symbol < 256) {
            w[unpPtr++] = static_cast<uint8_t>(symbol);
            --dest;
            continue;
        }

        uint32_t len;
        uint32_t dist;
        if (symbol > 269) {
            const uint32_t slot = symbol - 270;
            len = LDecode[slot] + 3u;
            if (LBits[slot] != 0) {
                len += in.get(LBits[slot]);
            }
            const uint32_t distSlot = decodeNumber(s_.DD, in);
            dist = DDecode[distSlot] + 1;
            if (DBits[distSlot] != 0) {
                dist += in.get(DBits[distSlot]);
            }
            if (dist >= 0x2000) {
                ++len;
                if (dist >= 0x40000) {
                    ++len;
                }
            }
            s_.LastLength = len;
            s_.LastDist = dist;
        } else if (symbol == 269) {
            pos_ = in.pos;
            s_.UnpPtr = unpPtr;
            s_.WrPtr = wrPtr;
            readTables();
            in.reset(pos_);
            inLimit = std::min(MAIN_REFILL_AT + 1, s_.InEnd);
            if (s_.UnpAudioBlock) {
                break;
            }
            continue;
        } else if (symbol == 256) {
            len = s_.LastLength;
            dist = s_.LastDist;
        } else if (symbol < 261) {
            dist = s_.OldDist[(s_.OldDistPtr - (symbol - 256)) & 3];
            const uint32_t slot = decodeNumber(s_.RD, in);
            len = LDecode[slot] + 2u;
            if (LBits[slot] != 0) {
                len += in.get(LBits[slot]);
            }
            if (dist >= 0x101) {
                ++len;
                if (dist >= 0x2000) {
                    ++len;
                    if (dist >= 0x40000) {
                        ++len;
                    }
                }
            }
            s_.LastLength = len;
            s_.LastDist = dist;
        } else {
            const uint32_t slot = symbol - 261;
            dist = SDDecode[slot] + 1u + in.get(SDBits[slot]);
            len = 2;
            s_.LastLength = len;
            s_.LastDist = dist;
        }
        s_.OldDist[s_.OldDistPtr & 3] = dist;
        s_.OldDistPtr += 1;
        dest -= len;
        if constexpr (Direct) {
            unpPtr = copyMatchDirect(w, unpPtr, dist, len);
        } else {
            unpPtr = copyMatch(w, unpPtr, dist, len);
        }
    }

    pos_ = in.pos;
    s_.UnpPtr = unpPtr;
    s_.WrPtr = wrPtr;
    destUnpSize = dest;
    return more;
}

// The per-byte predictor step for either form of the channel state.
inline uint8_t predict(AudioVariables& v, int32_t& channelDelta, uint32_t delta) {
    return decodeAudio(v, channelDelta, delta);
}
inline uint8_t predict(FastAudioChannel& v, int32_t& channelDelta, uint32_t delta) {
    return decodeAudioFast(v, channelDelta, delta);
}

// Decodes up to `count` multimedia symbols into `out` without the per-symbol checks (the caller
// has made them for the whole run). Stops after a table change code, which it consumes; returns
// the bytes written, so fewer than `count` means the code came. A template on the channel count:
// whole rounds of channels 0..Channels-1 are unrolled, so that each channel's table and state sit
// at fixed places and the rotation costs nothing.
template <uint32_t Channels, typename Channel>
inline uint32_t audioRun(const DecodeTable* tables, Channel* state, BitCache& input, uint8_t* out,
                         uint32_t count, uint32_t& currentChannel, int32_t& sharedDelta) {
    BitCache in = input;
    uint32_t channel = currentChannel;
    int32_t channelDelta = sharedDelta;
    uint32_t i = 0;
    bool tableChange = false;

    // Single steps up to the start of a round, whole rounds, then single steps to the end.
    while (channel != 0 && i < count) {
        const uint32_t symbol = decodeNumber(tables[channel], in);
        if (symbol == 256) {
            tableChange = true;
            break;
        }
        out[i++] = predict(state[channel], channelDelta, symbol);
        channel = channel + 1 == Channels ? 0 : channel + 1;
    }
    while (!tableChange && count - i >= Channels) {
#pragma GCC unroll 4
        for (uint32_t c = 0; c < Channels; ++c) {
            const uint32_t symbol = decodeNumber(tables[c], in);
            if (symbol == 256) {
                tableChange = true;
                channel = c;
                break;
            }
            out[i++] = predict(state[c], channelDelta, symbol);
        }
    }
    while (!tableChange && i < count) {
        const uint32_t symbol = decodeNumber(tables[channel], in);
        if (symbol == 256) {
            break;
        }
        out[i++] = predict(state[channel], channelDelta, symbol);
        channel = channel + 1 == Channels ? 0 : channel + 1;
    }
    input = in;
    currentChannel = channel;
    sharedDelta = channelDelta;
    return i;
}

// Decodes multimedia symbols until the entry is complete, a table set is read (returns true; the
// caller continues in whichever mode it chose), or the packed data runs out (returns false).
template <bool Direct>
bool Unpacker<Direct>::decodeAudioBlock(int64_t& destUnpSize) {
    // The working form of the predictors is faster; states no decoding produces keep the plain
    // form, which handles any values.
    FastAudioChannel fast[4];
    bool useFast = plausibleChannelDelta(s_.ChannelDelta);
    for (uint32_t c = 0; c < 4 && useFast; ++c) {
        useFast = fast[c].load(s_.AudV[c]);
    }
    if (!useFast) {
        return decodeAudioSymbols(s_.AudV, destUnpSize);
    }
    const bool more = decodeAudioSymbols(fast, destUnpSize);
    for (uint32_t c = 0; c < 4; ++c) {
        fast[c].store(s_.AudV[c]);
    }
    return more;
}

template <bool Direct>
template <typename Channel>
bool Unpacker<Direct>::decodeAudioSymbols(Channel* state, int64_t& destUnpSize) {
    uint8_t* const w = window_;
    BitCache in{s_.InBuf, pos_};
    uint32_t unpPtr = s_.UnpPtr;
    uint32_t wrPtr = s_.WrPtr;
    uint32_t channel = s_.CurChannel;
    const uint32_t channels = s_.UnpChannels;
    int32_t channelDelta = s_.ChannelDelta;
    int64_t dest = destUnpSize;
    uint32_t inLimit = std::min(MAIN_REFILL_AT + 1, s_.InEnd);
    bool more = true;
    bool tableChange = false;

    while (dest >= 0) {
        if (!prepareStep(in, unpPtr, wrPtr, inLimit, dest)) {
            more = false;
            break;
        }

        // The checks above hold for the next `run` symbols without repeating them: a code is at
        // most 15 bits, so their first bits all lie before the input limit; the window neither
        // wraps nor comes within WRITE_MARGIN of the bytes not yet copied out; the entry does not
        // end. At least one symbol, the one the checks were made for.
        const uint32_t inputRun = (inLimit * 8 - in.pos) / 16;
        const uint32_t windowRun =
            Direct ? (UNP_WINDOW_SIZE - 1 - (unpPtr - wrPtr)) - (WRITE_MARGIN - 2)
                   : std::min(((wrPtr - unpPtr - 1) & UNP_WINDOW_MASK) - (WRITE_MARGIN - 2), UNP_WINDOW_SIZE - unpPtr);
        const uint32_t run = static_cast<uint32_t>(std::max<int64_t>(
            1, std::min<int64_t>(std::min(inputRun, windowRun), dest + 1)));

        uint32_t done = 0;
        switch (channels) {
        case 1: done = audioRun<1>(s_.MD, state, in, w + unpPtr, run, channel, channelDelta); break;
        case 2: done = audioRun<2>(s_.MD, state, in, w + unpPtr, run, channel, channelDelta); break;
        case 3: done = audioRun<3>(s_.MD, state, in, w + unpPtr, run, channel, channelDelta); break;
        default: done = audioRun<4>(s_.MD, state, in, w + unpPtr, run, channel, channelDelta); break;
        }
        unpPtr += done;
        dest -= done;
        tableChange = done < run;
        if (tableChange) {
            break;
        }
    }

    s_.UnpPtr = unpPtr;
    s_.WrPtr = wrPtr;
    s_.CurChannel = channel;
    s_.ChannelDelta = channelDelta;
    destUnpSize = dest;
    pos_ = in.pos;
    if (tableChange) {
        // The new set may change the channel count or leave multimedia mode: the caller goes on
        // in whichever mode it sets. Reading tables does not touch the predictor states.
        readTables();
    }
    return more;
}

template <bool Direct>
void Unpacker<Direct>::run() {
    unpInitData();
    unpReadBuf(true);
    if (!io_.solid) {
        readTables();
    }

    int64_t dest = static_cast<int64_t>(io_.unpSize) - 1;
    bool more = true;
    while (more && dest >= 0) {
        more = s_.UnpAudioBlock ? decodeAudioBlock(dest) : decodeLz(dest);
    }
    s_.DestUnpSize = dest;

    if (more) {
        readLastTables();
    } else {
        KORVANA_LOG("Packed data ended before the file was complete.");
    }
    if constexpr (Direct) {
        finishDirect();
    } else {
        unpWriteBuf();
    }
    s_.InAddr = pos_ >> 3;
    s_.InBit = pos_ & 7;
}

}  // namespace

void unpack(UnpackState& state, uint8_t* window, UnpackIo& io) {
    if (io.direct && io.output != nullptr && io.outSize != nullptr && !io.solid) {
        Unpacker<true>(state, window, io).run();
    } else {
        Unpacker<false>(state, window, io).run();
    }
}

}  // namespace korvana
