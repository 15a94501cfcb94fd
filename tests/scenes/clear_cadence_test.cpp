// The light-trail clear cadence and the scenes' time bases.
#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "scenes/scene_frame.h"

namespace korvana {
namespace {

// Frame numbers (1-based) on which the cadence clears, over `frames` frames.
std::vector<int> clearedFrames(int32_t& hold, int32_t& counter, bool trails, int32_t limit,
                               int frames) {
    std::vector<int> cleared;
    for (int frame = 1; frame <= frames; ++frame)
        if (advanceClearCadence(hold, counter, trails, limit)) cleared.push_back(frame);
    return cleared;
}

TEST(ClearCadence, PeriodIsLimitPlusTwoPerScene) {
    struct Case {
        int32_t limit;
        int period;
    };
    // Tube (second slot), pipe and boxes: 5; tube box: 10; cylinder: 15.
    for (const Case c : {Case{TUBE_TRAIL_LIMIT, 7}, Case{TUBE_BOX_TRAIL_LIMIT, 12},
                         Case{PIPE_TRAIL_LIMIT, 7}, Case{CYLINDER_TRAIL_LIMIT, 17},
                         Case{BOXES_TRAIL_LIMIT, 7}}) {
        int32_t hold = 0;
        int32_t counter = 0;
        const std::vector<int> cleared = clearedFrames(hold, counter, true, c.limit, 5 * c.period);
        ASSERT_EQ(cleared.size(), 5u) << "limit " << c.limit;
        for (size_t i = 0; i < cleared.size(); ++i)
            EXPECT_EQ(cleared[i], int(i + 1) * c.period) << "limit " << c.limit;
        EXPECT_EQ(hold, 0);
        EXPECT_EQ(counter, 0) << "a clear resets the counter";
    }
}

TEST(ClearCadence, WithoutTrailsEveryFrameOutsideHolds) {
    int32_t hold = 0;
    int32_t counter = 4;
    // The very first frame of the show is cleared: no hold has been set yet.
    EXPECT_TRUE(advanceClearCadence(hold, counter, false, TUBE_TRAIL_LIMIT));
    EXPECT_EQ(clearedFrames(hold, counter, false, TUBE_TRAIL_LIMIT, 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(counter, 4) << "the slot without trails never touches the counter";

    hold = 10;
    const std::vector<int> cleared = clearedFrames(hold, counter, false, TUBE_TRAIL_LIMIT, 12);
    EXPECT_EQ(cleared, (std::vector<int>{11, 12})) << "ten held frames, then clears again";
    EXPECT_EQ(hold, 0);
    EXPECT_EQ(counter, 4);
}

TEST(ClearCadence, HoldFreezesTheCounter) {
    // A hold of ten frames starting with the counter at 3: the next clear is 10 + (N + 2 - 3)
    // frames later.
    for (const int32_t limit : {5, 10, 15}) {
        int32_t hold = 10;
        int32_t counter = 3;
        const std::vector<int> cleared = clearedFrames(hold, counter, true, limit, 40);
        ASSERT_FALSE(cleared.empty());
        EXPECT_EQ(cleared.front(), 10 + (limit + 2 - 3)) << "limit " << limit;
    }

    int32_t hold = 10;
    int32_t counter = 3;
    for (int frame = 0; frame < 10; ++frame) {
        EXPECT_FALSE(advanceClearCadence(hold, counter, true, 5));
        EXPECT_EQ(counter, 3);
    }
    EXPECT_EQ(hold, 0);
}

TEST(ClearCadence, SharedCounterAcrossTheTubeSlots) {
    // The tube scene passes one counter to both slots: the first slot leaves it at 0, so the
    // second slot starts a full period from where it stood.
    int32_t hold = 0;
    int32_t tubeCounter = 0;
    clearedFrames(hold, tubeCounter, false, TUBE_TRAIL_LIMIT, 1500);
    EXPECT_EQ(tubeCounter, 0);
    EXPECT_EQ(clearedFrames(hold, tubeCounter, true, TUBE_TRAIL_LIMIT, 14),
              (std::vector<int>{7, 14}));
}

TEST(SceneTime, TimeBases) {
    EXPECT_EQ(sceneTime1500(0), 0.0f);
    EXPECT_EQ(sceneTime750(0), 0.0f);
    EXPECT_EQ(sceneTimeExtended(0), 0.0L);

    // ticks / 1500 and ticks / 750 to float precision.
    for (const uint32_t ticks : {1u, 1500u, 30000u, 123456789u, 4294967295u}) {
        EXPECT_NEAR(sceneTime1500(ticks), ticks / 1500.0, ticks / 1500.0 * 1.2e-7) << ticks;
        EXPECT_NEAR(sceneTime750(ticks), ticks / 750.0, ticks / 750.0 * 1.2e-7) << ticks;
        EXPECT_NEAR(double(sceneTimeExtended(ticks)), ticks / 1500.0, ticks / 1500.0 * 1e-15)
            << ticks;
    }

    // The products are rounded once from the exact product with the float constant.
    const double c1500 = double(0.00066666666f);
    EXPECT_EQ(sceneTime1500(3000000u), float(3000000.0 * c1500));

    // From 196608000 ticks (T = 2^17) the float scene time moves in steps of 1/64, about 23.4 ms
    // of motion, whatever the tick in between.
    std::set<float> values;
    for (uint32_t ticks = 196608000u; ticks < 196608000u + 240u; ++ticks)
        values.insert(sceneTime1500(ticks));
    ASSERT_GE(values.size(), 9u);
    ASSERT_LE(values.size(), 12u);
    for (auto it = std::next(values.begin()); it != values.end(); ++it)
        EXPECT_EQ(*it - *std::prev(it), 1.0f / 64.0f);

    // The unrounded time keeps moving smoothly where the float one cannot.
    EXPECT_NE(sceneTimeExtended(196608001u), sceneTimeExtended(196608000u));
}

}  // namespace
}  // namespace korvana
