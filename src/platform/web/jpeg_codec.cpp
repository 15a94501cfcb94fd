// JPEG through the browser's own decoder (page.js). The header is read here, so a picture's size
// is checked before the browser is asked to decode it; the browser gives every colour JPEG as
// R, G, B. The browser build has no tools, so it encodes no JPEGs.
#include "platform/jpeg_codec.h"

#include <emscripten.h>

namespace korvana {

namespace {

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

bool isStartOfFrame(uint8_t marker) {
    // SOF0-SOF15 less DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool fail(std::string* error, const char* reason) {
    if (error != nullptr) *error = reason;
    return false;
}

}  // namespace

// Decodes into rgba (width x height x 4) with the browser; 1 on success.
EM_ASYNC_JS(int, korvana_decode_image, (const uint8_t* bytes, size_t byteCount, int32_t width, int32_t height,
                                        uint8_t* rgba),
            { return await Module.korvana.decodeImage(bytes, byteCount, width, height, rgba); });

bool jpegReadHeader(const uint8_t* bytes, size_t byteCount, JpegInfo& info, std::string* error) {
    if (bytes == nullptr || byteCount < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return fail(error, "not a JPEG");
    size_t at = 2;
    while (at + 4 <= byteCount) {
        if (bytes[at] != 0xFF) return fail(error, "damaged JPEG: no marker where one belongs");
        const uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) break;
        const uint32_t length = be16(bytes + at + 2);
        if (length < 2 || at + 2 + length > byteCount) return fail(error, "damaged JPEG: a segment runs past the end");
        if (isStartOfFrame(marker)) {
            if (length < 8) return fail(error, "damaged JPEG: short frame header");
            const uint8_t* frame = bytes + at + 4;
            info.height = int(be16(frame + 1));
            info.width = int(be16(frame + 3));
            const int components = frame[5];
            if (info.width == 0 || info.height == 0) return fail(error, "JPEG without a size");
            if (components != 1 && components != 3 && components != 4)
                return fail(error, "JPEG with an unusual number of colour components");
            // The browser turns grey-scale and CMYK pictures into R, G, B as well.
            info.channels = 3;
            return true;
        }
        at += 2 + length;
    }
    return fail(error, "damaged JPEG: no frame header");
}

bool jpegDecode(const uint8_t* bytes, size_t byteCount, const JpegInfo& info, uint8_t* pixels, std::string* error) {
    if (info.width <= 0 || info.height <= 0 || info.channels != 3) return fail(error, "no JPEG header read");
    std::string rgba(size_t(info.width) * size_t(info.height) * 4u, '\0');
    auto* buffer = reinterpret_cast<uint8_t*>(rgba.data());
    if (!korvana_decode_image(bytes, byteCount, info.width, info.height, buffer))
        return fail(error, "the browser cannot decode this JPEG");
    const size_t count = size_t(info.width) * size_t(info.height);
    for (size_t i = 0; i < count; ++i) {
        pixels[i * 3 + 0] = buffer[i * 4 + 0];
        pixels[i * 3 + 1] = buffer[i * 4 + 1];
        pixels[i * 3 + 2] = buffer[i * 4 + 2];
    }
    return true;
}

std::vector<uint8_t> encodeJpeg(const uint8_t*, int, int, int) { return {}; }

}  // namespace korvana
