// The show's two image decoders on the same arbitrary bytes, without GL: the Targa decoder over a
// memory stream and the JPEG path, called as the loaders call them but for the side limit.
#include "assets/memory_stream.h"
#include "assets/texture_image.h"
#include "fuzz_support.h"

using namespace korvana;
using fuzz::fail;

namespace {
// Below the loaders' limit so that a header asking for the largest picture stays quick; every
// check of the decoders still runs.
constexpr int32_t MAX_SIDE = 1024;
constexpr size_t TGA_HEADER_SIZE = 18;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (std::unique_ptr<MemoryStream> stream = openMemoryStream(data, size)) {
        const DecodedImage image = decodeTga(*stream, MAX_SIDE);
        if (image.pixels) {
            if (image.width != image.height || image.width <= 0 || image.width > MAX_SIDE)
                fail("Targa accepted with a side it should refuse");
            if (image.channels != 3 && image.channels != 4) fail("Targa accepted with a bad depth");
            // The pixels are the bytes after the header, B and R swapped.
            const size_t count = size_t(image.width) * size_t(image.height) * size_t(image.channels);
            if (TGA_HEADER_SIZE + count > size) fail("Targa pixels beyond the input");
            const uint8_t* source = data + TGA_HEADER_SIZE;
            for (size_t i = 0; i < count; i += size_t(image.channels)) {
                const uint8_t* p = image.pixels.get() + i;
                if (p[0] != source[i + 2] || p[1] != source[i + 1] || p[2] != source[i])
                    fail("Targa pixels differ from the file's");
            }
        } else if (image.refusal.empty()) {
            fail("Targa refused without a reason");
        }
    }

    int32_t width = 0, height = 0, channels = 0;
    std::string refusal;
    const std::unique_ptr<uint8_t[]> pixels =
        decodeJpeg(width, height, channels, data, static_cast<uint32_t>(size), &refusal, MAX_SIDE);
    if (pixels) {
        if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE)
            fail("JPEG accepted with a side it should refuse");
        if (channels != 1 && channels != 3 && channels != 4) fail("JPEG with a bad channel count");
    } else if (refusal.empty()) {
        fail("JPEG refused without a reason");
    }
    return 0;
}
