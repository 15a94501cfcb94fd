// Internal to the RAR 2.0 compressor: the multimedia (audio) mode, whose symbols are the residuals
// of the decoder's adaptive predictor, one Huffman table per channel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "packer/encoder_state.h"

namespace korvana::pack::detail {

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

struct AudioStats {
    unsigned channels = 1;
    std::array<std::array<uint32_t, kMdSize>, 4> md{};

    void add(const AudioStats& o) {
        for (unsigned c = 0; c < 4; ++c)
            for (unsigned i = 0; i < kMdSize; ++i) md[c][i] += o.md[c][i];
    }
};

struct AudioTrial {
    AudioState after;
    AudioStats stats;
    std::vector<uint8_t> residuals;
};

// Residuals of hist[begin, end) over `chans` interleaved channels, starting from `audio`; with
// `continues` the channel rotation goes on from the open block.
AudioTrial audioTrial(const std::vector<uint8_t>& hist, const AudioState& audio, size_t begin, size_t end, unsigned chans,
                      bool continues);

// Whether the predictor's residuals on the first few KiB of the segment are clearly more
// predictable than the bytes themselves, for some channel count.
bool audioLooksPromising(const std::vector<uint8_t>& hist, const AudioState& audio, size_t begin, size_t end);

// The code lengths of every channel's table, laid end to end as the decoder reads them.
std::vector<uint8_t> audioWork(const AudioStats& s, std::array<std::vector<uint8_t>, 4>* lens);

// Bits to code a block with these statistics, its tables and the switch into it included.
uint64_t audioCost(const AudioStats& s);

}  // namespace korvana::pack::detail
