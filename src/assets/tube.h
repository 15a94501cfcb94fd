// TubeObject: the procedurally built open-ended tube of the tunnel scene. It draws like any other
// SceneObject; buildTube fills its arrays once at load time.
#pragma once

#include "render/scene_object.h"

namespace korvana {

class TubeObject : public SceneObject {
public:
    TubeObject() = default;
    ~TubeObject() override;

    // On a new, empty object: (rings + 1) rings of `segments` vertices along z, centred on the
    // origin, faces winding towards the axis. Resets position, rotation and scale.
    void buildTube(int rings, int segments, float radius, float ringSpacing, float uScale,
                   float vScale);
};

}  // namespace korvana
