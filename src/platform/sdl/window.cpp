// The window and context on SDL2, and the persistent offscreen picture.
#include "platform/window.h"

#include <SDL2/SDL.h>

#include "platform/common/picture.h"
#include "platform/gl.h"
#include "platform/input.h"
#include "platform/message_box.h"

namespace korvana {

namespace {

struct WindowState {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool hidden = false;  // made hidden and never presented (captures)
};

WindowState state;

void* contextLookUp(const char* name) { return SDL_GL_GetProcAddress(name); }

void closeWindow() {
    if (state.context != nullptr) {
        detail::releasePicture();
        SDL_GL_MakeCurrent(state.window, nullptr);
        SDL_GL_DeleteContext(state.context);
    }
    if (state.window != nullptr) SDL_DestroyWindow(state.window);
    SDL_ShowCursor(SDL_ENABLE);
    const bool hidden = state.hidden;
    state = WindowState{};
    state.hidden = hidden;
}

// Letters by the key's meaning in the user's layout (the M key of an AZERTY keyboard is M),
// the others by their place.
void notePlayerKey(const SDL_KeyboardEvent& key) {
    PlayerKey named;
    switch (key.keysym.sym) {
    case SDLK_SPACE: named = PlayerKey::Space; break;
    case SDLK_p: named = PlayerKey::P; break;
    case SDLK_LEFT: named = PlayerKey::Left; break;
    case SDLK_RIGHT: named = PlayerKey::Right; break;
    case SDLK_PAGEUP: named = PlayerKey::PageUp; break;
    case SDLK_PAGEDOWN: named = PlayerKey::PageDown; break;
    case SDLK_HOME: named = PlayerKey::Home; break;
    case SDLK_m: named = PlayerKey::M; break;
    case SDLK_f: named = PlayerKey::F; break;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: named = PlayerKey::Enter; break;
    default: return;
    }
    const Uint16 mod = key.keysym.mod;
    detail::notePlayerKey(named, (mod & KMOD_SHIFT) != 0, (mod & KMOD_ALT) != 0, key.repeat != 0);
}

void handleEvent(const SDL_Event& event) {
    detail::EventView view;
    switch (event.type) {
    case SDL_QUIT:
        view.quit = true;
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) view.quit = true;
        break;
    case SDL_KEYDOWN:
        if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE)
            view.escapeDown = true;
        else
            notePlayerKey(event.key);
        break;
    default:
        break;
    }
    if (view.escapeDown || view.quit) detail::noteInputEvent(view);
}

}  // namespace

bool createGLWindow(int32_t width, int32_t height, int32_t refresh, int32_t bitsPerPixel, bool fullScreen) {
    (void)refresh;
    (void)bitsPerPixel;
    if (state.window != nullptr) destroyGLWindow();
    if (width <= 0 || height <= 0) return false;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        showMessageBox("Kunne ikke registrere vinduesklassen", "Fejl", MessageIcon::Error);
        return false;
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);

    Uint32 flags = SDL_WINDOW_OPENGL | (state.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    int windowWidth = width, windowHeight = height;
    if (fullScreen) {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        x = y = 0;
        // Made as large as the screen from the start: under X11 without a window manager nobody
        // acts on the full-screen request, so the window keeps the size it was made with while
        // SDL reports the desktop's, and the letterboxed picture would be cut to that piece.
        SDL_Rect screen;
        if (SDL_GetDisplayBounds(0, &screen) == 0 && screen.w > 0 && screen.h > 0) {
            windowWidth = screen.w;
            windowHeight = screen.h;
        }
    }
    state.window = SDL_CreateWindow("Korvana", x, y, windowWidth, windowHeight, flags);
    if (state.window == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    state.context = SDL_GL_CreateContext(state.window);
    bool contextOk = state.context != nullptr && SDL_GL_MakeCurrent(state.window, state.context) == 0;
    if (contextOk) {
        SDL_GL_SetSwapInterval(0);
        contextOk = detail::createPicture(contextLookUp, width, height);
    }
    if (!contextOk) {
        showMessageBox("Kunne ikke oprette en OpenGL Context.", "Fejl", MessageIcon::Error);
        closeWindow();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    if (!state.hidden) SDL_RaiseWindow(state.window);
    SDL_ShowCursor(SDL_DISABLE);
    return true;
}

void destroyGLWindow() {
    if (state.window == nullptr) return;
    closeWindow();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool glWindowOpen() { return state.window != nullptr; }
bool pictureRoom(bool fullScreen, int32_t& width, int32_t& height) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_Rect room;
    const int result = fullScreen ? SDL_GetDisplayBounds(0, &room) : SDL_GetDisplayUsableBounds(0, &room);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (result != 0 || room.w <= 0 || room.h <= 0) return false;
    width = room.w;
    height = room.h;
    return true;
}

void bindPicture() { detail::bindPictureFramebuffer(); }

void pumpWindowEvents() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
    // Everything pending is handled now: leaving events queued would only delay Escape, the
    // close request and the player's keys.
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) handleEvent(event);
}

void setWindowHidden(bool hidden) { state.hidden = hidden; }

void toggleFullScreen() {
    if (state.window == nullptr || state.hidden) return;
    const bool on = (SDL_GetWindowFlags(state.window) & SDL_WINDOW_FULLSCREEN) == 0;
    if (on) {
        // Sized to the screen first, as at start-up: without a window manager nobody acts on the
        // full-screen request.
        SDL_Rect screen;
        const int display = SDL_GetWindowDisplayIndex(state.window);
        if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &screen) == 0 && screen.w > 0 && screen.h > 0) {
            SDL_SetWindowPosition(state.window, screen.x, screen.y);
            SDL_SetWindowSize(state.window, screen.w, screen.h);
        }
        SDL_SetWindowFullscreen(state.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_SetWindowFullscreen(state.window, 0);
        SDL_SetWindowSize(state.window, detail::currentPictureWidth(), detail::currentPictureHeight());
        SDL_SetWindowPosition(state.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    SDL_RaiseWindow(state.window);
}

void presentFrame() {
    if (state.window == nullptr || state.context == nullptr) return;
    if (state.hidden) {
        pumpWindowEvents();
        return;
    }
    // Asked every frame: a window manager may resize the window at any time, and SDL follows its
    // size-change events.
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(state.window, &dw, &dh);
    const detail::PresentState saved = detail::blitPictureToWindow(dw, dh);
    SDL_GL_SwapWindow(state.window);
    detail::finishPresent(saved);
    pumpWindowEvents();
}

bool readPicture(std::vector<uint8_t>& rgba) { return state.window != nullptr && detail::readPictureRgba(rgba); }

}  // namespace korvana
