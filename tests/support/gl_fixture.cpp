// The headless GL fixture: one hidden SDL window for the whole test program, a new context and
// picture framebuffer for every test so no GL state leaks from one test into the next.
#include "support/gl_fixture.h"

#include <SDL.h>

#include <string>

#include "platform/window.h"

// The software GL driver keeps allocations of its own until the process ends (screen and thread
// pool state that no GL or SDL call gives back). Leak checking of sanitized test runs passes over
// those and still reports everything allocated by our code.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:swrast_dri.so\n"
           "leak:libgallium\n"
           "leak:libLLVM\n"
           "leak:libEGL_mesa.so\n"
           "leak:libGLX_mesa.so\n"
           "leak:libdbus-1.so\n";  // SDL's X11 driver (the Xvfb window test) starts D-Bus and keeps it
}

namespace korvana::test {

namespace {

using GenFramebuffers = void (*)(GLsizei, GLuint*);
using BindFramebuffer = void (*)(GLenum, GLuint);
using FramebufferRenderbuffer = void (*)(GLenum, GLenum, GLenum, GLuint);
using GenRenderbuffers = void (*)(GLsizei, GLuint*);
using BindRenderbuffer = void (*)(GLenum, GLuint);
using RenderbufferStorage = void (*)(GLenum, GLenum, GLsizei, GLsizei);
using CheckFramebufferStatus = GLenum (*)(GLenum);

constexpr GLenum FRAMEBUFFER = 0x8D40;
constexpr GLenum RENDERBUFFER = 0x8D41;
constexpr GLenum COLOR_ATTACHMENT0 = 0x8CE0;
constexpr GLenum DEPTH_ATTACHMENT = 0x8D00;
constexpr GLenum FRAMEBUFFER_COMPLETE = 0x8CD5;
constexpr GLenum RGBA8 = 0x8058;
constexpr GLenum DEPTH_COMPONENT24 = 0x81A6;

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
std::string unavailable;

bool openWindow() {
    if (window != nullptr) return true;
    if (!unavailable.empty()) return false;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        unavailable = std::string("SDL video: ") + SDL_GetError();
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    window = SDL_CreateWindow("korvana test", 0, 0, PICTURE_WIDTH, PICTURE_HEIGHT,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window == nullptr) {
        unavailable = std::string("SDL window: ") + SDL_GetError();
        return false;
    }
    return true;
}

template <typename F>
F proc(const char* name) {
    return reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
}

}  // namespace

void* GLFixture::procAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

void GLFixture::SetUp() {
    if (!openWindow()) GTEST_SKIP() << "no headless GL: " << unavailable;
    context = SDL_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << SDL_GetError();
    ASSERT_EQ(SDL_GL_MakeCurrent(window, context), 0) << SDL_GetError();
    haveContext = true;

    auto genFramebuffers = proc<GenFramebuffers>("glGenFramebuffers");
    auto bindFramebuffer = proc<BindFramebuffer>("glBindFramebuffer");
    auto framebufferRenderbuffer = proc<FramebufferRenderbuffer>("glFramebufferRenderbuffer");
    auto genRenderbuffers = proc<GenRenderbuffers>("glGenRenderbuffers");
    auto bindRenderbuffer = proc<BindRenderbuffer>("glBindRenderbuffer");
    auto renderbufferStorage = proc<RenderbufferStorage>("glRenderbufferStorage");
    auto checkStatus = proc<CheckFramebufferStatus>("glCheckFramebufferStatus");
    ASSERT_TRUE(genFramebuffers && bindFramebuffer && framebufferRenderbuffer && genRenderbuffers &&
                bindRenderbuffer && renderbufferStorage && checkStatus);

    GLuint framebuffer = 0;
    GLuint buffers[2] = {0, 0};
    genFramebuffers(1, &framebuffer);
    bindFramebuffer(FRAMEBUFFER, framebuffer);
    genRenderbuffers(2, buffers);
    bindRenderbuffer(RENDERBUFFER, buffers[0]);
    renderbufferStorage(RENDERBUFFER, RGBA8, PICTURE_WIDTH, PICTURE_HEIGHT);
    framebufferRenderbuffer(FRAMEBUFFER, COLOR_ATTACHMENT0, RENDERBUFFER, buffers[0]);
    bindRenderbuffer(RENDERBUFFER, buffers[1]);
    renderbufferStorage(RENDERBUFFER, DEPTH_COMPONENT24, PICTURE_WIDTH, PICTURE_HEIGHT);
    framebufferRenderbuffer(FRAMEBUFFER, DEPTH_ATTACHMENT, RENDERBUFFER, buffers[1]);
    ASSERT_EQ(checkStatus(FRAMEBUFFER), FRAMEBUFFER_COMPLETE);
    glDrawBuffer(COLOR_ATTACHMENT0);
    glReadBuffer(COLOR_ATTACHMENT0);

    glViewport(0, 0, PICTURE_WIDTH, PICTURE_HEIGHT);
    // The drawing code learns the picture's size from the platform, as it does from the window.
    setDetachedPictureSize(PICTURE_WIDTH, PICTURE_HEIGHT);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // As the program's start-up leaves it.
    glEnable(GL_TEXTURE_2D);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

void GLFixture::TearDown() {
    if (!haveContext) return;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "GL error left by the test";
    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(context);
    context = nullptr;
    haveContext = false;
}

Rgba GLFixture::pixel(int x, int y) {
    Rgba p;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &p);
    return p;
}

std::vector<Rgba> GLFixture::readPicture() {
    std::vector<Rgba> picture(std::size_t(PICTURE_WIDTH) * PICTURE_HEIGHT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, PICTURE_WIDTH, PICTURE_HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, picture.data());
    return picture;
}

long long GLFixture::pictureBrightness() {
    long long total = 0;
    for (const Rgba& p : readPicture()) total += p.sum();
    return total;
}

std::vector<FeedbackPrimitive> GLFixture::captureFeedback(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint count = glRenderMode(GL_RENDER);
    std::vector<FeedbackPrimitive> primitives;
    if (count < 0) {
        ADD_FAILURE() << "feedback buffer overflow";
        return primitives;
    }
    // x, y, z, colour (RGBA), texture coordinate (s, t, r, q).
    constexpr int VERTEX_FLOATS = 3 + 4 + 4;
    auto readVertex = [&](GLint& at) {
        FeedbackVertex v;
        v.x = buffer[at];
        v.y = buffer[at + 1];
        v.z = buffer[at + 2];
        for (int i = 0; i < 4; ++i) v.color[i] = buffer[at + 3 + i];
        for (int i = 0; i < 4; ++i) v.tex[i] = buffer[at + 7 + i];
        at += VERTEX_FLOATS;
        return v;
    };
    GLint at = 0;
    while (at < count) {
        FeedbackPrimitive primitive;
        primitive.token = GLenum(buffer[at++]);
        int vertices = 0;
        switch (primitive.token) {
            case GL_POINT_TOKEN:
            case GL_BITMAP_TOKEN:
            case GL_DRAW_PIXEL_TOKEN:
            case GL_COPY_PIXEL_TOKEN:
                vertices = 1;
                break;
            case GL_LINE_TOKEN:
            case GL_LINE_RESET_TOKEN:
                vertices = 2;
                break;
            case GL_POLYGON_TOKEN:
                vertices = int(buffer[at++]);
                break;
            case GL_PASS_THROUGH_TOKEN:
                ++at;
                continue;
            default:
                ADD_FAILURE() << "unknown feedback token " << buffer[at - 1];
                return primitives;
        }
        for (int i = 0; i < vertices; ++i) primitive.vertices.push_back(readVertex(at));
        primitives.push_back(std::move(primitive));
    }
    return primitives;
}

void GLFixture::eyeSpaceProjection() {
    glViewport(0, 0, PICTURE_WIDTH, PICTURE_HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-PICTURE_WIDTH / 2.0, PICTURE_WIDTH / 2.0, -PICTURE_HEIGHT / 2.0, PICTURE_HEIGHT / 2.0,
            -1000.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
}

void GLFixture::modelViewMatrix(float m[16]) { glGetFloatv(GL_MODELVIEW_MATRIX, m); }

GLint GLFixture::modelViewDepth() {
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    return depth;
}

}  // namespace korvana::test
