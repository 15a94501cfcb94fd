// The multimedia predictor of the RAR 2.0 decoder: turns a per-channel prediction residual back
// into an audio byte with an adaptive linear predictor, one state per interleaved channel.
#pragma once

#include <cstdint>

namespace korvana {

// Predictor state of one channel. Zero is the start state of a non-solid entry.
struct AudioVariables {
    int32_t K1 = 0, K2 = 0, K3 = 0, K4 = 0, K5 = 0; // weights, kept within -17..16
    int32_t D1 = 0, D2 = 0, D3 = 0, D4 = 0;          // delta history
    int32_t LastDelta = 0;                           // delta of this channel's previous byte
    uint32_t Dif[11] = {};                           // error sums of the candidate adjustments
    uint32_t ByteCount = 0;                          // bytes decoded on this channel
    int32_t LastChar = 0;                            // previous value before reduction to a byte
};

// Decodes one residual `delta` (0..255) on `channel`. `channelDelta` is shared by all channels:
// the delta of the most recent byte of any channel; it is read and updated.
uint8_t decodeAudio(AudioVariables& channel, int32_t& channelDelta, uint32_t delta);

}  // namespace korvana
