// The multimedia predictor of the RAR 2.0 decoder: the weight adaptation, which runs once every
// 32 bytes of a channel and so stays out of the inline per-byte paths, and the conversion to and
// from the multimedia loop's working form.
#include "archive/audio.h"

namespace korvana {

namespace {

// Index of the smallest sum; a later sum wins only when strictly smaller.
uint32_t smallestSum(const uint32_t (&dif)[11]) {
    uint32_t minDif = dif[0];
    uint32_t numMinDif = 0;
    for (uint32_t i = 1; i < 11; ++i) {
        if (dif[i] < minDif) {
            minDif = dif[i];
            numMinDif = i;
        }
    }
    return numMinDif;
}

// Index 2k - 1 lowers weight k, index 2k raises it, index 0 keeps them all. The asymmetric bounds
// (lower at >= -16, raise at < 16) let a weight reach -17 and 16.
void adjustWeight(int32_t& k1, int32_t& k2, int32_t& k3, int32_t& k4, int32_t& k5, uint32_t index) {
    if (index == 0) {
        return;
    }
    int32_t* weights[5] = {&k1, &k2, &k3, &k4, &k5};
    int32_t& k = *weights[(index - 1) / 2];
    if ((index & 1) != 0) {
        if (k >= -16) {
            k -= 1;
        }
    } else if (k < 16) {
        k += 1;
    }
}

bool within(int32_t value, int32_t low, int32_t high) {
    return value >= low && value <= high;
}

}  // namespace

void adaptAudioWeights(AudioVariables& v) {
    const uint32_t index = smallestSum(v.Dif);
    for (uint32_t& d : v.Dif) {
        d = 0;
    }
    adjustWeight(v.K1, v.K2, v.K3, v.K4, v.K5, index);
}

bool FastAudioChannel::load(const AudioVariables& v) {
    // Decoding keeps LastDelta a signed byte, the history within -255..255 (differences of two
    // signed bytes) and the weights within -17..16. Accepting history up to 383 bounds every later
    // history value by 128 + 383: each lane term is then at most 1024 + 511, 32 of them stay
    // below 65536, and the history's share of the prediction within 3 * 17 * 511.
    if (!within(v.LastDelta, -128, 127) || !within(v.D1, -383, 383) || !within(v.D2, -383, 383) ||
        !within(v.D3, -383, 383) || !within(v.D4, -383, 383) || !within(v.K1, -17, 16) ||
        !within(v.K2, -17, 16) || !within(v.K3, -17, 16) || !within(v.K4, -17, 16) ||
        !within(v.K5, -17, 16)) {
        return false;
    }
    K[0] = v.K1;
    K[1] = v.K2;
    K[2] = v.K3;
    K[3] = v.K4;
    K[4] = v.K5;
    K[5] = 0;
    setWeights();
    history = Lanes{static_cast<int16_t>(v.D1), static_cast<int16_t>(v.D2), static_cast<int16_t>(v.D3),
                    static_cast<int16_t>(v.D4), 0, 0, 0, 0};
    LastDelta = v.LastDelta;
    LastChar = v.LastChar;
    ByteCount = v.ByteCount;
    minus = Sums{};
    plus = Sums{};
    for (uint32_t i = 0; i < 11; ++i) {
        base[i] = v.Dif[i];
    }
    return true;
}

void FastAudioChannel::setWeights() {
    K12 = K[0] + K[1];
    K5 = K[4];
    weights = Lanes{static_cast<int16_t>(-K[1]), static_cast<int16_t>(K[2]), static_cast<int16_t>(K[3]), 0, 0, 0, 0, 0};
}

void FastAudioChannel::foldSums() {
    // Lane order: D1, D2, D3, D4, ChannelDelta, 0; Dif[2k-1] is |D - Xk| and Dif[2k] is |D + Xk|.
    base[0] += minus[5];
    for (uint32_t lane = 0; lane < 5; ++lane) {
        base[2 * lane + 1] += minus[lane];
        base[2 * lane + 2] += plus[lane];
    }
    minus = Sums{};
    plus = Sums{};
}

void FastAudioChannel::store(AudioVariables& v) const {
    FastAudioChannel copy = *this;
    copy.foldSums();
    v.K1 = K[0];
    v.K2 = K[1];
    v.K3 = K[2];
    v.K4 = K[3];
    v.K5 = K[4];
    v.D1 = history[0];
    v.D2 = history[1];
    v.D3 = history[2];
    v.D4 = history[3];
    v.LastDelta = LastDelta;
    v.LastChar = LastChar;
    v.ByteCount = ByteCount;
    for (uint32_t i = 0; i < 11; ++i) {
        v.Dif[i] = copy.base[i];
    }
}

void FastAudioChannel::adapt() {
    // The sums of noisy audio give no pattern to predict, so the search and the adjustment
    // avoid branches on them.
    const uint32_t dif[11] = {base[0] + minus[5], base[1] + minus[0], base[2] + plus[0],
                              base[3] + minus[1], base[4] + plus[1],  base[5] + minus[2],
                              base[6] + plus[2],  base[7] + minus[3], base[8] + plus[3],
                              base[9] + minus[4], base[10] + plus[4]};
    uint32_t minDif = dif[0];
    uint32_t index = 0;
    for (uint32_t i = 1; i < 11; ++i) {
        const bool smaller = dif[i] < minDif;
        minDif = smaller ? dif[i] : minDif;
        index = smaller ? i : index;
    }
    minus = Sums{};
    plus = Sums{};
    for (uint32_t& d : base) {
        d = 0;
    }
    // Index 2k - 1 lowers weight k, 2k raises it (within -17..16), 0 moves the spare slot.
    int32_t& k = K[index == 0 ? 5 : (index - 1) / 2];
    const bool lower = (index & 1) != 0;
    const int32_t lowered = k >= -16 ? k - 1 : k;
    const int32_t raised = k < 16 ? k + 1 : k;
    k = lower ? lowered : raised;
    setWeights();
}

}  // namespace korvana
