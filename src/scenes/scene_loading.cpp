// Shared load-step helpers.
#include "scenes/scene_loading.h"

#include <vector>

namespace korvana {

namespace {
// Never freed, like everything it holds.
std::vector<const void*>* keptForRun = nullptr;
}  // namespace

void keepAlive(const void* made) {
    if (!keptForRun) keptForRun = new std::vector<const void*>;
    keptForRun->push_back(made);
}

RenderOptions* makeOptions(std::initializer_list<RenderFlag> flags) {
    auto* options = keepForRun(new RenderOptions);
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
