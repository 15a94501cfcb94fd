// Pictures of the show at chosen times, made by running it on the virtual clock: 20 ms per frame
// from tick SCREENSHOT_START_TICK, every frame from the first one drawn (the light trails build up
// over them), no sound. The same run serves `--screenshot` and the golden-frame tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/show.h"

namespace korvana {

// The tick count the virtual clock starts from, so the scenes (whose motion follows the tick
// count, not the show's elapsed time) take the same pose in every picture of a given time: the
// show then looks as it does on a machine that started the show right after booting.
constexpr uint32_t SCREENSHOT_START_TICK = 0;
constexpr uint32_t SCREENSHOT_FRAME_STEP = 20;

struct FrameCapture {
    // Show time wanted; the picture is that of the last frame at or before it.
    uint32_t milliseconds = 0;
    // Filled by captureShow: the frame's own time, and its picture (RGBA, top row first).
    uint32_t frameMilliseconds = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;
    bool taken = false;
};

// Runs the show (muted, windowed; `options` gives the rest) until the last of `captures` is taken, then ends
// it like Escape. The show's exit code: 0 when it ran, 1 when start-up failed.
int captureShow(ShowOptions options, std::vector<FrameCapture>& captures, const SceneTable& scenes);

// `--screenshot SECONDS FILE.png`: the picture at `milliseconds` written as a PNG. 0 on success,
// 1 when the show could not start or the file could not be written (with a message on stderr).
int runScreenshot(const ShowOptions& options, uint32_t milliseconds, const std::string& path,
                  const SceneTable& scenes);

}  // namespace korvana
