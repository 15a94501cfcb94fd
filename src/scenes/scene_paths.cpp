// The five scenes' motion as pure functions of the scene time. Constants written with an f suffix
// are the single-precision values the show was tuned with; products and sines are worked out in
// double (extended for the boxes scene's unrounded time) and stored as floats where a scene
// stores them.
#include <cmath>

#include "scenes/boxes_scene.h"
#include "scenes/cylinder_scene.h"
#include "scenes/pipe_scene.h"
#include "scenes/tube_box_scene.h"
#include "scenes/tube_scene.h"

namespace korvana {

namespace {
constexpr float QUARTER_PI_F = 0.78539819f;
constexpr float HALF_PI_F = 1.5707964f;
constexpr float THIRD_F = 0.33333334f;

void setTriple(double (&out)[3], double x, double y, double z) {
    out[0] = x;
    out[1] = y;
    out[2] = z;
}
}  // namespace

float tubeSpinAngle(float T) { return static_cast<float>(360.0 * std::sin(double(T))); }

DirectView tubeView(float T) {
    const double t = T;
    DirectView view;
    setTriple(view.eye, 200.0 * std::sin(2.0 * t), 200.0 * std::cos(2.0 * t),
              500.0 * std::sin(t) - 500.0);
    setTriple(view.centre, 0.0, 0.0, -500.0);
    setTriple(view.up, 0.0, 0.0, 1.0);
    return view;
}

Vector3 tubeBoxSpin(float T) {
    const double t = T;
    return Vector3(static_cast<float>(360.0 * std::sin(0.2 * t)),
                   static_cast<float>(360.0 * std::cos(0.25 * t)),
                   static_cast<float>(360.0 * std::sin(0.5 * t)));
}

float tubeBoxOrbitRadius(float T) {
    return static_cast<float>(50.0 * std::sin(20.0 * double(T)) + 180.0);
}

DirectView tubeBoxView(float T, float radius) {
    const double t = T;
    const double r = radius;
    DirectView view;
    setTriple(view.eye, r * std::sin(2.0 * t), r * std::cos(2.0 * t), 100.0 * std::sin(10.0 * t));
    setTriple(view.centre, 0.0, 0.0, 0.0);
    setTriple(view.up, 0.0, 0.0, 1.0);
    return view;
}

CameraView pipeView(float T) {
    const double t = T;
    const double q = QUARTER_PI_F;
    CameraView view;
    view.eye.set(static_cast<float>(40.0 * std::sin(t)), static_cast<float>(40.0 * std::cos(t)),
                 static_cast<float>(900.0 * std::cos(t / 2.0) - 1000.0));
    view.centre.set(static_cast<float>(40.0 * std::sin(t + q)),
                    static_cast<float>(40.0 * std::cos(t + q)),
                    static_cast<float>(900.0 * std::cos(t / 2.0 + q) - 1000.0));
    view.up.set(0.0f, 0.0f, 1.0f);
    return view;
}

CameraView cylinderView(float T) {
    const double t = T;
    const double quarter = 0.25f * T;  // formed once, as a float
    CameraView view;
    view.eye.set(static_cast<float>(60.0 * std::sin(t)), static_cast<float>(60.0 * std::cos(t)),
                 static_cast<float>(1920.0 * std::sin(quarter)));
    view.centre.set(static_cast<float>(60.0 * std::sin(t + 1.0)),
                    static_cast<float>(60.0 * std::cos(t + 1.0)),
                    static_cast<float>(1920.0 * std::sin(quarter + 1.0)));
    view.up.set(0.0f, 0.0f, 1.0f);
    return view;
}

BoxesPose boxesPose(uint32_t ticks) {
    const long double T = sceneTimeExtended(ticks);
    const float tf = static_cast<float>(T);
    const double t = tf;
    const long double s = std::sin(T);  // from the unrounded time

    BoxesPose pose;
    pose.groupAngle[0] = static_cast<float>(360.0L * s);
    pose.groupAngle[1] = static_cast<float>(360.0 * std::sin(t + double(QUARTER_PI_F)));
    pose.groupAngle[2] = static_cast<float>(360.0 * std::sin(t + double(HALF_PI_F)));
    pose.radius = static_cast<float>(50.0 * std::sin(20.0 * t) + 200.0);

    const double r = pose.radius;
    pose.view.eye.set(static_cast<float>(r * s), static_cast<float>(r * std::cos(t)),
                      static_cast<float>(200.0 * std::cos(double(THIRD_F) * t)));
    pose.view.centre.set(0.0f, 0.0f, 0.0f);
    pose.view.up.set(0.0f, 1.0f, 0.0f);
    return pose;
}

}  // namespace korvana
