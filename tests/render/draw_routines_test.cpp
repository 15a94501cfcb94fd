// The six draw routines, checked through what GL captured (feedback) and the state left behind.
#include <cmath>
#include <map>
#include <utility>

#include "render_fixture.h"

namespace korvana::test {
namespace {

// Corner position (eye x, y, rounded) -> texture coordinate, over every primitive.
std::map<std::pair<int, int>, std::pair<float, float>> cornersOf(
    const std::vector<FeedbackPrimitive>& primitives) {
    std::map<std::pair<int, int>, std::pair<float, float>> corners;
    for (const FeedbackPrimitive& p : primitives)
        for (const FeedbackVertex& v : p.vertices)
            corners[{int(std::lround(eyeX(v))), int(std::lround(eyeY(v)))}] = {v.tex[0], v.tex[1]};
    return corners;
}

using Corners = std::map<std::pair<int, int>, std::pair<float, float>>;

TEST_F(RenderTest, BillboardsFaceTheScreen) {
    auto texture = solidTexture(255, 255, 255);
    RenderOptions o;
    o.setTexture(texture.get());
    o.setBillboardSize(2);
    SceneObject sprite(1, 0);
    sprite.setOptions(&o);
    eyeSpaceProjection();
    glLoadIdentity();
    glColor4f(0.2f, 0.3f, 0.4f, 0.5f);

    const Corners expected = {{{-2, -2}, {0.f, 0.f}},
                              {{2, -2}, {1.f, 0.f}},
                              {{2, 2}, {1.f, 1.f}},
                              {{-2, 2}, {0.f, 1.f}}};
    auto primitives = captureFeedback([&] { sprite.drawBillboards(); });
    EXPECT_EQ(cornersOf(primitives), expected);
    for (const FeedbackPrimitive& p : primitives)
        for (const FeedbackVertex& v : p.vertices) EXPECT_EQ(v.color[0], 1.0f) << "drawn white";

    // Turned 90 degrees about z, the quad is turned back and still shows upright and square.
    glLoadIdentity();
    glRotatef(90, 0, 0, 1);
    float m[16];
    modelViewMatrix(m);
    EXPECT_NEAR(m[4], -1.0f, 1e-6);  // right = (0, -size, 0), up = (size, 0, 0)
    EXPECT_NEAR(m[1], 1.0f, 1e-6);
    EXPECT_EQ(cornersOf(captureFeedback([&] { sprite.drawBillboards(); })), expected);

    // A vertex off the origin: its quad is centred on where the vertex lands, (0, 10) in the eye.
    sprite.vertices[0] = Vector3(10, 0, 0);
    const Corners moved = {{{-2, 8}, {0.f, 0.f}},
                           {{2, 8}, {1.f, 0.f}},
                           {{2, 12}, {1.f, 1.f}},
                           {{-2, 12}, {0.f, 1.f}}};
    EXPECT_EQ(cornersOf(captureFeedback([&] { sprite.drawBillboards(); })), moved);

    float color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_EQ(color[0], 1.0f);
    EXPECT_EQ(color[3], 1.0f);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
}

TEST_F(RenderTest, WireframeEdgesInOrder) {
    RenderOptions o;
    o.setWireColor(0.25f, 0.5f, 0.75f, 1.0f);
    SceneObject triangle(3, 1);
    triangle.vertices[0] = Vector3(0, 0, 0);
    triangle.vertices[1] = Vector3(100, 0, 0);
    triangle.vertices[2] = Vector3(0, 50, 0);
    triangle.faces[0] = Face{0, 1, 2};
    triangle.setOptions(&o);
    eyeSpaceProjection();
    glLoadIdentity();
    auto lines = captureFeedback([&] { triangle.drawWireframe(); });
    ASSERT_EQ(lines.size(), 3u);
    const std::pair<int, int> ends[3][2] = {
        {{0, 0}, {100, 0}}, {{100, 0}, {0, 50}}, {{0, 50}, {0, 0}}};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(lines[i].vertices.size(), 2u);
        for (int e = 0; e < 2; ++e) {
            EXPECT_NEAR(eyeX(lines[i].vertices[e]), ends[i][e].first, 1e-3) << i << e;
            EXPECT_NEAR(eyeY(lines[i].vertices[e]), ends[i][e].second, 1e-3) << i << e;
            EXPECT_FLOAT_EQ(lines[i].vertices[e].color[2], 0.75f);
        }
    }
    float color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[1], 0.5f);
}

TEST_F(RenderTest, LitNormalsAndLight) {
    RenderOptions o;
    o.setColor(1, 0, 0, 1);
    SceneObject triangle(3, 1);
    triangle.vertices[0] = Vector3(-30, 0, 0);
    triangle.vertices[1] = Vector3(30, 0, 0);
    triangle.vertices[2] = Vector3(0, 3, 4);
    triangle.faces[0] = Face{0, 1, 2};
    triangle.setOptions(&o);
    eyeSpaceProjection();
    glLoadIdentity();
    glTranslatef(5, 6, -70);

    auto primitives = captureFeedback([&] { triangle.drawLit(); });
    ASSERT_EQ(primitives.size(), 1u);
    ASSERT_EQ(primitives[0].vertices.size(), 3u);
    EXPECT_NEAR(eyeX(primitives[0].vertices[0]), -25, 1e-3);
    EXPECT_NEAR(eyeX(primitives[0].vertices[1]), 35, 1e-3);
    EXPECT_NEAR(eyeY(primitives[0].vertices[2]), 9, 1e-3);
    // Lit with GL's default material, not in the current colour: the normals point away from the
    // light at the object's origin, so only the scene ambient (0.2 x 0.2) remains; the alpha is the
    // default diffuse material's.
    for (const FeedbackVertex& v : primitives[0].vertices) {
        EXPECT_NEAR(v.color[0], 0.04f, 0.01f);
        EXPECT_NEAR(v.color[1], 0.04f, 0.01f);
        EXPECT_NEAR(v.color[3], 1.0f, 0.01f);
    }

    // The last normal issued belongs to (0, 3, 4): a unit vector along it.
    float normal[3];
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    EXPECT_FLOAT_EQ(normal[0], 0.0f);
    EXPECT_FLOAT_EQ(normal[1], 0.6f);
    EXPECT_FLOAT_EQ(normal[2], 0.8f);

    // A point light at the object's origin, stored in eye space.
    float light[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, light);
    EXPECT_FLOAT_EQ(light[0], 5.0f);
    EXPECT_FLOAT_EQ(light[1], 6.0f);
    EXPECT_FLOAT_EQ(light[2], -70.0f);
    EXPECT_FLOAT_EQ(light[3], 1.0f);

    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_FALSE(glIsEnabled(GL_NORMALIZE));
    GLint shade = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_SMOOTH);
    float color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_EQ(color[0], 1.0f);
    EXPECT_EQ(color[1], 0.0f);
}

// Sphere-map coordinates for a zero normal: the reflection is the unit vector from the eye.
std::pair<float, float> sphereMap(double x, double y, double z) {
    const double length = std::sqrt(x * x + y * y + z * z);
    const double rx = x / length, ry = y / length, rz = z / length;
    const double m = 2.0 * std::sqrt(rx * rx + ry * ry + (rz + 1) * (rz + 1));
    return {float(rx / m + 0.5), float(ry / m + 0.5)};
}

void expectClientArrays(bool normals) {
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    EXPECT_EQ(bool(glIsEnabled(GL_NORMAL_ARRAY)), normals);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
}

TEST_F(RenderTest, EnvMappedCoordinatesComeFromEyeDirection) {
    auto env = solidTexture(0, 255, 0);
    RenderOptions o;
    o.setEnvTexture(env.get());
    SceneObject triangle(3, 1);
    triangle.vertices[0] = Vector3(100, 50, -200);
    triangle.vertices[1] = Vector3(-80, 20, -300);
    triangle.vertices[2] = Vector3(10, -90, -150);
    for (uint32_t i = 0; i < 3; ++i) triangle.texCoords[i] = TexCoord{0.9f, 0.9f};
    triangle.faces[0] = Face{0, 1, 2};
    triangle.setOptions(&o);
    eyeSpaceProjection();
    glLoadIdentity();

    auto primitives = captureFeedback([&] { triangle.drawEnvMapped(); });
    ASSERT_EQ(primitives.size(), 1u);
    ASSERT_EQ(primitives[0].vertices.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const FeedbackVertex& v = primitives[0].vertices[i];
        const auto [s, t] = sphereMap(eyeX(v), eyeY(v), eyeZ(v));
        EXPECT_NEAR(v.tex[0], s, 1e-4) << i;
        EXPECT_NEAR(v.tex[1], t, 1e-4) << i;
    }
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    expectClientArrays(true);
}

TEST_F(RenderTest, TwoUnitRoutineState) {
    auto base = solidTexture(255, 255, 255);
    auto env = solidTexture(0, 255, 0);
    RenderOptions o;
    o.setTexture(base.get());
    o.setEnvTexture(env.get());
    SceneObject triangle(3, 1);
    triangle.vertices[0] = Vector3(-100, -100, -10);
    triangle.vertices[1] = Vector3(100, -100, -10);
    triangle.vertices[2] = Vector3(0, 100, -10);
    triangle.texCoords[1] = TexCoord{0.25f, 0.75f};
    triangle.faces[0] = Face{0, 1, 2};
    triangle.setOptions(&o);
    eyeSpaceProjection();
    glLoadIdentity();

    // Unit 0 takes its coordinates from the array, not from generation.
    auto primitives = captureFeedback([&] { triangle.drawTexturedEnvMapped(); });
    ASSERT_EQ(primitives.size(), 1u);
    ASSERT_EQ(primitives[0].vertices.size(), 3u);
    EXPECT_FLOAT_EQ(primitives[0].vertices[1].tex[0], 0.25f);
    EXPECT_FLOAT_EQ(primitives[0].vertices[1].tex[1], 0.75f);

    // The two units modulate: white base times green environment.
    glClear(GL_COLOR_BUFFER_BIT);
    triangle.drawTexturedEnvMapped();
    const Rgba centre = pixel(320, 240);
    EXPECT_EQ(centre.r, 0);
    EXPECT_EQ(centre.g, 255);

    auto expectUnitState = [&](GLenum unit, bool texturing, GLint binding) {
        korvana::glActiveTextureARB(unit);
        EXPECT_EQ(bool(glIsEnabled(GL_TEXTURE_2D)), texturing);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
        GLint bound = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(bound, binding);
    };
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
    EXPECT_EQ(active, GL_TEXTURE0_ARB);
    GLint clientActive = 0;
    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE_ARB, &clientActive);
    EXPECT_EQ(clientActive, GL_TEXTURE0_ARB);
    expectClientArrays(true);
    {
        SCOPED_TRACE("unit 1");
        expectUnitState(GL_TEXTURE1_ARB, false, GLint(env->glName));
    }
    {
        SCOPED_TRACE("unit 0");
        expectUnitState(GL_TEXTURE0_ARB, true, 0);
    }

    // The first texture keeps nearest filtering for later plain texturing too.
    triangle.drawTextured();
    expectClientArrays(false);
    base->bind();
    GLint minFilter = 0, magFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(minFilter, GL_NEAREST);
    EXPECT_EQ(magFilter, GL_NEAREST);
    env->bind();
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR) << "the environment texture keeps its own filters";
    base->unbind();

    // Then the single-unit sphere map: generation is off on both units afterwards.
    triangle.drawEnvMapped();
    {
        SCOPED_TRACE("after drawEnvMapped, unit 1");
        expectUnitState(GL_TEXTURE1_ARB, false, GLint(env->glName));
    }
    {
        SCOPED_TRACE("after drawEnvMapped, unit 0");
        expectUnitState(GL_TEXTURE0_ARB, true, 0);
    }
}

TEST_F(RenderTest, TexturedWithoutFacesDrawsNothing) {
    auto texture = solidTexture(255, 255, 255);
    RenderOptions o;
    o.setTexture(texture.get());
    SceneObject empty(3, 0);
    empty.setOptions(&o);
    eyeSpaceProjection();
    glLoadIdentity();
    empty.drawTextured();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(pictureBrightness(), 0);
    expectClientArrays(false);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
}

}  // namespace
}  // namespace korvana::test
