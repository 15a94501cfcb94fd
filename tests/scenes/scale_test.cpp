// The render scale: the show drawn at 2 x 640 by 2 x 480 is the same composition as at 640 x 480,
// and `--scale 2 --screenshot` writes that larger picture.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/screenshot.h"
#include "assets/asset_archive.h"
#include "platform/png_file.h"
#include "scenes/scene_table.h"

namespace korvana {
namespace {

namespace fs = std::filesystem;

// The executable's picture, then one in each of three scenes (tube with the title overlay, tube
// box, pipe), the trail scenes a few frames after a clear so the geometry shows through its trail.
const uint32_t TIMES[] = {600, 5000, 38180, 62080};

std::vector<FrameCapture> captureAtScale(int32_t scale) {
    std::vector<FrameCapture> captures;
    for (uint32_t t : TIMES) {
        FrameCapture capture;
        capture.milliseconds = t;
        captures.push_back(capture);
    }
    ShowOptions options;
    options.scale = scale;
    EXPECT_EQ(captureShow(options, captures, showSceneTable(), CapturePace{500, 1000}), 0);
    return captures;
}

// Reduced by 2, the larger picture differs from the smaller only where the two sample the scene
// differently: the partly covered pixels along edges, and textures shrunk without mipmaps, which
// meet other texels at twice the rate; the light trails add several such frames up. Measured on
// llvmpipe: a mean of 0.4 to 2.3 per channel, at most 0.11 % of the pixels off by more than 64.
// The bounds leave room for other rasterisers and still fail three of the four pictures moved by
// one pixel at 640 x 480 (a mean of 1.5 to 8.2, 0.27 % to 1.6 % such pixels), let alone a
// viewport or overlay left at 640 x 480 in a corner of the larger picture (a mean of 25 to 70).
constexpr double MAX_MEAN_DIFFERENCE = 4.0;
constexpr double MAX_FAR_SHARE = 0.005;

struct Difference {
    double meanAbsolute = 0;  // per colour channel, 0..255
    double farShare = 0;      // share of pixels with a channel off by more than FAR_CHANNEL
};
constexpr int FAR_CHANNEL = 64;

// `large` reduced by 2 x 2 box averages against `small`.
Difference boxReducedDifference(const FrameCapture& small, const FrameCapture& large) {
    Difference d;
    const int32_t w = small.width, h = small.height;
    long long total = 0, far = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int worst = 0;
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        sum += large.rgba[(size_t(2 * y + dy) * size_t(2 * w) + size_t(2 * x + dx)) * 4 + c];
                const int diff = std::abs((sum + 2) / 4 - int(small.rgba[(size_t(y) * size_t(w) + size_t(x)) * 4 + c]));
                total += diff;
                worst = std::max(worst, diff);
            }
            if (worst > FAR_CHANNEL) ++far;
        }
    const double pixels = double(w) * double(h);
    d.meanAbsolute = double(total) / (pixels * 3.0);
    d.farShare = double(far) / pixels;
    return d;
}

TEST(Scale, TwiceTheSizeIsTheSameComposition) {
    const fs::path content = fs::path(KORVANA_BINARY_DIR) / "content";
    if (!fs::exists(content / "megadata.rar")) GTEST_SKIP() << "default content not built";

    setAssetArchivePath((content / "megadata.rar").c_str());
    const std::vector<FrameCapture> one = captureAtScale(1);
    const std::vector<FrameCapture> two = captureAtScale(2);
    setAssetArchivePath(nullptr);
    ASSERT_EQ(one.size(), two.size());

    for (size_t i = 0; i < one.size(); ++i) {
        SCOPED_TRACE(TIMES[i]);
        ASSERT_TRUE(one[i].taken && two[i].taken);
        EXPECT_EQ(one[i].frameMilliseconds, two[i].frameMilliseconds);
        ASSERT_EQ(one[i].width, 640);
        ASSERT_EQ(one[i].height, 480);
        ASSERT_EQ(two[i].width, 1280);
        ASSERT_EQ(two[i].height, 960);
        ASSERT_EQ(two[i].rgba.size(), 1280u * 960u * 4u);
        ASSERT_EQ(one[i].rgba.size(), 640u * 480u * 4u);
        const Difference d = boxReducedDifference(one[i], two[i]);
        EXPECT_LE(d.meanAbsolute, MAX_MEAN_DIFFERENCE);
        EXPECT_LE(d.farShare, MAX_FAR_SHARE);
        if (HasFailure()) {
            const fs::path actual = fs::path(KORVANA_BINARY_DIR) / "scale-actual";
            fs::create_directories(actual);
            writePng((actual / (std::to_string(TIMES[i]) + "-1.png")).string(), 640, 480, one[i].rgba);
            writePng((actual / (std::to_string(TIMES[i]) + "-2.png")).string(), 1280, 960, two[i].rgba);
        }
    }

    // The program's own --scale 2 --screenshot: the larger picture of the same frame, as a PNG.
    const fs::path out = fs::temp_directory_path() / ("korvana-scale-" + std::to_string(getpid()) + ".png");
    const std::string command = std::string("ASAN_OPTIONS=detect_leaks=0 " KORVANA_BINARY_DIR
                                            "/src/app/korvana --data '") +
                                content.string() + "' --scale 2 --screenshot 0.61 '" + out.string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    int32_t width = 0, height = 0;
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(readPng(out.string(), width, height, file, &error)) << error;
    fs::remove(out);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 960);
    EXPECT_TRUE(file == two[0].rgba) << "the file is the 1280 x 960 frame at 600 ms";
}

}  // namespace
}  // namespace korvana
