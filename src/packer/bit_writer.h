// Most-significant-bit-first bit output, the order in which the RAR 2.0 decoder peeks its bits.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace korvana {

class BitWriter {
public:
    // Appends the low `count` bits of `value` (count <= 32), highest first.
    void put(uint32_t value, unsigned count) {
        if (count == 0) return;
        acc_ = (acc_ << count) | (value & ((count == 32) ? 0xFFFFFFFFu : ((1u << count) - 1)));
        pending_ += count;
        while (pending_ >= 8) {
            pending_ -= 8;
            out_.push_back(static_cast<uint8_t>(acc_ >> pending_));
        }
    }
    // Hands over the whole bytes written so far; the bits of a byte not yet full stay.
    std::vector<uint8_t> takeBytes() { return std::exchange(out_, {}); }
    // Pads the last byte with zero bits and hands the bytes over.
    std::vector<uint8_t> finish() {
        if (pending_ > 0) put(0, 8 - pending_);
        acc_ = 0;
        return std::move(out_);
    }

private:
    std::vector<uint8_t> out_;
    uint64_t acc_ = 0;
    unsigned pending_ = 0;
};

}  // namespace korvana
