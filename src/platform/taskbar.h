// The desktop taskbar around the show. SDL offers no taskbar to hide, and a desktop full-screen
// window already covers the panels, so both calls do nothing here; they keep their places in the
// start-up and tear-down order for platforms that have something to hide.
#pragma once

namespace korvana {

void hideTaskbar();
void showTaskbar();

}  // namespace korvana
