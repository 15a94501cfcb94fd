// Message boxes of the system. An unattended run (KORVANA_NO_DIALOGS set, as the tests under Wine
// do) has nobody to press the button, so it gets only the stderr line.
#include "platform/message_box.h"

#include <cstdio>
#include <cstdlib>

#include <windows.h>

namespace korvana {

void showMessageBox(const char* text, const char* caption, MessageIcon icon) {
    if (caption[0] != '\0')
        std::fprintf(stderr, "%s: %s\n", caption, text);
    else
        std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
    if (std::getenv("KORVANA_NO_DIALOGS") != nullptr) return;
    MessageBoxA(nullptr, text, caption, icon == MessageIcon::Error ? MB_OK | MB_ICONERROR : MB_OK);
}

}  // namespace korvana
