// The player without a window: its clock across pauses and seeks, where seeks land and how they
// clamp, the music it moves, and the key table every backend shares.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/player.h"

namespace korvana {
namespace {

class HandClock final : public Clock {
public:
    uint32_t ticks = 0;
    uint32_t now() override { return ticks; }
    void sleep(uint32_t) override {}
};

// What the player asked of the music, in order: "pause", "play", "at 12345".
class MusicRecord final : public PlayerMusic {
public:
    std::vector<std::string> calls;
    void setPaused(bool paused) override { calls.push_back(paused ? "pause" : "play"); }
    void setPosition(uint32_t milliseconds) override { calls.push_back("at " + std::to_string(milliseconds)); }
};

using Calls = std::vector<std::string>;

TEST(Player, PauseStopsTheShowsClockAndResumeGoesOnInStep) {
    HandClock source;
    source.ticks = 0xFFFFFFFFu - 1000u;  // the counter wraps during the run
    MusicRecord music;
    Player player(source, 7000, 160000, &music);
    EXPECT_EQ(player.planFrame().u, 7000u);
    source.ticks += 2000;
    EXPECT_EQ(player.planFrame().u, 9000u);
    const uint32_t tickAtPause = player.now();

    player.apply(PlayerCommand::TogglePause);
    EXPECT_TRUE(player.paused());
    EXPECT_FALSE(player.drawsFrame());
    source.ticks += 60000;
    // The scenes' tick count and the show's time stand still.
    EXPECT_EQ(player.now(), tickAtPause);
    EXPECT_EQ(player.showTime(), 9000u);

    player.apply(PlayerCommand::TogglePause);
    EXPECT_TRUE(player.drawsFrame());
    EXPECT_EQ(player.now(), tickAtPause);
    source.ticks += 20;
    const FramePlan plan = player.planFrame();
    EXPECT_EQ(plan.u, 9020u);
    EXPECT_EQ(player.now(), tickAtPause + 20);
    EXPECT_FALSE(plan.holdPulse);  // the hold's timer lost nothing to the pause: 2020 ms since its start
    EXPECT_EQ(music.calls, (Calls{"pause", "at 9000", "play"}));
}

TEST(Player, SeeksLandAsAFreshStartThereAndClampToTheShow) {
    HandClock source;
    source.ticks = 500;
    MusicRecord music;
    Player player(source, 0, 150000, &music);
    player.planFrame();
    source.ticks += 12000;
    EXPECT_EQ(player.planFrame().u, 12000u);
    EXPECT_FALSE(player.takeRestart());

    const uint32_t tickBefore = player.now();
    player.apply(PlayerCommand::Forward30);
    EXPECT_TRUE(player.takeRestart());
    EXPECT_FALSE(player.takeRestart());  // once per seek
    // The scenes' phase moves with the show's time, so the tick count keeps its distance to it.
    EXPECT_EQ(player.now(), tickBefore + 30000u);
    FramePlan plan = player.planFrame();
    EXPECT_EQ(plan.u, 42000u);
    EXPECT_EQ(plan.sceneIndex, 1);
    // The timeline's timers start at the target, as with --seek 42: the first overlay slides in from -2.
    EXPECT_EQ(plan.overlay.element, 3);
    EXPECT_FLOAT_EQ(plan.slide, -2.0f);
    source.ticks += 5020;
    EXPECT_TRUE(player.planFrame().holdPulse);

    player.apply(PlayerCommand::Back5);
    EXPECT_EQ(player.planFrame().u, 42020u);
    player.apply(PlayerCommand::Back30);
    player.apply(PlayerCommand::Back30);
    EXPECT_EQ(player.showTime(), 0u);  // clamped at the start
    player.apply(PlayerCommand::Forward30);
    player.apply(PlayerCommand::Forward30);
    player.apply(PlayerCommand::Forward30);
    player.apply(PlayerCommand::Forward30);
    player.apply(PlayerCommand::Forward30);
    player.apply(PlayerCommand::Forward30);
    EXPECT_EQ(player.showTime(), 150000u);  // clamped at the end
    player.apply(PlayerCommand::Back5);
    player.apply(PlayerCommand::Forward5);
    EXPECT_EQ(player.showTime(), 150000u);
    EXPECT_EQ(player.planFrame().u, 150000u);
    source.ticks += 20000;
    EXPECT_EQ(player.planFrame().u, 170000u);  // the show goes on past the end ...
    player.apply(PlayerCommand::Forward5);
    EXPECT_EQ(player.showTime(), 170000u);     // ... and a seek forward there does not take it back
    player.apply(PlayerCommand::ToStart);
    plan = player.planFrame();
    EXPECT_EQ(plan.u, 0u);
    EXPECT_EQ(plan.sceneIndex, 0);
    EXPECT_EQ(music.calls, (Calls{"at 42000", "at 42020", "at 12020", "at 0", "at 30000", "at 60000", "at 90000",
                                  "at 120000", "at 150000", "at 150000", "at 145000", "at 150000", "at 170000",
                                  "at 0"}));

    // Paused, a seek draws one frame where it lands and stays paused; the music stays paused too.
    music.calls.clear();
    player.apply(PlayerCommand::TogglePause);
    source.ticks += 3000;
    player.apply(PlayerCommand::Forward5);
    EXPECT_TRUE(player.drawsFrame());
    EXPECT_EQ(player.planFrame().u, 5000u);
    EXPECT_FALSE(player.drawsFrame());
    source.ticks += 3000;
    EXPECT_EQ(player.showTime(), 5000u);
    EXPECT_EQ(music.calls, (Calls{"pause", "at 5000"}));
}

TEST(Player, MusicSwitchesOffAndOnAtTheShowsTime) {
    HandClock source;
    MusicRecord music;
    Player player(source, 0, 150000, &music);
    player.planFrame();
    source.ticks += 1000;
    player.apply(PlayerCommand::ToggleMusic);
    EXPECT_FALSE(player.musicOn());
    source.ticks += 2000;
    EXPECT_EQ(player.planFrame().u, 3000u);  // the show keeps its clock
    player.apply(PlayerCommand::Forward5);    // nothing to move while it is off
    player.apply(PlayerCommand::TogglePause);
    player.apply(PlayerCommand::ToggleMusic);  // on again, but heard only once the show plays
    player.apply(PlayerCommand::TogglePause);
    EXPECT_EQ(music.calls, (Calls{"pause", "at 8000", "play"}));

    // --mute: nothing to switch, nothing asked of a music there is not.
    Player mute(source, 0, 150000, nullptr);
    mute.planFrame();
    mute.apply(PlayerCommand::ToggleMusic);
    mute.apply(PlayerCommand::TogglePause);
    mute.apply(PlayerCommand::Forward5);
    mute.apply(PlayerCommand::TogglePause);
    EXPECT_FALSE(mute.musicOn());
    EXPECT_EQ(mute.planFrame().u, 5000u);
}

TEST(Player, KeysMeanTheSameOnEveryBackend) {
    struct Case {
        PlayerKey key;
        bool shift, alt, repeat;
        bool answered;
        PlayerCommand command;
    };
    const Case cases[] = {
        {PlayerKey::Space, false, false, false, true, PlayerCommand::TogglePause},
        {PlayerKey::P, false, false, false, true, PlayerCommand::TogglePause},
        {PlayerKey::Space, false, false, true, false, {}},  // held down: no flicker
        {PlayerKey::Left, false, false, false, true, PlayerCommand::Back5},
        {PlayerKey::Right, false, false, true, true, PlayerCommand::Forward5},  // held down: seeks on
        {PlayerKey::Left, true, false, false, true, PlayerCommand::Back30},
        {PlayerKey::Right, true, false, false, true, PlayerCommand::Forward30},
        {PlayerKey::PageUp, false, false, false, true, PlayerCommand::Back30},
        {PlayerKey::PageDown, false, false, false, true, PlayerCommand::Forward30},
        {PlayerKey::Home, false, false, false, true, PlayerCommand::ToStart},
        {PlayerKey::M, false, false, false, true, PlayerCommand::ToggleMusic},
        {PlayerKey::F, false, false, false, true, PlayerCommand::ToggleFullScreen},
        {PlayerKey::Enter, false, true, false, true, PlayerCommand::ToggleFullScreen},
        {PlayerKey::Enter, false, false, false, false, {}},
        {PlayerKey::F, false, false, true, false, {}},
    };
    for (const Case& c : cases) {
        PlayerCommand command{};
        const bool answered = playerCommandForKey(c.key, c.shift, c.alt, c.repeat, command);
        EXPECT_EQ(answered, c.answered) << int(c.key);
        if (answered && c.answered) {
            EXPECT_EQ(command, c.command) << int(c.key);
        }
    }
}

}  // namespace
}  // namespace korvana
