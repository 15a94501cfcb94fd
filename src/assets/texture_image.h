// Texture images: the Targa decoder (ours) and the JPEG path (libjpeg-turbo through
// platform/jpeg_codec.h), and the two loaders that fill a Texture from an asset archive member.
// The texture's class picks the decoder; a file name's extension is never looked at. Every failure
// is silent and leaves the texture with its GL name and no image.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvana {

class Texture;
struct MemoryStream;

// Largest side either decoder accepts, whatever the file says: a bound on the pixel buffer a few
// header bytes can ask for (8192 x 8192 x 4 = 256 MiB). The loaders also refuse sides above the
// GL implementation's GL_MAX_TEXTURE_SIZE.
inline constexpr int32_t MAX_IMAGE_SIDE = 8192;

// A decoded picture: width x height pixels of `channels` bytes, tightly packed, R, G, B (, A).
struct DecodedImage {
    std::unique_ptr<uint8_t[]> pixels;  // null when refused
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    std::string refusal;  // why `pixels` is null; empty on success
};

// --- Targa (uncompressed true-colour or grey-scale, 24 or 32 bits, square) ---

// Reads pixelCount pixels of 24 or 32 bits at the stream's position and turns B, G, R (, A) into
// R, G, B (, A). Null for another depth, when the stream holds fewer bytes than asked, or when
// memory runs out.
std::unique_ptr<uint8_t[]> readTgaPixels(MemoryStream& stream, uint32_t pixelCount,
                                         int bitsPerPixel);

// The Targa checks and pixel read of loadTga on an open stream, without the upload. Rows stay in
// file order whatever the image descriptor says. maxSide: the largest side accepted.
DecodedImage decodeTga(MemoryStream& stream, int32_t maxSide = MAX_IMAGE_SIDE);

// Fills `texture` from Targa member `name` of the asset archive (RGBA for 32 bits, RGB for 24).
void loadTga(Texture& texture, const char* name);

// --- JPEG ---

// Decodes a whole JPEG: 3 channels (R, G, B) for colour, 1 for grey-scale, 4 for CMYK; rows top
// row first. width, height and channels are set as soon as the header is read, even when a later
// step fails. Null when the bytes are not a readable JPEG, a side is 0 or above maxSide, or memory
// runs out; `refusal` (when given) says which.
std::unique_ptr<uint8_t[]> decodeJpeg(int32_t& width, int32_t& height, int32_t& channels,
                                      const uint8_t* bytes, uint32_t byteCount,
                                      std::string* refusal = nullptr,
                                      int32_t maxSide = MAX_IMAGE_SIDE);

// Why a decoded JPEG is not uploaded (not square, not 3 channels), or null when it is.
const char* jpegUploadRefusal(int32_t width, int32_t height, int32_t channels);

// Fills `texture` from JPEG member `name` of the asset archive; only square colour images are
// uploaded (as RGB).
void loadJpeg(Texture& texture, const char* name);

}  // namespace korvana
