// Small steps the scenes' load steps share: keeping what a load makes for the whole run, an options
// record with its switches set, and the in-place scaling that makes a texture repeat.
#pragma once

#include <initializer_list>

#include "render/render_options.h"
#include "render/scene_object.h"

namespace korvana {

// Everything a load step makes lives until the process ends. Records and textures are also held
// here, so that one left unused (its object missing from the file) is still held, not lost.
void keepAlive(const void* made);
template <typename T>
T* keepForRun(T* made) {
    keepAlive(made);
    return made;
}

// A new record (kept for the whole run) with the given flags set.
RenderOptions* makeOptions(std::initializer_list<RenderFlag> flags);

// Multiplies u and v of every texture coordinate of the object by `factor`.
void scaleTexCoords(SceneObject& object, float factor);

}  // namespace korvana
