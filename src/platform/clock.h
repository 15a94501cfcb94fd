// Time for the whole program: the 32-bit millisecond tick counter that starts with the system, a
// sleep, and the clock the show loop runs on. The real clock reads the tick counter and really
// sleeps; the virtual clock (tests, screenshots, capture) moves a fixed step per frame and never
// sleeps, so a run on it gives the same frames on every machine.
#pragma once

#include <cstdint>

namespace korvana {

// Milliseconds of CLOCK_MONOTONIC (GetTickCount on Windows), truncated to 32 bits: it wraps after
// about 49.7 days of uptime, and every elapsed time is an unsigned 32-bit difference so the wrap
// does no harm.
uint32_t tickCount();

// Sleeps at least `milliseconds` (restarts after signals).
void sleepMilliseconds(uint32_t milliseconds);

// Tells the platform the show's time as the player has it: `showMilliseconds` at tick `tick` of
// tickCount(), going on from there with the tick count while `running` (not paused). The web
// page keeps the music in step by it and gives it to whoever asks (Module.korvana.showTime());
// the other systems need nothing of it.
void reportShowTime(uint32_t showMilliseconds, uint32_t tick, bool running);

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t now() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
    // Called once at the end of every frame of the show.
    virtual void frameDone() {}
};

class RealClock final : public Clock {
public:
    uint32_t now() override { return tickCount(); }
    void sleep(uint32_t milliseconds) override { sleepMilliseconds(milliseconds); }
};

class VirtualClock final : public Clock {
public:
    VirtualClock(uint32_t startTick, uint32_t stepMilliseconds)
        : ticks_(startTick), step_(stepMilliseconds) {}
    uint32_t now() override { return ticks_; }
    void sleep(uint32_t) override {}
    // Wraps past 2^32 exactly like the real counter.
    void frameDone() override { ticks_ += step_; }
    uint32_t step() const { return step_; }

private:
    uint32_t ticks_;
    uint32_t step_;
};

}  // namespace korvana
