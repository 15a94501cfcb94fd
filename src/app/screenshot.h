// Pictures of the show at chosen times, made by running it on a virtual clock from tick
// SCREENSHOT_START_TICK: every frame from the first one is drawn, 20 ms apart (the light trails
// build up over them), with no sound. `--screenshot` and the golden-frame tests use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/show.h"

namespace korvana {

// The tick count the virtual clock starts from. The scenes' motion follows the tick count, not
// the show's elapsed time, so a fixed start gives every picture of a given time the same pose:
// the show as it looks on a machine that started it right after booting.
constexpr uint32_t SCREENSHOT_START_TICK = 0;
constexpr uint32_t SCREENSHOT_FRAME_STEP = 20;

struct FrameCapture {
    // Show time wanted; the picture is that of the last frame at or before it.
    uint32_t milliseconds = 0;
    // Filled by captureShow: the frame's own time, and its picture as the window shows it
    // (RGBA with alpha 255, top row first).
    uint32_t frameMilliseconds = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;
    bool taken = false;
};

// How the virtual clock moves. By default every frame is SCREENSHOT_FRAME_STEP apart. With a
// stride, the clock jumps from multiple to multiple of `stride` while the next capture lies at
// least `settleMilliseconds` beyond the landing point, and runs at SCREENSHOT_FRAME_STEP from
// there: a shorter run whose pictures still have their last second or so of frames at the show's
// pace (the golden-frame tests), though not the exact frames of a full-pace run.
struct CapturePace {
    uint32_t stride = 0;
    uint32_t settleMilliseconds = 0;
};

// Runs the show (muted, windowed; `options` gives the rest) until the last of `captures` is taken,
// then ends it like Escape. The show's exit code: 0 when it ran, 1 when start-up failed.
int captureShow(ShowOptions options, std::vector<FrameCapture>& captures, const SceneTable& scenes,
                CapturePace pace = {});

// `--screenshot SECONDS FILE.png`: the picture at `milliseconds` written as a PNG. 0 on success,
// 1 when the show could not start or the file could not be written (with a message on stderr).
int runScreenshot(const ShowOptions& options, uint32_t milliseconds, const std::string& path,
                  const SceneTable& scenes);

}  // namespace korvana
