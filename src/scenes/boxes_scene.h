// The boxes scene, last slot of the show: twenty-seven boxes in three groups swinging about Z with
// their own phases, seen from a pulsing orbit around the origin with +Y up. No fog.
#pragma once

#include <cstdint>

#include "scenes/scene_frame.h"

namespace korvana {

class Camera;
class MeshFile;
class ObjectGroup;

constexpr int BOX_GROUP_COUNT = 3;

void loadBoxesScene();
void drawBoxesScene();
void drawBoxesSceneAt(uint32_t ticks);

struct BoxesScene {
    MeshFile* boxesModel = nullptr;
    ObjectGroup* boxGroups[BOX_GROUP_COUNT] = {};
    Camera* boxesCamera = nullptr;
    int32_t trailCounter = 0;
    // What an earlier load made stays alive: everything a load step builds lives for the run.
    BoxesScene* earlier = nullptr;
};
BoxesScene* boxesScene();

// Everything the boxes scene animates in one frame. Group 0 and the eye's x follow the unrounded
// scene time, the rest its float copy.
struct BoxesPose {
    float groupAngle[BOX_GROUP_COUNT] = {};  // degrees about Z
    float radius = 0.0f;                     // orbit distance, 150 to 250
    CameraView view;
};
BoxesPose boxesPose(uint32_t ticks);

}  // namespace korvana
