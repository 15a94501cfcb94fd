// The player's commands on the show's own scenes, headless on the virtual clock: a pause keeps
// one picture and, resumed, the show goes on exactly as if it had never stopped; a seek lands on
// the picture a run started at its target gives, light trails and all.
#include <cstdint>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "app/show.h"
#include "assets/asset_archive.h"
#include "platform/input.h"
#include "platform/window.h"
#include "render/frame.h"
#include "scenes/scene_table.h"

namespace korvana {
namespace {

namespace fs = std::filesystem;

struct Frame {
    uint32_t u = 0;
    uint64_t hash = 0;
};

uint64_t pictureHash() {
    std::vector<uint8_t> rgba;
    if (!readPicture(rgba)) return 0;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (uint8_t byte : rgba) hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

// Runs the show windowed and muted from `seekMs` with the scenes' tick count starting at
// `startTick`, for `frames` frames; `onFrame(n)` runs after frame n (from 1) is recorded.
std::vector<Frame> runFrames(uint32_t seekMs, uint32_t startTick, int frames,
                             const std::function<void(int)>& onFrame = {}) {
    std::vector<Frame> seen;
    ShowOptions options;
    options.fullScreen = false;
    options.mute = true;
    options.seekMilliseconds = seekMs;
    options.afterFrame = [&](const FramePlan& plan) {
        seen.push_back(Frame{plan.u, pictureHash()});
        const int n = int(seen.size());
        if (onFrame) onFrame(n);
        if (n == frames) injectEscape();
    };
    holdFrames = 0;
    resetInput();
    VirtualClock clock(startTick, 20);
    EXPECT_EQ(runShow(options, clock, showSceneTable()), 0);
    resetInput();
    return seen;
}

TEST(PlayerFrames, PauseHoldsThePictureAndASeekLandsAsAFreshStart) {
    const fs::path archive = fs::path(KORVANA_BINARY_DIR) / "content" / "megadata.rar";
    if (!fs::exists(archive)) GTEST_SKIP() << "default content not built at " << archive;
    setAssetArchivePath(archive.c_str());

    // The tube box (light trails) from 36 s: paused after frame 10 for five frames, then on to
    // frame 25, where the viewer jumps 30 s on into the pipe.
    const std::vector<Frame> played = runFrames(36000, 0, 40, [](int n) {
        if (n == 10 || n == 15) injectPlayerCommand(PlayerCommand::TogglePause);
        if (n == 25) injectPlayerCommand(PlayerCommand::Forward30);
    });
    // The same without a key, and the pipe started at the seek's target with the tick count the
    // scenes then have: the key is taken once frame 25 (36380 ms) is shown, 20 ms on, and the
    // player moves the tick count with the show's time.
    const std::vector<Frame> straight = runFrames(36000, 0, 20);
    const std::vector<Frame> fresh = runFrames(66400, 30400, 15);
    setAssetArchivePath(nullptr);
    ASSERT_EQ(played.size(), 40u);
    ASSERT_EQ(straight.size(), 20u);
    ASSERT_EQ(fresh.size(), 15u);

    for (int i = 0; i < 10; ++i) EXPECT_EQ(played[i].hash, straight[i].hash) << "frame " << i + 1;
    for (int i = 10; i < 15; ++i) {
        EXPECT_EQ(played[i].u, played[9].u) << "paused frame " << i + 1;
        EXPECT_EQ(played[i].hash, played[9].hash) << "the picture changed while paused, frame " << i + 1;
    }
    for (int i = 15; i < 25; ++i) {
        EXPECT_EQ(played[i].u, straight[i - 5].u) << "frame " << i + 1;
        EXPECT_EQ(played[i].hash, straight[i - 5].hash) << "after the pause, frame " << i + 1;
    }
    EXPECT_NE(straight[1].hash, straight[0].hash);  // the show moves: a frozen one would pass the above
    for (int i = 25; i < 40; ++i) {
        EXPECT_EQ(played[i].u, fresh[i - 25].u) << "frame " << i + 1;
        EXPECT_EQ(played[i].hash, fresh[i - 25].hash) << "after the seek, frame " << i + 1;
    }
}

}  // namespace
}  // namespace korvana
