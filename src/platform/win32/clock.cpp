// The tick counter and sleep of the system.
#include "platform/clock.h"

#include <windows.h>

namespace korvana {

uint32_t tickCount() { return GetTickCount(); }

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace korvana
