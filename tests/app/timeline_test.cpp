// The timeline as the loop steps it: scene slots and their boundaries, the kept index, the hold
// pulse, the overlay slide, period and index sequence, and a tick counter that wraps mid-run.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/timeline.h"

namespace korvana {
namespace {

TEST(Timeline, SceneSlotBoundaries) {
    const struct {
        uint32_t u;
        int32_t index;
    } rows[] = {{0, 0},      {29999, 0},  {30000, 1},  {49999, 1},  {50000, 2},  {66999, 2},
                {67000, 3},  {94999, 3},  {95000, 4},  {114999, 4}, {115000, 5}, {144999, 5}};
    for (const auto& row : rows) {
        EXPECT_EQ(sceneIndexAt(row.u, 99), row.index) << row.u;
    }
    // From 145000 ms on the index that was stored last is kept, whatever it is.
    EXPECT_EQ(sceneIndexAt(145000, 5), 5);
    EXPECT_EQ(sceneIndexAt(145000, 3), 3);
    EXPECT_EQ(sceneIndexAt(4000000000u, 5), 5);
    EXPECT_EQ(sceneIndexAt(0xFFFFFFFFu, 2), 2);
}

TEST(Timeline, LastSceneKeptAfter145Seconds) {
    TimelineState state;
    std::vector<int32_t> seen;
    for (uint32_t now = 1000; now <= 1000 + 400000; now += 20) {
        const FramePlan plan = advanceTimeline(state, now);
        if (seen.empty() || seen.back() != plan.sceneIndex) seen.push_back(plan.sceneIndex);
        if (plan.u >= 145000) {
            ASSERT_EQ(plan.sceneIndex, 5) << plan.u;
        }
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));

    // A start past the last slot's end keeps the last scene from the first pass on.
    TimelineState late;
    EXPECT_EQ(advanceTimeline(late, 500, 200000).sceneIndex, 5);
}

TEST(Timeline, OverlaySlide) {
    EXPECT_EQ(overlaySlide(0), -2.0f);
    EXPECT_EQ(overlaySlide(2500), -1.0f);
    EXPECT_EQ(overlaySlide(5000), 0.0f);  // still the way in
    EXPECT_NEAR(overlaySlide(5001), -0.0004f, 1e-6f);
    EXPECT_NEAR(overlaySlide(7500), -1.0f, 1e-6f);
    EXPECT_NEAR(overlaySlide(10000), -2.0f, 1e-6f);
    EXPECT_NEAR(overlaySlide(12500), -3.0f, 1e-6f);
    EXPECT_NEAR(overlaySlide(12520), -3.008f, 1e-5f);
    // In, then out, never back.
    for (uint32_t d = 20; d <= 5000; d += 20) ASSERT_GT(overlaySlide(d), overlaySlide(d - 20)) << d;
    for (uint32_t d = 5020; d <= 13000; d += 20) ASSERT_LT(overlaySlide(d), overlaySlide(d - 20)) << d;

    EXPECT_FALSE(overlayPeriodOver(12500));
    EXPECT_TRUE(overlayPeriodOver(12501));
}

TEST(Timeline, OverlayPlacementTable) {
    const struct {
        int32_t element;
        bool x, y;
    } rows[] = {{3, true, true}, {4, false, true}, {1, false, true}, {2, true, false},
                {0, true, false}, {5, true, true}, {6, true, false}};
    for (int32_t i = 0; i < OVERLAY_COUNT; ++i) {
        const OverlayPlacement p = overlayPlacement(i, -1.5f);
        EXPECT_EQ(p.element, rows[i].element) << i;
        EXPECT_EQ(p.x, rows[i].x ? -1.5f : 0.0f) << i;
        EXPECT_EQ(p.y, rows[i].y ? -1.5f : 0.0f) << i;
    }
}

TEST(Timeline, OverlayIndexSequenceAndPeriods) {
    EXPECT_EQ(nextOverlayIndex(0), 1);
    EXPECT_EQ(nextOverlayIndex(5), 6);
    EXPECT_EQ(nextOverlayIndex(6), 2);

    TimelineState state;
    std::vector<int32_t> indices{0};
    std::vector<uint32_t> changedAt;
    for (uint32_t now = 7; now <= 7 + 13 * 12520; now += 20) {
        const FramePlan plan = advanceTimeline(state, now);
        if (plan.u == 0) {
            EXPECT_EQ(plan.slide, -2.0f);
        }
        if (plan.u == 5000) {
            EXPECT_EQ(plan.slide, 0.0f);
        }
        if (plan.u == 12500) {
            EXPECT_EQ(state.overlayIndex, 0);  // not yet at exactly 12500
        }
        if (state.overlayIndex != indices.back()) {
            indices.push_back(state.overlayIndex);
            changedAt.push_back(plan.u);
            // This pass still shows the old period's slide (off-screen), on the new image.
            EXPECT_NEAR(plan.slide, -3.008f, 1e-5f);
            EXPECT_EQ(plan.overlay.element, overlayPlacement(state.overlayIndex, 0).element);
        }
    }
    EXPECT_EQ(indices, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 2, 3}));
    // Each period ends at the first pass after 12500 ms: 12520 ms apart at 20 ms a frame.
    ASSERT_FALSE(changedAt.empty());
    for (size_t i = 0; i < changedAt.size(); ++i) EXPECT_EQ(changedAt[i], 12520u * (i + 1)) << i;
}

TEST(Timeline, HoldPulse) {
    EXPECT_FALSE(holdPulseDue(5000, 0));
    EXPECT_TRUE(holdPulseDue(5001, 0));

    TimelineState state;
    std::vector<uint32_t> pulses;
    for (uint32_t now = 100; now <= 100 + 21000; now += 20) {
        const FramePlan plan = advanceTimeline(state, now);
        if (plan.holdPulse) pulses.push_back(plan.u);
    }
    EXPECT_EQ(pulses, (std::vector<uint32_t>{5020, 10040, 15060, 20080}));

    // Uneven frames: each pulse comes at the first pass more than 5000 ms after the last one.
    TimelineState uneven;
    pulses.clear();
    for (uint32_t u : {0u, 3000u, 5000u, 5001u, 9000u, 10001u, 10002u, 16000u, 16001u}) {
        if (advanceTimeline(uneven, 1000 + u).holdPulse) pulses.push_back(u);
    }
    EXPECT_EQ(pulses, (std::vector<uint32_t>{5001u, 10002u, 16000u}));
}

TEST(Timeline, TickCounterWrapDuringTheRun) {
    // The same show started just before the 32-bit counter wraps and at an ordinary tick.
    TimelineState wrapping, plain;
    const uint32_t wrapStart = 0xFFFFFFFFu - 40000u;
    bool wrapped = false;
    for (uint32_t step = 0; step < 8000; ++step) {
        const uint32_t now = wrapStart + step * 20u;
        if (now < wrapStart) wrapped = true;
        const FramePlan a = advanceTimeline(wrapping, now);
        const FramePlan b = advanceTimeline(plain, 1000 + step * 20u);
        ASSERT_EQ(a.u, step * 20u);
        ASSERT_EQ(a.u, b.u);
        ASSERT_EQ(a.sceneIndex, b.sceneIndex) << a.u;
        ASSERT_EQ(a.holdPulse, b.holdPulse) << a.u;
        ASSERT_EQ(a.slide, b.slide) << a.u;
        ASSERT_EQ(a.overlay.element, b.overlay.element) << a.u;
    }
    EXPECT_TRUE(wrapped);
    EXPECT_EQ(wrapping.sceneIndex, 5);  // 160 s in: the last scene, kept
}

TEST(Timeline, StartingPartWayIn) {
    TimelineState state;
    const FramePlan first = advanceTimeline(state, 123, 60000);
    EXPECT_EQ(first.u, 60000u);
    EXPECT_EQ(first.sceneIndex, 2);
    EXPECT_FALSE(first.holdPulse);
    EXPECT_EQ(first.slide, -2.0f);  // the overlays begin their first period here
    const FramePlan later = advanceTimeline(state, 123 + 7000, 60000);
    EXPECT_EQ(later.u, 67000u);
    EXPECT_EQ(later.sceneIndex, 3);
    EXPECT_TRUE(later.holdPulse);
}

}  // namespace
}  // namespace korvana
