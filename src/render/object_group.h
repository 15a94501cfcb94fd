// ObjectGroup: a chain of objects that turn together; setRotation reaches every member. A group is
// used through its first node. Members are not owned; the nodes after the first belong to the chain
// and go with it (the program keeps its groups for the whole run).
#pragma once

#include "render/scene_object.h"

namespace korvana {

class ObjectGroup {
public:
    ObjectGroup* next = nullptr;
    SceneObject* object = nullptr;

    ObjectGroup() = default;
    ObjectGroup(const ObjectGroup&) = delete;
    ObjectGroup& operator=(const ObjectGroup&) = delete;
    ~ObjectGroup();

    // Fills the first empty node, appending a new empty node when every node is full.
    void add(SceneObject* member);
    void setRotation(float x, float y, float z);
};

}  // namespace korvana
