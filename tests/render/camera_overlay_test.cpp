// The camera's viewport, projection and model-view stack; the frame clear; the overlay square.
#include <cmath>
#include <numbers>

#include "render/camera.h"
#include "render_fixture.h"

namespace korvana::test {
namespace {

// gluPerspective's matrix, written out: column-major entries 0, 5, 10, 11, 14.
void expectPerspective(const float m[16], double fovDegrees, double aspect, double zNear,
                       double zFar) {
    const double f = 1.0 / std::tan(fovDegrees * std::numbers::pi / 360.0);
    EXPECT_NEAR(m[0], f / aspect, 1e-5);
    EXPECT_NEAR(m[5], f, 1e-5);
    EXPECT_NEAR(m[10], (zFar + zNear) / (zNear - zFar), 1e-5);
    EXPECT_NEAR(m[11], -1.0, 1e-6);
    EXPECT_NEAR(m[14], 2.0 * zFar * zNear / (zNear - zFar), 1e-5);
    EXPECT_EQ(m[15], 0.0f);
}

void expectIdentity(const float m[16]) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
}

TEST_F(RenderTest, CameraViewportProjectionAndStack) {
    Camera camera;
    EXPECT_EQ(camera.fov, 0.0f);
    camera.setViewport(float(SCREEN_WIDTH) + 0.7f, float(SCREEN_HEIGHT));
    camera.setFov(60);
    camera.setFar(1000);
    camera.setLookAt(Vector3(0, 0, 10), Vector3(0, 0, 0), Vector3(0, 1, 0));

    glMatrixMode(GL_MODELVIEW);
    glTranslatef(7, 7, 7);  // begin starts from the identity whatever was there
    glViewport(1, 2, 3, 4);
    std::vector<SeenState> log;
    SpyObject spy(log);
    RenderOptions o;
    o.setFlag(FLAG_LIT);
    spy.setOptions(&o);
    SceneObjectList list;
    list.add(&spy);
    camera.drawScene(list);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 640) << "truncated";
    EXPECT_EQ(viewport[3], 480);
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    expectPerspective(projection, 60, 640.7 / 480.0, 0.1, 1000);

    // During the scene: identity, view, working copy; the object pushes six more.
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].modelViewDepth, 3 + 6);
    const float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -10, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(log[0].modelView[i], view[i], 1e-5) << i;

    EXPECT_EQ(modelViewDepth(), 1);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    float after[16];
    modelViewMatrix(after);
    expectIdentity(after);

    // begin alone leaves the working copy current, two levels up.
    camera.begin();
    EXPECT_EQ(modelViewDepth(), 3);
    float during[16];
    modelViewMatrix(during);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(during[i], view[i], 1e-5) << i;
    camera.end();
    EXPECT_EQ(modelViewDepth(), 1);
}

TEST_F(RenderTest, ClearFrameUsesClearColorWithZeroAlpha) {
    EXPECT_EQ(clearColor.x, 0.0f);
    EXPECT_EQ(clearColor.y, 0.0f);
    EXPECT_EQ(clearColor.z, 0.0f);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    clearFrame(0);  // sets the colour, clears nothing
    EXPECT_EQ(pixel(10, 10).g, 255);
    float value[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, value);
    EXPECT_EQ(value[0], 0.0f);
    EXPECT_EQ(value[3], 0.0f);

    clearColor.set(1.0f, 0.5f, 0.0f);
    clearFrame(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    clearColor.set(0.0f, 0.0f, 0.0f);
    const Rgba p = pixel(600, 400);
    EXPECT_EQ(p.r, 255);
    EXPECT_NEAR(p.g, 128, 1);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(p.a, 0);
}

class OverlayTest : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        if (!haveContext) return;
        // Bottom-left red, bottom-right green, top-left blue, top-right white at half alpha.
        const uint8_t quadrants[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128};
        overlay = std::make_unique<Texture>();
        overlay->uploadRgba(quadrants, 2, 2);
        overlay->bind();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        overlay->unbind();
    }

    // As the main loop draws it.
    void draw(float x, float y) {
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        overlay->drawOverlay(x, y, -1.0f, SCREEN_WIDTH, SCREEN_HEIGHT);
        glDisable(GL_BLEND);
    }

    std::unique_ptr<Texture> overlay;
};

bool isColour(Rgba p, int r, int g, int b) {
    return std::abs(p.r - r) <= 1 && std::abs(p.g - g) <= 1 && std::abs(p.b - b) <= 1;
}

TEST_F(OverlayTest, CoversThePictureAtOffsetZero) {
    draw(0, 0);
    EXPECT_TRUE(isColour(pixel(0, 0), 255, 0, 0));
    EXPECT_TRUE(isColour(pixel(160, 120), 255, 0, 0));
    EXPECT_TRUE(isColour(pixel(480, 120), 0, 255, 0));
    EXPECT_TRUE(isColour(pixel(639, 0), 0, 255, 0));
    EXPECT_TRUE(isColour(pixel(160, 360), 0, 0, 255));
    EXPECT_TRUE(isColour(pixel(0, 479), 0, 0, 255));
    EXPECT_TRUE(isColour(pixel(480, 360), 128, 128, 128)) << "half alpha over black";
    EXPECT_TRUE(isColour(pixel(639, 479), 128, 128, 128));

    // Square projection (integer aspect 1) and an identity model-view on the same stack depth.
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    expectPerspective(projection, 90, 1.0, double(0.1f), 10.0);
    float m[16];
    modelViewMatrix(m);
    expectIdentity(m);
    EXPECT_EQ(modelViewDepth(), 1);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
}

TEST_F(OverlayTest, SlidesOutByHalfAndWholeViewports) {
    // x = -1: the quad's right half covers the left half of the picture.
    draw(-1, 0);
    EXPECT_TRUE(isColour(pixel(80, 120), 0, 255, 0));
    EXPECT_TRUE(isColour(pixel(80, 400), 128, 128, 128));
    EXPECT_TRUE(isColour(pixel(240, 120), 0, 255, 0));
    EXPECT_TRUE(isColour(pixel(400, 120), 0, 0, 0));
    EXPECT_TRUE(isColour(pixel(639, 479), 0, 0, 0));

    // y = -1: its top half covers the bottom half.
    draw(0, -1);
    EXPECT_TRUE(isColour(pixel(160, 120), 0, 0, 255));
    EXPECT_TRUE(isColour(pixel(160, 360), 0, 0, 0));

    // x = -1, y = -1: only its top-right quarter shows, bottom left.
    draw(-1, -1);
    EXPECT_TRUE(isColour(pixel(100, 100), 128, 128, 128));
    EXPECT_TRUE(isColour(pixel(400, 100), 0, 0, 0));
    EXPECT_TRUE(isColour(pixel(100, 300), 0, 0, 0));

    for (auto [x, y] : {std::pair{-2.0f, 0.0f}, std::pair{0.0f, -2.0f}, std::pair{-2.0f, -2.0f},
                        std::pair{-3.0f, -3.0f}}) {
        draw(x, y);
        EXPECT_EQ(pictureBrightness(), 0) << "offset " << x << ", " << y;
    }
}

TEST_F(OverlayTest, AspectIsAWholeNumber) {
    overlay->drawOverlay(0, 0, -1, 800, 480);
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], projection[5]);
    overlay->drawOverlay(0, 0, -1, 1300, 480);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[0], projection[5] / 2.0f, 1e-6);

    // A picture without height has nothing to cover: no draw, no division by zero.
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    overlay->drawOverlay(0, 0, -1, 640, 0);
    EXPECT_EQ(pictureBrightness(), 0);
    glViewport(0, 0, PICTURE_WIDTH, PICTURE_HEIGHT);
}

}  // namespace
}  // namespace korvana::test
