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

struct ShowOptions {
    bool fullScreen = true;
    // No audio device and no music file at all.
    bool mute = false;
    // Start this far into the timeline, with the music at the same place.
    uint32_t seekMilliseconds = 0;
    // Called after every presented frame with that frame's plan (captures, tests). It may call
    // injectEscape() to end the show after this frame.
    std::function<void(const FramePlan&)> afterFrame;
};

int runShow(const ShowOptions& options, Clock& clock, const SceneTable& scenes);

}  // namespace korvana
