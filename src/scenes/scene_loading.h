// Small steps the scenes' load steps share: an options record with its switches set, and the
// in-place scaling that makes a texture repeat.
#pragma once

#include <initializer_list>

#include "render/render_options.h"
#include "render/scene_object.h"

namespace korvana {

// A new record (kept for the whole run) with the given flags set.
RenderOptions* makeOptions(std::initializer_list<RenderFlag> flags);

// Multiplies u and v of every texture coordinate of the object by `factor`.
void scaleTexCoords(SceneObject& object, float factor);

}  // namespace korvana
