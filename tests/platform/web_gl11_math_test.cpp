// The web backend's GL 1.1 arithmetic where a picture would not show a fault: matrix stacks and the
// order matrices compose in, GLU's matrices, normals under a non-uniform scale, and the fog,
// sphere-map and lighting formulas against values worked out from OpenGL 1.1's definitions.
#include <gtest/gtest.h>

#include "platform/web/gl11_math.h"

namespace korvana::gl11 {
namespace {

constexpr float kTolerance = 1e-5f;

TEST(WebGl11Math, MatrixStackKeepsDepthAndRefusesOverflowAndUnderflow) {
    MatrixStack stack(3);
    EXPECT_FALSE(stack.pop());  // the last matrix stays
    stack.top() = translation(1.0f, 2.0f, 3.0f);
    ASSERT_TRUE(stack.push());
    EXPECT_EQ(stack.top().m, translation(1.0f, 2.0f, 3.0f).m);  // a push copies the top
    stack.top() = scaling(2.0f, 2.0f, 2.0f);
    ASSERT_TRUE(stack.push());
    EXPECT_FALSE(stack.push());  // GL_STACK_OVERFLOW: nothing changes
    EXPECT_EQ(stack.size(), 3u);
    EXPECT_EQ(stack.top().m, scaling(2.0f, 2.0f, 2.0f).m);
    ASSERT_TRUE(stack.pop());
    ASSERT_TRUE(stack.pop());
    EXPECT_EQ(stack.top().m, translation(1.0f, 2.0f, 3.0f).m);
}

TEST(WebGl11Math, CallsMultiplyOnTheRightAsGlDoes) {
    // glTranslatef(5, 0, 0); glRotatef(90, 0, 0, 1): the rotation acts on the vertex first.
    const Mat4 m = multiply(translation(5.0f, 0.0f, 0.0f), rotation(90.0f, 0.0f, 0.0f, 1.0f));
    const Vec4 v = transform(m, Vec4{1.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_NEAR(v.x, 5.0f, kTolerance);
    EXPECT_NEAR(v.y, 1.0f, kTolerance);
    EXPECT_NEAR(v.z, 0.0f, kTolerance);
    // An axis of any length is normalised.
    EXPECT_NEAR(transform(rotation(90.0f, 0.0f, 0.0f, 7.0f), Vec4{1.0f, 0.0f, 0.0f, 1.0f}).y, 1.0f, kTolerance);
}

TEST(WebGl11Math, GluPerspectiveAndLookAt) {
    const Mat4 p = perspective(90.0, 2.0, 1.0, 3.0);
    EXPECT_NEAR(p.at(0, 0), 0.5f, kTolerance);   // cot(45) / aspect
    EXPECT_NEAR(p.at(1, 1), 1.0f, kTolerance);
    EXPECT_NEAR(p.at(2, 2), -2.0f, kTolerance);  // -(far + near) / (far - near)
    EXPECT_NEAR(p.at(2, 3), -3.0f, kTolerance);  // -2 far near / (far - near)
    EXPECT_NEAR(p.at(3, 2), -1.0f, kTolerance);
    EXPECT_NEAR(p.at(3, 3), 0.0f, kTolerance);

    // From (0, 0, 5) to the origin, up along y: the origin lands 5 in front of the eye.
    const Mat4 view = lookAt(0.0, 0.0, 5.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    const Vec4 origin = transform(view, Vec4{0.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_NEAR(origin.z, -5.0f, kTolerance);
    // From the side, looking along -x with y up: the eye's right is world -z, so +z is on its left.
    const Mat4 side = lookAt(5.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    const Vec4 ahead = transform(side, Vec4{0.0f, 0.0f, 1.0f, 1.0f});
    EXPECT_NEAR(ahead.x, -1.0f, kTolerance);
    EXPECT_NEAR(ahead.z, -5.0f, kTolerance);
}

TEST(WebGl11Math, NormalsGoThroughTheInverseTransposeAndAreNotRenormalised) {
    // Under glScalef(2, 1, 1) a normal (1, 1, 0) becomes (0.5, 1, 0), not (2, 1, 0).
    const Vec3 n = transformNormal(normalMatrix(scaling(2.0f, 1.0f, 1.0f)), Vec3{1.0f, 1.0f, 0.0f});
    EXPECT_NEAR(n.x, 0.5f, kTolerance);
    EXPECT_NEAR(n.y, 1.0f, kTolerance);
    EXPECT_NEAR(n.z, 0.0f, kTolerance);
    // A translation leaves normals alone.
    const Vec3 t = transformNormal(normalMatrix(translation(4.0f, 5.0f, 6.0f)), Vec3{0.0f, 0.0f, 1.0f});
    EXPECT_NEAR(t.z, 1.0f, kTolerance);
}

TEST(WebGl11Math, LinearFogFactor) {
    EXPECT_FLOAT_EQ(linearFogFactor(0.0f, 0.0f, 10.0f), 1.0f);
    EXPECT_FLOAT_EQ(linearFogFactor(2.5f, 0.0f, 10.0f), 0.75f);
    EXPECT_FLOAT_EQ(linearFogFactor(10.0f, 0.0f, 10.0f), 0.0f);
    EXPECT_FLOAT_EQ(linearFogFactor(30.0f, 0.0f, 10.0f), 0.0f);  // clamped
    EXPECT_FLOAT_EQ(linearFogFactor(6.0f, 4.0f, 8.0f), 0.5f);
    EXPECT_FLOAT_EQ(linearFogFactor(1.0f, 5.0f, 5.0f), 1.0f);  // no range: before the end, clear
}

TEST(WebGl11Math, SphereMapCoordinates) {
    float s = 0.0f, t = 0.0f;
    // Looking straight at a surface facing the eye: the reflection comes back, the map's centre.
    sphereMap(Vec4{0.0f, 0.0f, -1.0f, 1.0f}, Vec3{0.0f, 0.0f, 1.0f}, s, t);
    EXPECT_NEAR(s, 0.5f, kTolerance);
    EXPECT_NEAR(t, 0.5f, kTolerance);
    // A surface turned 45 degrees about y: r = (1, 0, 0), m = 2 sqrt(2), s = 1 / m + 1/2.
    sphereMap(Vec4{0.0f, 0.0f, -3.0f, 1.0f}, Vec3{0.70710678f, 0.0f, 0.70710678f}, s, t);
    EXPECT_NEAR(s, 0.85355339f, kTolerance);
    EXPECT_NEAR(t, 0.5f, kTolerance);
    // The same turned about x moves t instead; the vertex's distance does not matter (u is a unit vector).
    sphereMap(Vec4{0.0f, 0.0f, -40.0f, 1.0f}, Vec3{0.0f, -0.70710678f, 0.70710678f}, s, t);
    EXPECT_NEAR(s, 0.5f, kTolerance);
    EXPECT_NEAR(t, 1.0f - 0.85355339f, kTolerance);
}

TEST(WebGl11Math, OneLightWithTheDefaultMaterial) {
    const Vec4 light{0.0f, 0.0f, 0.0f, 1.0f};  // a point light at the eye
    // Facing the light: scene ambient 0.2 x 0.2 plus diffuse 0.8.
    auto c = litColour(Vec4{0.0f, 0.0f, -2.0f, 1.0f}, Vec3{0.0f, 0.0f, 1.0f}, light);
    EXPECT_NEAR(c[0], 0.84f, kTolerance);
    EXPECT_NEAR(c[3], 1.0f, kTolerance);
    // Facing away: ambient only.
    c = litColour(Vec4{0.0f, 0.0f, -2.0f, 1.0f}, Vec3{0.0f, 0.0f, -1.0f}, light);
    EXPECT_NEAR(c[1], 0.04f, kTolerance);
    // At 60 degrees to the light: 0.04 + 0.8 cos 60.
    c = litColour(Vec4{0.0f, 0.0f, -2.0f, 1.0f}, Vec3{0.8660254f, 0.0f, 0.5f}, light);
    EXPECT_NEAR(c[2], 0.44f, kTolerance);
    // A longer normal is not normalised, and the sum is clamped to 1.
    c = litColour(Vec4{0.0f, 0.0f, -2.0f, 1.0f}, Vec3{0.0f, 0.0f, 2.0f}, light);
    EXPECT_NEAR(c[0], 1.0f, kTolerance);
}

}  // namespace
}  // namespace korvana::gl11
