// The timeline arithmetic, with the precisions the show has always used: the slide's way in is a
// double product, its way out a single-precision one.
#include "app/timeline.h"

#include "platform/bit_cast.h"

namespace korvana {

namespace {
// 0.000199999995f: the step of the way out, exactly as the single-precision constant it has been.
constexpr float kSlideOutStep = bitCast<float>(0x3951B717u);
constexpr double kSlideInStep = 0.0002;
}  // namespace

int32_t sceneIndexAt(uint32_t u, int32_t keptIndex) {
    if (u < 30000u) return 0;
    if (u < 50000u) return 1;
    if (u < 67000u) return 2;
    if (u < 95000u) return 3;
    if (u < 115000u) return 4;
    if (u < TIMELINE_KEEP_FROM) return 5;
    return keptIndex;
}

bool holdPulseDue(uint32_t u, uint32_t holdReference) { return u - holdReference > HOLD_PERIOD; }

float overlaySlide(uint32_t d) {
    double s;
    if (d <= OVERLAY_SLIDE_TIME)
        s = d * kSlideInStep;
    else
        s = 1.0f - static_cast<float>(d - OVERLAY_SLIDE_TIME) * kSlideOutStep;
    return static_cast<float>(s + s - 2.0);
}

bool overlayPeriodOver(uint32_t d) { return d > OVERLAY_PERIOD; }

int32_t nextOverlayIndex(int32_t overlayIndex) {
    const int32_t next = overlayIndex + 1;
    return next > OVERLAY_COUNT - 1 ? 2 : next;
}

OverlayPlacement overlayPlacement(int32_t overlayIndex, float slide) {
    // index -> (image element, slides along x, slides along y)
    struct Row {
        int32_t element;
        bool x;
        bool y;
    };
    static constexpr Row rows[OVERLAY_COUNT] = {
        {3, true, true},   // rave04: from the lower left
        {4, false, true},  // rave05: from below
        {1, false, true},  // rave02: from below
        {2, true, false},  // rave03: from the left
        {0, true, false},  // rave01: from the left
        {5, true, true},   // rave06: from the lower left
        {6, true, false},  // rave07: from the left
    };
    OverlayPlacement placement;
    if (overlayIndex < 0 || overlayIndex >= OVERLAY_COUNT) return placement;
    const Row& row = rows[overlayIndex];
    placement.element = row.element;
    placement.x = row.x ? slide : 0.0f;
    placement.y = row.y ? slide : 0.0f;
    return placement;
}

FramePlan advanceTimeline(TimelineState& state, uint32_t now, uint32_t offsetMs) {
    FramePlan plan;
    if (!state.started) state.loopStart = now - offsetMs;
    const uint32_t u = now - state.loopStart;
    plan.u = u;

    if (!state.started) state.holdReference = u;
    if (holdPulseDue(u, state.holdReference)) {
        state.holdReference = u;
        plan.holdPulse = true;
    }

    state.sceneIndex = sceneIndexAt(u, state.sceneIndex);
    plan.sceneIndex = state.sceneIndex;

    if (!state.started) state.overlayStart = u;
    const uint32_t d = u - state.overlayStart;
    plan.slide = overlaySlide(d);
    if (overlayPeriodOver(d)) {
        state.overlayStart = u;
        state.overlayIndex = nextOverlayIndex(state.overlayIndex);
    }
    plan.overlay = overlayPlacement(state.overlayIndex, plan.slide);

    state.started = true;
    return plan;
}

}  // namespace korvana
