// Every test runs headless: SDL's offscreen video driver (Mesa's software GL) and the dummy audio
// driver, unless the person running the test chose drivers of their own.
#include <cstdlib>

namespace {
struct HeadlessEnvironment {
    HeadlessEnvironment() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
} const headlessEnvironment;
}  // namespace
