// The tube box scene, second slot of the show: a still box, and a sphere and six glowing cylinders
// that tumble together, seen from a pulsing, bobbing orbit around the origin.
#pragma once

#include <cstdint>

#include "scenes/scene_frame.h"

namespace korvana {

class MeshFile;
class ObjectGroup;

void loadTubeBoxScene();
void drawTubeBoxScene();
void drawTubeBoxSceneAt(uint32_t ticks);

struct TubeBoxScene {
    MeshFile* tubeBoxModel = nullptr;
    ObjectGroup* tubeBoxSpinGroup = nullptr;
    int32_t trailCounter = 0;
    // What an earlier load made stays alive: everything a load step builds lives for the run.
    TubeBoxScene* earlier = nullptr;
};
TubeBoxScene* tubeBoxScene();

// The tumble of the sphere and cylinders, degrees about X, Y and Z.
Vector3 tubeBoxSpin(float T);
// Orbit radius, 130 to 230, pulsing about twice a second.
float tubeBoxOrbitRadius(float T);
DirectView tubeBoxView(float T, float radius);

}  // namespace korvana
