// The debug log lives in the page's own file system; the page creates its folder, so the log is
// written, and passes every new line on to the browser's console (page.js).
#include "platform/paths.h"

namespace korvana {

std::string debugLogPathForPlatform() { return "/log/debug_unrar.txt"; }

}  // namespace korvana
