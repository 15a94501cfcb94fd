// SceneObjectList: a scene's objects in drawing order. drawAll draws the depth-writing objects
// first and the blended ones (FLAG_BLEND, FLAG_ADDITIVE) after them. The list refers to its
// objects; it never frees them.
#pragma once

#include <vector>

#include "render/scene_object.h"

namespace korvana {

class SceneObjectList {
public:
    SceneObjectList() = default;
    SceneObjectList(const SceneObjectList&) = delete;
    SceneObjectList& operator=(const SceneObjectList&) = delete;
    virtual ~SceneObjectList();

    // Null entries are allowed (a mesh file appends one for each object it lacks).
    void add(SceneObject* object);
    // First entry, in list order, whose name equals `name` exactly; null when none does.
    SceneObject* find(const char* name) const;
    void drawAll();

    const std::vector<SceneObject*>& objects() const { return entries; }

private:
    std::vector<SceneObject*> entries;
};

}  // namespace korvana
