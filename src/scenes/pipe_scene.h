// The pipe scene, third slot of the show: six wall boxes and five mirror cylinders from
// "3ds/tube2.3ds", still, seen from a narrow spiral up and down the Z axis.
#pragma once

#include <cstdint>

#include "scenes/scene_frame.h"

namespace korvana {

class Camera;
class MeshFile;

void loadPipeScene();
void drawPipeScene();
void drawPipeSceneAt(uint32_t ticks);

struct PipeScene {
    MeshFile* pipeModel = nullptr;
    Camera* pipeCamera = nullptr;
    int32_t trailCounter = 0;
    // What an earlier load made stays alive: everything a load step builds lives for the run.
    PipeScene* earlier = nullptr;
};
PipeScene* pipeScene();

// The centre runs a quarter turn (single-precision pi / 4) ahead of the eye on the same spiral.
CameraView pipeView(float T);

}  // namespace korvana
