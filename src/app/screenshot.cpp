// Pictures of the show on the virtual clock.
#include "app/screenshot.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/input.h"
#include "platform/png_file.h"
#include "platform/window.h"

namespace korvana {

namespace {

// A virtual clock that knows the show time of the frame it will give next, so a capture can be
// taken on the last frame before a wanted time, and that strides while no capture is near.
class CaptureClock final : public Clock {
public:
    CaptureClock(uint32_t firstU, const std::vector<FrameCapture>& captures, const size_t& next,
                 CapturePace pace)
        : u_(firstU), captures_(captures), next_(next), pace_(pace) {}

    uint32_t now() override { return ticks_; }
    void sleep(uint32_t) override {}
    void frameDone() override {
        const uint32_t step = stepFrom(u_);
        u_ += step;
        ticks_ += step;
    }

    // Show time of the frame to come.
    uint32_t nextU() const { return u_; }

private:
    uint32_t stepFrom(uint32_t u) const {
        if (pace_.stride > SCREENSHOT_FRAME_STEP && next_ < captures_.size()) {
            // Strides land on multiples of the stride, so a picture's last second of frames stays
            // the same when its time moves within one stride.
            const uint64_t wanted = captures_[next_].milliseconds;
            const uint64_t landing = (uint64_t(u) / pace_.stride + 1) * pace_.stride;
            if (landing + pace_.settleMilliseconds <= wanted) return uint32_t(landing - u);
        }
        return SCREENSHOT_FRAME_STEP;
    }

    uint32_t ticks_ = SCREENSHOT_START_TICK;
    uint32_t u_;
    const std::vector<FrameCapture>& captures_;
    const size_t& next_;
    CapturePace pace_;
};

}  // namespace

int captureShow(ShowOptions options, std::vector<FrameCapture>& captures, const SceneTable& scenes,
                CapturePace pace) {
    std::sort(captures.begin(), captures.end(),
              [](const FrameCapture& a, const FrameCapture& b) { return a.milliseconds < b.milliseconds; });
    if (captures.empty()) return 0;

    size_t next = 0;
    CaptureClock clock(options.seekMilliseconds, captures, next, pace);
    // A picture needs neither sound nor the whole screen.
    options.mute = true;
    options.fullScreen = false;
    options.playerKeys = false;
    options.afterFrame = [&](const FramePlan& plan) {
        // Several wanted times can fall before the next frame; that frame would pass them all.
        while (next < captures.size() && clock.nextU() > captures[next].milliseconds) {
            FrameCapture& capture = captures[next++];
            capture.frameMilliseconds = plan.u;
            capture.width = pictureWidth();
            capture.height = pictureHeight();
            capture.taken = readPicture(capture.rgba);
            // The window shows colour only; what the scenes leave in alpha is not part of it.
            for (size_t i = 3; i < capture.rgba.size(); i += 4) capture.rgba[i] = 255;
        }
        if (next == captures.size()) injectEscape();
    };
    resetInput();
    const int result = runShow(options, clock, scenes);
    resetInput();
    return result;
}

int runScreenshot(const ShowOptions& options, uint32_t milliseconds, const std::string& path,
                  const SceneTable& scenes) {
    std::vector<FrameCapture> captures(1);
    captures[0].milliseconds = milliseconds;
    const int result = captureShow(options, captures, scenes);
    if (result != 0) return result;
    const FrameCapture& capture = captures[0];
    if (!capture.taken) {
        std::fprintf(stderr, "korvana: no picture to write (the show ended before %u ms)\n", milliseconds);
        return 1;
    }
    std::string error;
    if (!writePng(path, capture.width, capture.height, capture.rgba, &error)) {
        std::fprintf(stderr, "korvana: cannot write %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace korvana
