// The multimedia predictor of the RAR 2.0 decoder.
#include "archive/audio.h"

namespace korvana {

namespace {

uint32_t absolute(int32_t value) {
    return value < 0 ? static_cast<uint32_t>(-value) : static_cast<uint32_t>(value);
}

}  // namespace

uint8_t decodeAudio(AudioVariables& v, int32_t& channelDelta, uint32_t delta) {
    v.ByteCount += 1;

    v.D4 = v.D3;
    v.D3 = v.D2;
    v.D2 = v.LastDelta - v.D1;
    v.D1 = v.LastDelta;

    // Every term is small (|LastChar| <= 255, |D| <= 255, |K| <= 17), so 32 bits cannot overflow.
    int32_t prediction = 8 * v.LastChar + v.K1 * v.D1 + v.K2 * v.D2 + v.K3 * v.D3 + v.K4 * v.D4 +
                         v.K5 * channelDelta;
    prediction = (prediction >> 3) & 0xFF;

    const int32_t ch = prediction - static_cast<int32_t>(delta);
    const int32_t d = static_cast<int32_t>(static_cast<int8_t>(static_cast<uint8_t>(delta))) * 8;

    v.Dif[0] += absolute(d);
    v.Dif[1] += absolute(d - v.D1);
    v.Dif[2] += absolute(d + v.D1);
    v.Dif[3] += absolute(d - v.D2);
    v.Dif[4] += absolute(d + v.D2);
    v.Dif[5] += absolute(d - v.D3);
    v.Dif[6] += absolute(d + v.D3);
    v.Dif[7] += absolute(d - v.D4);
    v.Dif[8] += absolute(d + v.D4);
    v.Dif[9] += absolute(d - channelDelta);
    v.Dif[10] += absolute(d + channelDelta);

    v.LastDelta = channelDelta = static_cast<int8_t>(static_cast<uint8_t>(ch - v.LastChar));
    v.LastChar = ch;

    if ((v.ByteCount & 0x1F) == 0) {
        uint32_t minDif = v.Dif[0];
        uint32_t numMinDif = 0;
        v.Dif[0] = 0;
        for (uint32_t i = 1; i < 11; ++i) {
            if (v.Dif[i] < minDif) {
                minDif = v.Dif[i];
                numMinDif = i;
            }
            v.Dif[i] = 0;
        }
        // The asymmetric bounds (lower at >= -16, raise at < 16) let a weight reach -17 and 16.
        int32_t* weights[5] = {&v.K1, &v.K2, &v.K3, &v.K4, &v.K5};
        if (numMinDif != 0) {
            int32_t& k = *weights[(numMinDif - 1) / 2];
            if ((numMinDif & 1) != 0) {
                if (k >= -16) {
                    k -= 1;
                }
            } else if (k < 16) {
                k += 1;
            }
        }
    }
    return static_cast<uint8_t>(ch & 0xFF);
}

}  // namespace korvana
