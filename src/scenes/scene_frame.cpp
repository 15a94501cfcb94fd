// The shared scene frame: clear cadence, time bases, fog, additive drawing, direct view.
#include "scenes/scene_frame.h"

#include "platform/clock.h"
#include "platform/gl.h"
#include "platform/window.h"
#include "render/frame.h"
#include "render/scene_object_list.h"

namespace korvana {

bool advanceClearCadence(int32_t& hold, int32_t& counter, bool trails, int32_t limit) {
    if (hold != 0) {
        --hold;
        return false;
    }
    if (!trails) return true;
    if (counter > limit) {
        counter = 0;
        return true;
    }
    ++counter;
    return false;
}

void runClearCadence(int32_t& counter, bool trails, int32_t limit) {
    if (advanceClearCadence(holdFrames, counter, trails, limit)) clearFrame(GL_COLOR_BUFFER_BIT);
}

// A 32-bit tick count times a float constant needs at most 56 significant bits, so the long
// double product is exact and the float below is rounded once, as the FPU stored it.
float sceneTime1500(uint32_t ticks) {
    return static_cast<float>(static_cast<long double>(ticks) * 0.00066666666f);
}

float sceneTime750(uint32_t ticks) {
    return static_cast<float>(static_cast<long double>(ticks) * 0.0013333333f);
}

long double sceneTimeExtended(uint32_t ticks) {
    return static_cast<long double>(ticks) * 0.0006666666666666666;
}

namespace {
Clock* sceneClock = nullptr;
}  // namespace

void setSceneClock(Clock* clock) { sceneClock = clock; }

uint32_t sceneTickCount() { return sceneClock ? sceneClock->now() : tickCount(); }

void enableSceneFog(float end, float alpha) {
    const GLfloat colour[4] = {0.0f, 0.0f, 0.0f, alpha};
    glFogf(GL_FOG_START, 0.0f);
    glFogf(GL_FOG_END, end);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogfv(GL_FOG_COLOR, colour);
    glEnable(GL_FOG);
}

void beginAdditiveDrawing() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
}

void setDirectProjection(double far) {
    const int32_t width = pictureWidth(), height = pictureHeight();
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The whole-number quotient (1 at 640 x 480 and every multiple of it) stretches these scenes
    // horizontally by 4/3. Without a picture there is nothing to divide by, nor anything to draw.
    const int32_t aspect = height > 0 ? width / height : 1;
    gluPerspective(90.0, static_cast<double>(aspect), 0.1, far);
    glMatrixMode(GL_MODELVIEW);
}

void drawDirectView(const DirectView& view, SceneObjectList& list) {
    glPushMatrix();
    gluLookAt(view.eye[0], view.eye[1], view.eye[2], view.centre[0], view.centre[1],
              view.centre[2], view.up[0], view.up[1], view.up[2]);
    list.drawAll();
    glPopMatrix();
}

}  // namespace korvana
