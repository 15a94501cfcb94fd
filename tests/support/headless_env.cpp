// Every test runs headless: SDL's offscreen video driver (Mesa's software GL) and the dummy audio
// driver, unless the person running the test chose drivers of their own. Whatever the drivers, no
// message box may wait for a click: a test that opens a window on a real X server and fails would
// otherwise hang on a box nobody sees, and so would every program the test starts. The programs a test
// starts get a cache folder that does not exist, so none of them writes the person's own debug log
// (test processes run side by side and would write it at once); a test that wants the log sets a
// folder of its own.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
struct HeadlessEnvironment {
    HeadlessEnvironment() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("KORVANA_NO_DIALOGS", "1", 1);
        const std::filesystem::path noCache = std::filesystem::temp_directory_path() /
                                              ("korvana-test-no-cache-" + std::to_string(getpid()));
        setenv("XDG_CACHE_HOME", noCache.c_str(), 1);
    }
} const headlessEnvironment;
}  // namespace
