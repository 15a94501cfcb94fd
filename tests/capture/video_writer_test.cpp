// The video writer on its own: the soundtrack's sound lands beside the pictures to the sample
// (a click in the song is heard at the frame that shows its time), and a video given up midway
// leaves nothing in its folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/video_probe.h"
#include "capture/video_writer.h"
#include "platform/test_media.h"

namespace korvana {
namespace {

namespace fs = std::filesystem;

// Two seconds of silence with one loud click at `clickSeconds`, as an MP3 made by lame.
bool makeClickMp3(const fs::path& mp3, double clickSeconds) {
    const fs::path raw = mp3.string() + ".raw";
    {
        std::ofstream out(raw, std::ios::binary);
        const int click = static_cast<int>(clickSeconds * 44100);
        for (int i = 0; i < 2 * 44100; ++i) {
            const int16_t v = i >= click && i < click + 64 ? int16_t(20000 * std::sin(i * 0.7)) : int16_t(0);
            out.write(reinterpret_cast<const char*>(&v), 2);
            out.write(reinterpret_cast<const char*>(&v), 2);
        }
    }
    const std::string command = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m s '" + raw.string() +
                                "' '" + mp3.string() + "' 2>/dev/null";
    const bool ok = std::system(command.c_str()) == 0;
    fs::remove(raw);
    return ok;
}

VideoSettings smallVideo(const fs::path& path) {
    VideoSettings settings;
    settings.path = path.string();
    settings.pictureWidth = settings.width = 64;
    settings.pictureHeight = settings.height = 48;
    settings.fps = 50;
    return settings;
}

// Time of the loudest sound in the video's sound track, in seconds.
double loudestAt(const fs::path& video) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, video.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(input, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    double at = -1, loudest = 0;
    if (index >= 0) {
        AVCodecContext* decoder = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder, input->streams[index]->codecpar);
        decoder->pkt_timebase = input->streams[index]->time_base;
        avcodec_open2(decoder, codec, nullptr);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto receive = [&] {
            while (avcodec_receive_frame(decoder, frame) == 0) {
                const double start = frame->best_effort_timestamp * av_q2d(decoder->pkt_timebase);
                const float* left = reinterpret_cast<const float*>(frame->extended_data[0]);  // AAC decodes to planar float
                for (int i = 0; i < frame->nb_samples; ++i)
                    if (std::fabs(left[i]) > loudest) {
                        loudest = std::fabs(left[i]);
                        at = start + double(i) / frame->sample_rate;
                    }
                av_frame_unref(frame);
            }
        };
        while (av_read_frame(input, packet) >= 0) {
            if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) receive();
            av_packet_unref(packet);
        }
        avcodec_send_packet(decoder, nullptr);
        receive();
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
    }
    avformat_close_input(&input);
    return at;
}

TEST(VideoWriter, SoundFromTheStartTimeLinesUpWithThePictures) {
    if (!test::haveLame()) GTEST_SKIP() << "the lame encoder is not installed";
    test::ScratchDir dir;
    const fs::path song = dir.path() / "song.mp3";
    ASSERT_TRUE(makeClickMp3(song, 1.3));

    // From 0.6 s on, for 1 s of pictures: the click belongs at 0.7 s into the video.
    VideoSettings settings = smallVideo(dir.path() / "clip.mp4");
    settings.soundtrack = song.string();
    settings.soundtrackFromMilliseconds = 600;
    VideoWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(settings, error)) << error;
    const std::vector<uint8_t> picture(64 * 48 * 4, 40);
    for (int k = 0; k < 50; ++k) ASSERT_TRUE(writer.addPicture(picture.data(), error)) << error;
    ASSERT_TRUE(writer.finish(error)) << error;
    ASSERT_TRUE(writer.commit(error)) << error;

    EXPECT_NEAR(loudestAt(settings.path), 0.7, 0.005);
    const test::VideoProbe probe = test::probeVideo(settings.path);
    EXPECT_EQ(probe.pictures, 50);
    EXPECT_NEAR(probe.audio.start, probe.video.start, 0.02);
    EXPECT_NEAR(probe.audio.end, probe.video.end, 0.02);
}

TEST(VideoWriter, GivenUpLeavesNothing) {
    test::ScratchDir dir;
    const std::vector<uint8_t> picture(64 * 48 * 4, 200);
    std::string error;
    {
        VideoWriter dropped;
        ASSERT_TRUE(dropped.open(smallVideo(dir.path() / "a.mkv"), error)) << error;
        ASSERT_TRUE(dropped.addPicture(picture.data(), error)) << error;
    }
    VideoWriter abandoned;
    ASSERT_TRUE(abandoned.open(smallVideo(dir.path() / "b.webm"), error)) << error;
    ASSERT_TRUE(abandoned.addPicture(picture.data(), error)) << error;
    ASSERT_TRUE(abandoned.finish(error)) << error;
    abandoned.abandon();
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace korvana
