// The debug log's place on Windows: written only when C:\temp exists (the log never creates it).
#include "platform/paths.h"

namespace korvana {

std::string debugLogPathForPlatform() { return "C:\\temp\\debug_unrar.txt"; }

}  // namespace korvana
