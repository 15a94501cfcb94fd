#include "assets/texture_image.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "assets/asset_archive.h"
#include "assets/memory_stream.h"
#include "platform/gl.h"
#include "platform/jpeg_codec.h"
#include "render/texture.h"

namespace korvana {
namespace {

constexpr int32_t TGA_HEADER_SIZE = 18;

DecodedImage refused(std::string reason) {
    DecodedImage image;
    image.refusal = std::move(reason);
    return image;
}

// A refusal that still tells what the header said.
DecodedImage refused(std::string reason, int32_t width, int32_t height, int32_t channels) {
    DecodedImage image = refused(std::move(reason));
    image.width = width;
    image.height = height;
    image.channels = channels;
    return image;
}

std::string sizeText(int64_t width, int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// The side limit of the current GL context, never above MAX_IMAGE_SIDE. An image GL cannot hold
// would be uploaded into nothing, so the loaders refuse it like any other bad image.
int32_t glSideLimit() {
    GLint glMax = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &glMax);
    if (glMax <= 0) return MAX_IMAGE_SIDE;
    return std::min<int32_t>(glMax, MAX_IMAGE_SIDE);
}

struct FreeBlock {
    void operator()(uint8_t* block) const { std::free(block); }
};

}  // namespace

std::unique_ptr<uint8_t[]> readTgaPixels(MemoryStream& stream, uint32_t pixelCount,
                                         int bitsPerPixel) {
    if (bitsPerPixel != 32 && bitsPerPixel != 24) return nullptr;
    const uint32_t bytesPerPixel = static_cast<uint32_t>(bitsPerPixel) / 8;
    // 64 bits: pixelCount x 4 overflows 32 for large headers, and the stream must really hold
    // the bytes before anything is allocated for them.
    const uint64_t byteCount = static_cast<uint64_t>(pixelCount) * bytesPerPixel;
    const int64_t available = static_cast<int64_t>(stream.size) - stream.position;
    if (byteCount > static_cast<uint64_t>(std::max<int64_t>(available, 0))) return nullptr;
    if (byteCount == 0) return nullptr;

    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[byteCount]);
    if (!pixels) return nullptr;
    if (read(pixels.get(), static_cast<int32_t>(byteCount), stream) !=
        static_cast<int32_t>(byteCount))
        return nullptr;
    for (uint64_t i = 0; i < byteCount; i += bytesPerPixel) std::swap(pixels[i], pixels[i + 2]);
    return pixels;
}

DecodedImage decodeTga(MemoryStream& stream, int32_t maxSide) {
    if (stream.size < TGA_HEADER_SIZE)
        return refused("shorter than the 18-byte Targa header (" + std::to_string(stream.size) +
                       " bytes)");
    uint8_t start[3] = {};
    seek(stream, 0, 0);
    read(start, 3, stream);
    seek(stream, 12, 0);
    uint8_t geometry[6] = {};
    read(geometry, 6, stream);
    const int colourMapType = start[1];
    const int imageType = start[2];
    const int32_t width = geometry[0] | (geometry[1] << 8);
    const int32_t height = geometry[2] | (geometry[3] << 8);
    const int depth = geometry[4];
    // Refusals still report what the header says (for the asset inspector).
    auto refuse = [&](std::string reason) {
        return refused(std::move(reason), width, height, depth / 8);
    };

    if (colourMapType != 0)
        return refuse("colour-mapped Targa (colour-map type " + std::to_string(colourMapType) +
                      ")");
    if (imageType != 2 && imageType != 3)
        return refuse("Targa image type " + std::to_string(imageType) +
                      " (only uncompressed true-colour 2 and grey-scale 3 are read)");
    if (width != height) return refuse("not square (" + sizeText(width, height) + ")");
    if (depth != 32 && depth != 24)
        return refuse("pixel depth " + std::to_string(depth) + " bits (only 24 and 32 are read)");
    if (width == 0) return refuse("empty image (0 x 0)");
    if (width > maxSide)
        return refuse("too large (" + sizeText(width, height) + ", largest side accepted " +
                      std::to_string(maxSide) + ")");

    // Pixels follow the fixed header directly: image-ID field and colour map are not skipped.
    const uint32_t pixelCount = static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
    const uint64_t needed = static_cast<uint64_t>(pixelCount) * (depth / 8);
    const int64_t available = static_cast<int64_t>(stream.size) - stream.position;
    if (needed > static_cast<uint64_t>(available))
        return refuse("pixel data truncated (" + std::to_string(needed) +
                      " bytes needed after the header, " + std::to_string(available) +
                      " present)");
    DecodedImage image = refused("", width, height, depth / 8);
    image.pixels = readTgaPixels(stream, pixelCount, depth);
    if (!image.pixels) return refuse("out of memory for the pixels");
    return image;
}

void loadTga(Texture& texture, const char* name) {
    std::unique_ptr<MemoryStream> stream = openArchiveStream(name);
    if (!stream) return;
    DecodedImage image = decodeTga(*stream, glSideLimit());
    stream.reset();
    if (!image.pixels) return;
    if (image.channels == 4)
        texture.uploadRgba(image.pixels.get(), image.width, image.height);
    else
        texture.uploadRgb(image.pixels.get(), image.width, image.height);
}

std::unique_ptr<uint8_t[]> decodeJpeg(int32_t& width, int32_t& height, int32_t& channels,
                                      const uint8_t* bytes, uint32_t byteCount,
                                      std::string* refusal, int32_t maxSide) {
    auto refuse = [&](std::string reason) {
        if (refusal) *refusal = std::move(reason);
        return std::unique_ptr<uint8_t[]>();
    };
    JpegInfo info;
    std::string error;
    if (!jpegReadHeader(bytes, byteCount, info, &error)) return refuse("not a readable JPEG: " + error);
    width = info.width;
    height = info.height;
    channels = info.channels;
    if (width > maxSide || height > maxSide)
        return refuse("too large (" + sizeText(width, height) + ", largest side accepted " +
                      std::to_string(maxSide) + ")");
    // Every 8 x 8 block of the full-resolution component costs at least one bit (its DC code), so
    // a file of N bytes holds at most 512 N pixels: a larger claim is refused before the pixels
    // are allocated.
    const uint64_t pixelCount = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (pixelCount > uint64_t{512} * byteCount)
        return refuse("claims " + sizeText(width, height) + " pixels, more than its " +
                      std::to_string(byteCount) + " bytes can hold");
    const uint64_t byteSize = pixelCount * static_cast<uint64_t>(channels);
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[byteSize]);
    if (!pixels) return refuse("out of memory for the pixels");
    if (!jpegDecode(bytes, byteCount, info, pixels.get(), &error))
        return refuse("JPEG data cannot be decoded: " + error);
    return pixels;
}

const char* jpegUploadRefusal(int32_t width, int32_t height, int32_t channels) {
    if (channels != 3) return channels == 1 ? "grey-scale JPEG (decoded, not uploaded)"
                                            : "not an RGB JPEG (decoded, not uploaded)";
    if (width != height) return "not square (decoded, not uploaded)";
    return nullptr;
}

void loadJpeg(Texture& texture, const char* name) {
    uint8_t* block = nullptr;
    uint32_t byteCount = 0;
    if (!extractAsset(name, &block, &byteCount)) return;
    std::unique_ptr<uint8_t, FreeBlock> bytes(block);
    int32_t width = 0, height = 0, channels = 0;
    std::unique_ptr<uint8_t[]> pixels =
        decodeJpeg(width, height, channels, bytes.get(), byteCount, nullptr, glSideLimit());
    bytes.reset();
    if (!pixels || jpegUploadRefusal(width, height, channels)) return;
    texture.uploadRgb(pixels.get(), width, height);
}

}  // namespace korvana
