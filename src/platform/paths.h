// Where this platform keeps the archive reader's debug log: on Linux
// $XDG_CACHE_HOME/korvana/debug_unrar.txt, or ~/.cache/korvana/debug_unrar.txt when XDG_CACHE_HOME
// is unset, empty or relative; on Windows C:\temp\debug_unrar.txt.
#pragma once

#include <string>

namespace korvana {

// Empty when neither XDG_CACHE_HOME nor HOME gives an absolute folder (then there is no log).
std::string debugLogPathForPlatform();

}  // namespace korvana
