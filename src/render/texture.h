// Texture: the program's handle on one GL 2D texture name, reserved at construction and never given
// back (destruction leaves the name and its image in GL). Uploads take tightly packed 8-bit pixels
// with the program's fixed sampling settings; drawOverlay lays the texture over the whole picture.
#pragma once

#include <cstdint>

namespace korvana {

class Texture {
public:
    uint32_t glName = 0;

    // Needs the GL context current.
    Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    virtual ~Texture();

    // Binds to / clears the 2D target of the active texture unit.
    void bind() const;
    void unbind() const;

    // pixels: width x height pixels of 3 (RGB) or 4 (RGBA) bytes, first row = bottom row. The
    // caller keeps the pixels. Linear filtering, repeat wrapping, modulate, level 0 only.
    void uploadRgb(const void* pixels, int32_t width, int32_t height);
    void uploadRgba(const void* pixels, int32_t width, int32_t height);

    // Full-viewport square translated by (x, y, z) under a 90-degree projection whose aspect is
    // width / height in whole numbers; the caller sets blending. height must be positive.
    void drawOverlay(float x, float y, float z, int32_t width, int32_t height);
};

}  // namespace korvana
