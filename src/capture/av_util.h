// Small pieces shared by the capture's FFmpeg code: owners for FFmpeg's objects and its error
// texts.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace korvana::av {

// FFmpeg's notes and warnings speak to its own developers; failures reach the user through our
// messages, with FFmpeg's errors beside them.
inline void keepQuiet() { av_log_set_level(AV_LOG_ERROR); }

inline std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct InputClose {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Input = std::unique_ptr<AVFormatContext, InputClose>;
using Fifo = std::unique_ptr<AVAudioFifo, FifoFree>;

// Opens a media file for reading and reads its stream information.
inline bool openInput(const std::string& path, Input& input, std::string& error) {
    AVFormatContext* context = nullptr;
    int result = avformat_open_input(&context, path.c_str(), nullptr, nullptr);
    if (result < 0) {
        error = "cannot open " + path + ": " + errorText(result);
        return false;
    }
    input.reset(context);
    result = avformat_find_stream_info(context, nullptr);
    if (result < 0) {
        error = "cannot read " + path + ": " + errorText(result);
        return false;
    }
    return true;
}

}  // namespace korvana::av
