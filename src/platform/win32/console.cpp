// The console of the process that started korvana.exe (a GUI program has none of its own).
#include "platform/console.h"

#include <cstdint>
#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace korvana {

namespace {

// A standard handle leads somewhere when the starter gave one (a file, a pipe, a console).
bool leadsSomewhere(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void writeToConsole(FILE* stream, DWORD which) {
    if (std::freopen("CONOUT$", "w", stream) == nullptr) {
        // C runtimes that mark a stream without a handle as closed refuse to reopen it (Wine's
        // msvcrt does): give the stream a new descriptor on the console instead.
        HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        if (console == INVALID_HANDLE_VALUE) return;
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(console), _O_TEXT);
        FILE* opened = fd >= 0 ? _fdopen(fd, "w") : nullptr;
        if (opened == nullptr) {
            if (fd >= 0) _close(fd); else CloseHandle(console);
            return;
        }
        *stream = *opened;
    }
    SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
    std::setvbuf(stream, nullptr, _IONBF, 0);
}

}  // namespace

void useStarterConsole() {
    const bool haveOut = leadsSomewhere(STD_OUTPUT_HANDLE);
    const bool haveErr = leadsSomewhere(STD_ERROR_HANDLE);
    if (haveOut && haveErr) return;
    // Fails on a double-click (the starter has no console): the output then goes nowhere, and the
    // failure messages still come as message boxes. ERROR_ACCESS_DENIED means this process is on
    // a console already (Wine puts a GUI program on its starter's).
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) return;
    if (!haveOut) writeToConsole(stdout, STD_OUTPUT_HANDLE);
    if (!haveErr) writeToConsole(stderr, STD_ERROR_HANDLE);
}

}  // namespace korvana
