// The show's timeline: which scene is drawn, when the light-trail hold is renewed, and which
// overlay slides where, all from the milliseconds elapsed since the first frame. Every elapsed
// time is an unsigned 32-bit difference of tick counts, so a wrap of the counter changes nothing.
#pragma once

#include <cstdint>

namespace korvana {

constexpr int32_t OVERLAY_COUNT = 7;
constexpr int32_t SCENE_SLOT_COUNT = 6;
// From here on the scene index is kept, so the last scene plays until Escape.
constexpr uint32_t TIMELINE_KEEP_FROM = 145000;
constexpr uint32_t HOLD_PERIOD = 5000;
constexpr int32_t HOLD_FRAMES = 10;
constexpr uint32_t OVERLAY_SLIDE_TIME = 5000;
constexpr uint32_t OVERLAY_PERIOD = 12500;

// The slot for u: 0 (0-30 s), 1 (30-50 s), 2 (50-67 s), 3 (67-95 s), 4 (95-115 s), 5 (115-145 s);
// from 145 s on `keptIndex`.
int32_t sceneIndexAt(uint32_t u, int32_t keptIndex);

// True when more than HOLD_PERIOD ms have passed since the hold reference.
bool holdPulseDue(uint32_t u, uint32_t holdReference);

// The overlay offset d ms into its period: -2 at 0, 0 at 5000, -2 at 10000, -3 at 12500.
float overlaySlide(uint32_t d);
// True once the overlay's period is over (at the first pass after 12500 ms).
bool overlayPeriodOver(uint32_t d);
// 0, 1, ..., 6, then 2, 3, ..., 6, 2, ...
int32_t nextOverlayIndex(int32_t overlayIndex);

// Which of the seven overlay images the index shows and where.
struct OverlayPlacement {
    int32_t element = 0;  // into the overlays loaded from jpg/rave01.tga .. jpg/rave07.tga
    float x = 0.0f;
    float y = 0.0f;
};
OverlayPlacement overlayPlacement(int32_t overlayIndex, float slide);

// What the loop keeps between passes.
struct TimelineState {
    bool started = false;
    uint32_t loopStart = 0;
    uint32_t holdReference = 0;
    uint32_t overlayStart = 0;
    // Only a run started past the last slot's end reaches its first pass without an index; it
    // keeps the last scene, as a run from the start would.
    int32_t sceneIndex = SCENE_SLOT_COUNT - 1;
    int32_t overlayIndex = 0;
};

// One pass of the loop.
struct FramePlan {
    uint32_t u = 0;
    bool holdPulse = false;
    int32_t sceneIndex = 0;
    float slide = 0.0f;
    OverlayPlacement overlay;
};

// Steps the timeline to tick `now`. At the first pass the loop start is `now` less `offsetMs`
// (a run that starts that far into the show); the hold and overlay timers start at that u.
FramePlan advanceTimeline(TimelineState& state, uint32_t now, uint32_t offsetMs = 0);

}  // namespace korvana
