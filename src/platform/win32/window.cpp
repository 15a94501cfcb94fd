// The window, its WGL context and the frame pump, with the calls, records and texts the show has
// always used; drawing goes into the persistent picture (picture.h), presented into the client area.
#include "platform/window.h"

#include <cstddef>

#include <windows.h>

#include "platform/gl.h"
#include "platform/input.h"
#include "platform/message_box.h"
#include "platform/common/picture.h"

namespace korvana {

namespace {

constexpr const char* kClassName = "TavlomirGL";
constexpr DWORD kWindowStyle = WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;  // 0x16000000
constexpr DWORD kFullScreenStyle = WS_POPUP | kWindowStyle;                     // 0x96000000

// The display-mode record as the show has always passed it: the 148 bytes that end before the
// panning fields.
constexpr DWORD kDevModeSize = offsetof(DEVMODEA, dmPanningWidth);
static_assert(kDevModeSize == 148);

const PIXELFORMATDESCRIPTOR kPixelFormat = {
    sizeof(PIXELFORMATDESCRIPTOR), 1,
    PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,  // 0x25
    PFD_TYPE_RGBA, 32,
    0, 0, 0, 0, 0, 0,
    32, 0,
    0, 0, 0, 0, 0,
    32, 0, 0,
    PFD_MAIN_PLANE, 0, 0, 0, 0};
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

// The display mode the show has always switched to. A larger picture (--scale above 1) keeps the
// desktop's mode and covers the screen with its window instead: modes such as 1280 x 960 are often
// not on offer, and the picture is letterboxed into whatever the window has.
constexpr int32_t kShowModeWidth = 640;
constexpr int32_t kShowModeHeight = 480;

// Declared by newer headers only (Windows 8.1 and later).
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

struct WindowState {
    HWND window = nullptr;
    HDC deviceContext = nullptr;
    HGLRC renderingContext = nullptr;
    bool destroying = false;  // our own DestroyWindow, not the user closing the window
    bool fullScreen = false;
    bool modeChanged = false;  // the display mode is the show's, to be restored
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;
};

WindowState state;

HGLRC createGLContext() {
    const int format = ChoosePixelFormat(state.deviceContext, &kPixelFormat);
    if (format == 0) return nullptr;
    if (!SetPixelFormat(state.deviceContext, format, &kPixelFormat)) return nullptr;
    HGLRC context = wglCreateContext(state.deviceContext);
    if (context == nullptr) return nullptr;
    if (!wglMakeCurrent(state.deviceContext, context)) {
        wglDeleteContext(context);
        return nullptr;
    }
    return context;
}

void* contextLookUp(const char* name) { return reinterpret_cast<void*>(wglGetProcAddress(name)); }

// The player's keys from the window's key messages. Escape stays with the asynchronous key state.
bool notePlayerKey(WPARAM key, LPARAM flags) {
    PlayerKey named;
    switch (key) {
    case VK_SPACE: named = PlayerKey::Space; break;
    case 'P': named = PlayerKey::P; break;
    case VK_LEFT: named = PlayerKey::Left; break;
    case VK_RIGHT: named = PlayerKey::Right; break;
    case VK_PRIOR: named = PlayerKey::PageUp; break;
    case VK_NEXT: named = PlayerKey::PageDown; break;
    case VK_HOME: named = PlayerKey::Home; break;
    case 'M': named = PlayerKey::M; break;
    case 'F': named = PlayerKey::F; break;
    case VK_RETURN: named = PlayerKey::Enter; break;
    default: return false;
    }
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const bool alt = (flags & (LPARAM(1) << 29)) != 0;     // the context code: Alt is down
    const bool repeat = (flags & (LPARAM(1) << 30)) != 0;  // the key was already down
    return detail::notePlayerKey(named, shift, alt, repeat);
}

// Covers the monitor the window is on (most of it, when it straddles two).
void coverMonitor(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& r = monitor.rcMonitor;
    SetWindowPos(window, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_FRAMECHANGED | SWP_SHOWWINDOW);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        state.deviceContext = GetDC(window);
        state.renderingContext = createGLContext();
        if (state.renderingContext == nullptr) {
            showMessageBox("Kunne ikke oprette en OpenGL Context.", "Fejl", MessageIcon::Error);
            state.destroying = true;
            DestroyWindow(window);
        }
        return 1;
    case WM_DESTROY:
        // Closed by the user: the show ends as after Escape, and the dead handles are let go of.
        if (!state.destroying) {
            detail::EventView quit;
            quit.quit = true;
            detail::noteInputEvent(quit);
        }
        state.window = nullptr;
        PostQuitMessage(0);
        return 1;
    case WM_SIZE:
        return 1;
    case WM_CLOSE:
        DestroyWindow(window);
        return 1;
    case WM_QUIT:
        PostQuitMessage(0);
        return 1;
    case WM_KEYDOWN:
        notePlayerKey(wParam, lParam);
        return 1;  // Escape is polled through the key state, not handled here
    case WM_SYSKEYDOWN:
        // Alt+Enter; every other system key (Alt+F4, Alt+Tab) goes on to the system.
        if (notePlayerKey(wParam, lParam)) return 0;
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_SYSCHAR:
        if (wParam == VK_RETURN) return 0;  // Alt+Enter is ours: no beep for a missing menu
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_DPICHANGED:
        // The manifest makes the show aware of each monitor's scale: moved to a monitor of
        // another scale, the window keeps its size in pixels (the picture's) at the place the
        // system suggests, and full screen covers the new monitor.
        if (state.fullScreen) {
            coverMonitor(window);
        } else if (const RECT* suggested = reinterpret_cast<const RECT*>(lParam)) {
            SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// One message per call: a burst of input never stalls drawing.
void dispatchOneMessage() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) return;
    GetMessageA(&message, nullptr, 0, 0);
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

}  // namespace

bool createGLWindow(int32_t width, int32_t height, int32_t refresh, int32_t bitsPerPixel, bool fullScreen) {
    if (state.window != nullptr) destroyGLWindow();
    if (width <= 0 || height <= 0) return false;

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) {
        showMessageBox("Kunne ikke registrere vinduesklassen", "Fejl", MessageIcon::Error);
        return false;
    }

    const bool changeMode = fullScreen && width <= kShowModeWidth && height <= kShowModeHeight;
    if (changeMode) {
        DEVMODEA mode{};
        mode.dmSize = kDevModeSize;
        mode.dmPelsWidth = static_cast<DWORD>(width);
        mode.dmPelsHeight = static_cast<DWORD>(height);
        mode.dmBitsPerPel = static_cast<DWORD>(bitsPerPixel);
        mode.dmDisplayFrequency = static_cast<DWORD>(refresh);
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;  // 0x5C0000
        if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return false;
    }

    // The height is one short, as the show has always asked (it only matters in full screen).
    RECT rect{0, 0, width, height - 1};
    AdjustWindowRectEx(&rect, kWindowStyle, FALSE, WS_EX_TOOLWINDOW);
    int windowWidth = fullScreen ? rect.right - rect.left : width;
    int windowHeight = fullScreen ? rect.bottom - rect.top : height;
    if (fullScreen && !changeMode) {
        windowWidth = GetSystemMetrics(SM_CXSCREEN);
        windowHeight = GetSystemMetrics(SM_CYSCREEN);
    }
    state.destroying = false;
    state.fullScreen = fullScreen;
    state.modeChanged = changeMode;
    state.pictureWidth = width;
    state.pictureHeight = height;
    state.window = CreateWindowExA(fullScreen ? WS_EX_TOOLWINDOW : 0, kClassName, fullScreen ? "Korvana" : "Tavlomir",
                                   fullScreen ? kFullScreenStyle : kWindowStyle, 0, 0, windowWidth, windowHeight,
                                   nullptr, nullptr, nullptr, nullptr);
    if (state.window == nullptr) return false;

    // The picture is this layer's own addition: without it the light trails cannot keep what the
    // previous frames drew.
    if (!detail::createPicture(contextLookUp, width, height)) {
        showMessageBox("Kunne ikke oprette en OpenGL Context.", "Fejl", MessageIcon::Error);
        destroyGLWindow();
        return false;
    }
    SetFocus(state.window);
    SetCursor(nullptr);
    return true;
}

void destroyGLWindow() {
    if (state.renderingContext != nullptr && wglGetCurrentContext() == state.renderingContext)
        detail::releasePicture();
    ChangeDisplaySettingsA(nullptr, 0);
    state.destroying = true;
    if (state.window != nullptr) DestroyWindow(state.window);
    UnregisterClassA(kClassName, nullptr);
    // The Part's program leaves the contexts to the process end; a program that opens the window
    // again (tests, screenshots) must not leak one per run.
    if (state.renderingContext != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(state.renderingContext);
    }
    state = WindowState{};
}

void presentFrame() {
    if (state.deviceContext == nullptr || state.window == nullptr) return;
    RECT client{};
    GetClientRect(state.window, &client);
    const detail::PresentState saved = detail::blitPictureToWindow(client.right - client.left, client.bottom - client.top);
    glFinish();
    SwapBuffers(state.deviceContext);
    glFlush();
    detail::finishPresent(saved);
    dispatchOneMessage();
}

void toggleFullScreen() {
    HWND window = state.window;
    if (window == nullptr) return;
    if (state.fullScreen) {
        // Back to the desktop's mode and a window of the picture's size, as --windowed opens it.
        if (state.modeChanged) ChangeDisplaySettingsA(nullptr, 0);
        state.modeChanged = false;
        state.fullScreen = false;
        SetWindowLongA(window, GWL_EXSTYLE, 0);
        SetWindowLongA(window, GWL_STYLE, kWindowStyle | WS_CAPTION);
        SetWindowPos(window, HWND_TOP, 0, 0, state.pictureWidth, state.pictureHeight,
                     SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    } else {
        // The desktop's mode kept: the picture is letterboxed into the whole monitor.
        state.fullScreen = true;
        SetWindowLongA(window, GWL_EXSTYLE, WS_EX_TOOLWINDOW);
        SetWindowLongA(window, GWL_STYLE, kFullScreenStyle);
        coverMonitor(window);
    }
    SetFocus(window);
}

void pumpWindowEvents() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool glWindowOpen() { return state.window != nullptr; }
bool pictureRoom(bool fullScreen, int32_t& width, int32_t& height) {
    RECT room{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!fullScreen && !SystemParametersInfoA(SPI_GETWORKAREA, 0, &room, 0)) return false;
    width = room.right - room.left;
    height = room.bottom - room.top;
    return width > 0 && height > 0;
}

void bindPicture() { detail::bindPictureFramebuffer(); }

bool readPicture(std::vector<uint8_t>& rgba) { return state.window != nullptr && detail::readPictureRgba(rgba); }

}  // namespace korvana
