// Escape from the asynchronous key state, and the quit requests of the console and the window.
#include "platform/input.h"

#include <windows.h>

namespace korvana {

namespace {

volatile LONG quitFlag = 0;
bool escapeLatched = false;

// Ctrl+C, Ctrl+Break and closing the console end the show like Escape, on the console's thread.
BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    InterlockedExchange(&quitFlag, 1);
    return TRUE;
}

}  // namespace

void installQuitSignalHandlers() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }

void detail::noteInputEvent(const EventView& event) {
    if (event.escapeDown) escapeLatched = true;
    if (event.quit) InterlockedExchange(&quitFlag, 1);
}

bool escapePressed() {
    // The high bit: down now; the low bit: pressed since the last query.
    const bool downNow = (GetAsyncKeyState(VK_ESCAPE) & 0x8001) != 0;
    const bool pressed = downNow || escapeLatched || quitRequested();
    escapeLatched = false;
    return pressed;
}

void injectEscape() { escapeLatched = true; }

void requestQuit() { InterlockedExchange(&quitFlag, 1); }

bool quitRequested() { return InterlockedCompareExchange(&quitFlag, 0, 0) != 0; }

void resetInput() {
    escapeLatched = false;
    InterlockedExchange(&quitFlag, 0);
    detail::clearPlayerCommands();
}

}  // namespace korvana
