// Pictures of the show on the virtual clock.
#include "app/screenshot.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/input.h"
#include "platform/png_file.h"
#include "platform/window.h"

namespace korvana {

int captureShow(ShowOptions options, std::vector<FrameCapture>& captures, const SceneTable& scenes) {
    std::sort(captures.begin(), captures.end(),
              [](const FrameCapture& a, const FrameCapture& b) { return a.milliseconds < b.milliseconds; });
    if (captures.empty()) return 0;

    VirtualClock clock(SCREENSHOT_START_TICK, SCREENSHOT_FRAME_STEP);
    size_t next = 0;
    // A picture needs neither sound nor the whole screen.
    options.mute = true;
    options.fullScreen = false;
    options.afterFrame = [&](const FramePlan& plan) {
        // Several wanted times can fall on one frame; the next frame would pass them all.
        while (next < captures.size() && plan.u + SCREENSHOT_FRAME_STEP > captures[next].milliseconds) {
            FrameCapture& capture = captures[next++];
            capture.frameMilliseconds = plan.u;
            capture.width = pictureWidth();
            capture.height = pictureHeight();
            capture.taken = readPicture(capture.rgba);
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
