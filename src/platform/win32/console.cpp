// The console of the process that started korvana.exe (a GUI program has none of its own).
#include "platform/console.h"

#include <cstdio>

#include <windows.h>

namespace korvana {

namespace {

// A standard handle leads somewhere when the starter gave one (a file, a pipe, a console).
bool leadsSomewhere(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void useStarterConsole() {
    const bool haveOut = leadsSomewhere(STD_OUTPUT_HANDLE);
    const bool haveErr = leadsSomewhere(STD_ERROR_HANDLE);
    if (haveOut && haveErr) return;
    // Fails on a double-click (the starter has no console): the output then goes nowhere, and the
    // failure messages still come as message boxes.
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!haveOut && std::freopen("CONOUT$", "w", stdout) != nullptr) std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!haveErr && std::freopen("CONOUT$", "w", stderr) != nullptr) std::setvbuf(stderr, nullptr, _IONBF, 0);
}

}  // namespace korvana
