// The player's keys pressed for real: key events sent through a private X server (xdotool's
// XTEST presses, as a keyboard makes them) reach the show in its SDL window, on the real clock.
// A paused show keeps one picture on the screen, a seek lands on the scene the timeline gives
// there, F switches full screen, and Escape still ends the show.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "app/show.h"
#include "assets/asset_archive.h"
#include "platform/input.h"
#include "platform/test_media.h"
#include "platform/window.h"
#include "render/frame.h"
#include "support/private_x_server.h"

namespace korvana {
namespace {

namespace fs = std::filesystem;

constexpr const char* kXdotool = "/usr/bin/xdotool";

struct Seen {
    uint32_t u;
    int32_t scene;
    bool fullScreen;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PlayerKeysX11, PressedThroughTheXServer) {
    if (!test::PrivateXServer::available() || access(kXdotool, X_OK) != 0)
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    const fs::path archive = fs::path(KORVANA_BINARY_DIR) / "content" / "megadata.rar";
    if (!fs::exists(archive)) GTEST_SKIP() << "default content not built at " << archive;
    test::ScratchDir dir;
    test::PrivateXServer server(dir.path().string(), "1024x768x24");
    if (server.display().empty()) GTEST_SKIP() << "Xvfb did not start";
    const char* oldDisplay = getenv("DISPLAY");
    const std::string savedDisplay = oldDisplay ? oldDisplay : "";
    const char* oldDriver = getenv("SDL_VIDEODRIVER");
    const std::string savedDriver = oldDriver ? oldDriver : "";
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setAssetArchivePath(archive.c_str());
    resetInput();
    holdFrames = 0;

    std::mutex lock;
    std::vector<Seen> seen;
    std::atomic<int> frames{0};
    std::atomic<bool> ended{false};
    ShowOptions options;
    options.fullScreen = false;
    options.mute = true;
    options.seekMilliseconds = 20000;  // the tube, ten seconds before the tube box
    options.afterFrame = [&](const FramePlan& plan) {
        SDL_Window* window = SDL_GL_GetCurrentWindow();
        const bool full = window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;
        std::lock_guard<std::mutex> guard(lock);
        seen.push_back(Seen{plan.u, plan.sceneIndex, full});
        ++frames;
    };
    auto lastSeen = [&]() {
        std::lock_guard<std::mutex> guard(lock);
        return seen.empty() ? Seen{0, -1, false} : seen.back();
    };

    // The presses, from a thread of their own while the show runs on the test's main thread.
    std::string screenWhilePaused[2];
    Seen atPause{}, afterSeek{}, afterFullScreen{}, afterWindowed{};
    int framesWhilePaused = 0;
    std::atomic<bool> escapeMissed{false};
    std::thread viewer([&] {
        const std::string xdotool = std::string("DISPLAY=") + server.display() + " " + kXdotool;
        auto press = [&](const char* key) {
            return std::system((xdotool + " key " + key + " >/dev/null 2>&1").c_str()) == 0;
        };
        auto pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
        for (int i = 0; i < 300 && frames < 10 && !ended; ++i) pause(100);
        // No window manager: the keyboard goes where the focus is put.
        std::system((xdotool + " search --name '^Korvana$' windowfocus >/dev/null 2>&1").c_str());
        pause(300);
        press("space");
        pause(700);
        atPause = lastSeen();
        const int before = frames;
        screenWhilePaused[0] = readFile(dir.path() / "Xvfb_screen0");
        pause(500);
        screenWhilePaused[1] = readFile(dir.path() / "Xvfb_screen0");
        framesWhilePaused = frames - before;
        press("Next");  // Page Down
        pause(700);
        afterSeek = lastSeen();
        press("space");
        pause(500);
        press("f");
        pause(700);
        afterFullScreen = lastSeen();
        press("f");
        pause(700);
        afterWindowed = lastSeen();
        press("Escape");
        // A show that missed Escape is ended all the same, so the test fails rather than hangs.
        for (int i = 0; i < 100 && !ended; ++i) pause(100);
        if (!ended) {
            escapeMissed = true;
            requestQuit();
        }
    });
    RealClock clock;
    const int result = runShow(options, clock, showSceneTable());
    ended = true;
    viewer.join();
    setAssetArchivePath(nullptr);
    resetInput();
    if (savedDisplay.empty()) unsetenv("DISPLAY"); else setenv("DISPLAY", savedDisplay.c_str(), 1);
    if (savedDriver.empty()) unsetenv("SDL_VIDEODRIVER"); else setenv("SDL_VIDEODRIVER", savedDriver.c_str(), 1);

    EXPECT_EQ(result, 0);
    EXPECT_FALSE(escapeMissed) << "Escape did not end the show";
    std::printf("paused at %u ms (scene %d), %d frames presented in 0.5 s of pause, landed at %u ms (scene %d)\n",
                atPause.u, atPause.scene, framesWhilePaused, afterSeek.u, afterSeek.scene);
    ASSERT_GT(frames.load(), 40);
    // Space: the show's time stands while frames go on being presented, and the screen keeps one
    // picture.
    EXPECT_GT(framesWhilePaused, 3);
    EXPECT_FALSE(screenWhilePaused[0].empty());
    EXPECT_TRUE(screenWhilePaused[0] == screenWhilePaused[1]) << "the screen changed while paused";
    EXPECT_EQ(atPause.scene, 0);
    // Page Down while paused: one frame 30 s on, in the pipe, and the show stays paused there.
    // The pause began after the last frame drawn, within the time one frame takes.
    uint32_t longestFrame = 0;
    for (size_t i = 1; i < seen.size(); ++i)
        if (seen[i].u > seen[i - 1].u && seen[i].u - seen[i - 1].u < 4000)
            longestFrame = std::max(longestFrame, seen[i].u - seen[i - 1].u);
    EXPECT_GE(afterSeek.u, atPause.u + 30000);
    EXPECT_LE(afterSeek.u, atPause.u + 30000 + longestFrame);
    EXPECT_EQ(afterSeek.scene, 2);
    // Space again: on it goes; F: full screen, F again: back to a window.
    EXPECT_GT(afterFullScreen.u, afterSeek.u + 500);
    EXPECT_TRUE(afterFullScreen.fullScreen);
    EXPECT_FALSE(afterWindowed.fullScreen);
}

}  // namespace
}  // namespace korvana
