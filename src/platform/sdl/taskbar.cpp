// Nothing to hide on this platform (see taskbar.h).
#include "platform/taskbar.h"

namespace korvana {

void hideTaskbar() {}
void showTaskbar() {}

}  // namespace korvana
