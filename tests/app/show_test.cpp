// The show in-process on the virtual clock with scenes that record what the loop asks of them:
// start-up order, slots by time, the hold pulse, the overlay blend switches, Escape during the
// loop and during loading, and the failures of start-up.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/show.h"
#include "platform/gl.h"
#include "platform/input.h"
#include "platform/test_media.h"
#include "platform/window.h"
#include "render/frame.h"

namespace korvana {
namespace {

struct Record {
    std::vector<std::string> loads;
    std::vector<int32_t> slots;  // 0..5 as the timeline numbers them
    std::vector<int32_t> holdSeen;
    bool blendOnInDraw = false;
    bool textureOffInDraw = false;
    bool pictureUnboundInDraw = false;
    int escapeAfterDraws = -1;  // inject Escape at this draw count
    bool escapeWhileLoading = false;
};
Record rec;

void noteDraw(int32_t slot) {
    rec.slots.push_back(slot);
    rec.holdSeen.push_back(holdFrames);
    if (holdFrames > 0) --holdFrames;  // the scenes count the hold down
    if (glIsEnabled(GL_BLEND)) rec.blendOnInDraw = true;
    if (!glIsEnabled(GL_TEXTURE_2D)) rec.textureOffInDraw = true;
    GLint binding = 0;
    glGetIntegerv(0x8CA6 /* GL_FRAMEBUFFER_BINDING */, &binding);
    if (binding == 0) rec.pictureUnboundInDraw = true;
    if (static_cast<int>(rec.slots.size()) == rec.escapeAfterDraws) injectEscape();
}

SceneTable recordingTable() {
    SceneTable t;
    t.loadCylinderScene = [] { rec.loads.push_back("cylinder"); };
    t.loadTubeBoxScene = [] { rec.loads.push_back("tube box"); };
    t.loadPipeScene = [] { rec.loads.push_back("pipe"); };
    t.loadTubeScene = [] { rec.loads.push_back("tube"); };
    t.loadBoxesScene = [] {
        rec.loads.push_back("boxes");
        if (rec.escapeWhileLoading) injectEscape();
    };
    t.drawTubeScene = [](bool trails) { noteDraw(trails ? 4 : 0); };
    t.drawTubeBoxScene = [] { noteDraw(1); };
    t.drawPipeScene = [] { noteDraw(2); };
    t.drawCylinderScene = [] { noteDraw(3); };
    t.drawBoxesScene = [] { noteDraw(5); };
    return t;
}

class Show : public ::testing::Test {
protected:
    void SetUp() override {
        rec = Record{};
        holdFrames = 0;
        resetInput();
    }
    void TearDown() override { resetInput(); }
};

TEST_F(Show, RunsOnTheVirtualClockUntilEscape) {
    test::ScratchDir dir;
    test::WorkingDir wd(dir.path());
    ShowOptions options;
    options.fullScreen = false;
    options.mute = true;
    std::vector<FramePlan> plans;
    options.afterFrame = [&](const FramePlan& plan) { plans.push_back(plan); };
    rec.escapeAfterDraws = 300;  // 6 s of frames

    VirtualClock clock(0xFFFFFFFFu - 2990u, 20);  // the tick counter wraps 3 s into the run
    EXPECT_EQ(runShow(options, clock, recordingTable()), 0);

    EXPECT_EQ(rec.loads, (std::vector<std::string>{"cylinder", "tube box", "pipe", "tube", "boxes"}));
    ASSERT_EQ(rec.slots.size(), 300u);  // the loop stopped right after the frame that saw Escape
    ASSERT_EQ(plans.size(), 300u);
    for (size_t i = 0; i < plans.size(); ++i) ASSERT_EQ(plans[i].u, 20u * i);
    EXPECT_EQ(rec.slots.front(), 0);
    EXPECT_EQ(rec.holdSeen[0], 0);    // no hold at u = 0
    EXPECT_EQ(rec.holdSeen[251], 10); // u = 5020: the first pass more than 5000 ms in
    EXPECT_EQ(rec.holdSeen[252], 9);
    EXPECT_FALSE(rec.blendOnInDraw);  // the overlay's blending is switched off again each frame
    EXPECT_FALSE(rec.textureOffInDraw);
    EXPECT_FALSE(rec.pictureUnboundInDraw);
    EXPECT_FALSE(glWindowOpen());  // torn down
}

TEST_F(Show, SlotsFollowTheTimelineFromASeek) {
    test::ScratchDir dir;
    test::WorkingDir wd(dir.path());
    ShowOptions options;
    options.fullScreen = false;
    options.mute = true;
    options.seekMilliseconds = 29960;
    rec.escapeAfterDraws = 5;
    VirtualClock clock(77, 20);
    EXPECT_EQ(runShow(options, clock, recordingTable()), 0);
    EXPECT_EQ(rec.slots, (std::vector<int32_t>{0, 0, 1, 1, 1}));  // 29960, 29980, 30000, ...

    rec = Record{};
    options.seekMilliseconds = 144980;
    rec.escapeAfterDraws = 3;
    VirtualClock later(77, 20);
    EXPECT_EQ(runShow(options, later, recordingTable()), 0);
    EXPECT_EQ(rec.slots, (std::vector<int32_t>{5, 5, 5}));
}

TEST_F(Show, EscapeDuringLoadingEndsBeforeTheFirstFrame) {
    test::ScratchDir dir;
    test::WorkingDir wd(dir.path());
    ShowOptions options;
    options.fullScreen = false;
    options.mute = true;
    bool anyFrame = false;
    options.afterFrame = [&](const FramePlan&) { anyFrame = true; };
    rec.escapeWhileLoading = true;
    VirtualClock clock(0, 20);
    EXPECT_EQ(runShow(options, clock, recordingTable()), 0);
    EXPECT_EQ(rec.loads.size(), 5u);
    EXPECT_TRUE(rec.slots.empty());
    EXPECT_FALSE(anyFrame);
    EXPECT_FALSE(glWindowOpen());
}

TEST_F(Show, EmptySlotsDrawNothingAndStillRun) {
    test::ScratchDir dir;
    test::WorkingDir wd(dir.path());
    ShowOptions options;
    options.fullScreen = false;
    options.mute = true;
    int frames = 0;
    options.afterFrame = [&](const FramePlan&) {
        if (++frames == 3) injectEscape();
    };
    VirtualClock clock(0, 20);
    EXPECT_EQ(runShow(options, clock, SceneTable{}), 0);
    EXPECT_EQ(frames, 3);
}

TEST_F(Show, MissingMusicIsASoundErrorBeforeAnyWindow) {
    test::ScratchDir dir;
    test::WorkingDir wd(dir.path());
    ShowOptions options;
    options.fullScreen = false;
    VirtualClock clock(0, 20);
    testing::internal::CaptureStderr();
    const int result = runShow(options, clock, recordingTable());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(err, "File not found\n");
    EXPECT_TRUE(rec.loads.empty());
    EXPECT_FALSE(glWindowOpen());
}

TEST_F(Show, PlaysTheMusicWhenThereIsSome) {
    if (!test::haveLame()) GTEST_SKIP() << "the lame encoder is not installed";
    test::ScratchDir dir;
    test::WorkingDir wd(dir.path());
    ASSERT_TRUE(test::makeMp3(dir.path() / "ripped.mp3", 1.0));
    ShowOptions options;
    options.fullScreen = false;
    rec.escapeAfterDraws = 2;
    VirtualClock clock(0, 20);
    EXPECT_EQ(runShow(options, clock, recordingTable()), 0);
    EXPECT_EQ(rec.slots.size(), 2u);
}

}  // namespace
}  // namespace korvana
