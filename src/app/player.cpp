// The player's state and commands. Every time here is an unsigned 32-bit tick difference, as in
// the timeline, so a wrap of the counter changes nothing.
#include "app/player.h"

#include <algorithm>

namespace korvana {

Player::Player(Clock& source, uint32_t startMilliseconds, uint32_t endMilliseconds, PlayerMusic* music)
    : source_(source), music_(music), end_(endMilliseconds), offset_(startMilliseconds), musicOn_(music != nullptr) {
    lastPlan_.u = startMilliseconds;
}

uint32_t Player::now() {
    if (!paused_) sourceTick_ = source_.now();
    const uint32_t running = paused_ ? pausedAt_ : sourceTick_;
    return running - pausedFor_ + shift_;
}

bool Player::takeRestart() {
    const bool restart = restart_;
    restart_ = false;
    return restart;
}

FramePlan Player::planFrame() {
    const uint32_t tick = now();
    // After a seek the timeline starts where the show has got to since (nothing while paused).
    const uint32_t start = seeked_ ? offset_ + (tick - seekTick_) : offset_;
    lastPlan_ = advanceTimeline(timeline_, tick, start);
    owedFrame_ = false;
    report();
    return lastPlan_;
}

uint32_t Player::showTime() {
    if (timeline_.started) return now() - timeline_.loopStart;
    return seeked_ ? offset_ + (now() - seekTick_) : offset_;
}

void Player::report() {
    const uint32_t show = showTime();
    reportShowTime(show, paused_ ? source_.now() : sourceTick_, !paused_);
}

void Player::apply(PlayerCommand command) {
    const uint32_t current = showTime();
    switch (command) {
    case PlayerCommand::TogglePause:
        if (!paused_) {
            now();
            pausedAt_ = sourceTick_;
            paused_ = true;
            report();
            if (musicOn_) music_->setPaused(true);
        } else {
            pausedFor_ += source_.now() - pausedAt_;
            paused_ = false;
            report();
            // Picked up where the picture is, so the two go on in step whatever the pause did to
            // the sound device.
            if (musicOn_) {
                music_->setPosition(current);
                music_->setPaused(false);
            }
        }
        break;
    case PlayerCommand::Back5:
        seekTo(current > SHORT_SEEK ? current - SHORT_SEEK : 0);
        break;
    case PlayerCommand::Back30:
        seekTo(current > LONG_SEEK ? current - LONG_SEEK : 0);
        break;
    case PlayerCommand::Forward5:
    case PlayerCommand::Forward30: {
        const uint64_t wanted = uint64_t(current) + (command == PlayerCommand::Forward5 ? SHORT_SEEK : LONG_SEEK);
        // Past the end the show goes on (the last scene stays); a seek forward never goes back.
        seekTo(uint32_t(std::min<uint64_t>(wanted, std::max(end_, current))));
        break;
    }
    case PlayerCommand::ToStart:
        seekTo(0);
        break;
    case PlayerCommand::ToggleMusic:
        if (music_ == nullptr) break;
        musicOn_ = !musicOn_;
        if (paused_) break;
        if (musicOn_) {
            music_->setPosition(current);
            music_->setPaused(false);
        } else {
            music_->setPaused(true);
        }
        break;
    case PlayerCommand::ToggleFullScreen:
        break;
    }
}

void Player::seekTo(uint32_t target) {
    shift_ += target - showTime();
    // The next pass starts the timeline again at the target, as a run started there does.
    timeline_ = TimelineState{};
    offset_ = target;
    seeked_ = true;
    seekTick_ = now();
    restart_ = true;
    owedFrame_ = true;
    report();
    if (musicOn_) music_->setPosition(target);
}

}  // namespace korvana
