// The page's canvas, its WebGL 2 context and the frame pump. Drawing goes into the persistent
// picture (common/picture.h) as on the other systems and is letterboxed into the canvas; full
// screen is the page's to ask for (the Fullscreen API needs the viewer's click, page.js).
#include "platform/window.h"

#include <cstring>

#include <emscripten.h>
#include <emscripten/html5.h>

#include "platform/common/picture.h"
#include "platform/gl.h"
#include "platform/message_box.h"
#include "platform/web/gl11.h"
#include "platform/web/webgl_calls.h"
#include "platform/web/yield.h"

namespace korvana {

namespace {

struct WindowState {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    bool open = false;
    bool firstFramePresented = false;
};

WindowState state;

EM_JS(void, korvana_canvas_size, (int32_t* width, int32_t* height), {
    const size = Module.korvana.canvasSize();
    HEAP32[width >> 2] = size[0];
    HEAP32[height >> 2] = size[1];
});
EM_JS(void, korvana_window_opened, (int32_t width, int32_t height, int fullScreen),
      { Module.korvana.windowOpened(width, height, fullScreen != 0); });
EM_JS(void, korvana_window_closed, (), { Module.korvana.windowClosed(); });
EM_JS(int, korvana_room, (int fullScreen, int32_t* width, int32_t* height), {
    const room = Module.korvana.room(fullScreen != 0);
    HEAP32[width >> 2] = room[0];
    HEAP32[height >> 2] = room[1];
    return room[0] > 0 && room[1] > 0 ? 1 : 0;
});
// The first frame stays on the page under the play button until the viewer clicks; the clock
// stands still meanwhile, so the show and its music start together at the click.
EM_ASYNC_JS(void, korvana_first_frame_shown, (), { await Module.korvana.firstFrameShown(); });

// The framebuffer calls of WebGL 2 for the shared picture code, which looks them up by name.
void* webglLookUp(const char* name) {
    struct Entry {
        const char* name;
        void* address;
    };
    static const Entry entries[] = {
        {"glGenFramebuffers", reinterpret_cast<void*>(&emscripten_glGenFramebuffers)},
        {"glDeleteFramebuffers", reinterpret_cast<void*>(&emscripten_glDeleteFramebuffers)},
        {"glBindFramebuffer", reinterpret_cast<void*>(&emscripten_glBindFramebuffer)},
        {"glGenRenderbuffers", reinterpret_cast<void*>(&emscripten_glGenRenderbuffers)},
        {"glDeleteRenderbuffers", reinterpret_cast<void*>(&emscripten_glDeleteRenderbuffers)},
        {"glBindRenderbuffer", reinterpret_cast<void*>(&emscripten_glBindRenderbuffer)},
        {"glRenderbufferStorage", reinterpret_cast<void*>(&emscripten_glRenderbufferStorage)},
        {"glFramebufferRenderbuffer", reinterpret_cast<void*>(&emscripten_glFramebufferRenderbuffer)},
        {"glCheckFramebufferStatus", reinterpret_cast<void*>(&emscripten_glCheckFramebufferStatus)},
        {"glBlitFramebuffer", reinterpret_cast<void*>(&emscripten_glBlitFramebuffer)},
    };
    for (const Entry& e : entries)
        if (std::strcmp(e.name, name) == 0) return e.address;
    return nullptr;
}

}  // namespace

bool createGLWindow(int32_t width, int32_t height, int32_t refresh, int32_t bitsPerPixel, bool fullScreen) {
    if (state.open) destroyGLWindow();
    if (width <= 0 || height <= 0) return false;

    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    state.context = emscripten_webgl_create_context("#canvas", &attributes);
    if (state.context <= 0 || emscripten_webgl_make_context_current(state.context) != EMSCRIPTEN_RESULT_SUCCESS ||
        !gl11::initialise() || !detail::createPicture(webglLookUp, width, height)) {
        showMessageBox("Kunne ikke oprette en OpenGL Context.", "Fejl", MessageIcon::Error);
        destroyGLWindow();
        return false;
    }
    state.open = true;
    state.firstFramePresented = false;
    korvana_window_opened(width, height, fullScreen ? 1 : 0);
    return true;
}

void destroyGLWindow() {
    if (state.context > 0) {
        detail::releasePicture();
        emscripten_webgl_destroy_context(state.context);
    }
    if (state.open) korvana_window_closed();
    state = WindowState{};
}

void presentFrame() {
    if (!state.open) return;
    int32_t width = 0, height = 0;
    korvana_canvas_size(&width, &height);
    const detail::PresentState saved = detail::blitPictureToWindow(width, height);
    detail::finishPresent(saved);
    if (!state.firstFramePresented) {
        state.firstFramePresented = true;
        korvana_first_frame_shown();
    }
    // A run on the virtual clock never sleeps; it still lets the page breathe a few times a second.
    if (emscripten_get_now() - web::lastYield() > 250.0) web::yieldToBrowser(0);
}

void pumpWindowEvents() {}

// The page switches full screen itself, within the key press (page.js).
void toggleFullScreen() {}

bool glWindowOpen() { return state.open; }

bool pictureRoom(bool fullScreen, int32_t& width, int32_t& height) {
    return korvana_room(fullScreen ? 1 : 0, &width, &height) != 0;
}

void bindPicture() { detail::bindPictureFramebuffer(); }

bool readPicture(std::vector<uint8_t>& rgba) { return state.open && detail::readPictureRgba(rgba); }

}  // namespace korvana
