// The seven overlay images that slide over every frame: loaded once at start-up (after the
// scenes), drawn one per frame by the loop's overlay step, destroyed at tear-down.
#pragma once

#include <cstdint>

namespace korvana {

// Makes the seven overlay textures and loads "jpg/rave01.tga" .. "jpg/rave07.tga" into them in
// that order; an image that fails to load leaves its texture empty and start-up goes on.
void loadOverlays();

// Draws overlay `element` at offset (x, y) over the picture. The loop has switched on blending
// (source alpha, one minus source alpha) around this call.
void drawOverlayStep(int32_t element, float x, float y);

// Destroys the overlay objects (their GL names stay reserved).
void destroyOverlays();

}  // namespace korvana
