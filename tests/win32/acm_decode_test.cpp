// The music path of the Windows build against the Linux decoder: the default soundtrack decoded
// through the system's ACM codec must have the length LAME's own decoder gives it (to the sample
// frame) and the same sound, from the start and after a seek. Runs under Wine.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sound.h"
#include "platform/win32/mp3_stream.h"

namespace korvana {
namespace {

std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The samples of a 16-bit PCM WAV file (as `lame --decode` writes it), interleaved.
std::vector<int16_t> wavSamples(const std::vector<uint8_t>& wav) {
    for (size_t at = 12; at + 8 <= wav.size();) {
        uint32_t size = 0;
        std::memcpy(&size, &wav[at + 4], 4);
        if (std::memcmp(&wav[at], "data", 4) == 0) {
            const size_t bytes = std::min<size_t>(size, wav.size() - at - 8);
            std::vector<int16_t> samples(bytes / 2);
            std::memcpy(samples.data(), &wav[at + 8], samples.size() * 2);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<int16_t> asSamples(const std::vector<uint8_t>& pcm) {
    std::vector<int16_t> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
    return samples;
}

double rms(const int16_t* samples, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += double(samples[i]) * samples[i];
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

// Signal-to-difference ratio in dB of `ours` against `reference`.
double matchDb(const int16_t* ours, const int16_t* reference, size_t count) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < count; ++i) {
        signal += double(reference[i]) * reference[i];
        noise += (double(ours[i]) - reference[i]) * (double(ours[i]) - reference[i]);
    }
    return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

TEST(AcmMusic, DecodesTheSoundtrackLikeTheLinuxDecoder) {
    const std::vector<int16_t> reference = wavSamples(readFile(KORVANA_REFERENCE_WAV));
    ASSERT_GT(reference.size(), 44100u * 2 * 100) << KORVANA_REFERENCE_WAV;

    detail::Mp3Decoder decoder;
    ASSERT_EQ(decoder.open(readFile(KORVANA_MUSIC_FILE)), SOUND_ERR_NONE);
    ASSERT_EQ(decoder.pcmFormat().nChannels, 2);
    ASSERT_EQ(decoder.pcmFormat().nSamplesPerSec, 44100u);
    std::vector<uint8_t> pcm;
    while (decoder.decode(8, pcm)) {
    }
    const std::vector<int16_t> ours = asSamples(pcm);
    EXPECT_EQ(ours.size(), reference.size()) << "sample frames: " << ours.size() / 2 << " against "
                                             << reference.size() / 2;
    EXPECT_EQ(decoder.totalSamples() * 2, reference.size());
    const size_t common = std::min(ours.size(), reference.size());
    const double ourLevel = rms(ours.data(), common), referenceLevel = rms(reference.data(), common);
    std::printf("level %.1f against %.1f; match %.1f dB\n", ourLevel, referenceLevel,
                matchDb(ours.data(), reference.data(), common));
    EXPECT_NEAR(ourLevel, referenceLevel, referenceLevel * 0.01);
    // Two decoders of one stream differ by rounding only; misaligned by a sample, they would not
    // reach 20 dB on this music.
    EXPECT_GT(matchDb(ours.data(), reference.data(), common), 30.0);

    // After a seek the sound is the reference's at that time.
    const uint64_t at = 44100u * 95 + 123;
    decoder.seek(at);
    pcm.clear();
    for (int i = 0; i < 4 && decoder.decode(8, pcm); ++i) {
    }
    const std::vector<int16_t> afterSeek = asSamples(pcm);
    ASSERT_GE(afterSeek.size(), 44100u);
    EXPECT_GT(matchDb(afterSeek.data(), reference.data() + at * 2, 44100), 30.0);
}

TEST(AcmMusic, FailuresGiveTheirSoundErrorCodes) {
    detail::Mp3Decoder decoder;
    EXPECT_EQ(decoder.open(std::vector<uint8_t>(5000, 0x55)), SOUND_ERR_FILE_FORMAT);
    EXPECT_EQ(decoder.open({}), SOUND_ERR_FILE_FORMAT);
    // A truncated header at the very end is no frame.
    EXPECT_EQ(decoder.open({0xFF, 0xFB, 0xA0}), SOUND_ERR_FILE_FORMAT);

    setSoundMuted(false);
    EXPECT_FALSE(soundOpenStream("no-such-folder\\ripped.mp3"));
    EXPECT_EQ(soundGetError(), SOUND_ERR_FILE_NOTFOUND);
    EXPECT_FALSE(soundOpenStream("."));
    EXPECT_EQ(soundGetError(), SOUND_ERR_FILE_BAD);
    EXPECT_EQ(soundPlayStream(true), -1);
    EXPECT_EQ(soundGetError(), SOUND_ERR_PLAY);
    soundClose();
}

}  // namespace
}  // namespace korvana
