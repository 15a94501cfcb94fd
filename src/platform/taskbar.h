// The desktop taskbar around the show: Windows' "Shell_TrayWnd" is hidden and shown again. SDL
// offers no taskbar to hide, and a desktop full-screen window already covers the panels, so on
// Linux both calls do nothing; they keep their places in the start-up and tear-down order.
#pragma once

namespace korvana {

void hideTaskbar();
void showTaskbar();

}  // namespace korvana
