// --capture, run as the user runs it and checked by reading the video back with libavformat:
// the frames are those of --screenshot, the sound lines up with them, the size option holds, and
// a capture that is interrupted, fails to write or is asked for something impossible leaves no
// file behind.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/run_program.h"
#include "capture/video_probe.h"
#include "platform/png_file.h"
#include "platform/test_media.h"

namespace korvana {
namespace {

namespace fs = std::filesystem;
using test::run;
using test::RunExtras;

const fs::path kContent = fs::path(KORVANA_BINARY_DIR) / "content";

// A capture of the software-rendered show takes some seconds, many more under the sanitizers.
RunExtras slow() {
    RunExtras extras;
    extras.timeoutMs = 300000;
    return extras;
}

// The video files, finished or not, in a folder.
std::vector<std::string> videosIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".mp4") != std::string::npos || name.find(".mkv") != std::string::npos ||
            name.find(".part") != std::string::npos)
            names.push_back(name);
    }
    return names;
}

double psnr(const std::vector<uint8_t>& rgb, const std::vector<uint8_t>& rgba) {
    double squares = 0;
    for (size_t p = 0; p * 3 < rgb.size(); ++p)
        for (size_t c = 0; c < 3; ++c) {
            const double d = double(rgb[p * 3 + c]) - double(rgba[p * 4 + c]);
            squares += d * d;
        }
    const double mse = squares / double(rgb.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kContent / "ripped.mp3")) GTEST_SKIP() << "default content not built";
    }
    test::ScratchDir dir;
    const std::string data = kContent.string();
};

TEST_F(Capture, TwoSecondsAreTheScreenshotsFramesWithTheSoundAlongside) {
    const auto video = run(dir.path(), {"--data", data, "--capture", "show.mp4", "--to", "2"}, -1, SIGTERM,
                           "offscreen", slow());
    ASSERT_EQ(video.code, 0) << video.err;
    EXPECT_NE(video.err.find("100 frames"), std::string::npos) << video.err;
    const auto shot = run(dir.path(), {"--data", data, "--screenshot", "1", "shot.png"}, -1, SIGTERM, "offscreen", slow());
    ASSERT_EQ(shot.code, 0) << shot.err;
    int32_t width = 0, height = 0;
    std::vector<uint8_t> screenshot;
    ASSERT_TRUE(readPng((dir.path() / "shot.png").string(), width, height, screenshot));

    // The screenshot at 1 s is the frame at 1000 ms, frame 50 of the video. Encoding costs
    // detail, not likeness: H.264 at the default quality, with colour at half resolution,
    // keeps this frame's thin saturated lines at about 31.5 dB, while the neighbouring frames,
    // 20 ms of motion away, reach only about 14 dB. So the best match must be frame 50 and must
    // reach 25 dB (room for other encoder versions); a wrong frame, a picture upside down or
    // colours swapped falls far short.
    int64_t best = -1;
    double bestPsnr = 0;
    const test::VideoProbe probe =
        test::probeVideo((dir.path() / "show.mp4").string(), [&](int64_t index, const std::vector<uint8_t>& rgb) {
            if (rgb.size() / 3 != screenshot.size() / 4) return;
            const double value = psnr(rgb, screenshot);
            if (value > bestPsnr) {
                bestPsnr = value;
                best = index;
            }
        });
    ASSERT_EQ(probe.error, "");
    EXPECT_EQ(probe.video.codec, "h264");
    EXPECT_EQ(probe.width, 640);
    EXPECT_EQ(probe.height, 480);
    EXPECT_EQ(probe.pictures, 100);
    EXPECT_NEAR(probe.video.end - probe.video.start, 2.0, 1e-6);
    EXPECT_EQ(best, 50);
    EXPECT_GE(bestPsnr, 25.0);

    // The sound starts and ends with the pictures, within one frame (20 ms).
    ASSERT_TRUE(probe.audio.present);
    EXPECT_EQ(probe.audio.codec, "aac");
    EXPECT_NEAR(probe.audio.start, probe.video.start, 0.02);
    EXPECT_NEAR(probe.audio.end, probe.video.end, 0.02);
    EXPECT_EQ(videosIn(dir.path()), std::vector<std::string>{"show.mp4"});
}

// Lossless pictures in Matroska are the screenshot's frames to within the colour conversion's
// rounding, the last one too (read back after the show has drawn its final frame), and the sound,
// lossless as well, starts with the first picture: no encoder priming in front of it.
TEST_F(Capture, LosslessMatroskaHoldsTheExactFramesWithSoundFromTheFirst) {
    const auto video = run(dir.path(), {"--data", data, "--capture", "show.mkv", "--to", "1", "--lossless"}, -1,
                           SIGTERM, "offscreen", slow());
    ASSERT_EQ(video.code, 0) << video.err;
    EXPECT_NE(video.err.find("processor time per frame: drawing"), std::string::npos) << video.err;
    std::vector<std::vector<uint8_t>> shots;
    for (const char* when : {"0.5", "0.98"}) {
        const auto shot = run(dir.path(), {"--data", data, "--screenshot", when, "shot.png"}, -1, SIGTERM, "offscreen",
                              slow());
        ASSERT_EQ(shot.code, 0) << shot.err;
        int32_t width = 0, height = 0;
        shots.emplace_back();
        ASSERT_TRUE(readPng((dir.path() / "shot.png").string(), width, height, shots.back()));
    }
    // Frames 25 and 49. Full-resolution colour keeps them above 40 dB, every neighbour far below.
    int64_t best[2] = {-1, -1};
    double bestPsnr[2] = {0, 0};
    const test::VideoProbe probe =
        test::probeVideo((dir.path() / "show.mkv").string(), [&](int64_t index, const std::vector<uint8_t>& rgb) {
            for (int k = 0; k < 2; ++k) {
                if (rgb.size() / 3 != shots[k].size() / 4) continue;
                const double value = psnr(rgb, shots[k]);
                if (value > bestPsnr[k]) {
                    bestPsnr[k] = value;
                    best[k] = index;
                }
            }
        });
    ASSERT_EQ(probe.error, "");
    EXPECT_EQ(probe.pictures, 50);
    EXPECT_EQ(best[0], 25);
    EXPECT_EQ(best[1], 49);
    EXPECT_GE(bestPsnr[0], 40.0);
    EXPECT_GE(bestPsnr[1], 40.0);
    EXPECT_EQ(probe.audio.codec, "flac");
    EXPECT_NEAR(probe.video.start, 0.0, 1e-6);
    EXPECT_NEAR(probe.audio.start, 0.0, 1e-6);
    EXPECT_NEAR(probe.audio.end, probe.video.end, 0.02);
}

TEST_F(Capture, SizeAndMute) {
    const auto o = run(dir.path(), {"--data", data, "--capture", "big.mp4", "--to", "0.2", "--size", "1280x960", "--mute"},
                       -1, SIGTERM, "offscreen", slow());
    ASSERT_EQ(o.code, 0) << o.err;
    const test::VideoProbe probe = test::probeVideo((dir.path() / "big.mp4").string());
    EXPECT_EQ(probe.width, 1280);
    EXPECT_EQ(probe.height, 960);
    EXPECT_EQ(probe.pictures, 10);
    EXPECT_FALSE(probe.audio.present);
}

TEST_F(Capture, EndsWhereTheMusicEnds) {
    // The default content's music lasts 160 s; without --to the video ends with it, to the frame.
    const auto o = run(dir.path(), {"--data", data, "--capture", "end.mp4", "--from", "159.9"}, -1, SIGTERM,
                       "offscreen", slow());
    ASSERT_EQ(o.code, 0) << o.err;
    const test::VideoProbe probe = test::probeVideo((dir.path() / "end.mp4").string());
    EXPECT_EQ(probe.pictures, 5);
    EXPECT_NEAR(probe.audio.end, probe.video.end, 0.02);
}

TEST_F(Capture, InterruptedOrUnwritableLeavesNothing) {
    // SIGTERM once the video is being written.
    RunExtras whileWriting = slow();
    whileWriting.signalWhen = [&] {
        std::error_code gone;  // a name listed a moment ago may be gone by now
        for (const std::string& name : videosIn(dir.path()))
            if (name.find(".part") != std::string::npos && fs::file_size(dir.path() / name, gone) > 0 && !gone)
                return true;
        return false;
    };
    const auto stopped =
        run(dir.path(), {"--data", data, "--capture", "show.mp4", "--to", "100"}, -1, SIGTERM, "offscreen", whileWriting);
    EXPECT_TRUE(stopped.aliveAtSignal);
    EXPECT_EQ(stopped.code, 1) << stopped.err;
    EXPECT_NE(stopped.err.find("interrupted"), std::string::npos) << stopped.err;
    EXPECT_EQ(videosIn(dir.path()), std::vector<std::string>{});

    // Writes that fail midway, as on a full disk.
    RunExtras smallDisk = slow();
    smallDisk.fileSizeLimit = 100000;
    const auto full =
        run(dir.path(), {"--data", data, "--capture", "show.mp4", "--to", "100"}, -1, SIGTERM, "offscreen", smallDisk);
    EXPECT_EQ(full.code, 1) << full.err;
    EXPECT_NE(full.err.find("File too large"), std::string::npos) << full.err;
    EXPECT_EQ(videosIn(dir.path()), std::vector<std::string>{});
}

TEST_F(Capture, BadValuesExitTwoBeforeAnyWork) {
    fs::create_directories(dir.path() / "silent");
    const std::vector<std::vector<std::string>> cases = {
        {"--capture", "show.mp4", "--fps", "0"},
        {"--capture", "show.mp4", "--from", "3", "--to", "2"},
        {"--capture", "show.mp4", "--from", "1000"},  // after the soundtrack's end
        {"--capture", "show.mp4", "--size", "641x480"},
        {"--capture", "show.avi"},
        {"--capture", "show.mp4", "--lossless"},
        {"--to", "2"},
        {"--capture", "show.mp4", "--mute", "--data", (dir.path() / "silent").string()},  // no end known
    };
    for (std::vector<std::string> args : cases) {
        if (std::find(args.begin(), args.end(), "--data") == args.end()) {
            args.push_back("--data");
            args.push_back(data);
        }
        const auto o = run(dir.path(), args);
        EXPECT_EQ(o.code, 2) << args[1] << ": " << o.err;
        EXPECT_NE(o.err.find("korvana: "), std::string::npos) << args[1];
    }
    EXPECT_EQ(videosIn(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace korvana
