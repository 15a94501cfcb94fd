// The clocks, the Escape latch and quit requests, the debug log's place and PNG files.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <csignal>
#include <ctime>
#include <fstream>

#include "platform/clock.h"
#include "platform/input.h"
#include "platform/paths.h"
#include "platform/png_file.h"
#include "platform/test_media.h"
#include "platform/window.h"

namespace korvana {
namespace {

TEST(Clock, TickCountIsTheMonotonicClockInMilliseconds) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint32_t expected = static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000);
    const uint32_t ticks = tickCount();
    EXPECT_LE(ticks - expected, 50u);

    const uint32_t before = tickCount();
    sleepMilliseconds(30);
    const uint32_t slept = tickCount() - before;
    EXPECT_GE(slept, 30u);

    RealClock real;
    EXPECT_LE(real.now() - tickCount(), 1u);
}

TEST(Clock, VirtualClockStepsPerFrameAndWraps) {
    VirtualClock clock(0xFFFFFFF0u, 20);
    EXPECT_EQ(clock.now(), 0xFFFFFFF0u);
    clock.sleep(1000);  // never sleeps, never moves
    EXPECT_EQ(clock.now(), 0xFFFFFFF0u);
    clock.frameDone();
    EXPECT_EQ(clock.now(), 4u);
    EXPECT_EQ(clock.now() - 0xFFFFFFF0u, 20u);
}

struct WindowGuard {
    ~WindowGuard() {
        destroyGLWindow();
        resetInput();
    }
};

TEST(Input, EscapeIsLatchedUntilAsked) {
    resetInput();
    EXPECT_FALSE(escapePressed());  // no window, nothing pressed
    injectEscape();
    EXPECT_TRUE(escapePressed());
    EXPECT_FALSE(escapePressed());  // the latch is cleared by the query

    WindowGuard guard;
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, false));
    EXPECT_FALSE(escapePressed());
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    key.key.keysym.sym = SDLK_ESCAPE;
    SDL_Event other = key;
    other.key.keysym.scancode = SDL_SCANCODE_SPACE;
    other.key.keysym.sym = SDLK_SPACE;
    SDL_PushEvent(&other);
    presentFrame();
    EXPECT_FALSE(escapePressed());  // other keys are swallowed
    SDL_PushEvent(&key);
    presentFrame();                 // the press is seen while presenting...
    EXPECT_TRUE(escapePressed());   // ...and kept for the next query
    EXPECT_FALSE(escapePressed());
    SDL_PushEvent(&key);
    EXPECT_TRUE(escapePressed());   // the query itself reads pending events
}

TEST(Input, CloseAndSignalsEndTheShowForGood) {
    resetInput();
    WindowGuard guard;
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, false));
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
    SDL_PushEvent(&close);
    EXPECT_TRUE(escapePressed());
    EXPECT_TRUE(escapePressed());  // a quit is not a key press: it stays
    EXPECT_TRUE(quitRequested());
    resetInput();
    EXPECT_FALSE(escapePressed());

    installQuitSignalHandlers();
    std::raise(SIGTERM);
    EXPECT_TRUE(quitRequested());
    EXPECT_TRUE(escapePressed());
    resetInput();
    std::raise(SIGINT);
    EXPECT_TRUE(escapePressed());
    resetInput();
}

class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        const char* v = std::getenv(name);
        had_ = v != nullptr;
        if (had_) value_ = v;
    }
    ~EnvGuard() {
        if (had_) setenv(name_, value_.c_str(), 1); else unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string value_;
};

TEST(Paths, DebugLogFollowsTheCacheFolder) {
    EnvGuard cache("XDG_CACHE_HOME");
    EnvGuard home("HOME");
    setenv("XDG_CACHE_HOME", "/var/cache-of-mine", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(debugLogPathForPlatform(), "/var/cache-of-mine/korvana/debug_unrar.txt");
    setenv("XDG_CACHE_HOME", "", 1);
    EXPECT_EQ(debugLogPathForPlatform(), "/home/someone/.cache/korvana/debug_unrar.txt");
    setenv("XDG_CACHE_HOME", "relative/cache", 1);  // relative values are ignored
    EXPECT_EQ(debugLogPathForPlatform(), "/home/someone/.cache/korvana/debug_unrar.txt");
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(debugLogPathForPlatform(), "/home/someone/.cache/korvana/debug_unrar.txt");
    unsetenv("HOME");
    EXPECT_EQ(debugLogPathForPlatform(), "");
}

TEST(Png, WritesWhatItReadsBackAndRefusesNonsense) {
    test::ScratchDir dir;
    const std::string path = (dir.path() / "picture.png").string();
    std::vector<uint8_t> rgba(3 * 2 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 11);
    ASSERT_TRUE(writePng(path, 3, 2, rgba));
    int32_t w = 0, h = 0;
    std::vector<uint8_t> back;
    ASSERT_TRUE(readPng(path, w, h, back));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(back, rgba);
    {
        std::ifstream in(path, std::ios::binary);
        char magic[4] = {};
        in.read(magic, 4);
        EXPECT_EQ(std::string(magic + 1, 3), "PNG");
    }

    std::string error;
    EXPECT_FALSE(writePng(path, 4, 2, rgba, &error));  // sizes do not match the pixels
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(writePng((dir.path() / "no/such/folder/x.png").string(), 3, 2, rgba, &error));
    const std::string notPng = (dir.path() / "not.png").string();
    std::ofstream(notPng) << "GIF89a, honestly";
    EXPECT_FALSE(readPng(notPng, w, h, back, &error));
    EXPECT_FALSE(readPng((dir.path() / "missing.png").string(), w, h, back, &error));
}

}  // namespace
}  // namespace korvana
