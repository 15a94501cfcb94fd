// The player's key table and its command queue, shared by every backend.
#include <cstddef>
#include <deque>

#include "platform/input.h"

namespace korvana {

namespace {
// A key held down repeats some 30 times a second; the loop takes commands every frame, so the
// queue only ever holds a few. The bound keeps a stalled loop from collecting them without end.
constexpr std::size_t kMostWaiting = 64;
std::deque<PlayerCommand> waiting;
}  // namespace

bool playerCommandForKey(PlayerKey key, bool shift, bool alt, bool repeat, PlayerCommand& command) {
    switch (key) {
    case PlayerKey::Left:
        command = shift ? PlayerCommand::Back30 : PlayerCommand::Back5;
        return true;
    case PlayerKey::Right:
        command = shift ? PlayerCommand::Forward30 : PlayerCommand::Forward5;
        return true;
    case PlayerKey::PageUp:
        command = PlayerCommand::Back30;
        return true;
    case PlayerKey::PageDown:
        command = PlayerCommand::Forward30;
        return true;
    default:
        break;
    }
    // A switch flipped on every repeat of a held key would flicker.
    if (repeat) return false;
    switch (key) {
    case PlayerKey::Space:
    case PlayerKey::P:
        command = PlayerCommand::TogglePause;
        return true;
    case PlayerKey::Home:
        command = PlayerCommand::ToStart;
        return true;
    case PlayerKey::M:
        command = PlayerCommand::ToggleMusic;
        return true;
    case PlayerKey::F:
        command = PlayerCommand::ToggleFullScreen;
        return true;
    case PlayerKey::Enter:
        command = PlayerCommand::ToggleFullScreen;
        return alt;
    default:
        return false;
    }
}

bool takePlayerCommand(PlayerCommand& command) {
    if (waiting.empty()) return false;
    command = waiting.front();
    waiting.pop_front();
    return true;
}

void injectPlayerCommand(PlayerCommand command) {
    if (waiting.size() < kMostWaiting) waiting.push_back(command);
}

bool detail::notePlayerKey(PlayerKey key, bool shift, bool alt, bool repeat) {
    PlayerCommand command;
    if (!playerCommandForKey(key, shift, alt, repeat, command)) return false;
    injectPlayerCommand(command);
    return true;
}

void detail::clearPlayerCommands() { waiting.clear(); }

}  // namespace korvana
