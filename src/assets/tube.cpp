// buildTube: the tunnel scene's procedural tube.
#include "assets/tube.h"

#include <cmath>
#include <numbers>

namespace korvana {

TubeObject::~TubeObject() = default;

void TubeObject::buildTube(int rings, int segments, float radius, float ringSpacing, float uScale,
                           float vScale) {
    // Sizes come from the scenes' own constants; anything that cannot describe a tube builds none.
    if (rings < 0 || segments < 1) {
        allocate(0, 0);
        return;
    }
    const uint32_t ringCount = uint32_t(rings);
    const uint32_t perRing = uint32_t(segments);
    allocate((ringCount + 1) * perRing, 2 * ringCount * perRing);
    vertexCount = 0;
    faceCount = 0;

    const float half = float(float(rings) * ringSpacing * 0.5);
    const double step = 2.0 * std::numbers::pi / double(segments);
    const float uStep = uScale / float(segments);
    const float vStep = rings > 0 ? vScale / float(rings) : 0.0f;
    for (int i = 0; i <= rings; ++i) {
        const float z = float(i) * ringSpacing - half;
        for (int j = 0; j < segments; ++j) {
            const double angle = double(j) * step;
            vertices[vertexCount].set(float(radius * std::sin(angle)),
                                      float(radius * std::cos(angle)), z);
            texCoords[vertexCount] = TexCoord{float(j) * uStep, vStep * float(i)};
            ++vertexCount;
        }
    }

    // One running index for all rings: it advances segments - 1 per ring, so the pairs wind along
    // the vertex array as a spiral band and the last `rings` quads at the +z end stay open. That gap
    // belongs to the tunnel's look.
    uint32_t k = 0;
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments - 1; ++j) {
            faces[faceCount++] = Face{k, k + 1, k + perRing};
            faces[faceCount++] = Face{k + 1, k + 1 + perRing, k + perRing};
            ++k;
        }
    }
}

}  // namespace korvana
