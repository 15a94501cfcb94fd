// The render method: which draw routines run for which flags, the GL state they run under, what is
// left behind, and where the transform puts the geometry.
#include <array>
#include <cmath>
#include <numbers>
#include <initializer_list>

#include "render_fixture.h"

namespace korvana::test {
namespace {

RenderOptions optionsWith(std::initializer_list<unsigned> flags) {
    RenderOptions o;
    for (unsigned f : flags) o.setFlag(f);
    return o;
}

using Routines = std::vector<std::string>;

TEST_F(RenderTest, DrawFlagsSelectRoutinesInOrder) {
    std::vector<SeenState> log;
    SpyObject spy(log);
    auto run = [&](std::initializer_list<unsigned> flags) {
        log.clear();
        RenderOptions o = optionsWith(flags);
        spy.setOptions(&o);
        spy.render();
        spy.setOptions(nullptr);
        return routines(log);
    };
    EXPECT_EQ(run({FLAG_TEXTURE}), Routines{"textured"});
    EXPECT_EQ(run({FLAG_ENV_MAP}), Routines{"envMapped"});
    EXPECT_EQ(run({FLAG_TEXTURE, FLAG_ENV_MAP}), Routines{"texturedEnvMapped"});
    EXPECT_EQ(run({FLAG_WIREFRAME, FLAG_TEXTURE, FLAG_BILLBOARDS}),
              (Routines{"wireframe", "textured", "billboards"}));
    EXPECT_EQ(run({FLAG_BILLBOARDS, FLAG_ENV_MAP, FLAG_LIT, FLAG_WIREFRAME, FLAG_TEXTURE}),
              (Routines{"wireframe", "lit", "texturedEnvMapped", "billboards"}));
    EXPECT_EQ(run({FLAG_BLEND, FLAG_CULL_BACK, FLAG_GLOW}), Routines{});

    // No options: nothing at all, not even a matrix push (a push inside glBegin is an error).
    log.clear();
    glBegin(GL_POINTS);
    spy.render();
    glEnd();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_TRUE(log.empty());
}

TEST_F(RenderTest, CullingFlags) {
    std::vector<SeenState> log;
    SpyObject spy(log);
    auto seen = [&](std::initializer_list<unsigned> flags) {
        log.clear();
        RenderOptions o = optionsWith(flags);
        o.setFlag(FLAG_WIREFRAME);
        spy.setOptions(&o);
        spy.render();
        EXPECT_FALSE(glIsEnabled(GL_CULL_FACE)) << "culling is left off";
        return log.at(0);
    };
    SeenState s = seen({});
    EXPECT_TRUE(s.cull);
    EXPECT_EQ(s.cullMode, GL_BACK);  // GL's initial mode
    s = seen({FLAG_CULL_FRONT});
    EXPECT_TRUE(s.cull);
    EXPECT_EQ(s.cullMode, GL_FRONT);
    // The mode stays with GL: an object without a culling flag drawn next culls front faces.
    s = seen({});
    EXPECT_TRUE(s.cull);
    EXPECT_EQ(s.cullMode, GL_FRONT);
    s = seen({FLAG_CULL_FRONT, FLAG_CULL_BACK});
    EXPECT_EQ(s.cullMode, GL_BACK);
    EXPECT_TRUE(s.cull);
    s = seen({FLAG_NO_CULL, FLAG_CULL_FRONT});
    EXPECT_FALSE(s.cull);
    EXPECT_EQ(s.cullMode, GL_FRONT);
    s = seen({FLAG_NO_CULL, FLAG_CULL_BACK});
    EXPECT_FALSE(s.cull);
}

TEST_F(RenderTest, CulledFacesInThePicture) {
    // Two triangles in the eye plane: the left one counter-clockwise (front), the right one clockwise.
    SceneObject object(6, 2);
    const Vector3 v[6] = {{-200, -100, 0}, {-20, -100, 0}, {-110, 100, 0},
                          {20, -100, 0},   {110, 100, 0},  {200, -100, 0}};
    for (int i = 0; i < 6; ++i) object.vertices[i] = v[i];
    object.faces[0] = Face{0, 1, 2};
    object.faces[1] = Face{3, 4, 5};
    auto white = solidTexture(255, 255, 255);
    eyeSpaceProjection();
    glLoadIdentity();
    auto drawn = [&](std::initializer_list<unsigned> flags) {
        RenderOptions o = optionsWith(flags);
        o.setFlag(FLAG_TEXTURE);
        o.setTexture(white.get());
        object.setOptions(&o);
        glClear(GL_COLOR_BUFFER_BIT);
        object.render();
        return std::pair<bool, bool>{pixel(320 - 110, 240).r == 255, pixel(320 + 110, 240).r == 255};
    };
    EXPECT_EQ(drawn({}), (std::pair<bool, bool>{true, false}));
    EXPECT_EQ(drawn({FLAG_CULL_FRONT}), (std::pair<bool, bool>{false, true}));
    EXPECT_EQ(drawn({FLAG_CULL_BACK}), (std::pair<bool, bool>{true, false}));
    EXPECT_EQ(drawn({FLAG_NO_CULL}), (std::pair<bool, bool>{true, true}));
    EXPECT_EQ(drawn({FLAG_NO_CULL, FLAG_CULL_FRONT}), (std::pair<bool, bool>{true, true}));
}

TEST_F(RenderTest, BlendAlphaAndDepthState) {
    std::vector<SeenState> log;
    SpyObject spy(log);
    auto seen = [&](std::initializer_list<unsigned> flags) {
        log.clear();
        RenderOptions o = optionsWith(flags);
        o.setFlag(FLAG_WIREFRAME);
        spy.setOptions(&o);
        spy.render();
        return log.at(0);
    };
    auto expectLeftClean = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
        GLboolean mask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
        EXPECT_TRUE(mask);
    };

    SeenState s = seen({FLAG_BLEND});
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthMask);
    EXPECT_EQ(s.blendSrc, GL_SRC_ALPHA);
    EXPECT_EQ(s.blendDst, GL_ONE_MINUS_SRC_ALPHA);
    expectLeftClean("blend");

    s = seen({FLAG_ADDITIVE});
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthMask);
    EXPECT_EQ(s.blendSrc, GL_ONE);
    EXPECT_EQ(s.blendDst, GL_ONE);
    expectLeftClean("additive");

    s = seen({FLAG_BLEND, FLAG_ADDITIVE});
    EXPECT_EQ(s.blendSrc, GL_ONE);
    EXPECT_EQ(s.blendDst, GL_ONE);

    s = seen({FLAG_GLOW});
    EXPECT_TRUE(s.blend);
    EXPECT_TRUE(s.depthMask) << "glow keeps writing depth";
    EXPECT_EQ(s.blendSrc, GL_ONE);
    EXPECT_EQ(s.blendDst, GL_ONE);
    expectLeftClean("glow");

    // Glow's one-one is overridden by the blend flag's function.
    s = seen({FLAG_GLOW, FLAG_BLEND});
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthMask);
    EXPECT_EQ(s.blendSrc, GL_SRC_ALPHA);
    EXPECT_EQ(s.blendDst, GL_ONE_MINUS_SRC_ALPHA);
    expectLeftClean("glow and blend");
    GLint src = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    EXPECT_EQ(src, GL_SRC_ALPHA) << "the last blend function stays";

    s = seen({FLAG_ALPHA_TEST});
    EXPECT_TRUE(s.alphaTest);
    EXPECT_EQ(s.alphaFunc, GL_GREATER);
    EXPECT_FLOAT_EQ(s.alphaRef, 0.5f);
    expectLeftClean("alpha test");

    // No blend flag: the caller's blending is used and left alone.
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    s = seen({});
    EXPECT_TRUE(s.blend);
    EXPECT_EQ(s.blendSrc, GL_ONE);
    EXPECT_TRUE(s.depthMask);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    // A blend flag turns the caller's blending off for what follows.
    seen({FLAG_ADDITIVE});
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

// Column-major 4x4 helpers, written independently of GL.
using Mat = std::array<double, 16>;
Mat identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }
Mat multiply(const Mat& a, const Mat& b) {
    Mat r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k) r[c * 4 + row] += a[k * 4 + row] * b[c * 4 + k];
    return r;
}
Mat rotation(double degrees, int axis) {
    const double a = degrees * std::numbers::pi / 180.0, c = std::cos(a), s = std::sin(a);
    Mat m = identity();
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;  // the plane turned: y-z, z-x, x-y
    m[i * 4 + i] = c;
    m[j * 4 + j] = c;
    m[i * 4 + j] = s;
    m[j * 4 + i] = -s;
    return m;
}

TEST_F(RenderTest, TransformAndMatrixStack) {
    std::vector<SeenState> log;
    SpyObject spy(log);
    RenderOptions o = optionsWith({FLAG_LIT});
    spy.setOptions(&o);
    spy.setPosition(3, -4, -20);
    spy.setRotation(30, 45, 60);
    spy.setScale(2);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);  // a viewing transform the object must leave as found
    float before[16];
    modelViewMatrix(before);
    const GLint depthBefore = modelViewDepth();
    spy.render();
    float after[16];
    modelViewMatrix(after);
    EXPECT_EQ(modelViewDepth(), depthBefore);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], before[i]) << i;

    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].modelViewDepth, depthBefore + 6);
    Mat view = identity();
    view[12] = 1;
    view[13] = 2;
    view[14] = 3;
    Mat translate = identity();
    translate[12] = 3;
    translate[13] = -4;
    translate[14] = -20;
    Mat scale = identity();
    scale[0] = scale[5] = scale[10] = 2;
    const Mat expected = multiply(
        multiply(multiply(multiply(multiply(view, translate), rotation(30, 0)), rotation(45, 1)),
                 rotation(60, 2)),
        scale);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(log[0].modelView[i], expected[i], 1e-5) << i;
}

TEST_F(RenderTest, RotatedObjectPointLandsWhereExpected) {
    // Rotation (90, 0, 0) and position (0, 0, -10) take (0, 1, 0) to (0, 0, -9).
    SceneObject object(1, 1);
    object.vertices[0] = Vector3(0, 1, 0);
    object.faces[0] = Face{0, 0, 0};
    RenderOptions o = optionsWith({FLAG_WIREFRAME});
    object.setOptions(&o);
    object.setRotation(90, 0, 0);
    object.setPosition(0, 0, -10);
    eyeSpaceProjection();
    glLoadIdentity();
    auto primitives = captureFeedback([&] { object.render(); });
    ASSERT_FALSE(primitives.empty());
    for (const FeedbackPrimitive& p : primitives)
        for (const FeedbackVertex& v : p.vertices) {
            EXPECT_NEAR(eyeX(v), 0.0f, 1e-3);
            EXPECT_NEAR(eyeY(v), 0.0f, 1e-3);
            EXPECT_NEAR(eyeZ(v), -9.0f, 1e-2);
        }
}

}  // namespace
}  // namespace korvana::test
