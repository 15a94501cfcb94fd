// A page has no taskbar to hide (see taskbar.h).
#include "platform/taskbar.h"

namespace korvana {

void hideTaskbar() {}
void showTaskbar() {}

}  // namespace korvana
