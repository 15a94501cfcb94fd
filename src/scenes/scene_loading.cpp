// Shared load-step helpers.
#include "scenes/scene_loading.h"

namespace korvana {

RenderOptions* makeOptions(std::initializer_list<RenderFlag> flags) {
    auto* options = new RenderOptions;
    for (const RenderFlag flag : flags) options->setFlag(flag);
    return options;
}

void scaleTexCoords(SceneObject& object, float factor) {
    if (!object.texCoords) return;
    for (uint32_t i = 0; i < object.vertexCount; ++i) {
        object.texCoords[i].u *= factor;
        object.texCoords[i].v *= factor;
    }
}

}  // namespace korvana
