// What the show reacts to. Escape ends it: the query is latched like the asynchronous key state
// it stands in for, true when Escape is down now or was pressed at any time since the last query.
// Closing the window, SIGINT and SIGTERM (Ctrl+C and closing the console on Windows) end the show
// the same way; once asked to quit, the query stays true.
//
// The player's keys (pause, seek, music, full screen) are the same on every backend: a backend
// names the key it saw as a PlayerKey, playerCommandForKey says what it asks for, and the
// commands wait in one queue until the show's loop takes them.
#pragma once

#include <cstdint>

namespace korvana {

// Installs the SIGINT and SIGTERM handlers that request the quit (and tells SDL to leave those
// signals alone). Call before anything slow, so a signal during loading is not lost.
void installQuitSignalHandlers();

// Reads pending window events first, so a press during a long step is not missed.
bool escapePressed();

// Latches an Escape press as if the key had been hit (tests, the screenshot run).
void injectEscape();

// Ends the show like Escape; safe from a signal handler.
void requestQuit();
bool quitRequested();

// Forgets latched presses, quit requests and waiting player commands; for runs that start the
// show again in one process.
void resetInput();

enum class PlayerCommand : uint8_t {
    TogglePause,
    Back5,
    Forward5,
    Back30,
    Forward30,
    ToStart,
    ToggleMusic,
    ToggleFullScreen,
};

// The keys the player answers, whatever the backend calls them.
enum class PlayerKey : uint8_t { Space, P, Left, Right, PageUp, PageDown, Home, M, F, Enter };

// Space and P pause; Left/Right seek 5 s, with Shift 30 s, as Page Up/Down do; Home goes to the
// start; M switches the music; F and Alt+Enter switch full screen. A key held down repeats the
// seeks but never a switch. False for a press the player does not answer (Enter without Alt).
bool playerCommandForKey(PlayerKey key, bool shift, bool alt, bool repeat, PlayerCommand& command);

// The oldest waiting command; false when none waits. Window events are read by escapePressed
// (and by presentFrame), so the loop asks after those.
bool takePlayerCommand(PlayerCommand& command);

// Queues a command as if its key had been pressed (tests).
void injectPlayerCommand(PlayerCommand command);

namespace detail {
// The window layer hands every window event here.
struct EventView {
    bool escapeDown = false;
    bool quit = false;
};
void noteInputEvent(const EventView& event);

// A backend's key press: queued as its command when the player answers it. True when it does.
bool notePlayerKey(PlayerKey key, bool shift, bool alt, bool repeat);
// Empties the queue (resetInput).
void clearPlayerCommands();
}  // namespace detail

}  // namespace korvana
