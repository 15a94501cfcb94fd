// The show as a player: the time the frame loop and the scenes run on, whether it is paused,
// where the viewer has moved it and whether the music is on, in one state the loop reads. The
// backends only turn their keys into commands (platform/input.h); what a command does is here.
//
// The player owns the tick count the show runs on: the source clock's, standing still while
// paused and moved by every seek together with the show's time, so the scenes' motion (which
// follows the tick count) neither drifts across a pause nor leaves the timeline's pace. A seek
// starts the show afresh at its target as a run started there with --seek does: the timeline's
// timers, the hold and the overlays from there, the scenes' own state and the picture (trails)
// from nothing. Untouched, the player's ticks are the source's and the show is the one it always was.
#pragma once

#include <cstdint>

#include "app/timeline.h"
#include "platform/clock.h"
#include "platform/input.h"

namespace korvana {

constexpr uint32_t SHORT_SEEK = 5000;
constexpr uint32_t LONG_SEEK = 30000;

// The music as the player moves it (the sound component in the show, a record in tests).
class PlayerMusic {
public:
    virtual ~PlayerMusic() = default;
    virtual void setPaused(bool paused) = 0;
    virtual void setPosition(uint32_t milliseconds) = 0;
};

class Player final : public Clock {
public:
    // The show starts `startMilliseconds` into the timeline (--seek); seeks forward stop at
    // `endMilliseconds`. Without `music` (--mute) there is no music to switch. The music is
    // playing from the start when there is some.
    Player(Clock& source, uint32_t startMilliseconds, uint32_t endMilliseconds, PlayerMusic* music);

    // The player's tick count.
    uint32_t now() override;
    void sleep(uint32_t milliseconds) override { source_.sleep(milliseconds); }
    void frameDone() override { source_.frameDone(); }

    // True when the loop draws a frame this pass: while playing, and once after a seek made
    // while paused (the viewer sees where it landed).
    bool drawsFrame() const { return !paused_ || owedFrame_; }
    // True once after a seek: the loop starts the picture and the scenes' state afresh first.
    bool takeRestart();
    // Steps the timeline to now() for the frame about to be drawn.
    FramePlan planFrame();
    // The plan of the last frame drawn.
    const FramePlan& lastPlan() const { return lastPlan_; }

    // Every command but ToggleFullScreen, which is the window's.
    void apply(PlayerCommand command);

    // The show's time now, in milliseconds from the timeline's start.
    uint32_t showTime();
    bool paused() const { return paused_; }
    bool musicOn() const { return musicOn_; }

private:
    void seekTo(uint32_t target);
    void report();

    Clock& source_;
    PlayerMusic* music_;
    uint32_t end_;
    TimelineState timeline_;
    uint32_t offset_;         // the show's time at the timeline's first pass
    uint32_t shift_ = 0;      // what seeks have added to the source's ticks
    uint32_t pausedFor_ = 0;  // source ticks spent paused, before the present pause
    uint32_t pausedAt_ = 0;   // the source's tick when the present pause began
    uint32_t sourceTick_ = 0; // the source's tick at the last reading
    bool seeked_ = false;
    uint32_t seekTick_ = 0;   // the player's tick at the last seek, when the show was at offset_
    bool paused_ = false;
    bool musicOn_;
    bool owedFrame_ = false;
    bool restart_ = false;
    FramePlan lastPlan_;
};

}  // namespace korvana
