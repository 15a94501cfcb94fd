// Start-up failures as the user sees them: a message box with the given text and caption, and the
// same text on stderr always, because a run without a display has no box to show.
#pragma once

namespace korvana {

enum class MessageIcon { None, Error };

void showMessageBox(const char* text, const char* caption, MessageIcon icon);

}  // namespace korvana
