// The video writer on FFmpeg: libx264 or libvpx-vp9 for the pictures, AAC or Vorbis for the sound,
// the MP4, Matroska or WebM muxer, swscale for the colour conversion and scaling.
#include "capture/video_writer.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "capture/av_util.h"
#include "capture/soundtrack.h"

extern "C" {
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace korvana {

namespace {

struct FormatChoice {
    const char* muxer;
    const char* videoEncoder;
    const char* audioEncoder;
};

FormatChoice choiceFor(VideoFormat format) {
    switch (format) {
    // FLAC: sound that needs no priming (it starts with the first picture, to the sample) and
    // loses nothing, for the editing a Matroska file is mostly made for.
    case VideoFormat::Matroska: return {"matroska", "libx264", "flac"};
    case VideoFormat::WebM: return {"webm", "libvpx-vp9", "libvorbis"};
    case VideoFormat::Mp4: break;
    }
    return {"mp4", "libx264", "aac"};
}

constexpr const char* kPresets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium",
                                    "slow",      "slower",    "veryslow", "placebo", nullptr};

// H.264 at constant quality (or none lost), at the preset asked for; libvpx in its real-time mode.
void setQuality(AVCodecContext& encoder, const VideoSettings& settings) {
    if (settings.format == VideoFormat::WebM) {
        av_opt_set(encoder.priv_data, "deadline", "realtime", 0);
        av_opt_set(encoder.priv_data, "cpu-used", "8", 0);
        av_opt_set(encoder.priv_data, "row-mt", "1", 0);
        av_opt_set(encoder.priv_data, "crf", "32", 0);
        encoder.bit_rate = 0;
        return;
    }
    const std::string preset = !settings.preset.empty() ? settings.preset
                               : settings.lossless       ? DEFAULT_LOSSLESS_PRESET
                                                         : DEFAULT_VIDEO_PRESET;
    av_opt_set(encoder.priv_data, "preset", preset.c_str(), 0);
    if (settings.lossless) {
        av_opt_set(encoder.priv_data, "qp", "0", 0);
    } else {
        const int32_t crf = settings.crf >= 0 ? settings.crf : DEFAULT_VIDEO_CRF;
        av_opt_set(encoder.priv_data, "crf", std::to_string(crf).c_str(), 0);
    }
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct ScalerFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

}  // namespace

bool isVideoPreset(const std::string& name) {
    for (const char* const* p = kPresets; *p != nullptr; ++p)
        if (name == *p) return true;
    return false;
}

const char* const* videoPresetNames() { return kPresets; }

bool videoFormatForPath(const std::string& path, VideoFormat& format) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".mp4") format = VideoFormat::Mp4;
    else if (extension == ".mkv") format = VideoFormat::Matroska;
    else if (extension == ".webm") format = VideoFormat::WebM;
    else return false;
    return true;
}

struct VideoWriter::State {
    VideoSettings settings;
    std::string tempPath;
    AVFormatContext* out = nullptr;
    bool fileCreated = false;
    bool finished = false;

    av::CodecContext video;
    AVStream* videoStream = nullptr;
    std::unique_ptr<SwsContext, ScalerFree> scaler;
    av::Frame picture;
    av::Packet packet;
    int64_t pictures = 0;
    double conversionSeconds = 0;

    SoundtrackSource soundtrack;
    av::CodecContext audio;
    AVStream* audioStream = nullptr;
    av::Fifo fifo;
    av::Frame audioFrame;
    av::Frame floatFrame;  // the soundtrack's samples, when the encoder takes another format
    int64_t samplesSent = 0;

    ~State() { close(); }

    void close() {
        if (out != nullptr) {
            if (out->pb != nullptr) avio_closep(&out->pb);
            avformat_free_context(out);
            out = nullptr;
        }
    }

    bool fail(std::string& error, const std::string& what, int code) {
        error = what + ": " + av::errorText(code);
        return false;
    }

    // Hands every packet the encoder has ready to the muxer.
    bool drain(AVCodecContext& encoder, AVStream& stream, std::string& error) {
        for (;;) {
            int result = avcodec_receive_packet(&encoder, packet.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
            if (result < 0) return fail(error, "the encoder failed", result);
            av_packet_rescale_ts(packet.get(), encoder.time_base, stream.time_base);
            packet->stream_index = stream.index;
            result = av_interleaved_write_frame(out, packet.get());
            if (result < 0) return fail(error, "cannot write " + settings.path, result);
            if (out->pb != nullptr && out->pb->error < 0) return fail(error, "cannot write " + settings.path, out->pb->error);
        }
    }

    int allocateSound(AVFrame& frame, AVSampleFormat format, int samples) {
        av_frame_unref(&frame);
        frame.nb_samples = samples;
        frame.format = format;
        frame.sample_rate = audio->sample_rate;
        const int result = av_channel_layout_copy(&frame.ch_layout, &audio->ch_layout);
        return result < 0 ? result : av_frame_get_buffer(&frame, 0);
    }

    // Planar float to interleaved 16-bit, rounded and clipped.
    static void toSixteenBits(const AVFrame& from, AVFrame& to) {
        const int channels = from.ch_layout.nb_channels;
        int16_t* out = reinterpret_cast<int16_t*>(to.data[0]);
        for (int i = 0; i < from.nb_samples; ++i)
            for (int c = 0; c < channels; ++c) {
                const float v = reinterpret_cast<const float*>(from.extended_data[c])[i] * 32768.0f;
                *out++ = static_cast<int16_t>(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
            }
    }

    // The sound sample at which picture number `pictureCount` begins.
    int64_t samplesAt(int64_t pictureCount) const {
        return pictureCount * audio->sample_rate / settings.fps;
    }

    // Encodes sound up to sample `until`: whole encoder frames only, unless `last` (then the rest,
    // and the encoder is drained). Sound ends early, never late, when the soundtrack is shorter.
    bool writeSound(int64_t until, bool last, std::string& error) {
        const int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
        if (!soundtrack.fill(fifo.get(), until - samplesSent, error)) return false;
        for (;;) {
            const int64_t want = std::min<int64_t>(frameSize, until - samplesSent);
            const int have = std::min<int>(av_audio_fifo_size(fifo.get()), static_cast<int>(std::max<int64_t>(want, 0)));
            if (have <= 0 || (have < frameSize && !last)) break;
            int result = allocateSound(*audioFrame, audio->sample_fmt, have);
            if (floatFrame && result >= 0) result = allocateSound(*floatFrame, AV_SAMPLE_FMT_FLTP, have);
            if (result < 0) return fail(error, "out of memory", result);
            AVFrame& samples = floatFrame ? *floatFrame : *audioFrame;
            av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(samples.extended_data), have);
            if (floatFrame) toSixteenBits(*floatFrame, *audioFrame);
            audioFrame->pts = samplesSent;
            samplesSent += have;
            result = avcodec_send_frame(audio.get(), audioFrame.get());
            if (result < 0) return fail(error, "the sound encoder failed", result);
            if (!drain(*audio, *audioStream, error)) return false;
        }
        if (last) {
            avcodec_send_frame(audio.get(), nullptr);
            return drain(*audio, *audioStream, error);
        }
        return true;
    }

    bool openVideo(const FormatChoice& choice, std::string& error) {
        const AVCodec* codec = avcodec_find_encoder_by_name(choice.videoEncoder);
        if (codec == nullptr) {
            error = std::string("FFmpeg has no ") + choice.videoEncoder + " encoder";
            return false;
        }
        videoStream = avformat_new_stream(out, nullptr);
        video.reset(avcodec_alloc_context3(codec));
        picture.reset(av_frame_alloc());
        if (videoStream == nullptr || !video || !picture) return fail(error, "out of memory", AVERROR(ENOMEM));
        AVCodecContext& v = *video;
        v.width = settings.width;
        v.height = settings.height;
        v.time_base = AVRational{1, settings.fps};
        v.framerate = AVRational{settings.fps, 1};
        v.pix_fmt = settings.lossless ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
        v.thread_count = 0;
        // The show is computer graphics in sRGB; saying so keeps players from guessing by size.
        v.color_range = AVCOL_RANGE_MPEG;
        v.colorspace = AVCOL_SPC_BT709;
        v.color_primaries = AVCOL_PRI_BT709;
        v.color_trc = AVCOL_TRC_BT709;
        if (out->oformat->flags & AVFMT_GLOBALHEADER) v.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        setQuality(v, settings);
        int result = avcodec_open2(&v, codec, nullptr);
        if (result < 0) return fail(error, std::string("cannot start the ") + choice.videoEncoder + " encoder", result);
        result = avcodec_parameters_from_context(videoStream->codecpar, &v);
        if (result < 0) return fail(error, "out of memory", result);
        videoStream->time_base = v.time_base;
        videoStream->avg_frame_rate = v.framerate;

        picture->format = v.pix_fmt;
        picture->width = v.width;
        picture->height = v.height;
        result = av_frame_get_buffer(picture.get(), 0);
        if (result < 0) return fail(error, "out of memory", result);

        scaler.reset(sws_getContext(settings.pictureWidth, settings.pictureHeight, AV_PIX_FMT_RGBA, v.width, v.height,
                                    v.pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler) {
            error = "cannot convert the pictures to the video's size";
            return false;
        }
        // Full-range RGB in, limited-range BT.709 out, as the stream says.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(scaler.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        return true;
    }

    bool openAudio(const FormatChoice& choice, std::string& error) {
        if (!soundtrack.open(settings.soundtrack, settings.soundtrackFromMilliseconds, error)) return false;
        const AVCodec* codec = avcodec_find_encoder_by_name(choice.audioEncoder);
        if (codec == nullptr) {
            error = std::string("FFmpeg has no ") + choice.audioEncoder + " encoder";
            return false;
        }
        const int rate = soundtrack.sampleRate();
        if (codec->supported_samplerates != nullptr) {
            bool supported = false;
            for (const int* r = codec->supported_samplerates; *r != 0; ++r) supported = supported || *r == rate;
            if (!supported) {
                error = "the soundtrack's rate of " + std::to_string(rate) + " Hz does not go into " + choice.audioEncoder;
                return false;
            }
        }
        audioStream = avformat_new_stream(out, nullptr);
        audio.reset(avcodec_alloc_context3(codec));
        audioFrame.reset(av_frame_alloc());
        if (audioStream == nullptr || !audio || !audioFrame) return fail(error, "out of memory", AVERROR(ENOMEM));
        AVCodecContext& a = *audio;
        // Planar float is what the soundtrack gives and the lossy encoders take; FLAC takes 16 bits.
        a.sample_fmt = AV_SAMPLE_FMT_FLTP;
        if (codec->sample_fmts != nullptr) {
            bool takesFloat = false;
            for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
                takesFloat = takesFloat || *f == AV_SAMPLE_FMT_FLTP;
            if (!takesFloat) {
                a.sample_fmt = AV_SAMPLE_FMT_S16;
                floatFrame.reset(av_frame_alloc());
                if (!floatFrame) return fail(error, "out of memory", AVERROR(ENOMEM));
            }
        }
        a.sample_rate = rate;
        a.time_base = AVRational{1, rate};
        a.bit_rate = 160000;  // as much as the show's own MP3 has
        int result = av_channel_layout_copy(&a.ch_layout, &soundtrack.channelLayout());
        if (result < 0) return fail(error, "out of memory", result);
        if (out->oformat->flags & AVFMT_GLOBALHEADER) a.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        result = avcodec_open2(&a, codec, nullptr);
        if (result < 0) return fail(error, std::string("cannot start the ") + choice.audioEncoder + " encoder", result);
        result = avcodec_parameters_from_context(audioStream->codecpar, &a);
        if (result < 0) return fail(error, "out of memory", result);
        audioStream->time_base = a.time_base;
        fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, a.ch_layout.nb_channels, std::max(a.frame_size, 1024) * 2));
        if (!fifo) return fail(error, "out of memory", AVERROR(ENOMEM));
        return true;
    }
};

VideoWriter::VideoWriter() = default;
VideoWriter::~VideoWriter() { abandon(); }

bool VideoWriter::open(const VideoSettings& settings, std::string& error) {
    abandon();
    if (settings.pictureWidth <= 0 || settings.pictureHeight <= 0 || settings.width <= 0 || settings.height <= 0 ||
        settings.width % 2 != 0 || settings.height % 2 != 0 || settings.fps <= 0) {
        error = "the video's size and rate must be positive, the size even";
        return false;
    }
    if (settings.lossless && settings.format != VideoFormat::Matroska) {
        error = "lossless videos are written as .mkv";
        return false;
    }
    if ((!settings.preset.empty() && !isVideoPreset(settings.preset)) || settings.crf > MAX_VIDEO_CRF) {
        error = "unknown H.264 preset or quality";
        return false;
    }
    av::keepQuiet();
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.settings = settings;
    const std::filesystem::path target(settings.path);
    // Hidden, beside the target (so the final rename stays on one file system), and this
    // process's own.
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += "." + std::to_string(getpid()) + ".part";
    s.tempPath = (target.parent_path() / hidden).string();
    const FormatChoice choice = choiceFor(settings.format);
    int result = avformat_alloc_output_context2(&s.out, nullptr, choice.muxer, s.tempPath.c_str());
    s.packet.reset(av_packet_alloc());
    if (result < 0 || s.out == nullptr || !s.packet) {
        state_.reset();
        error = "cannot start the " + std::string(choice.muxer) + " writer";
        return false;
    }
    bool ok = s.openVideo(choice, error) && (settings.soundtrack.empty() || s.openAudio(choice, error));
    if (ok) {
        result = avio_open(&s.out->pb, s.tempPath.c_str(), AVIO_FLAG_WRITE);
        if (result < 0) ok = s.fail(error, "cannot write in the folder of " + settings.path, result);
        else s.fileCreated = true;
    }
    if (ok) {
        AVDictionary* options = nullptr;
        // The index goes in front at the end, so the file plays while it is still loading.
        if (settings.format == VideoFormat::Mp4) av_dict_set(&options, "movflags", "+faststart", 0);
        result = avformat_write_header(s.out, &options);
        av_dict_free(&options);
        if (result < 0) ok = s.fail(error, "cannot write " + settings.path, result);
    }
    if (!ok) abandon();
    return ok;
}

bool VideoWriter::addPicture(const uint8_t* rgba, std::string& error) {
    if (!state_ || state_->finished) {
        error = "the video is not open";
        return false;
    }
    State& s = *state_;
    int result = av_frame_make_writable(s.picture.get());
    if (result < 0) return s.fail(error, "out of memory", result);
    const uint8_t* const source[1] = {rgba};
    const int stride[1] = {s.settings.pictureWidth * 4};
    const double before = threadCpuSeconds();
    sws_scale(s.scaler.get(), source, stride, 0, s.settings.pictureHeight, s.picture->data, s.picture->linesize);
    s.conversionSeconds += threadCpuSeconds() - before;
    s.picture->pts = s.pictures++;
    result = avcodec_send_frame(s.video.get(), s.picture.get());
    if (result < 0) return s.fail(error, "the video encoder failed", result);
    if (!s.drain(*s.video, *s.videoStream, error)) return false;
    return !s.audio || s.writeSound(s.samplesAt(s.pictures), false, error);
}

bool VideoWriter::finish(std::string& error) {
    if (!state_ || state_->finished) {
        error = "the video is not open";
        return false;
    }
    State& s = *state_;
    avcodec_send_frame(s.video.get(), nullptr);
    if (!s.drain(*s.video, *s.videoStream, error)) return false;
    if (s.audio && !s.writeSound(s.samplesAt(s.pictures), true, error)) return false;
    int result = av_write_trailer(s.out);
    if (result < 0) return s.fail(error, "cannot write " + s.settings.path, result);
    if (s.out->pb->error < 0) return s.fail(error, "cannot write " + s.settings.path, s.out->pb->error);
    result = avio_closep(&s.out->pb);
    if (result < 0) return s.fail(error, "cannot write " + s.settings.path, result);
    s.finished = true;
    return true;
}

bool VideoWriter::commit(std::string& error) {
    if (!state_ || !state_->finished) {
        error = "the video is not finished";
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(state_->tempPath, state_->settings.path, ec);
    if (ec) {
        error = "cannot name the video " + state_->settings.path + ": " + ec.message();
        return false;
    }
    state_->fileCreated = false;
    state_.reset();
    return true;
}

void VideoWriter::abandon() {
    if (!state_) return;
    state_->close();
    if (state_->fileCreated) {
        std::error_code ec;
        std::filesystem::remove(state_->tempPath, ec);
    }
    state_.reset();
}

int64_t VideoWriter::picturesWritten() const { return state_ ? state_->pictures : 0; }
double VideoWriter::conversionSeconds() const { return state_ ? state_->conversionSeconds : 0.0; }

}  // namespace korvana
