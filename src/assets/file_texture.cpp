// The file-backed textures. Each loading constructor hands itself to the decoder of its format.
#include "assets/file_texture.h"

#include "assets/texture_image.h"

namespace korvana {

FileTexture::~FileTexture() = default;

JpegTexture::JpegTexture(const char* name) { loadJpeg(*this, name); }

JpegTexture::~JpegTexture() = default;

TgaTexture::TgaTexture(const char* name) { loadTga(*this, name); }

TgaTexture::~TgaTexture() = default;

}  // namespace korvana
