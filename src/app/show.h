// The show from start-up to tear-down: sound and music, the window, the extensions, the scene
// loads, the overlays, the frame loop on a clock, and the exit code (0 after Escape, 1 after a
// start-up failure).
#pragma once

#include <cstdint>
#include <functional>

#include "app/timeline.h"
#include "platform/clock.h"
#include "scenes/scene_table.h"

namespace korvana {

// The render scale: the picture is scale x SCREEN_WIDTH by scale x SCREEN_HEIGHT, the same
// composition drawn with more pixels. PICTURE_SCALE_AUTO picks the largest that fits.
constexpr int32_t MAX_PICTURE_SCALE = 4;
constexpr int32_t PICTURE_SCALE_AUTO = 0;

// The largest scale from 1 to MAX_PICTURE_SCALE whose picture fits a room of that size; 1 when
// none fits.
int32_t largestPictureScale(int32_t roomWidth, int32_t roomHeight);

struct ShowOptions {
    bool fullScreen = true;
    // 1 to MAX_PICTURE_SCALE, or PICTURE_SCALE_AUTO: the largest that fits the screen (full
    // screen) or the desktop (a window of the picture's size).
    int32_t scale = 1;
    // No audio device and no music file at all.
    bool mute = false;
    // Start this far into the timeline, with the music at the same place.
    uint32_t seekMilliseconds = 0;
    // Whether the player's keys (pause, seek, music, full screen) act. Captures and screenshots
    // take none: their frames depend on the time alone.
    bool playerKeys = true;
    // Called after every presented frame with the plan of the last frame drawn (captures, tests;
    // while paused the picture and the plan stay those of the frame before). It may call
    // injectEscape() to end the show after this frame.
    std::function<void(const FramePlan&)> afterFrame;
};

int runShow(const ShowOptions& options, Clock& clock, const SceneTable& scenes);

}  // namespace korvana
