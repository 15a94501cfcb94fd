// The file-backed textures. Each loading constructor hands itself to the decoder of its format.
#include "assets/file_texture.h"

namespace korvana {

FileTexture::~FileTexture() = default;

JpegTexture::JpegTexture(const char* name) {
    // Waiting for the JPEG loader of the asset decoders (loadJpeg(*this, name)); until it is in,
    // the texture keeps its name and no image, exactly as after a failed load.
    (void)name;
}

JpegTexture::~JpegTexture() = default;

TgaTexture::TgaTexture(const char* name) {
    // Waiting for the Targa loader of the asset decoders (loadTga(*this, name)); until it is in,
    // the texture keeps its name and no image, exactly as after a failed load.
    (void)name;
}

TgaTexture::~TgaTexture() = default;

}  // namespace korvana
