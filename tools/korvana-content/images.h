// The default content's images: procedural textures for the scenes and the seven overlays with
// their lettering, and the Targa writer the show's decoder reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvana::content {

// A picture in linear 0..1 channels, top row first, always four channels (alpha 1 unless set).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;  // R, G, B, A per pixel

    Image() = default;
    Image(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4, 0.0f) {
        for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 1.0f;
    }
    float* at(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
    const float* at(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }

    // 8-bit rows, top row first: R, G, B (channels 3) or R, G, B, A (channels 4).
    std::vector<uint8_t> bytes(int channels) const;
};

// An uncompressed true-colour Targa (type 2) of 24 or 32 bits, bottom-left origin, rows bottom
// first, its pixel data right after the 18-byte header (no image ID, no colour map).
std::vector<uint8_t> encodeTga(const Image& image, int bits);

// Scene textures.
Image tubeOuterImage();      // "jpg/tube_ydre.jpg": steel panels with glowing strips
Image tubeInnerImage();      // "jpg/tube_indre.jpg": dark shell with glowing circuit traces
Image tubeLightImage();      // "jpg/tube_lys.jpg": bands of light for the rods
Image plateImage();          // "jpg/cplatta02.jpg": diamond-plate metal
Image plasmaImage();         // "jpg/pscene.jpg": warped plasma over a fine grid
Image smallWallImage();      // "jpg/pscenesmallwall.jpg": small tiles, a few of them lit
Image glowCylinderImage(bool inverse);  // "jpg/tubekasse_cyl[_inv].tga"
Image chromeSphereMap();     // "jpg/ .tga": a chrome-like sphere map

// Overlay `index` 1..7 ("jpg/raveNN.tga"): lettering with a glow, transparent around it.
Image overlayImage(int index);

}  // namespace korvana::content
