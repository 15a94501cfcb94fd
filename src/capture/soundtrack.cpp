// Decoding the soundtrack from a chosen time on.
#include "capture/soundtrack.h"

#include "capture/video_writer.h"

#include <algorithm>
#include <vector>

namespace korvana {

namespace {

// One sample of channel `c` at index `i` of a decoded frame, as a float in -1..1.
float sampleAt(const AVFrame& frame, AVSampleFormat format, int channels, int c, int i) {
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const uint8_t* data = planar ? frame.extended_data[c] : frame.extended_data[0];
    const int index = planar ? i : i * channels + c;
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(data)[index];
    case AV_SAMPLE_FMT_DBL: return static_cast<float>(reinterpret_cast<const double*>(data)[index]);
    case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(data)[index] / 32768.0f;
    case AV_SAMPLE_FMT_S32: return static_cast<float>(reinterpret_cast<const int32_t*>(data)[index] / 2147483648.0);
    default: return 0.0f;
    }
}

bool formatReadable(AVSampleFormat format) {
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_DBL:
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S32: return true;
    default: return false;
    }
}

}  // namespace

bool SoundtrackSource::open(const std::string& path, uint32_t fromMs, std::string& error) {
    path_ = path;
    av::keepQuiet();
    if (!av::openInput(path, input_, error)) return false;
    const AVCodec* codec = nullptr;
    streamIndex_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (streamIndex_ < 0 || codec == nullptr) {
        error = path + " holds no sound we can decode";
        return false;
    }
    decoder_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!decoder_ || !packet_ || !frame_) {
        error = "out of memory";
        return false;
    }
    decoder_->pkt_timebase = input_->streams[streamIndex_]->time_base;
    int result = avcodec_parameters_to_context(decoder_.get(), input_->streams[streamIndex_]->codecpar);
    if (result >= 0) result = avcodec_open2(decoder_.get(), codec, nullptr);
    if (result < 0) {
        error = "cannot decode " + path + ": " + av::errorText(result);
        return false;
    }
    const int channels = decoder_->ch_layout.nb_channels;
    if (decoder_->sample_rate <= 0 || channels <= 0 || !formatReadable(decoder_->sample_fmt)) {
        error = path + ": unsupported sound format";
        return false;
    }
    av_channel_layout_default(&layout_, channels);
    // Decoding from the start and dropping samples is exact to the sample; a seek in an MP3 is not.
    skipLeft_ = (int64_t(fromMs) * decoder_->sample_rate + 500) / 1000;
    return true;
}

bool SoundtrackSource::append(AVAudioFifo* fifo, const AVFrame& frame, std::string& error) {
    const int channels = layout_.nb_channels;
    if (frame.ch_layout.nb_channels != channels || frame.sample_rate != decoder_->sample_rate) {
        error = path_ + ": the sound changes its channels or rate midway";
        return false;
    }
    int first = 0;
    if (skipLeft_ > 0) {
        const int64_t skip = std::min<int64_t>(skipLeft_, frame.nb_samples);
        skipLeft_ -= skip;
        first = static_cast<int>(skip);
    }
    const int count = frame.nb_samples - first;
    if (count <= 0) return true;
    const AVSampleFormat format = static_cast<AVSampleFormat>(frame.format);
    if (!formatReadable(format)) {
        error = path_ + ": unsupported sound format";
        return false;
    }
    std::vector<std::vector<float>> planes(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(count)));
    std::vector<void*> pointers;
    for (int c = 0; c < channels; ++c) {
        float* plane = planes[static_cast<size_t>(c)].data();
        for (int i = 0; i < count; ++i) plane[i] = sampleAt(frame, format, channels, c, first + i);
        pointers.push_back(plane);
    }
    if (av_audio_fifo_write(fifo, pointers.data(), count) < count) {
        error = "out of memory";
        return false;
    }
    return true;
}

bool SoundtrackSource::receiveFrames(AVAudioFifo* fifo, std::string& error) {
    for (;;) {
        const int result = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (result == AVERROR(EAGAIN)) return true;
        if (result == AVERROR_EOF) {
            ended_ = true;
            return true;
        }
        if (result < 0) {
            error = "cannot decode " + path_ + ": " + av::errorText(result);
            return false;
        }
        const bool ok = append(fifo, *frame_, error);
        av_frame_unref(frame_.get());
        if (!ok) return false;
    }
}

bool SoundtrackSource::fill(AVAudioFifo* fifo, int64_t samples, std::string& error) {
    while (!ended_ && av_audio_fifo_size(fifo) < samples) {
        if (draining_) {
            if (!receiveFrames(fifo, error)) return false;
            continue;
        }
        const int read = av_read_frame(input_.get(), packet_.get());
        if (read == AVERROR_EOF) {
            draining_ = true;
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (read < 0) {
            error = "cannot read " + path_ + ": " + av::errorText(read);
            return false;
        }
        if (packet_->stream_index == streamIndex_) {
            const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
            // A damaged frame in the middle of a song costs that frame, not the capture.
            if (sent < 0 && sent != AVERROR_INVALIDDATA) {
                av_packet_unref(packet_.get());
                error = "cannot decode " + path_ + ": " + av::errorText(sent);
                return false;
            }
        }
        av_packet_unref(packet_.get());
        if (!receiveFrames(fifo, error)) return false;
    }
    return true;
}

bool soundLengthMilliseconds(const std::string& path, uint64_t& milliseconds, std::string& error) {
    // Counted by decoding: a container's own figure can be off by the encoder's padding (26 ms
    // too long for the default soundtrack), and the video gets the decoded samples.
    SoundtrackSource source;
    if (!source.open(path, 0, error)) return false;
    constexpr int kChunk = 1 << 16;
    av::Fifo fifo(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, source.channelLayout().nb_channels, kChunk));
    if (!fifo) {
        error = "out of memory";
        return false;
    }
    int64_t samples = 0;
    while (!source.ended()) {
        if (!source.fill(fifo.get(), kChunk, error)) return false;
        samples += av_audio_fifo_size(fifo.get());
        av_audio_fifo_reset(fifo.get());
    }
    milliseconds = static_cast<uint64_t>(samples * 1000 / source.sampleRate());
    return true;
}

}  // namespace korvana
