// Camera: a scene's viewport, perspective and look-at view. begin/end bracket the drawing of one
// scene; drawScene draws an object list between them.
#pragma once

#include "render/frame.h"
#include "render/scene_object_list.h"
#include "render/vector3.h"

namespace korvana {

class Camera {
public:
    Vector3 eye;
    Vector3 centre;
    Vector3 up;
    float viewportWidth = 0.0f;
    float viewportHeight = 0.0f;
    float fov = 0.0f;  // vertical, degrees
    float far = 0.0f;  // the near plane is always 0.1

    static constexpr double NEAR_PLANE = 0.1;

    void setLookAt(Vector3 eyePosition, Vector3 lookAt, Vector3 upDirection) {
        eye = eyePosition;
        centre = lookAt;
        up = upDirection;
    }
    void setViewport(float width, float height) {
        viewportWidth = width;
        viewportHeight = height;
    }
    void setFov(float degrees) { fov = degrees; }
    void setFar(float distance) { far = distance; }

    // Leaves the model-view stack as: identity, view, working copy of the view (current).
    void begin();
    // Pops the two levels begin pushed; projection and viewport stay.
    void end();
    void drawScene(SceneObjectList& list);
};

}  // namespace korvana
