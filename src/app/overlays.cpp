// The overlay images. Their textures and the drawing come with the texture objects and the Targa
// loader: until those are wired in here, no image is loaded and the overlay step draws nothing
// between the loop's blend switches.
#include "app/overlays.h"

namespace korvana {

void loadOverlays() {
    // Filled by the texture work: seven TgaTextures, loadTga("jpg/rave0N.tga") in order.
}

void drawOverlayStep(int32_t element, float x, float y) {
    // Filled by the texture work: overlays[element]->drawOverlay(x, y, -1.0f, 640, 480).
    (void)element;
    (void)x;
    (void)y;
}

void destroyOverlays() {}

}  // namespace korvana
