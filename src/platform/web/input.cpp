// Escape, the player's keys and leaving the page, from the page's key and page-hide events
// (page.js), which arrive while the show's loop yields to the browser.
#include "platform/input.h"

#include <emscripten.h>

namespace korvana {

namespace {
bool quitFlag = false;
bool escapeLatched = false;
}  // namespace


// Bit 0: Escape was pressed since the last call; bit 1: the viewer left the page.
EM_JS(int, korvana_take_input, (), { return Module.korvana.takeInput(); });
// The next player key press: its PlayerKey number, 256 Shift, 512 Alt, 1024 a repeat; -1 for none.
EM_JS(int, korvana_take_key, (), { return Module.korvana.takeKey(); });

static void pumpInput() {
    const int bits = korvana_take_input();
    detail::EventView event;
    event.escapeDown = (bits & 1) != 0;
    event.quit = (bits & 2) != 0;
    detail::noteInputEvent(event);
    for (int key = korvana_take_key(); key >= 0; key = korvana_take_key()) {
        const int named = key & 255;
        if (named > static_cast<int>(PlayerKey::Enter)) continue;
        detail::notePlayerKey(static_cast<PlayerKey>(named), (key & 256) != 0, (key & 512) != 0, (key & 1024) != 0);
    }
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
    detail::clearPlayerCommands();
}

}  // namespace korvana
