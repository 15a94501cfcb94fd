// The soundtrack as the capture needs it: decoded from its file, from a chosen time on, as planar
// float samples at the file's own rate and channels.
#pragma once

#include <cstdint>
#include <string>

#include "capture/av_util.h"

namespace korvana {

class SoundtrackSource {
public:
    // Opens the file's best sound stream; the first sample given out is the one at `fromMs`.
    bool open(const std::string& path, uint32_t fromMs, std::string& error);

    int32_t sampleRate() const { return decoder_->sample_rate; }
    const AVChannelLayout& channelLayout() const { return layout_; }

    // Decodes into `fifo` (planar float, this source's channels) until it holds at least
    // `samples` samples or the sound has ended.
    bool fill(AVAudioFifo* fifo, int64_t samples, std::string& error);
    bool ended() const { return ended_; }

private:
    bool receiveFrames(AVAudioFifo* fifo, std::string& error);
    bool append(AVAudioFifo* fifo, const AVFrame& frame, std::string& error);

    std::string path_;
    av::Input input_;
    av::CodecContext decoder_;
    av::Packet packet_;
    av::Frame frame_;
    AVChannelLayout layout_{};
    int streamIndex_ = -1;
    int64_t skipLeft_ = 0;
    bool draining_ = false;
    bool ended_ = false;
};

}  // namespace korvana
