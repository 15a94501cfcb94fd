// The desktop taskbar, hidden for the show and shown again at its end.
#include "platform/taskbar.h"

#include <windows.h>

namespace korvana {

namespace {
HWND taskbar = nullptr;  // remembered, so the same window is shown again
}  // namespace

void hideTaskbar() {
    taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    if (taskbar != nullptr) ShowWindow(taskbar, SW_HIDE);
}

void showTaskbar() {
    if (taskbar != nullptr) ShowWindow(taskbar, SW_SHOW);
}

}  // namespace korvana
