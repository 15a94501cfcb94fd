// Camera and the frame values shared by the entry point and the scenes.
#include "render/camera.h"

#include "platform/gl.h"

namespace korvana {

Vector3 clearColor;
int32_t holdFrames = 0;

void clearFrame(uint32_t mask) {
    glClearColor(clearColor.x, clearColor.y, clearColor.z, 0.0f);
    glClear(mask);
}

void Camera::begin() {
    glViewport(0, 0, GLsizei(int(viewportWidth)), GLsizei(int(viewportHeight)));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(double(fov), double(viewportWidth) / double(viewportHeight), NEAR_PLANE,
                   double(far));
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Bottom: identity; then the view; then a working copy the objects may change and restore.
    glPushMatrix();
    gluLookAt(eye.x, eye.y, eye.z, centre.x, centre.y, centre.z, up.x, up.y, up.z);
    glPushMatrix();
}

void Camera::end() {
    glPopMatrix();
    glPopMatrix();
}

void Camera::drawScene(SceneObjectList& list) {
    begin();
    list.drawAll();
    end();
}

}  // namespace korvana
