// The four mesh files of the default content, each fitted to the scene and camera path that reads it.
#pragma once

#include <string>
#include <vector>

#include "mesh3ds.h"

namespace korvana::content {

// "3ds/tube.3ds": outer shell, inner shell and twelve light rods around the Z axis.
std::vector<Mesh> tubeMeshes();
// "3ds/tubekasse.3ds": a room, a sphere at the origin and six cylinders radiating from it.
std::vector<Mesh> tubeBoxMeshes();
// "3ds/tube2.3ds": a pipe of six square sections along the Z axis and five mirror rods.
std::vector<Mesh> pipeMeshes();
// "3ds/kasser.3ds": 27 boxes in a 3 x 3 x 3 block, nine per layer along Z.
std::vector<Mesh> boxesMeshes();

}  // namespace korvana::content
