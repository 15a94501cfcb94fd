// The Escape latch and the quit requests of signals and the window (the player's keys come
// through window.cpp's event handling).
#include "platform/input.h"

#include <csignal>

#include <SDL2/SDL.h>

#include "platform/window.h"

namespace korvana {

namespace {

volatile std::sig_atomic_t quitFlag = 0;
bool escapeLatched = false;

extern "C" void onQuitSignal(int) { quitFlag = 1; }

}  // namespace

void installQuitSignalHandlers() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void detail::noteInputEvent(const EventView& event) {
    if (event.escapeDown) escapeLatched = true;
    if (event.quit) quitFlag = 1;
}

bool escapePressed() {
    bool downNow = false;
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        pumpWindowEvents();
        const Uint8* keys = SDL_GetKeyboardState(nullptr);
        downNow = keys != nullptr && keys[SDL_SCANCODE_ESCAPE] != 0;
    }
    const bool pressed = downNow || escapeLatched || quitFlag != 0;
    escapeLatched = false;
    return pressed;
}

void injectEscape() { escapeLatched = true; }

void requestQuit() { quitFlag = 1; }

bool quitRequested() { return quitFlag != 0; }

void resetInput() {
    escapeLatched = false;
    quitFlag = 0;
    detail::clearPlayerCommands();
}

}  // namespace korvana
