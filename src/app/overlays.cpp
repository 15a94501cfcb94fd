// The overlay images: seven Targa textures made after the scenes, drawn one per frame by the loop's
// overlay step, destroyed at tear-down (their GL names stay reserved).
#include "app/overlays.h"

#include <cstdio>
#include <memory>

#include "assets/file_texture.h"
#include "assets/texture_image.h"
#include "platform/window.h"

namespace korvana {

namespace {

constexpr int32_t OVERLAY_IMAGES = 7;
std::unique_ptr<TgaTexture> overlays[OVERLAY_IMAGES];

}  // namespace

void loadOverlays() {
    // Every texture takes its name first, then the images load in order.
    for (auto& overlay : overlays) overlay = std::make_unique<TgaTexture>();
    for (int32_t i = 0; i < OVERLAY_IMAGES; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "jpg/rave%02d.tga", int(i + 1));
        loadTga(*overlays[i], name);
    }
}

void drawOverlayStep(int32_t element, float x, float y) {
    if (element < 0 || element >= OVERLAY_IMAGES || !overlays[element]) return;
    overlays[element]->drawOverlay(x, y, -1.0f, pictureWidth(), pictureHeight());
}

void destroyOverlays() {
    for (auto& overlay : overlays) overlay.reset();
}

}  // namespace korvana
