// SceneObjectList and ObjectGroup: drawing order and shared rotation.
#include "render/scene_object_list.h"

#include "render/object_group.h"
#include "render/render_options.h"

namespace korvana {

SceneObjectList::~SceneObjectList() = default;

void SceneObjectList::add(SceneObject* object) { entries.push_back(object); }

SceneObject* SceneObjectList::find(const char* name) const {
    for (SceneObject* object : entries)
        if (object != nullptr && object->hasName(name)) return object;
    return nullptr;
}

void SceneObjectList::drawAll() {
    // Depth-writing objects (GLOW included) first, then the ones that blend without writing depth,
    // so the blended ones are tested against everything solid.
    for (int pass = 0; pass < 2; ++pass) {
        for (SceneObject* object : entries) {
            if (object == nullptr || object->options == nullptr) continue;
            const RenderOptions& o = *object->options;
            const bool blended = o.flags[FLAG_BLEND] || o.flags[FLAG_ADDITIVE];
            if (blended == (pass == 1)) object->render();
        }
    }
}

ObjectGroup::~ObjectGroup() {
    // Unlinks the chain node by node so a long chain never recurses deeply.
    while (next != nullptr) {
        ObjectGroup* node = next;
        next = node->next;
        node->next = nullptr;
        delete node;
    }
}

void ObjectGroup::add(SceneObject* member) {
    ObjectGroup* node = this;
    while (node->object != nullptr) {
        if (node->next == nullptr) node->next = new ObjectGroup();
        node = node->next;
    }
    node->object = member;
}

void ObjectGroup::setRotation(float x, float y, float z) {
    for (ObjectGroup* node = this; node != nullptr; node = node->next)
        if (node->object != nullptr) node->object->setRotation(x, y, z);
}

}  // namespace korvana
