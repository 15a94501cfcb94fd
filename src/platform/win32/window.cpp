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

struct WindowState {
    HWND window = nullptr;
    HDC deviceContext = nullptr;
    HGLRC renderingContext = nullptr;
    bool destroying = false;  // our own DestroyWindow, not the user closing the window
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
        return 1;  // Escape is polled through the key state, not handled here
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
