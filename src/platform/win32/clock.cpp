// The tick counter and sleep of the system.
#include "platform/clock.h"

#include <windows.h>

namespace korvana {

uint32_t tickCount() { return GetTickCount(); }

// Nothing outside the program follows the show's time here.
void reportShowTime(uint32_t, uint32_t, bool) {}

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace korvana
