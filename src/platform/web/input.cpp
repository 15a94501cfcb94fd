// Escape and leaving the page, from the page's key and page-hide events (page.js), which arrive
// while the show's loop yields to the browser.
#include "platform/input.h"

#include <emscripten.h>

namespace korvana {

namespace {
bool quitFlag = false;
bool escapeLatched = false;
}  // namespace


// Bit 0: Escape was pressed since the last call; bit 1: the viewer left the page.
EM_JS(int, korvana_take_input, (), { return Module.korvana.takeInput(); });

static void pumpInput() {
    const int bits = korvana_take_input();
    detail::EventView event;
    event.escapeDown = (bits & 1) != 0;
    event.quit = (bits & 2) != 0;
    detail::noteInputEvent(event);
}

void installQuitSignalHandlers() {
    EM_ASM({ Module.korvana.listenForInput(); });
}

void detail::noteInputEvent(const EventView& event) {
    if (event.escapeDown) escapeLatched = true;
    if (event.quit) quitFlag = true;
}

bool escapePressed() {
    pumpInput();
    const bool pressed = escapeLatched || quitFlag;
    escapeLatched = false;
    return pressed;
}

void injectEscape() { escapeLatched = true; }
void requestQuit() { quitFlag = true; }
bool quitRequested() { return quitFlag; }

void resetInput() {
    escapeLatched = false;
    quitFlag = false;
}

}  // namespace korvana
