// Start-up failures as the user sees them: a message box with the given text and caption, and the
// same text on stderr always, because a run without a display has no box to show. With the
// environment variable KORVANA_NO_DIALOGS set (to anything), no backend shows a box that waits for
// a click: unattended runs and the test suite get the stderr line alone.
#pragma once

namespace korvana {

enum class MessageIcon { None, Error };

void showMessageBox(const char* text, const char* caption, MessageIcon icon);

}  // namespace korvana
