// Golden frames: the whole show, with the default content, rendered headless on the virtual clock
// and compared with reviewed reference pictures, one or more in each of the timeline's six slots.
// Set KORVANA_UPDATE_GOLDEN=1 to write the references anew (then look at every one of them).
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

struct Golden {
    const char* file;
    uint32_t milliseconds;
};

// One picture in each slot, a few frames after one of the scene's clears so that its geometry
// shows through the first layers of its trail rather than the white of a full build-up.
const Golden GOLDEN[] = {
    {"tube.png", 5000},           // slot 0: tube, no trails, the title overlay in full view
    {"tube_box.png", 38180},      // slot 1: third frame after a clear
    {"pipe.png", 62080},          // slot 2: second frame after a clear
    {"cylinder.png", 75200},      // slot 3: ninth of seventeen frames
    {"tube_trails.png", 101100},  // slot 4: tube with trails, third frame after a clear
    {"boxes.png", 127140},        // slot 5: third frame after a clear
};

// A channel may differ by this much (rasterisers round differently across CPUs) ...
constexpr int CHANNEL_TOLERANCE = 12;
// ... and this share of the pixels may differ by more (edges of thin geometry).
constexpr double OUTLIER_SHARE = 0.005;

fs::path goldenDir() { return fs::path(KORVANA_SOURCE_DIR) / "tests" / "scenes" / "golden"; }
fs::path contentArchive() { return fs::path(KORVANA_BINARY_DIR) / "content" / "megadata.rar"; }

TEST(GoldenFrames, EverySlotOfTheShow) {
    if (!fs::exists(contentArchive()))
        GTEST_SKIP() << "default content not built at " << contentArchive();
    setAssetArchivePath(contentArchive().c_str());

    std::vector<FrameCapture> captures;
    for (const Golden& g : GOLDEN) {
        FrameCapture capture;
        capture.milliseconds = g.milliseconds;
        captures.push_back(capture);
    }
    ShowOptions options;
    options.fullScreen = false;
    // Half-second strides up to a second before each picture keep the run short.
    const int result = captureShow(options, captures, showSceneTable(), CapturePace{500, 1000});
    setAssetArchivePath(nullptr);
    ASSERT_EQ(result, 0);

    const bool update = std::getenv("KORVANA_UPDATE_GOLDEN") != nullptr;
    for (size_t i = 0; i < captures.size(); ++i) {
        const FrameCapture& capture = captures[i];
        const Golden& golden = GOLDEN[i];
        SCOPED_TRACE(golden.file);
        ASSERT_TRUE(capture.taken);
        EXPECT_EQ(capture.frameMilliseconds, golden.milliseconds);
        const fs::path path = goldenDir() / golden.file;

        if (update) {
            fs::create_directories(goldenDir());
            std::string error;
            ASSERT_TRUE(writePng(path.string(), capture.width, capture.height, capture.rgba, &error))
                << error;
            continue;
        }

        int32_t width = 0, height = 0;
        std::vector<uint8_t> reference;
        std::string error;
        ASSERT_TRUE(readPng(path.string(), width, height, reference, &error)) << error;
        ASSERT_EQ(width, capture.width);
        ASSERT_EQ(height, capture.height);
        ASSERT_EQ(reference.size(), capture.rgba.size());

        // The picture must show something: a black frame would match a black reference.
        long long brightness = 0;
        size_t outliers = 0;
        int worst = 0;
        const size_t pixels = size_t(width) * size_t(height);
        for (size_t p = 0; p < pixels; ++p) {
            int pixelWorst = 0;
            for (int c = 0; c < 3; ++c) {
                const int got = capture.rgba[p * 4 + c];
                brightness += got;
                pixelWorst = std::max(pixelWorst, std::abs(got - int(reference[p * 4 + c])));
            }
            worst = std::max(worst, pixelWorst);
            if (pixelWorst > CHANNEL_TOLERANCE) ++outliers;
        }
        EXPECT_GT(brightness, (long long)(pixels) * 3 * 8) << "the frame is (nearly) black";
        const bool matches = double(outliers) <= OUTLIER_SHARE * double(pixels);
        if (!matches) {
            // Kept for a look beside the reference.
            const fs::path actual = fs::path(KORVANA_BINARY_DIR) / "golden-actual" / golden.file;
            fs::create_directories(actual.parent_path());
            writePng(actual.string(), capture.width, capture.height, capture.rgba);
        }
        EXPECT_TRUE(matches) << outliers << " pixels differ by more than " << CHANNEL_TOLERANCE
                             << " (worst " << worst << "); the frame is in golden-actual/. After a "
                             << "deliberate change of the content or the drawing, run the test with "
                             << "KORVANA_UPDATE_GOLDEN=1 and look at every picture it writes";
    }
}

}  // namespace
}  // namespace korvana
