// Message boxes through SDL. The box is modal and waits for its button; under the headless video
// drivers, and in unattended runs (KORVANA_NO_DIALOGS set, as the test suite always does), nobody
// is there to press it, so those runs only get the stderr line.
#include "platform/message_box.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <SDL2/SDL.h>

namespace korvana {

namespace {

bool headlessDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) driver = SDL_getenv("SDL_VIDEODRIVER");
    if (driver == nullptr) return false;
    return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
           std::strcmp(driver, "evdev") == 0;
}

}  // namespace

void showMessageBox(const char* text, const char* caption, MessageIcon icon) {
    if (caption[0] != '\0')
        std::fprintf(stderr, "%s: %s\n", caption, text);
    else
        std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
    if (headlessDriver() || std::getenv("KORVANA_NO_DIALOGS") != nullptr) return;
    const Uint32 flags = icon == MessageIcon::Error ? SDL_MESSAGEBOX_ERROR : 0;
    // Without a display the box cannot be shown; the stderr line above is then all there is.
    SDL_ShowSimpleMessageBox(flags, caption, text, nullptr);
}

}  // namespace korvana
