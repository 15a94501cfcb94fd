// The multimedia predictor of the RAR 2.0 decoder: turns a per-channel prediction residual back
// into an audio byte with an adaptive linear predictor, one state per interleaved channel.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Every 32nd byte of a channel: moves the weight whose adjustment had the smallest error sum,
// then starts the sums over.
void adaptAudioWeights(AudioVariables& channel);

namespace audio_detail {
inline uint32_t absolute(int32_t value) {
    // Branch-free: the sign mask flips and corrects negative values.
    const uint32_t sign = static_cast<uint32_t>(value >> 31);
    return (static_cast<uint32_t>(value) ^ sign) - sign;
}
}  // namespace audio_detail

// Decodes one residual `delta` (0..255) on `channel`. `channelDelta` is shared by all channels:
// the delta of the most recent byte of any channel; it is read and updated. Inline because the
// multimedia loop calls it once per output byte.
inline uint8_t decodeAudio(AudioVariables& v, int32_t& channelDelta, uint32_t delta) {
    using audio_detail::absolute;
    v.ByteCount += 1;

    const int32_t d1 = v.LastDelta;
    const int32_t d2 = v.LastDelta - v.D1;
    const int32_t d3 = v.D2;
    const int32_t d4 = v.D3;
    v.D4 = d4;
    v.D3 = d3;
    v.D2 = d2;
    v.D1 = d1;
    const int32_t cd = channelDelta;

    // Every term is small (|LastChar| <= 255, |D| <= 255, |K| <= 17), so 32 bits cannot overflow.
    int32_t prediction = 8 * v.LastChar + v.K1 * d1 + v.K2 * d2 + v.K3 * d3 + v.K4 * d4 + v.K5 * cd;
    prediction = (prediction >> 3) & 0xFF;

    const int32_t ch = prediction - static_cast<int32_t>(delta);
    const int32_t d = static_cast<int32_t>(static_cast<int8_t>(static_cast<uint8_t>(delta))) * 8;

    v.Dif[0] += absolute(d);
    v.Dif[1] += absolute(d - d1);
    v.Dif[2] += absolute(d + d1);
    v.Dif[3] += absolute(d - d2);
    v.Dif[4] += absolute(d + d2);
    v.Dif[5] += absolute(d - d3);
    v.Dif[6] += absolute(d + d3);
    v.Dif[7] += absolute(d - d4);
    v.Dif[8] += absolute(d + d4);
    v.Dif[9] += absolute(d - cd);
    v.Dif[10] += absolute(d + cd);

    v.LastDelta = channelDelta = static_cast<int8_t>(static_cast<uint8_t>(ch - v.LastChar));
    v.LastChar = ch;

    if ((v.ByteCount & 0x1F) == 0) {
        adaptAudioWeights(v);
    }
    return static_cast<uint8_t>(ch & 0xFF);
}

// The multimedia loop's working form of one channel's AudioVariables, same results byte for
// byte, with the history D1..D4 held in the lanes of a vector:
// - The eleven error terms are |D - X| and |D + X| for X in (D1, D2, D3, D4, ChannelDelta, 0),
//   two 8-lane vector operations instead of eleven scalar ones.
// - The prediction K1*D1 + K2*D2 + K3*D3 + K4*D4 after the shift of the history equals
//   (K1 + K2)*LastDelta + (-K2*D1 + K3*D2 + K4*D3) before it. The second part, from the vector,
//   does not wait for the previous byte of the channel, which on one channel is the previous
//   byte of the stream.
// The values involved are bounded (|D| <= 1024, history within -511..511, weights within
// -17..16), so 16-bit lanes hold every term and every partial prediction, and 32 bytes of terms
// (the sums start over every 32nd byte) stay below 65536. Sums present when the state is loaded
// are kept apart in `base` at full width.
struct FastAudioChannel {
    using Lanes = int16_t __attribute__((vector_size(16)));
    using Sums = uint16_t __attribute__((vector_size(16)));

    Lanes history;        // D1, D2, D3, D4, then zeros
    Lanes weights;        // -K2, K3, K4, then zeros: the history's share of the prediction
    Sums minus;           // sums of |D - X| in the lane order above
    Sums plus;            // sums of |D + X|
    // K1..K5, then a slot that the "no change" choice of the adaptation adjusts instead, so
    // that it needs no branch on the (unpredictable) choice.
    int32_t K[6];
    int32_t K12;          // K1 + K2, the weight of LastDelta
    int32_t K5;           // K[4], kept apart for the per-byte step
    int32_t LastDelta;
    int32_t LastChar;
    uint32_t ByteCount;
    uint32_t base[11];

    // False when `v` holds values that decoding never produces (then the 16-bit lanes could not
    // hold the terms, and the caller keeps using decodeAudio).
    bool load(const AudioVariables& v);
    void store(AudioVariables& v) const;
    // Adds the lane sums to `base` and clears them.
    void foldSums();
    // Every 32nd byte: the weight adjustment of adaptAudioWeights on the folded sums.
    void adapt();
    // After a weight changed.
    void setWeights();
};

namespace audio_detail {
using Lanes = FastAudioChannel::Lanes;

// Vectors the per-byte step would otherwise build from a byte by broadcasting and masking, looked
// up instead: for a residual, its error value D in every lane; for a LastDelta (as a byte), that
// delta in lanes 0 and 1, the parts of the new D1 and D2 it supplies.
struct AudioLaneTables {
    Lanes residual[256];
    Lanes lastDelta[256];
};

constexpr AudioLaneTables makeAudioLaneTables() {
    AudioLaneTables t{};
    for (int b = 0; b < 256; ++b) {
        const int16_t signedByte = static_cast<int16_t>(b < 128 ? b : b - 256);
        const int16_t d = static_cast<int16_t>(signedByte * 8);
        t.residual[b] = Lanes{d, d, d, d, d, d, d, d};
        t.lastDelta[b] = Lanes{signedByte, signedByte, 0, 0, 0, 0, 0, 0};
    }
    return t;
}

inline constexpr AudioLaneTables audioLaneTables = makeAudioLaneTables();
}  // namespace audio_detail

// True when `channelDelta` is a value decoding can produce (a signed byte).
inline bool plausibleChannelDelta(int32_t channelDelta) {
    return channelDelta >= -128 && channelDelta <= 127;
}

// decodeAudio on the working form. `channelDelta` must be a signed byte (plausibleChannelDelta).
inline uint8_t decodeAudioFast(FastAudioChannel& v, int32_t& channelDelta, uint32_t delta) {
    using Lanes = FastAudioChannel::Lanes;
    using Sums = FastAudioChannel::Sums;
    v.ByteCount += 1;

    const Lanes old = v.history;
#if defined(__SSE2__)
    // Products summed in pairs into 32-bit lanes: -K2*D1 + K3*D2 and K4*D3 (+ 0 * D4).
    const __m128i pairs = _mm_madd_epi16(reinterpret_cast<__m128i>(old), reinterpret_cast<__m128i>(v.weights));
    const int32_t share = _mm_cvtsi128_si32(_mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, 1)));
#else
    Lanes products = old * v.weights;
    // Only lanes 0..2 are non-zero: two swaps within the low four lanes add them up in lane 0.
    products += __builtin_shufflevector(products, products, 1, 0, 3, 2, 4, 5, 6, 7);
    products += __builtin_shufflevector(products, products, 2, 3, 0, 1, 4, 5, 6, 7);
    const int32_t share = products[0];
#endif

    const int32_t lastDelta = v.LastDelta;
    const int32_t cd = channelDelta;
    int32_t prediction = 8 * v.LastChar + v.K12 * lastDelta + share + v.K5 * cd;
    prediction = (prediction >> 3) & 0xFF;
    const int32_t ch = prediction - static_cast<int32_t>(delta);

    // The shift: D1 = LastDelta, D2 = LastDelta - D1, D3 = D2, D4 = D3.
    const auto& tables = audio_detail::audioLaneTables;
    const Lanes shifted = __builtin_shufflevector(old, old, 0, 0, 1, 2, 4, 5, 6, 7);
    const Lanes history =
        shifted * Lanes{0, -1, 1, 1, 0, 0, 0, 0} + tables.lastDelta[static_cast<uint8_t>(lastDelta)];
    v.history = history;

    Lanes x = history;
    x[4] = static_cast<int16_t>(cd);
    const Lanes dd = tables.residual[delta & 0xFF];
    const Lanes minus = dd - x;
    const Lanes plus = dd + x;
    v.minus += reinterpret_cast<Sums>(minus < 0 ? -minus : minus);
    v.plus += reinterpret_cast<Sums>(plus < 0 ? -plus : plus);

    v.LastDelta = channelDelta = static_cast<int8_t>(static_cast<uint8_t>(ch - v.LastChar));
    v.LastChar = ch;

    if ((v.ByteCount & 0x1F) == 0) {
        v.adapt();
    }
    return static_cast<uint8_t>(ch & 0xFF);
}

}  // namespace korvana
