// What a video file really holds, read back with libavformat and libavcodec: its streams, their
// start and end times, the number of pictures, and (on request) every picture decoded to RGB.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace korvana::test {

struct StreamProbe {
    bool present = false;
    std::string codec;
    // Seconds. The start as a player has it: the first decoded picture or sound, after the sound
    // encoder's priming samples, which the container marks to be skipped. The end as the
    // container gives it: the last packet's end, whose duration counts only the real samples of
    // the sound encoder's padded last frame.
    double start = 0.0;
    double end = 0.0;
    int64_t packets = 0;
};

struct VideoProbe {
    std::string error;  // empty when the file could be read
    StreamProbe video;
    StreamProbe audio;
    int width = 0;
    int height = 0;
    int64_t pictures = 0;  // decoded
};

// `onPicture` gets each decoded picture in order as packed RGB, top row first; `onSound` each
// decoded piece of sound with its start in seconds.
inline VideoProbe probeVideo(const std::string& path,
                             const std::function<void(int64_t, const std::vector<uint8_t>&)>& onPicture = {},
                             const std::function<void(double, const AVFrame&)>& onSound = {}) {
    VideoProbe probe;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(input, nullptr) < 0) {
        probe.error = "cannot open " + path;
        avformat_close_input(&input);
        return probe;
    }
    const int videoIndex = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audioIndex = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* decoders[2] = {nullptr, nullptr};
    for (int which = 0; which < 2; ++which) {
        const int index = which == 0 ? videoIndex : audioIndex;
        if (index < 0) continue;
        StreamProbe& s = which == 0 ? probe.video : probe.audio;
        const AVCodecParameters* par = input->streams[index]->codecpar;
        s.present = true;
        s.codec = avcodec_get_name(par->codec_id);
        s.start = 1e9;
        if (which == 0) {
            probe.width = par->width;
            probe.height = par->height;
        }
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        AVCodecContext*& decoder = decoders[which];
        decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (decoder == nullptr || avcodec_parameters_to_context(decoder, par) < 0 ||
            avcodec_open2(decoder, codec, nullptr) < 0)
            probe.error = "cannot decode " + s.codec;
        else
            decoder->pkt_timebase = input->streams[index]->time_base;
    }

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* toRgb = nullptr;
    std::vector<uint8_t> rgb;
    auto receive = [&](int which) {
        AVCodecContext* decoder = decoders[which];
        StreamProbe& s = which == 0 ? probe.video : probe.audio;
        const double tb = av_q2d(decoder->pkt_timebase);
        while (avcodec_receive_frame(decoder, frame) == 0) {
            s.start = std::min(s.start, frame->best_effort_timestamp * tb);
            if (which == 1) {
                if (onSound) onSound(frame->best_effort_timestamp * tb, *frame);
                av_frame_unref(frame);
                continue;
            }
            if (onPicture) {
                toRgb = sws_getCachedContext(toRgb, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                             frame->width, frame->height, AV_PIX_FMT_RGB24,
                                             SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND, nullptr, nullptr,
                                             nullptr);
                // As the stream says it was made: BT.709 or BT.601, limited range.
                const int space = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
                sws_setColorspaceDetails(toRgb, sws_getCoefficients(space), frame->color_range == AVCOL_RANGE_JPEG,
                                         sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
                rgb.resize(size_t(frame->width) * size_t(frame->height) * 3);
                uint8_t* planes[1] = {rgb.data()};
                const int stride[1] = {frame->width * 3};
                sws_scale(toRgb, frame->data, frame->linesize, 0, frame->height, planes, stride);
                onPicture(probe.pictures, rgb);
            }
            ++probe.pictures;
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(input, packet) >= 0) {
        const int which = packet->stream_index == videoIndex ? 0 : packet->stream_index == audioIndex ? 1 : -1;
        if (which >= 0 && decoders[which] != nullptr) {
            StreamProbe& s = which == 0 ? probe.video : probe.audio;
            ++s.packets;
            if (packet->pts != AV_NOPTS_VALUE)
                s.end = std::max(s.end, (packet->pts + packet->duration) * av_q2d(input->streams[packet->stream_index]->time_base));
            if (avcodec_send_packet(decoders[which], packet) >= 0) receive(which);
        }
        av_packet_unref(packet);
    }
    for (int which = 0; which < 2; ++which)
        if (decoders[which] != nullptr && avcodec_send_packet(decoders[which], nullptr) >= 0) receive(which);
    sws_freeContext(toRgb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoders[0]);
    avcodec_free_context(&decoders[1]);
    avformat_close_input(&input);
    return probe;
}

}  // namespace korvana::test
