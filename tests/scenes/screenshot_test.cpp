// The capture runs behind --screenshot and the golden frames: which frames run on the virtual
// clock, which one each picture comes from, and the executable's --screenshot file.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/screenshot.h"
#include "assets/asset_archive.h"
#include "platform/png_file.h"
#include "scenes/scene_frame.h"
#include "scenes/scene_table.h"

namespace korvana {
namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> drawnTicks;
void recordTick(bool) { drawnTicks.push_back(sceneTickCount()); }

// Only the first slot draws, and only records the tick the scenes see.
SceneTable recordingTable() {
    SceneTable table;
    table.drawTubeScene = recordTick;
    return table;
}

TEST(Screenshot, FramesAtTheShowsPaceFromTheStartTick) {
    setAssetArchivePath("/nonexistent/megadata.rar");  // overlays stay empty; nothing to read
    drawnTicks.clear();
    std::vector<FrameCapture> captures(3);
    captures[0].milliseconds = 1010;  // between two frames: the one before
    captures[1].milliseconds = 1000;
    captures[2].milliseconds = 30;
    ShowOptions options;
    ASSERT_EQ(captureShow(options, captures, recordingTable()), 0);
    setAssetArchivePath(nullptr);

    ASSERT_EQ(drawnTicks.size(), 51u);
    for (size_t i = 0; i < drawnTicks.size(); ++i)
        EXPECT_EQ(drawnTicks[i], SCREENSHOT_START_TICK + 20 * i);
    // Sorted by time, each from the last frame at or before it.
    EXPECT_EQ(captures[0].frameMilliseconds, 20u);
    EXPECT_EQ(captures[1].frameMilliseconds, 1000u);
    EXPECT_EQ(captures[2].frameMilliseconds, 1000u);
    for (const FrameCapture& c : captures) {
        EXPECT_TRUE(c.taken);
        EXPECT_EQ(c.width, 640);
        EXPECT_EQ(c.height, 480);
        EXPECT_EQ(c.rgba.size(), 640u * 480u * 4u);
    }
}

TEST(Screenshot, StrideKeepsTheLastSecondAtThePace) {
    setAssetArchivePath("/nonexistent/megadata.rar");
    drawnTicks.clear();
    std::vector<FrameCapture> captures(2);
    captures[0].milliseconds = 5000;
    captures[1].milliseconds = 9000;
    ShowOptions options;
    ASSERT_EQ(captureShow(options, captures, recordingTable(), CapturePace{500, 1000}), 0);
    setAssetArchivePath(nullptr);

    // 0 .. 4000 by 500, 4020 .. 5020 by 20, 5500 .. 8000 by 500, 8020 .. 9000 by 20: strides land
    // on multiples of 500 and stop a second before the picture.
    std::vector<uint32_t> expected;
    for (uint32_t u = 0; u <= 4000; u += 500) expected.push_back(u);
    for (uint32_t u = 4020; u <= 5020; u += 20) expected.push_back(u);
    for (uint32_t u = 5500; u <= 8000; u += 500) expected.push_back(u);
    for (uint32_t u = 8020; u <= 9000; u += 20) expected.push_back(u);
    EXPECT_EQ(drawnTicks, expected);
    EXPECT_EQ(captures[0].frameMilliseconds, 5000u);
    EXPECT_EQ(captures[1].frameMilliseconds, 9000u);
}

TEST(Screenshot, ExecutableWritesTheSamePicture) {
    const fs::path content = fs::path(KORVANA_BINARY_DIR) / "content";
    if (!fs::exists(content / "megadata.rar")) GTEST_SKIP() << "default content not built";

    const fs::path out = fs::temp_directory_path() / ("korvana-shot-" + std::to_string(getpid()) + ".png");
    // The program's own exit is not leak-checked under the sanitizers (Mesa's modules go first).
    const std::string command = std::string("ASAN_OPTIONS=detect_leaks=0 " KORVANA_BINARY_DIR
                                            "/src/app/korvana --data '") +
                                content.string() + "' --screenshot 0.61 '" + out.string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    int32_t width = 0, height = 0;
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(readPng(out.string(), width, height, file, &error)) << error;
    fs::remove(out);

    setAssetArchivePath((content / "megadata.rar").c_str());
    std::vector<FrameCapture> captures(1);
    captures[0].milliseconds = 600;
    ASSERT_EQ(captureShow(ShowOptions{}, captures, showSceneTable()), 0);
    setAssetArchivePath(nullptr);

    ASSERT_EQ(width, 640);
    ASSERT_EQ(height, 480);
    ASSERT_EQ(file.size(), captures[0].rgba.size());
    size_t differing = 0;
    long long brightness = 0;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] != captures[0].rgba[i]) ++differing;
        if (i % 4 != 3) brightness += file[i];
    }
    EXPECT_EQ(differing, 0u) << "the file is the frame at 600 ms of a run from the first frame";
    EXPECT_GT(brightness, 640LL * 480 * 3 * 8) << "the picture shows the tube scene";

    // Bad arguments are refused before anything starts.
    EXPECT_NE(std::system(KORVANA_BINARY_DIR "/src/app/korvana --screenshot soon x.png 2>/dev/null"), 0);
    EXPECT_NE(std::system(KORVANA_BINARY_DIR "/src/app/korvana --screenshot 1 2>/dev/null"), 0);
}

}  // namespace
}  // namespace korvana
