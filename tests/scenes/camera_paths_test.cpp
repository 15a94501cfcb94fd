// The scenes' camera paths and spins against their formulas, worked out here on their own.
#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

#include "scenes/boxes_scene.h"
#include "scenes/cylinder_scene.h"
#include "scenes/pipe_scene.h"
#include "scenes/tube_box_scene.h"
#include "scenes/tube_scene.h"

namespace korvana {
namespace {

constexpr double PI = 3.14159265358979323846;
const uint32_t TICKS[] = {0u, 1u, 2357u, 94247u, 30000000u, 196608123u, 4000000123u, 4294967295u};

float timeOver1500(uint32_t ticks) { return float(double(ticks) * double(0.00066666666f)); }
float timeOver750(uint32_t ticks) { return float(double(ticks) * double(0.0013333333f)); }

double horizontal(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

TEST(TubeScenePath, EyeCentreUpAndSpin) {
    for (const uint32_t ticks : TICKS) {
        const float T = timeOver1500(ticks);
        ASSERT_EQ(sceneTime1500(ticks), T) << ticks;
        const DirectView v = tubeView(T);
        const double t = T;
        EXPECT_DOUBLE_EQ(v.eye[0], 200 * std::sin(t + t)) << ticks;
        EXPECT_DOUBLE_EQ(v.eye[1], 200 * std::cos(t + t)) << ticks;
        EXPECT_NEAR(v.eye[2], 500 * (std::sin(t) - 1), 1e-9) << ticks;
        EXPECT_EQ(v.centre[0], 0.0);
        EXPECT_EQ(v.centre[1], 0.0);
        EXPECT_EQ(v.centre[2], -500.0);
        EXPECT_EQ(v.up[2], 1.0);
        EXPECT_EQ(v.up[0] + v.up[1], 0.0);
        // Circles the axis at 200 and stays on the stretch z = -1000 .. 0.
        EXPECT_NEAR(horizontal(v.eye[0], v.eye[1]), 200.0, 1e-9);
        EXPECT_GE(v.eye[2], -1000.0);
        EXPECT_LE(v.eye[2], 0.0);
        EXPECT_EQ(tubeSpinAngle(T), float(std::sin(t) * 360)) << ticks;
    }
    // At T = 0 the viewer is on +Y at mid travel; a quarter turn later (2T = pi/2) on +X.
    const DirectView start = tubeView(0.0f);
    EXPECT_EQ(start.eye[0], 0.0);
    EXPECT_EQ(start.eye[1], 200.0);
    EXPECT_EQ(start.eye[2], -500.0);
    const DirectView quarter = tubeView(float(PI / 4));
    EXPECT_NEAR(quarter.eye[0], 200.0, 1e-4);
    EXPECT_NEAR(quarter.eye[1], 0.0, 1e-4);
    EXPECT_NEAR(tubeSpinAngle(float(PI / 2)), 360.0f, 1e-4f);
}

TEST(TubeBoxScenePath, OrbitSpinAndView) {
    for (const uint32_t ticks : TICKS) {
        const float T = timeOver1500(ticks);
        const double t = T;
        const float r = tubeBoxOrbitRadius(T);
        EXPECT_EQ(r, float(180 + 50 * std::sin(t * 20))) << ticks;
        EXPECT_GE(r, 130.0f);
        EXPECT_LE(r, 230.0f);

        const Vector3 spin = tubeBoxSpin(T);
        EXPECT_EQ(spin.x, float(360 * std::sin(t * 0.2))) << ticks;
        EXPECT_EQ(spin.y, float(360 * std::cos(t / 4))) << ticks;
        EXPECT_EQ(spin.z, float(360 * std::sin(t / 2))) << ticks;

        const DirectView v = tubeBoxView(T, r);
        EXPECT_DOUBLE_EQ(v.eye[0], double(r) * std::sin(2 * t)) << ticks;
        EXPECT_DOUBLE_EQ(v.eye[1], double(r) * std::cos(2 * t)) << ticks;
        EXPECT_DOUBLE_EQ(v.eye[2], 100 * std::sin(10 * t)) << ticks;
        // The orbit radius is the eye's distance from the Z axis.
        EXPECT_NEAR(horizontal(v.eye[0], v.eye[1]), r, 1e-9);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(v.centre[i], 0.0);
        EXPECT_EQ(v.up[2], 1.0);
    }
    // r is stored as a float before it scales the eye.
    const DirectView v = tubeBoxView(0.3f, 171.25f);
    EXPECT_DOUBLE_EQ(v.eye[0], 171.25 * std::sin(2 * double(0.3f)));
}

TEST(PipeScenePath, SpiralWithQuarterTurnLead) {
    const double q = double(0.78539819f);
    for (const uint32_t ticks : TICKS) {
        const float T = timeOver1500(ticks);
        const double t = T;
        const CameraView v = pipeView(T);
        EXPECT_EQ(v.eye.x, float(40 * std::sin(t))) << ticks;
        EXPECT_EQ(v.eye.y, float(40 * std::cos(t))) << ticks;
        EXPECT_EQ(v.eye.z, float(900 * std::cos(t * 0.5) - 1000)) << ticks;
        EXPECT_EQ(v.centre.x, float(40 * std::sin(t + q))) << ticks;
        EXPECT_EQ(v.centre.y, float(40 * std::cos(t + q))) << ticks;
        EXPECT_EQ(v.centre.z, float(900 * std::cos(t * 0.5 + q) - 1000)) << ticks;
        EXPECT_EQ(v.up.x, 0.0f);
        EXPECT_EQ(v.up.y, 0.0f);
        EXPECT_EQ(v.up.z, 1.0f);
        // Sideways part of the view direction: 2 x 40 x sin(pi / 8).
        EXPECT_NEAR(horizontal(v.centre.x - v.eye.x, v.centre.y - v.eye.y), 80 * std::sin(PI / 8),
                    1e-4);
        EXPECT_GE(v.eye.z, -1900.0f);
        EXPECT_LE(v.eye.z, -100.0f);
    }
}

TEST(CylinderScenePath, SpiralOneRadianAhead) {
    for (const uint32_t ticks : TICKS) {
        const float T = timeOver750(ticks);
        ASSERT_EQ(sceneTime750(ticks), T) << ticks;
        const double t = T;
        const double quarter = double(T * 0.25f);
        const CameraView v = cylinderView(T);
        EXPECT_EQ(v.eye.x, float(60 * std::sin(t))) << ticks;
        EXPECT_EQ(v.eye.y, float(60 * std::cos(t))) << ticks;
        EXPECT_EQ(v.eye.z, float(1920 * std::sin(quarter))) << ticks;
        EXPECT_EQ(v.centre.x, float(60 * std::sin(t + 1))) << ticks;
        EXPECT_EQ(v.centre.y, float(60 * std::cos(t + 1))) << ticks;
        EXPECT_EQ(v.centre.z, float(1920 * std::sin(quarter + 1))) << ticks;
        EXPECT_EQ(v.up.z, 1.0f);
        // Between the rods (at most 50 from the axis) and the tunnel's flat sides (86.6).
        const double d = horizontal(v.eye.x, v.eye.y);
        EXPECT_NEAR(d, 60.0, 1e-4);
        EXPECT_NEAR(horizontal(v.centre.x - v.eye.x, v.centre.y - v.eye.y), 120 * std::sin(0.5),
                    1e-4);
        EXPECT_LE(std::fabs(v.eye.z), 1920.0f);
    }
}

TEST(BoxesScenePath, GroupsAndOrbit) {
    for (const uint32_t ticks : TICKS) {
        const long double T = (long double)ticks / 1500.0L;
        const float t = float(T);
        const double td = t;
        const BoxesPose p = boxesPose(ticks);

        // Group 0 and the eye's x follow the unrounded time.
        EXPECT_NEAR(p.groupAngle[0], 360.0 * double(std::sin(T)), 2e-4) << ticks;
        EXPECT_EQ(p.groupAngle[1], float(360 * std::sin(td + double(float(PI / 4))))) << ticks;
        EXPECT_EQ(p.groupAngle[2], float(360 * std::sin(td + double(float(PI / 2))))) << ticks;
        EXPECT_EQ(p.radius, float(50 * std::sin(20 * td) + 200)) << ticks;
        EXPECT_GE(p.radius, 150.0f);
        EXPECT_LE(p.radius, 250.0f);
        EXPECT_NEAR(p.view.eye.x, double(p.radius) * double(std::sin(T)), 2e-4) << ticks;
        EXPECT_EQ(p.view.eye.y, float(double(p.radius) * std::cos(td))) << ticks;
        EXPECT_EQ(p.view.eye.z, float(200 * std::cos(double(1.0f / 3.0f) * td))) << ticks;
        EXPECT_EQ(p.view.up.x, 0.0f);
        EXPECT_EQ(p.view.up.y, 1.0f);
        EXPECT_EQ(p.view.up.z, 0.0f);
        EXPECT_EQ(p.view.centre.x + p.view.centre.y + p.view.centre.z, 0.0f);
    }

    // At 4000000312 ticks the float time is T rounded to a quarter, an eighth off: group 0 (unrounded) and
    // group 2 (a quarter period ahead of the rounded time) come apart from what the other
    // would give.
    const uint32_t late = 4000000312u;
    const long double T = (long double)late / 1500.0L;
    const float t = float(T);
    ASSERT_GT(std::fabs(double(T) - double(t)), 0.1);
    const BoxesPose p = boxesPose(late);
    EXPECT_GT(std::fabs(double(p.groupAngle[0]) - 360.0 * std::sin(double(t))), 1.0);
    EXPECT_NEAR(p.groupAngle[0], 360.0 * double(std::sin(T)), 2e-4);
}

}  // namespace
}  // namespace korvana
