// Program-wide frame values shared by the entry point and the scenes: the background colour, the
// light-trail hold counter, the show's base picture size, and the clear that uses the background
// colour.
#pragma once

#include <cstdint>

#include "render/vector3.h"

namespace korvana {

// The picture the show was made for. The picture really drawn is a whole multiple of it (the
// render scale); its size comes from pictureWidth() / pictureHeight() of the platform's window.
constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 480;

// Black for the whole run; clearFrame clears to it with alpha 0.
extern Vector3 clearColor;
// Set to 10 by the main loop every 5000 ms; the scenes count it down.
extern int32_t holdFrames;

// Sets the clear colour from clearColor (alpha 0) and clears the GL buffer bits in mask.
void clearFrame(uint32_t mask);

}  // namespace korvana
