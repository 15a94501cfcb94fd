// The debug log location. The folder is not created here: the log is written only when its
// folder already exists, so a user opts in by making ~/.cache/korvana.
#include "platform/paths.h"

#include <cstdlib>

namespace korvana {

std::string debugLogPathForPlatform() {
    // Relative values are to be ignored: they would make the log follow the working directory.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/korvana/debug_unrar.txt";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache/korvana/debug_unrar.txt";
    return std::string();
}

}  // namespace korvana
