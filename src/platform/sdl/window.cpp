// The window and context on SDL2, and the persistent offscreen picture.
#include "platform/window.h"

#include <algorithm>

#include <SDL2/SDL.h>

#include "platform/gl.h"
#include "platform/input.h"
#include "platform/message_box.h"

namespace korvana {

namespace {

// Framebuffer-object entry points, fetched once the context exists (core names first, the
// EXT/ARB variants as fallback). Kept private: nothing outside this layer binds framebuffers.
using PFN_GenFramebuffers = void (*)(GLsizei, GLuint*);
using PFN_DeleteFramebuffers = void (*)(GLsizei, const GLuint*);
using PFN_BindFramebuffer = void (*)(GLenum, GLuint);
using PFN_GenRenderbuffers = void (*)(GLsizei, GLuint*);
using PFN_DeleteRenderbuffers = void (*)(GLsizei, const GLuint*);
using PFN_BindRenderbuffer = void (*)(GLenum, GLuint);
using PFN_RenderbufferStorage = void (*)(GLenum, GLenum, GLsizei, GLsizei);
using PFN_FramebufferRenderbuffer = void (*)(GLenum, GLenum, GLenum, GLuint);
using PFN_CheckFramebufferStatus = GLenum (*)(GLenum);
using PFN_BlitFramebuffer = void (*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);

constexpr GLenum kFramebuffer = 0x8D40;
constexpr GLenum kReadFramebuffer = 0x8CA8;
constexpr GLenum kDrawFramebuffer = 0x8CA9;
constexpr GLenum kRenderbuffer = 0x8D41;
constexpr GLenum kColorAttachment0 = 0x8CE0;
constexpr GLenum kDepthAttachment = 0x8D00;
constexpr GLenum kFramebufferComplete = 0x8CD5;
constexpr GLenum kRgba8 = 0x8058;
constexpr GLenum kDepthComponent24 = 0x81A6;

struct FramebufferApi {
    PFN_GenFramebuffers genFramebuffers = nullptr;
    PFN_DeleteFramebuffers deleteFramebuffers = nullptr;
    PFN_BindFramebuffer bindFramebuffer = nullptr;
    PFN_GenRenderbuffers genRenderbuffers = nullptr;
    PFN_DeleteRenderbuffers deleteRenderbuffers = nullptr;
    PFN_BindRenderbuffer bindRenderbuffer = nullptr;
    PFN_RenderbufferStorage renderbufferStorage = nullptr;
    PFN_FramebufferRenderbuffer framebufferRenderbuffer = nullptr;
    PFN_CheckFramebufferStatus checkFramebufferStatus = nullptr;
    PFN_BlitFramebuffer blitFramebuffer = nullptr;
};

struct WindowState {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    FramebufferApi fb;
    GLuint framebuffer = 0;
    GLuint colourBuffer = 0;
    GLuint depthBuffer = 0;
    int32_t width = 0;
    int32_t height = 0;
};

WindowState state;
int32_t detachedWidth = 0;
int32_t detachedHeight = 0;

template <typename T>
T lookUp(const char* core, const char* ext) {
    void* p = SDL_GL_GetProcAddress(core);
    if (p == nullptr) p = SDL_GL_GetProcAddress(ext);
    return reinterpret_cast<T>(p);
}

bool loadFramebufferApi(FramebufferApi& fb) {
    fb.genFramebuffers = lookUp<PFN_GenFramebuffers>("glGenFramebuffers", "glGenFramebuffersEXT");
    fb.deleteFramebuffers = lookUp<PFN_DeleteFramebuffers>("glDeleteFramebuffers", "glDeleteFramebuffersEXT");
    fb.bindFramebuffer = lookUp<PFN_BindFramebuffer>("glBindFramebuffer", "glBindFramebufferEXT");
    fb.genRenderbuffers = lookUp<PFN_GenRenderbuffers>("glGenRenderbuffers", "glGenRenderbuffersEXT");
    fb.deleteRenderbuffers = lookUp<PFN_DeleteRenderbuffers>("glDeleteRenderbuffers", "glDeleteRenderbuffersEXT");
    fb.bindRenderbuffer = lookUp<PFN_BindRenderbuffer>("glBindRenderbuffer", "glBindRenderbufferEXT");
    fb.renderbufferStorage = lookUp<PFN_RenderbufferStorage>("glRenderbufferStorage", "glRenderbufferStorageEXT");
    fb.framebufferRenderbuffer =
        lookUp<PFN_FramebufferRenderbuffer>("glFramebufferRenderbuffer", "glFramebufferRenderbufferEXT");
    fb.checkFramebufferStatus =
        lookUp<PFN_CheckFramebufferStatus>("glCheckFramebufferStatus", "glCheckFramebufferStatusEXT");
    fb.blitFramebuffer = lookUp<PFN_BlitFramebuffer>("glBlitFramebuffer", "glBlitFramebufferEXT");
    return fb.genFramebuffers && fb.deleteFramebuffers && fb.bindFramebuffer && fb.genRenderbuffers &&
           fb.deleteRenderbuffers && fb.bindRenderbuffer && fb.renderbufferStorage && fb.framebufferRenderbuffer &&
           fb.checkFramebufferStatus && fb.blitFramebuffer;
}

bool createPicture(int32_t width, int32_t height) {
    FramebufferApi& fb = state.fb;
    if (!loadFramebufferApi(fb)) return false;
    fb.genRenderbuffers(1, &state.colourBuffer);
    fb.bindRenderbuffer(kRenderbuffer, state.colourBuffer);
    fb.renderbufferStorage(kRenderbuffer, kRgba8, width, height);
    fb.genRenderbuffers(1, &state.depthBuffer);
    fb.bindRenderbuffer(kRenderbuffer, state.depthBuffer);
    fb.renderbufferStorage(kRenderbuffer, kDepthComponent24, width, height);
    fb.bindRenderbuffer(kRenderbuffer, 0);
    fb.genFramebuffers(1, &state.framebuffer);
    fb.bindFramebuffer(kFramebuffer, state.framebuffer);
    fb.framebufferRenderbuffer(kFramebuffer, kColorAttachment0, kRenderbuffer, state.colourBuffer);
    fb.framebufferRenderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer, state.depthBuffer);
    if (fb.checkFramebufferStatus(kFramebuffer) != kFramebufferComplete) return false;
    // A new renderbuffer's contents are undefined; start from black once. After this the picture
    // is only ever changed by the show's own drawing.
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return glGetError() == GL_NO_ERROR;
}

void releasePicture() {
    FramebufferApi& fb = state.fb;
    if (fb.bindFramebuffer != nullptr) fb.bindFramebuffer(kFramebuffer, 0);
    if (state.framebuffer != 0) fb.deleteFramebuffers(1, &state.framebuffer);
    if (state.colourBuffer != 0) fb.deleteRenderbuffers(1, &state.colourBuffer);
    if (state.depthBuffer != 0) fb.deleteRenderbuffers(1, &state.depthBuffer);
    state.framebuffer = state.colourBuffer = state.depthBuffer = 0;
}

void closeWindow() {
    if (state.context != nullptr) {
        if (state.framebuffer != 0 || state.colourBuffer != 0 || state.depthBuffer != 0) releasePicture();
        SDL_GL_MakeCurrent(state.window, nullptr);
        SDL_GL_DeleteContext(state.context);
    }
    if (state.window != nullptr) SDL_DestroyWindow(state.window);
    SDL_ShowCursor(SDL_ENABLE);
    state = WindowState{};
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
        // Keys are otherwise swallowed: Escape is the only one the show listens to.
        if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE) view.escapeDown = true;
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

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
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
        contextOk = createPicture(width, height);
    }
    if (!contextOk) {
        showMessageBox("Kunne ikke oprette en OpenGL Context.", "Fejl", MessageIcon::Error);
        closeWindow();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    state.width = width;
    state.height = height;
    SDL_RaiseWindow(state.window);
    SDL_ShowCursor(SDL_DISABLE);
    return true;
}

void destroyGLWindow() {
    if (state.window == nullptr) return;
    closeWindow();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool glWindowOpen() { return state.window != nullptr; }
int32_t pictureWidth() { return state.window != nullptr ? state.width : detachedWidth; }
int32_t pictureHeight() { return state.window != nullptr ? state.height : detachedHeight; }

void setDetachedPictureSize(int32_t width, int32_t height) {
    detachedWidth = width;
    detachedHeight = height;
}

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

void bindPicture() {
    if (state.framebuffer != 0) state.fb.bindFramebuffer(kFramebuffer, state.framebuffer);
}

void pumpWindowEvents() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
    // Everything pending is handled now: nothing but Escape and the close request means anything
    // to the show, and leaving events queued would only delay those two.
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) handleEvent(event);
}

void presentFrame() {
    if (state.window == nullptr || state.context == nullptr) return;
    const FramebufferApi& fb = state.fb;

    // The scenes may leave scissoring or colour masks behind; neither must touch the blit.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    GLboolean colourMask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, colourMask);
    GLfloat clearColour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    // Asked every frame: a window manager may resize the window at any time, and SDL follows its
    // size-change events.
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(state.window, &dw, &dh);
    const PresentRect r = letterboxRect(dw, dh, state.width, state.height);
    fb.bindFramebuffer(kReadFramebuffer, state.framebuffer);
    fb.bindFramebuffer(kDrawFramebuffer, 0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const bool sameSize = r.width == state.width && r.height == state.height;
    fb.blitFramebuffer(0, 0, state.width, state.height, r.x, r.y, r.x + r.width, r.y + r.height,
                       GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
    SDL_GL_SwapWindow(state.window);

    fb.bindFramebuffer(kFramebuffer, state.framebuffer);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    glColorMask(colourMask[0], colourMask[1], colourMask[2], colourMask[3]);
    if (scissor) glEnable(GL_SCISSOR_TEST);

    pumpWindowEvents();
}

bool readPicture(std::vector<uint8_t>& rgba) {
    if (state.window == nullptr || state.framebuffer == 0) return false;
    const size_t rowBytes = static_cast<size_t>(state.width) * 4u;
    rgba.resize(rowBytes * static_cast<size_t>(state.height));
    GLint packAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    state.fb.bindFramebuffer(kReadFramebuffer, state.framebuffer);
    glReadPixels(0, 0, state.width, state.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
    // GL reads bottom row first; turned over in place, so a capture needs no second picture.
    uint8_t* top = rgba.data();
    uint8_t* bottom = rgba.data() + rgba.size() - rowBytes;
    for (; top < bottom; top += rowBytes, bottom -= rowBytes) std::swap_ranges(top, top + rowBytes, bottom);
    return true;
}

}  // namespace korvana
