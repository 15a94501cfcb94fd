// The one input the show reacts to: Escape. The query is latched like the asynchronous key state
// it stands in for: true when Escape is down now or was pressed at any time since the last query.
// Closing the window, SIGINT and SIGTERM (Ctrl+C and closing the console on Windows) end the show
// the same way; once asked to quit, the query stays true.
#pragma once

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

// Forgets latched presses and quit requests; for runs that start the show again in one process.
void resetInput();

namespace detail {
// The window layer hands every window event here.
struct EventView {
    bool escapeDown = false;
    bool quit = false;
};
void noteInputEvent(const EventView& event);
}  // namespace detail

}  // namespace korvana
