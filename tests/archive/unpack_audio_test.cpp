// Multimedia mode: the adaptive predictor on its own, and table sets that switch the stream into
// and out of multimedia mode with 1..4 channels. Expected bytes are worked out by hand: while a
// channel's weights are all zero its prediction is just its previous value, so each output byte
// is (previous value of that channel) - residual.
#include <gtest/gtest.h>

#include <random>

#include "archive/audio.h"
#include "unpack_harness.h"

namespace korvana {
namespace {

using test::Decoder;
using test::StreamWriter;
using test::variedLengths;

TEST(DecodeAudio, ZeroStateReturnsThePredictionMinusTheResidual) {
    AudioVariables v;
    int32_t channelDelta = 0;
    EXPECT_EQ(decodeAudio(v, channelDelta, 0), 0);

    AudioVariables w;
    channelDelta = 0;
    EXPECT_EQ(decodeAudio(w, channelDelta, 5), 251);
    EXPECT_EQ(w.LastChar, -5);  // kept unreduced
    EXPECT_EQ(w.LastDelta, -5);
    EXPECT_EQ(channelDelta, -5);
    EXPECT_EQ(w.ByteCount, 1u);
    // Residual 5 is D = 40; every history value was 0.
    EXPECT_EQ(w.Dif[0], 40u);
    EXPECT_EQ(w.Dif[10], 40u);

    // The next byte predicts from the previous value -5 (reduced: 251): 251 - 3 = 248.
    EXPECT_EQ(decodeAudio(w, channelDelta, 3), 248);
    EXPECT_EQ(w.D1, -5);
    EXPECT_EQ(w.D2, -5);
    EXPECT_EQ(w.LastChar, 248);
    // 248 - (-5) = 253, as a signed byte -3.
    EXPECT_EQ(w.LastDelta, -3);

    // A residual of 200 is the signed byte -56: its error term is 448.
    AudioVariables big;
    channelDelta = 0;
    decodeAudio(big, channelDelta, 200);
    EXPECT_EQ(big.Dif[0], 448u);
}

TEST(DecodeAudio, WeightsMoveOnlyOnEvery32ndByteAndOnlyTheChosenOne) {
    // Varied residuals from the zero state: nothing moves during the first 31 bytes.
    AudioVariables v;
    int32_t channelDelta = 0;
    const uint32_t residuals[] = {5, 250, 17, 3, 0, 128, 77, 9};
    for (uint32_t i = 0; i < 31; ++i) {
        decodeAudio(v, channelDelta, residuals[i % 8]);
        EXPECT_EQ(v.K1 | v.K2 | v.K3 | v.K4 | v.K5, 0) << "byte " << i + 1;
    }
    uint32_t sum = 0;
    for (uint32_t d : v.Dif) sum += d;
    EXPECT_GT(sum, 0u);
    decodeAudio(v, channelDelta, residuals[31 % 8]);
    for (uint32_t d : v.Dif) EXPECT_EQ(d, 0u);  // sums start over after the 32nd byte
    EXPECT_LE(std::abs(v.K1) + std::abs(v.K2) + std::abs(v.K3) + std::abs(v.K4) + std::abs(v.K5), 1);

    // The smallest sum picks the weight. A call with all-zero history and residual 0 adds
    // nothing, so the sums set here decide. Index 4 (raise K2) is the unique minimum.
    AudioVariables chosen;
    chosen.ByteCount = 31;
    for (uint32_t i = 0; i < 11; ++i) chosen.Dif[i] = 100 + i;
    chosen.Dif[4] = 7;
    channelDelta = 0;
    decodeAudio(chosen, channelDelta, 0);
    EXPECT_EQ(chosen.K1, 0);
    EXPECT_EQ(chosen.K2, 1);
    EXPECT_EQ(chosen.K3, 0);
    EXPECT_EQ(chosen.K4, 0);
    EXPECT_EQ(chosen.K5, 0);

    // The same sums one byte earlier: nothing moves, the sums stay.
    AudioVariables early;
    early.ByteCount = 30;
    for (uint32_t i = 0; i < 11; ++i) early.Dif[i] = 100 + i;
    early.Dif[4] = 7;
    decodeAudio(early, channelDelta, 0);
    EXPECT_EQ(early.K2, 0);
    EXPECT_EQ(early.Dif[4], 7u);

    // Ties go to the lowest index: 3 (lower K2) beats 9 (lower K5).
    AudioVariables tie;
    tie.ByteCount = 63;
    for (uint32_t i = 0; i < 11; ++i) tie.Dif[i] = 50;
    tie.Dif[3] = 10;
    tie.Dif[9] = 10;
    decodeAudio(tie, channelDelta, 0);
    EXPECT_EQ(tie.K2, -1);
    EXPECT_EQ(tie.K5, 0);

    // Index 0 wins the tie of all-equal sums: nothing moves.
    AudioVariables none;
    none.ByteCount = 31;
    decodeAudio(none, channelDelta, 0);
    EXPECT_EQ(none.K1 | none.K2 | none.K3 | none.K4 | none.K5, 0);
}

TEST(DecodeAudio, WeightsStopAt16AndMinus17) {
    auto adjust = [](int32_t start, uint32_t index) {
        AudioVariables v;
        v.K3 = start;
        v.ByteCount = 31;
        for (uint32_t i = 0; i < 11; ++i) v.Dif[i] = 1000;
        v.Dif[index] = 1;
        int32_t channelDelta = 0;
        decodeAudio(v, channelDelta, 0);
        return v.K3;
    };
    EXPECT_EQ(adjust(15, 6), 16);
    EXPECT_EQ(adjust(16, 6), 16);
    EXPECT_EQ(adjust(-16, 5), -17);
    EXPECT_EQ(adjust(-17, 5), -17);
    EXPECT_EQ(adjust(16, 5), 15);
    EXPECT_EQ(adjust(-17, 6), -16);
}

TEST(DecodeAudio, ChannelsShareTheChannelDelta) {
    // Channel b weighs the shared delta with K5 = 8, so its prediction is the delta of the byte
    // just before it, whichever channel made that byte.
    AudioVariables a;
    AudioVariables b;
    b.K5 = 8;
    int32_t channelDelta = 0;
    EXPECT_EQ(decodeAudio(a, channelDelta, 16), 240);  // 0 - 16
    EXPECT_EQ(channelDelta, -16);
    // b: (8 * -16) >> 3 = -16, reduced 240; minus residual 0.
    EXPECT_EQ(decodeAudio(b, channelDelta, 0), 240);
    EXPECT_EQ(b.LastChar, 240);
    EXPECT_EQ(channelDelta, -16);  // 240 - 0 as a signed byte
    EXPECT_EQ(a.LastChar, -16);    // a's own state was not touched by b
    EXPECT_EQ(a.ByteCount, 1u);
    EXPECT_EQ(b.ByteCount, 1u);

    // Without the link (a fresh shared delta) b predicts 0.
    AudioVariables c;
    c.K5 = 8;
    int32_t fresh = 0;
    EXPECT_EQ(decodeAudio(c, fresh, 0), 0);
}

// The predictor written out plainly, one statement per rule, as the reference for the inline and
// vector forms the decoder runs.
struct ModelChannel {
    int32_t K[6] = {};  // K[1]..K[5]
    int32_t D1 = 0, D2 = 0, D3 = 0, D4 = 0, LastDelta = 0, LastChar = 0;
    uint32_t Dif[11] = {};
    uint32_t ByteCount = 0;

    AudioVariables asVariables() const {
        AudioVariables v;
        v.K1 = K[1];
        v.K2 = K[2];
        v.K3 = K[3];
        v.K4 = K[4];
        v.K5 = K[5];
        v.D1 = D1;
        v.D2 = D2;
        v.D3 = D3;
        v.D4 = D4;
        v.LastDelta = LastDelta;
        v.LastChar = LastChar;
        v.ByteCount = ByteCount;
        for (int i = 0; i < 11; ++i) v.Dif[i] = Dif[i];
        return v;
    }
};

uint8_t modelDecode(ModelChannel& v, int32_t& channelDelta, uint32_t delta) {
    v.ByteCount++;
    v.D4 = v.D3;
    v.D3 = v.D2;
    v.D2 = v.LastDelta - v.D1;
    v.D1 = v.LastDelta;
    int32_t p = 8 * v.LastChar + v.K[1] * v.D1 + v.K[2] * v.D2 + v.K[3] * v.D3 + v.K[4] * v.D4 +
                v.K[5] * channelDelta;
    p = (p >> 3) & 0xFF;
    const int32_t ch = p - static_cast<int32_t>(delta);
    const int32_t d = static_cast<int8_t>(delta) * 8;
    const int32_t x[5] = {v.D1, v.D2, v.D3, v.D4, channelDelta};
    v.Dif[0] += static_cast<uint32_t>(std::abs(d));
    for (int i = 0; i < 5; ++i) {
        v.Dif[2 * i + 1] += static_cast<uint32_t>(std::abs(d - x[i]));
        v.Dif[2 * i + 2] += static_cast<uint32_t>(std::abs(d + x[i]));
    }
    channelDelta = static_cast<int8_t>(ch - v.LastChar);
    v.LastDelta = channelDelta;
    v.LastChar = ch;
    if (v.ByteCount % 32 == 0) {
        int best = 0;
        for (int i = 1; i < 11; ++i) {
            if (v.Dif[i] < v.Dif[best]) best = i;
        }
        for (uint32_t& sum : v.Dif) sum = 0;
        if (best != 0) {
            int32_t& k = v.K[(best + 1) / 2];
            if (best % 2 == 1 && k >= -16) --k;
            if (best % 2 == 0 && k < 16) ++k;
        }
    }
    return static_cast<uint8_t>(ch);
}

void expectSameState(const AudioVariables& a, const AudioVariables& b, const char* what, size_t at) {
    const int32_t as[] = {a.K1, a.K2, a.K3, a.K4, a.K5, a.D1, a.D2, a.D3, a.D4, a.LastDelta, a.LastChar};
    const int32_t bs[] = {b.K1, b.K2, b.K3, b.K4, b.K5, b.D1, b.D2, b.D3, b.D4, b.LastDelta, b.LastChar};
    for (int i = 0; i < 11; ++i) {
        ASSERT_EQ(as[i], bs[i]) << what << ": field " << i << " after byte " << at;
        ASSERT_EQ(a.Dif[i], b.Dif[i]) << what << ": Dif[" << i << "] after byte " << at;
    }
    ASSERT_EQ(a.ByteCount, b.ByteCount) << what << " after byte " << at;
}

// The inline and the vector form against the model over millions of residuals: uniform ones,
// small ones (as real audio gives) and long one-sided runs that drive the weights to their
// bounds, on 1..4 interleaved channels. The vector form is stored back and reloaded at random
// points, as the decoder does at every table change.
TEST(DecodeAudio, InlineAndVectorFormsMatchTheModel) {
    std::mt19937 rng(20261207);
    size_t total = 0;
    for (int round = 0; round < 48; ++round) {
        const uint32_t channels = 1 + round % 4;
        ModelChannel model[4];
        AudioVariables plain[4];
        FastAudioChannel fast[4];
        for (FastAudioChannel& f : fast) ASSERT_TRUE(f.load(AudioVariables{}));
        int32_t modelDelta = 0, plainDelta = 0, fastDelta = 0;
        const int style = round % 3;
        const size_t count = 60000 + rng() % 8000;
        uint32_t bias = 0;
        for (size_t i = 0; i < count; ++i, ++total) {
            uint32_t residual;
            if (style == 0) {
                residual = rng() & 0xFF;
            } else if (style == 1) {
                residual = static_cast<uint32_t>(static_cast<int32_t>(rng() % 9) - 4) & 0xFF;
            } else {
                if (i % 500 == 0) bias = rng() & 0xFF;
                residual = (bias + rng() % 3) & 0xFF;
            }
            const uint32_t c = static_cast<uint32_t>(i % channels);
            const uint8_t expected = modelDecode(model[c], modelDelta, residual);
            ASSERT_EQ(decodeAudio(plain[c], plainDelta, residual), expected) << "inline, byte " << i;
            ASSERT_EQ(decodeAudioFast(fast[c], fastDelta, residual), expected) << "vector, byte " << i;
            if (rng() % 4096 == 0 || i + 1 == count) {
                for (uint32_t k = 0; k < channels; ++k) {
                    AudioVariables stored;
                    fast[k].store(stored);
                    expectSameState(stored, model[k].asVariables(), "vector", i);
                    expectSameState(plain[k], model[k].asVariables(), "inline", i);
                    ASSERT_TRUE(fast[k].load(stored));
                }
                ASSERT_EQ(plainDelta, modelDelta);
                ASSERT_EQ(fastDelta, modelDelta);
            }
        }
    }
    EXPECT_GT(total, 2'000'000u);
}

// States that decoding never produces are refused by the vector form; the decoder then runs the
// plain form, which gives the model's bytes for them too.
TEST(DecodeAudio, ImplausibleStatesTakeThePlainPath) {
    FastAudioChannel fast;
    AudioVariables wild;
    wild.D2 = 1000;
    EXPECT_FALSE(fast.load(wild));
    wild = AudioVariables{};
    wild.LastDelta = 200;
    EXPECT_FALSE(fast.load(wild));
    wild = AudioVariables{};
    wild.D4 = -384;
    EXPECT_FALSE(fast.load(wild));
    wild.D4 = -383;
    EXPECT_TRUE(fast.load(wild));
    EXPECT_FALSE(plausibleChannelDelta(128));
    EXPECT_TRUE(plausibleChannelDelta(-128));
}

std::vector<std::vector<uint8_t>> channelTables(size_t channels) {
    std::vector<std::vector<uint8_t>> tables;
    for (size_t c = 0; c < channels; ++c) {
        // A different code per channel: decoding with the wrong channel's table goes astray.
        tables.push_back(variedLengths(257, static_cast<uint8_t>(8 + c)));
    }
    return tables;
}

TEST(MultimediaStream, InterleavesChannelsAndSwitchesTables) {
    StreamWriter s;
    s.lzTables(test::defaultLd(), test::defaultDd(), test::defaultRd());
    s.literal('A');
    s.newTablesCode();
    s.audioTables(channelTables(2));
    // ch0: 0-5 = -5 (251); ch1: 0-7 = -7 (249); ch0: 251-1 = 250; ch1: 249-2 = 247.
    s.residual(5);
    s.residual(7);
    s.residual(1);
    s.residual(2);
    // Back to LZ: bit 15 clear.
    s.newTablesCode();
    s.lzTables(test::defaultLd(), test::defaultDd(), test::defaultRd());
    s.literal('B');
    // Multimedia again with one channel: CurChannel is 0 and stays 0; channel 0 goes on from
    // its previous value 250: 250 - 10 = 240.
    s.newTablesCode();
    s.audioTables(channelTables(1));
    s.residual(10);

    Decoder d;
    const std::vector<uint8_t> expected = {'A', 251, 249, 250, 247, 'B', 240};
    EXPECT_EQ(d.decode(s.bits.bytes(8), static_cast<uint32_t>(expected.size())), expected);
    EXPECT_TRUE(d.state->UnpAudioBlock);
    EXPECT_EQ(d.state->UnpChannels, 1u);
}

TEST(MultimediaStream, ChannelCountAndCurChannelReset) {
    for (uint32_t channels = 1; channels <= 4; ++channels) {
        StreamWriter s;
        s.audioTables(channelTables(channels));
        std::vector<uint8_t> expected;
        for (uint32_t i = 0; i < 2 * channels; ++i) {
            const uint32_t residual = 3 + i;
            s.residual(residual);
            // The second round of each channel subtracts from its own first byte.
            const uint32_t previous = i < channels ? 0 : expected[i - channels];
            expected.push_back(static_cast<uint8_t>(previous - residual));
        }
        Decoder d;
        EXPECT_EQ(d.decode(s.bits.bytes(8), static_cast<uint32_t>(expected.size())), expected)
            << channels << " channels";
        EXPECT_EQ(d.state->UnpChannels, channels);
    }

    // Three channels, two bytes decoded (CurChannel 2); a 2-channel set resets CurChannel to 0,
    // a 4-channel set would keep it.
    for (uint32_t next : {2u, 4u}) {
        StreamWriter s;
        s.audioTables(channelTables(3));
        s.residual(10);  // ch0: 246
        s.residual(20);  // ch1: 236
        s.newTablesCode();
        s.audioTables(channelTables(next));
        const uint32_t channel = next == 2 ? 0 : 2;
        s.setChannel(channel);
        s.residual(1);
        // ch0 goes on from 246 (245); ch2 starts from 0 (255).
        const uint8_t last = next == 2 ? 245 : 255;
        Decoder d;
        EXPECT_EQ(d.decode(s.bits.bytes(8), 3), (std::vector<uint8_t>{246, 236, last})) << next;
        EXPECT_EQ(d.state->CurChannel, (channel + 1) % next);
    }
}

TEST(MultimediaStream, SolidEntryKeepsPredictorsAndMode) {
    StreamWriter first;
    first.audioTables(channelTables(2));
    first.residual(5);   // ch0: 251
    first.residual(6);   // ch1: 250
    first.residual(7);   // ch0: 244
    StreamWriter second = first;  // the same codes, a fresh bit stream
    second.bits = test::BitWriter();
    second.residual(4);  // ch1 (CurChannel carried over): 250 - 4 = 246
    second.residual(4);  // ch0: 244 - 4 = 240

    Decoder d;
    EXPECT_EQ(d.decode(first.bits.bytes(8), 3), (std::vector<uint8_t>{251, 250, 244}));
    EXPECT_EQ(d.decode(second.bits.bytes(8), 2, /*solid=*/true), (std::vector<uint8_t>{246, 240}));

    // A non-solid entry starts over: predictors, channel and window zeroed, tables read afresh.
    StreamWriter fresh;
    fresh.audioTables(channelTables(2));
    fresh.residual(4);
    EXPECT_EQ(d.decode(fresh.bits.bytes(8), 1), (std::vector<uint8_t>{252}));
}

// A solid entry that inherits a state decoding never produces (here set by hand) is decoded by
// the plain form, byte for byte as the model has it; the same stream from a plausible state goes
// through the vector form.
TEST(MultimediaStream, InheritedStatesOfAnyKindDecodeAsTheModel) {
    std::mt19937 rng(77);
    for (int wildState = 0; wildState < 2; ++wildState) {
        StreamWriter first;
        first.audioTables(channelTables(2));
        first.residual(1);
        StreamWriter second = first;
        second.bits = test::BitWriter();
        std::vector<uint32_t> residuals;
        for (int i = 0; i < 3000; ++i) {
            residuals.push_back(rng() % 40);
            second.residual(residuals.back());
        }
        Decoder d;
        ASSERT_EQ(d.decode(first.bits.bytes(8), 1).size(), 1u);
        ModelChannel model[2];
        int32_t channelDelta = d.state->ChannelDelta;
        for (int c = 0; c < 2; ++c) {
            AudioVariables& v = d.state->AudV[c];
            if (wildState != 0) {
                // Beyond 16 bits, and read as 16 bits close to the residuals' own values, so a
                // form that dropped the high bits would pick another weight at the next 32nd byte,
                // which comes two bytes on.
                v.D3 = 65536 + 60 + 8 * c;
                v.D4 = -65536 + 90;
                v.ByteCount = 30;
                v.Dif[4] = 4000000000u;  // wider than the vector form's 16-bit lanes
            }
            model[c].K[1] = v.K1;
            model[c].D1 = v.D1;
            model[c].D2 = v.D2;
            model[c].D3 = v.D3;
            model[c].D4 = v.D4;
            model[c].LastDelta = v.LastDelta;
            model[c].LastChar = v.LastChar;
            model[c].ByteCount = v.ByteCount;
            for (int i = 0; i < 11; ++i) model[c].Dif[i] = v.Dif[i];
        }
        std::vector<uint8_t> expected;
        uint32_t channel = d.state->CurChannel;
        for (uint32_t r : residuals) {
            expected.push_back(modelDecode(model[channel], channelDelta, r));
            channel = (channel + 1) % 2;
        }
        EXPECT_EQ(d.decode(second.bits.bytes(8), static_cast<uint32_t>(expected.size()), true), expected)
            << (wildState != 0 ? "wild state" : "decoded state");
        for (int c = 0; c < 2; ++c) {
            expectSameState(d.state->AudV[c], model[c].asVariables(), "decoder", residuals.size());
        }
    }
}

// Long streams (several input buffers) of residuals on 1..4 channels, with table sets that change
// the channel count at any point of a round and LZ stretches in between: the decoder's runs, which
// skip the per-symbol checks, must give the model's bytes and states throughout.
TEST(MultimediaStream, LongStreamsWithTableChangesMatchTheModel) {
    std::mt19937 rng(4242);
    for (int trial = 0; trial < 4; ++trial) {
        StreamWriter s;
        uint32_t channels = 1 + static_cast<uint32_t>(trial);
        s.audioTables(channelTables(channels));
        ModelChannel model[4];
        int32_t channelDelta = 0;
        uint32_t channel = 0;
        std::vector<uint8_t> expected;
        for (int segment = 0; segment < 40; ++segment) {
            const uint32_t count = segment % 3 == 0 ? rng() % 7 : rng() % 4000;
            const bool small = rng() % 2 == 0;
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t residual = small ? (rng() % 11 + 251) & 0xFF : rng() & 0xFF;
                s.residual(residual);
                expected.push_back(modelDecode(model[channel], channelDelta, residual));
                channel = (channel + 1) % channels;
            }
            s.newTablesCode();
            // Not after the last bytes: the decoder reads only the first table change past the
            // end of an entry, so a final LZ stretch would leave the last set unread.
            if (segment < 39 && rng() % 4 == 0) {
                s.lzTables(test::defaultLd(), test::defaultDd(), test::defaultRd());
                for (uint32_t i = rng() % 5; i > 0; --i) {
                    const uint8_t literal = static_cast<uint8_t>(rng());
                    s.literal(literal);
                    expected.push_back(literal);
                }
                s.newTablesCode();
            }
            channels = 1 + rng() % 4;
            s.audioTables(channelTables(channels));
            if (channel >= channels) channel = 0;
            s.setChannel(channel);
        }
        Decoder d;
        const std::vector<uint8_t> packed = s.bits.bytes(8);
        ASSERT_GT(packed.size(), 3 * UNP_INPUT_SIZE) << "meant to span several input buffers";
        EXPECT_EQ(d.decode(packed, static_cast<uint32_t>(expected.size())), expected) << "trial " << trial;
        EXPECT_EQ(d.state->CurChannel, channel);
        EXPECT_EQ(d.state->ChannelDelta, channelDelta);
        for (uint32_t c = 0; c < 4; ++c) {
            expectSameState(d.state->AudV[c], model[c].asVariables(), "decoder", expected.size());
        }
    }
}

}  // namespace
}  // namespace korvana
