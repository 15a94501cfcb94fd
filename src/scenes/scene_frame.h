// The frame every scene shares: its time base, the light-trail clear cadence, fog, additive
// drawing and the direct view set-up of the two scenes that do without a Camera. The formulas
// here are pure so the show's pacing can be checked without a GL context.
#pragma once

#include <cstdint>

#include "render/vector3.h"

namespace korvana {

class Clock;
class SceneObjectList;

// Frames added onto each other before the trail scenes clear again (the clear comes on the frame
// after the counter has gone past the limit, so the period is limit + 2 frames).
constexpr int32_t TUBE_TRAIL_LIMIT = 5;
constexpr int32_t TUBE_BOX_TRAIL_LIMIT = 10;
constexpr int32_t PIPE_TRAIL_LIMIT = 5;
constexpr int32_t CYLINDER_TRAIL_LIMIT = 15;
constexpr int32_t BOXES_TRAIL_LIMIT = 5;

// One frame of the clear cadence. While a hold runs it is counted down and nothing is cleared;
// otherwise a scene without trails clears every frame and a trail scene clears once its counter
// has passed `limit`. True when the colour buffer must be cleared this frame.
bool advanceClearCadence(int32_t& hold, int32_t& counter, bool trails, int32_t limit);

// advanceClearCadence on the program-wide holdFrames, clearing the colour buffer when it says so.
void runClearCadence(int32_t& counter, bool trails, int32_t limit);

// Scene time from the tick count. The show's motion is a pure function of the tick counter; the
// product is formed exactly (extended precision) and then stored as the float the scenes animate
// with, so uptime coarsens the steps of T exactly as a 32-bit float does.
float sceneTime1500(uint32_t ticks);  // ticks x 0.00066666666f: tube, tube box, pipe
float sceneTime750(uint32_t ticks);   // ticks x 0.0013333333f: cylinder
// ticks x 0.0006666666666666666 kept unrounded: the boxes scene spins group 0 from it.
long double sceneTimeExtended(uint32_t ticks);

// The tick count the scenes animate by. The show loop points this at its own clock (the system's
// tick counter, or the virtual clock of tests and screenshots) so the scenes and the timeline run
// on one time source. Without a clock (null) it reads the platform's tick counter.
void setSceneClock(Clock* clock);
uint32_t sceneTickCount();

// Linear fog from 0 to `end` towards black with the given alpha, switched on.
void enableSceneFog(float end, float alpha);
// GL_BLEND on with one, one: each frame adds its light onto what the colour buffer holds.
void beginAdditiveDrawing();

// eye, centre and up for gluLookAt, kept in double as the direct scenes compute them.
struct DirectView {
    double eye[3] = {};
    double centre[3] = {};
    double up[3] = {};
};

// Viewport of the whole picture, projection (90 degrees, aspect the picture's width / height in
// whole numbers, near 0.1) and the model-view matrix selected without loading the identity.
void setDirectProjection(double far);
// Push, look-at, draw, pop: the modelview matrix comes back as it was.
void drawDirectView(const DirectView& view, SceneObjectList& list);

// eye, centre and up as the camera scenes store them (floats).
struct CameraView {
    Vector3 eye;
    Vector3 centre;
    Vector3 up;
};

}  // namespace korvana
