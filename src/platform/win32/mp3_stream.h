// The music file decoded through the system's ACM MP3 codec: the file's frames are indexed once
// (so a seek is a jump to a frame), then turned into 16-bit PCM a few frames at a time. When the
// encoder left a LAME tag, its delay and padding are cut, so the PCM has the length the music was
// made with, like the Linux decoders give it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

namespace korvana::detail {

// What a scan of the file's frames found.
struct Mp3Layout {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t samplesPerFrame = 0;  // 1152 (MPEG-1) or 576 (MPEG-2 and 2.5)
    uint32_t firstFrameBytes = 0;
    uint32_t firstBitrate = 0;     // bits per second
    std::vector<size_t> frames;    // offsets of the audio frames (a Xing/Info frame is not one)
    size_t end = 0;                // just past the last frame
    uint32_t skipStart = 0;        // samples to cut at the start (encoder + decoder delay)
    uint32_t skipEnd = 0;          // samples to cut at the end (padding)
};

// Finds the frames after an optional ID3v2 tag: Layer III, one version and sample rate
// throughout; stops at the first bytes that are no such frame. False when there is none.
bool scanMp3(const uint8_t* bytes, size_t size, Mp3Layout& layout);

class Mp3Decoder {
public:
    Mp3Decoder() = default;
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // One of the sound error codes: 0, or 10 (no MP3 frames), 18 (the system has no MP3 codec),
    // 12 (out of memory).
    int32_t open(std::vector<uint8_t> file);
    const WAVEFORMATEX& pcmFormat() const { return pcm_; }
    const Mp3Layout& layout() const { return layout_; }
    // Sample frames (one sample per channel) of the whole music.
    uint64_t totalSamples() const;

    // Appends the PCM of up to `frames` more MP3 frames; false once the music has ended.
    bool decode(size_t frames, std::vector<uint8_t>& out);
    // The next decode starts `sample` sample frames from the beginning (clamped to the end).
    void seek(uint64_t sample);

private:
    bool openAcm();
    void closeAcm();

    std::vector<uint8_t> file_;
    Mp3Layout layout_;
    MPEGLAYER3WAVEFORMAT mp3_{};
    WAVEFORMATEX pcm_{};
    HACMSTREAM acm_ = nullptr;
    size_t nextFrame_ = 0;
    uint64_t discardBytes_ = 0;  // decoded bytes still to drop after a start or a seek
    uint64_t leftBytes_ = 0;     // bytes still to hand out before the music ends
};

}  // namespace korvana::detail
