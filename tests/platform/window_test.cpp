// The window, the context and the persistent picture, headless on Mesa (offscreen video driver):
// what GL reports about the context and the picture, and pixels read back across presents.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/message_box.h"
#include "platform/test_media.h"
#include "platform/window.h"
#include "support/private_x_server.h"

namespace korvana {
namespace {

constexpr GLenum kFramebufferBinding = 0x8CA6;

struct WindowGuard {
    ~WindowGuard() { destroyGLWindow(); }
};

// A flat-coloured rectangle in picture pixels (x, y from the bottom, as GL counts).
void fillRect(int x0, int y0, int x1, int y1, float r, float g, float b) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 0, 480, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glColor3f(r, g, b);
    glBegin(GL_QUADS);
    glVertex2i(x0, y0);
    glVertex2i(x1, y0);
    glVertex2i(x1, y1);
    glVertex2i(x0, y1);
    glEnd();
}

const uint8_t* pixelTopDown(const std::vector<uint8_t>& rgba, int x, int rowFromTop) {
    return rgba.data() + (static_cast<size_t>(rowFromTop) * 640 + static_cast<size_t>(x)) * 4;
}

TEST(Window, LegacyContextAndPersistentPicture) {
    WindowGuard guard;
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, false)) << SDL_GetError();
    ASSERT_TRUE(glWindowOpen());
    EXPECT_EQ(pictureWidth(), 640);
    EXPECT_EQ(pictureHeight(), 480);
    EXPECT_STREQ(SDL_GetWindowTitle(SDL_GL_GetCurrentWindow()), "Korvana");
    EXPECT_EQ(SDL_GL_GetSwapInterval(), 0);

    // The picture is what is bound, with the formats the show draws into.
    GLint binding = 0;
    glGetIntegerv(kFramebufferBinding, &binding);
    EXPECT_NE(binding, 0);
    GLint bits[6] = {};
    glGetIntegerv(GL_RED_BITS, &bits[0]);
    glGetIntegerv(GL_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_BLUE_BITS, &bits[2]);
    glGetIntegerv(GL_ALPHA_BITS, &bits[3]);
    glGetIntegerv(GL_DEPTH_BITS, &bits[4]);
    EXPECT_EQ(bits[0], 8);
    EXPECT_EQ(bits[1], 8);
    EXPECT_EQ(bits[2], 8);
    EXPECT_EQ(bits[3], 8);
    EXPECT_EQ(bits[4], 24);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);

    // A legacy context: immediate mode and the fixed pipeline work.
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(readPicture(rgba));
    ASSERT_EQ(rgba.size(), 640u * 480u * 4u);
    EXPECT_EQ(pixelTopDown(rgba, 320, 240)[0], 0);  // starts black

    fillRect(0, 240, 640, 480, 1.0f, 0.0f, 0.0f);  // top half red
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    presentFrame();
    presentFrame();  // the picture survives presents: the layer never clears it
    glGetIntegerv(kFramebufferBinding, &binding);
    EXPECT_NE(binding, 0);
    fillRect(0, 0, 320, 240, 0.0f, 0.0f, 1.0f);  // lower-left quarter blue, on top of what is there
    presentFrame();

    ASSERT_TRUE(readPicture(rgba));
    const uint8_t* top = pixelTopDown(rgba, 10, 0);
    EXPECT_EQ(top[0], 255);
    EXPECT_EQ(top[2], 0);
    const uint8_t* bottomLeft = pixelTopDown(rgba, 10, 479);
    EXPECT_EQ(bottomLeft[0], 0);
    EXPECT_EQ(bottomLeft[2], 255);
    const uint8_t* bottomRight = pixelTopDown(rgba, 630, 479);
    EXPECT_EQ(bottomRight[0] + bottomRight[1] + bottomRight[2], 0);
}

TEST(Window, PresentLeavesTheDrawingStateAlone) {
    WindowGuard guard;
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, false));
    glClearColor(0.25f, 0.5f, 0.75f, 0.0f);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 10, 10);
    glColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE);
    presentFrame();
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.25f);
    EXPECT_FLOAT_EQ(clear[2], 0.75f);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_EQ(mask[1], GL_FALSE);
    EXPECT_EQ(mask[0], GL_TRUE);
}

TEST(Window, FullScreenUsesTheDesktopAndKeepsThePictureSize) {
    WindowGuard guard;
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, true));
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    EXPECT_EQ(pictureWidth(), 640);
    fillRect(0, 0, 640, 480, 0.0f, 1.0f, 0.0f);
    presentFrame();
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(readPicture(rgba));
    EXPECT_EQ(rgba.size(), 640u * 480u * 4u);
    EXPECT_EQ(pixelTopDown(rgba, 639, 479)[1], 255);
}

TEST(Window, DestroyAndReopen) {
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, false));
    destroyGLWindow();
    EXPECT_FALSE(glWindowOpen());
    std::vector<uint8_t> rgba;
    EXPECT_FALSE(readPicture(rgba));
    presentFrame();     // no window: nothing happens
    destroyGLWindow();  // twice is harmless
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, false));
    EXPECT_TRUE(readPicture(rgba));
    destroyGLWindow();
}

TEST(Window, NoVideoSystemGivesTheClassMessage) {
    const char* old = SDL_getenv("SDL_VIDEODRIVER");
    const std::string saved = old ? old : "";
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    testing::internal::CaptureStderr();
    const bool ok = createGLWindow(640, 480, 60, 32, true);
    const std::string err = testing::internal::GetCapturedStderr();
    if (old) setenv("SDL_VIDEODRIVER", saved.c_str(), 1); else unsetenv("SDL_VIDEODRIVER");
    EXPECT_FALSE(ok);
    EXPECT_FALSE(glWindowOpen());
    EXPECT_NE(err.find("Fejl: Kunne ikke registrere vinduesklassen\n"), std::string::npos) << err;
}

// Environment variables set for one test and restored after it.
struct EnvironmentScope {
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    void set(const char* name, const std::string& value) {
        const char* old = getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
    ~EnvironmentScope() {
        for (const auto& [name, value] : saved)
            if (value) setenv(name.c_str(), value->c_str(), 1); else unsetenv(name.c_str());
    }
};

// The bounding box of the white pixels of an XWD screen file (24-bit colour in 32-bit pixels).
bool whiteBox(const std::string& xwdPath, PresentRect& box) {
    std::ifstream in(xwdPath, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto field = [&](size_t i) {  // header fields are 32-bit, most significant byte first
        const uint8_t* b = file.data() + i * 4;
        return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
    };
    if (file.size() < 100 || field(1) != 7 || field(11) != 32) return false;
    const uint32_t width = field(4), height = field(5), byteOrder = field(7), stride = field(12);
    const uint32_t white = field(14) | field(15) | field(16);
    const size_t pixels = size_t(field(0)) + size_t(field(19)) * 12;
    if (width > 8192 || height > 8192 || stride < width * 4 || file.size() < pixels + size_t(stride) * height)
        return false;
    int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* b = file.data() + pixels + size_t(y) * stride + size_t(x) * 4;
            const uint32_t v = byteOrder == 0 ? (uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0])
                                              : (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3]);
            if ((v & white) != white) continue;
            x0 = std::min(x0, int32_t(x));
            y0 = std::min(y0, int32_t(y));
            x1 = std::max(x1, int32_t(x));
            y1 = std::max(y1, int32_t(y));
        }
    if (x1 < 0) return false;
    box = PresentRect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    return true;
}

// Without a window manager nobody acts on the full-screen request: the window keeps the size it
// was made with while SDL reports the screen's. The picture must still fill the screen, letterboxed.
TEST(Window, FullScreenFillsTheScreenWithoutAWindowManager) {
    if (!test::PrivateXServer::available()) GTEST_SKIP() << "Xvfb is not installed";
    test::ScratchDir dir;
    test::PrivateXServer server(dir.path().string(), "1280x800x24");
    if (server.display().empty()) GTEST_SKIP() << "Xvfb did not start";

    EnvironmentScope environment;
    environment.set("DISPLAY", server.display());
    environment.set("SDL_VIDEODRIVER", "x11");

    WindowGuard guard;
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, true)) << SDL_GetError();
    fillRect(0, 0, 640, 480, 1.0f, 1.0f, 1.0f);
    // The server draws what it is sent in its own time: look until the screen shows the picture.
    const PresentRect expected = letterboxRect(1280, 800, 640, 480);
    PresentRect seen;
    for (int attempt = 0; attempt < 50; ++attempt) {
        presentFrame();
        if (whiteBox((dir.path() / "Xvfb_screen0").string(), seen) && seen.width == expected.width &&
            seen.height == expected.height)
            break;
        SDL_Delay(100);
    }
    EXPECT_EQ(seen.x, expected.x);
    EXPECT_EQ(seen.y, expected.y);
    EXPECT_EQ(seen.width, expected.width) << "only part of the picture is on the screen";
    EXPECT_EQ(seen.height, expected.height);
}

// A capture's window is never shown: nothing of its picture reaches the screen, while the same
// window made visible shows it.
TEST(Window, HiddenForACaptureShowsNothing) {
    if (!test::PrivateXServer::available()) GTEST_SKIP() << "Xvfb is not installed";
    test::ScratchDir dir;
    test::PrivateXServer server(dir.path().string(), "800x600x24");
    if (server.display().empty()) GTEST_SKIP() << "Xvfb did not start";
    EnvironmentScope environment;
    environment.set("DISPLAY", server.display());
    environment.set("SDL_VIDEODRIVER", "x11");

    PresentRect seen[2];
    bool white[2] = {true, false};
    for (int shown = 0; shown < 2; ++shown) {
        setWindowHidden(shown == 0);
        WindowGuard guard;
        ASSERT_TRUE(createGLWindow(640, 480, 60, 32, false)) << SDL_GetError();
        fillRect(0, 0, 640, 480, 1.0f, 1.0f, 1.0f);
        for (int attempt = 0; attempt < 20; ++attempt) {
            presentFrame();
            white[shown] = whiteBox((dir.path() / "Xvfb_screen0").string(), seen[shown]);
            if (white[shown] == (shown == 1)) break;
            SDL_Delay(100);
        }
        destroyGLWindow();
    }
    setWindowHidden(false);
    EXPECT_FALSE(white[0]) << "the hidden window reached the screen";
    EXPECT_TRUE(white[1]) << "the visible window never did, so the check above proves nothing";
}

// On a real display a failure's message box waits for a click. The suite sets KORVANA_NO_DIALOGS in
// every test process (and so in every program a test starts), which leaves only the stderr line:
// without it this test would hang until its time limit.
TEST(MessageBox, NeverWaitsForAClickInTheSuite) {
    ASSERT_NE(getenv("KORVANA_NO_DIALOGS"), nullptr) << "the test support no longer sets it";
    if (!test::PrivateXServer::available()) GTEST_SKIP() << "Xvfb is not installed";
    test::ScratchDir dir;
    test::PrivateXServer server(dir.path().string(), "640x480x24");
    if (server.display().empty()) GTEST_SKIP() << "Xvfb did not start";
    EnvironmentScope environment;
    environment.set("DISPLAY", server.display());
    environment.set("SDL_VIDEODRIVER", "x11");
    testing::internal::CaptureStderr();
    showMessageBox("Kunne ikke oprette en OpenGL Context.", "Fejl", MessageIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Fejl: Kunne ikke oprette en OpenGL Context.\n");
}

TEST(Letterbox, LargestRectangleOfThePicturesAspect) {
    auto check = [](int dw, int dh, int x, int y, int w, int h) {
        const PresentRect r = letterboxRect(dw, dh, 640, 480);
        EXPECT_EQ(r.x, x) << dw << "x" << dh;
        EXPECT_EQ(r.y, y) << dw << "x" << dh;
        EXPECT_EQ(r.width, w) << dw << "x" << dh;
        EXPECT_EQ(r.height, h) << dw << "x" << dh;
    };
    check(640, 480, 0, 0, 640, 480);
    check(1024, 768, 0, 0, 1024, 768);
    check(1920, 1080, 240, 0, 1440, 1080);  // bars left and right
    check(1280, 1024, 0, 32, 1280, 960);    // bars above and below
    check(641, 480, 0, 0, 640, 480);        // odd pixel left over goes to the right
    check(0, 480, 0, 0, 0, 0);
    check(-5, 480, 0, 0, 0, 0);
}

// Stands in for drivers: answers only the names it is given.
std::vector<std::string> asked;
const char* const* offered = nullptr;
void dummyEntry() {}
void* fakeLookUp(const char* name) {
    asked.push_back(name);
    for (const char* const* o = offered; *o != nullptr; ++o)
        if (std::strcmp(*o, name) == 0) return reinterpret_cast<void*>(&dummyEntry);
    return nullptr;
}

TEST(GLExtensions, SixMultitextureEntryPointsDecide) {
    const char* const all[] = {"glUnlockArraysEXT",    "glLockArraysEXT",      "glMultiTexCoord1fARB",
                               "glMultiTexCoord2fARB", "glMultiTexCoord3fARB", "glMultiTexCoord4fARB",
                               "glActiveTextureARB",   "glClientActiveTextureARB", nullptr};
    asked.clear();
    offered = all;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(initGLExtensions(fakeLookUp));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(asked.size(), 8u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(asked[i], all[i]);  // asked in the fixed order
    EXPECT_NE(glActiveTextureARB, nullptr);
    EXPECT_NE(glLockArraysEXT, nullptr);

    // No compiled vertex arrays: no error, no message, those two stay null.
    const char* const noLock[] = {"glMultiTexCoord1fARB", "glMultiTexCoord2fARB", "glMultiTexCoord3fARB",
                                  "glMultiTexCoord4fARB", "glActiveTextureARB",   "glClientActiveTextureARB",
                                  nullptr};
    offered = noLock;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(initGLExtensions(fakeLookUp));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(glLockArraysEXT, nullptr);
    EXPECT_EQ(glUnlockArraysEXT, nullptr);

    // Only glClientActiveTextureARB missing: false with the message.
    const char* const noClient[] = {"glUnlockArraysEXT",    "glLockArraysEXT",      "glMultiTexCoord1fARB",
                                    "glMultiTexCoord2fARB", "glMultiTexCoord3fARB", "glMultiTexCoord4fARB",
                                    "glActiveTextureARB",   nullptr};
    offered = noClient;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(initGLExtensions(fakeLookUp));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "OpenGL Setup Error!: Your OpenGL does not support either multitexturing or lockarray.\n");
    EXPECT_EQ(glClientActiveTextureARB, nullptr);
}

TEST(GLExtensions, MesaHasThemAll) {
    WindowGuard guard;
    ASSERT_TRUE(createGLWindow(640, 480, 60, 32, false));
    EXPECT_TRUE(initGLExtensions());
    ASSERT_NE(glActiveTextureARB, nullptr);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    GLint active = 0;
    glGetIntegerv(0x84E0 /* GL_ACTIVE_TEXTURE */, &active);
    EXPECT_EQ(active, GL_TEXTURE1_ARB);
    glActiveTextureARB(GL_TEXTURE0_ARB);
}

}  // namespace
}  // namespace korvana
