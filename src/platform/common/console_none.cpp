// Programs outside Windows always have the standard streams their starter gave them.
#include "platform/console.h"

#ifndef _WIN32
namespace korvana {

void useStarterConsole() {}

}  // namespace korvana
#endif
