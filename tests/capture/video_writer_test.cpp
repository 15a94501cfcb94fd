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

// The left channel's sample `i` of a decoded piece of sound: AAC decodes to planar float, FLAC
// to interleaved 16 bits.
double leftSample(const AVFrame& sound, int i) {
    if (sound.format == AV_SAMPLE_FMT_S16)
        return reinterpret_cast<const int16_t*>(sound.data[0])[i * sound.ch_layout.nb_channels] / 32768.0;
    return reinterpret_cast<const float*>(sound.extended_data[0])[i];
}

TEST(VideoWriter, SoundFromTheStartTimeLinesUpWithThePictures) {
    if (!test::haveLame()) GTEST_SKIP() << "the lame encoder is not installed";
    test::ScratchDir dir;
    const fs::path song = dir.path() / "song.mp3";
    ASSERT_TRUE(makeClickMp3(song, 1.3));

    // From 0.6 s on, for 1 s of pictures: the click belongs at 0.7 s into the video. MP4 marks
    // its AAC priming to be skipped; Matroska holds FLAC, which has none, so both streams start at
    // 0 there, to the sample.
    for (const char* name : {"clip.mp4", "clip.mkv"}) {
        VideoSettings settings = smallVideo(dir.path() / name);
        videoFormatForPath(settings.path, settings.format);
        settings.soundtrack = song.string();
        settings.soundtrackFromMilliseconds = 600;
        VideoWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(settings, error)) << error;
        const std::vector<uint8_t> picture(64 * 48 * 4, 40);
        for (int k = 0; k < 50; ++k) ASSERT_TRUE(writer.addPicture(picture.data(), error)) << error;
        ASSERT_TRUE(writer.finish(error)) << error;
        ASSERT_TRUE(writer.commit(error)) << error;

        double loudest = 0, loudestAt = -1;
        const test::VideoProbe probe = test::probeVideo(settings.path, {}, [&](double start, const AVFrame& sound) {
            for (int i = 0; i < sound.nb_samples; ++i)
                if (std::fabs(leftSample(sound, i)) > loudest) {
                    loudest = std::fabs(leftSample(sound, i));
                    loudestAt = start + double(i) / sound.sample_rate;
                }
        });
        EXPECT_NEAR(loudestAt, 0.7, 0.005) << name;
        EXPECT_EQ(probe.pictures, 50) << name;
        EXPECT_NEAR(probe.audio.start, probe.video.start, 0.02) << name;
        EXPECT_NEAR(probe.audio.end, probe.video.end, 0.02) << name;
        if (settings.format == VideoFormat::Matroska) {
            EXPECT_EQ(probe.audio.codec, "flac");
            EXPECT_NEAR(probe.audio.start, 0.0, 1e-6);
            EXPECT_NEAR(probe.video.start, 0.0, 1e-6);
        }
    }
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
