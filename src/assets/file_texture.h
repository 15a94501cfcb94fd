// Textures filled from images in the asset archive. The class says which decoder runs; the file
// name's extension is never looked at. A failed load leaves the texture with its name and no image.
#pragma once

#include "render/texture.h"

namespace korvana {

class FileTexture : public Texture {
public:
    FileTexture() = default;
    ~FileTexture() override;
};

class JpegTexture : public FileTexture {
public:
    // name: the member inside the asset archive, e.g. "jpg/kugle_kasse.jpg".
    explicit JpegTexture(const char* name);
    ~JpegTexture() override;
};

class TgaTexture : public FileTexture {
public:
    // Empty; the overlays are filled afterwards with loadTga.
    TgaTexture() = default;
    // name: the member inside the asset archive, e.g. "jpg/rave01.tga".
    explicit TgaTexture(const char* name);
    ~TgaTexture() override;
};

}  // namespace korvana
