// The cylinder scene, fourth slot of the show: a generated six-sided tunnel with three rods along
// its axis, flown through on a spiral between the rods and the wall under short fog.
#pragma once

#include <cstdint>

#include "scenes/scene_frame.h"

namespace korvana {

class Camera;
class SceneObjectList;

void loadCylinderScene();
void drawCylinderScene();
void drawCylinderSceneAt(uint32_t ticks);

struct CylinderScene {
    SceneObjectList* cylinderList = nullptr;
    Camera* cylinderCamera = nullptr;
    int32_t trailCounter = 0;
    // What an earlier load made stays alive: everything a load step builds lives for the run.
    CylinderScene* earlier = nullptr;
};
CylinderScene* cylinderScene();

// The centre is one radian further on both cycles of the eye's spiral.
CameraView cylinderView(float T);

}  // namespace korvana
