// The tube scene, first and fifth slot of the show: fourteen cylinders from "3ds/tube.3ds"; the
// inner shell and twelve light cylinders swing about Z while the viewer circles the axis and
// drifts along it. Drawn without trails at first and with trails when it comes back.
#pragma once

#include <cstdint>

#include "scenes/scene_frame.h"

namespace korvana {

class MeshFile;
class ObjectGroup;

void loadTubeScene();
void drawTubeScene(bool trails);
// drawTubeScene at a given tick count.
void drawTubeSceneAt(bool trails, uint32_t ticks);

// What loadTubeScene built (null members before it ran); kept for the whole run.
struct TubeScene {
    MeshFile* tubeModel = nullptr;
    ObjectGroup* tubeSpinGroup = nullptr;
    // One counter for both slots; the first slot never touches it.
    int32_t trailCounter = 0;
    // What an earlier load made stays alive: everything a load step builds lives for the run.
    TubeScene* earlier = nullptr;
};
TubeScene* tubeScene();

// The spin of the inner shell and light cylinders about Z, degrees, from the float scene time.
float tubeSpinAngle(float T);
// The viewer circling the Z axis at 200, drifting between z = -1000 and 0, looking at (0, 0, -500).
DirectView tubeView(float T);

}  // namespace korvana
