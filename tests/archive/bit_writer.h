// Test helper: writes RAR 2.0 packed streams by hand (bits most significant first, canonical
// Huffman codes, table sets, literals and matches), so decoder tests control every bit.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace korvana::test {

class BitWriter {
public:
    // Appends the low `count` bits of `value`, most significant first.
    void put(uint32_t value, uint32_t count) {
        for (uint32_t i = count; i > 0; --i) {
            if (bitCount_ % 8 == 0) {
                bytes_.push_back(0);
            }
            if ((value >> (i - 1)) & 1u) {
                bytes_.back() |= static_cast<uint8_t>(0x80u >> (bitCount_ % 8));
            }
            ++bitCount_;
        }
    }
    uint64_t bitCount() const { return bitCount_; }
    // The stream so far, its last byte padded with zero bits, plus `padding` zero bytes.
    std::vector<uint8_t> bytes(uint32_t padding = 0) const {
        std::vector<uint8_t> out = bytes_;
        out.insert(out.end(), padding, 0);
        return out;
    }

private:
    std::vector<uint8_t> bytes_;
    uint64_t bitCount_ = 0;
};

struct Code {
    uint32_t bits = 0;
    uint32_t length = 0;  // 0: the symbol has no code
};

// Canonical codes: shorter codes first, within one length in symbol order, each length starting
// where the previous one ended, doubled.
inline std::vector<Code> canonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t count[16] = {};
    for (uint8_t l : lengths) {
        if (l > 15) throw std::invalid_argument("code length above 15");
        ++count[l];
    }
    count[0] = 0;
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (uint32_t l = 1; l < 16; ++l) {
        code = (code + count[l - 1]) << 1;
        next[l] = code;
    }
    std::vector<Code> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] != 0) {
            codes[i] = Code{next[lengths[i]]++, lengths[i]};
        }
    }
    return codes;
}

// Tables of the format, restated for the stream builder.
inline constexpr uint32_t kLDecode[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                          24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr uint32_t kLBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                        2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
inline constexpr uint32_t kDBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                        15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
inline uint32_t dDecode(uint32_t slot) {
    uint32_t base = 0;
    for (uint32_t i = 0; i < slot; ++i) base += 1u << kDBits[i];
    return base;
}
inline constexpr uint32_t kSDDecode[8] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr uint32_t kSDBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// Writes packed streams: table sets and symbols with their extra bits.
class StreamWriter {
public:
    BitWriter bits;

    // LZ table set: 298 + 48 + 28 lengths. `keepOld` sets bit 14: lengths are sent as deltas
    // against the previous set (modulo 16).
    void lzTables(const std::vector<uint8_t>& ld, const std::vector<uint8_t>& dd,
                  const std::vector<uint8_t>& rd, bool keepOld = false) {
        std::vector<uint8_t> all = ld;
        all.insert(all.end(), dd.begin(), dd.end());
        all.insert(all.end(), rd.begin(), rd.end());
        if (all.size() != 374) throw std::invalid_argument("LZ table set needs 374 lengths");
        bits.put(keepOld ? 1 : 0, 2);  // bit 15 clear (LZ), bit 14 keep
        sendLengths(all, keepOld);
        ld_ = canonicalCodes(ld);
        dd_ = canonicalCodes(dd);
        rd_ = canonicalCodes(rd);
        audio_ = false;
    }

    // Multimedia table set for 1..4 channels, 257 lengths each.
    void audioTables(const std::vector<std::vector<uint8_t>>& channels, bool keepOld = false) {
        std::vector<uint8_t> all;
        for (const auto& c : channels) {
            if (c.size() != 257) throw std::invalid_argument("multimedia table needs 257 lengths");
            all.insert(all.end(), c.begin(), c.end());
        }
        bits.put(2 | (keepOld ? 1 : 0), 2);
        bits.put(static_cast<uint32_t>(channels.size() - 1), 2);
        sendLengths(all, keepOld);
        md_.clear();
        for (const auto& c : channels) md_.push_back(canonicalCodes(c));
        audio_ = true;
    }

    void literal(uint8_t value) { symbol(ld_, value); }
    void newTablesCode() { audio_ ? symbol(md_.at(channel_), 256) : symbol(ld_, 269); }
    void repeatLast() { symbol(ld_, 256); }

    // A residual on the current channel; the channel then advances.
    void residual(uint32_t value) {
        symbol(md_.at(channel_), value);
        channel_ = (channel_ + 1) % static_cast<uint32_t>(md_.size());
    }
    void setChannel(uint32_t channel) { channel_ = channel; }

    // Codes 270..297: `len` is the length the decoder must produce, bonuses included.
    void match(uint32_t len, uint32_t dist) {
        uint32_t base = len - (dist >= 0x2000 ? 1 : 0) - (dist >= 0x40000 ? 1 : 0);
        lengthSlot(ld_, 270, base - 3);
        distance(dist);
    }
    // Codes 257..260: `nth` 1..4 most recent distance `dist` (for the bonus), producing `len`.
    void oldDistance(uint32_t nth, uint32_t len, uint32_t dist) {
        symbol(ld_, 256 + nth);
        uint32_t base = len - (dist >= 0x101 ? 1 : 0) - (dist >= 0x2000 ? 1 : 0) - (dist >= 0x40000 ? 1 : 0);
        lengthSlot(rd_, 0, base - 2);
    }
    // Codes 261..268: length 2, distance 1..256.
    void shortDistance(uint32_t dist) {
        for (uint32_t i = 7; i < 8; --i) {
            if (dist - 1 >= kSDDecode[i]) {
                symbol(ld_, 261 + i);
                bits.put(dist - 1 - kSDDecode[i], kSDBits[i]);
                return;
            }
        }
    }

private:
    void symbol(const std::vector<Code>& codes, uint32_t value) {
        const Code& c = codes.at(value);
        if (c.length == 0) throw std::invalid_argument("symbol without a code");
        bits.put(c.bits, c.length);
    }
    void lengthSlot(const std::vector<Code>& codes, uint32_t first, uint32_t value) {
        for (uint32_t i = 27; i < 28; --i) {
            if (value >= kLDecode[i]) {
                if (value - kLDecode[i] >= (1u << kLBits[i])) throw std::invalid_argument("length too long");
                symbol(codes, first + i);
                if (kLBits[i] != 0) bits.put(value - kLDecode[i], kLBits[i]);
                return;
            }
        }
    }
    void distance(uint32_t dist) {
        for (uint32_t i = 47; i < 48; --i) {
            if (dist - 1 >= dDecode(i)) {
                symbol(dd_, i);
                if (kDBits[i] != 0) bits.put(dist - 1 - dDecode(i), kDBits[i]);
                return;
            }
        }
    }
    // Code-length codes: every one of the 19 gets 5 bits, so value v is sent as v in 5 bits.
    void sendLengths(const std::vector<uint8_t>& lengths, bool keepOld) {
        for (int i = 0; i < 19; ++i) bits.put(5, 4);
        for (size_t i = 0; i < lengths.size(); ++i) {
            const uint8_t old = keepOld && i < old_.size() ? old_[i] : 0;
            bits.put(static_cast<uint32_t>((lengths[i] - old) & 15), 5);
        }
        old_.assign(1028, 0);
        std::copy(lengths.begin(), lengths.end(), old_.begin());
    }

    std::vector<Code> ld_, dd_, rd_;
    std::vector<std::vector<Code>> md_;
    std::vector<uint8_t> old_ = std::vector<uint8_t>(1028, 0);
    uint32_t channel_ = 0;
    bool audio_ = false;
};

// Lengths helpers: `count` symbols of varied lengths (so both short and long codes occur) that
// still form a valid prefix code.
inline std::vector<uint8_t> variedLengths(size_t count, uint8_t shortest) {
    std::vector<uint8_t> lengths(count);
    for (size_t i = 0; i < count; ++i) {
        lengths[i] = static_cast<uint8_t>(shortest + i % (16 - shortest));
    }
    return lengths;
}

}  // namespace korvana::test
