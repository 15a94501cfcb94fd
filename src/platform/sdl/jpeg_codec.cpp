#include "platform/jpeg_codec.h"

#include <climits>
#include <memory>

#include <turbojpeg.h>

namespace korvana {
namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// TurboJPEG takes unsigned long sizes; anything larger than that cannot be a JPEG we read.
bool sizeFits(size_t byteCount) { return byteCount > 0 && byteCount <= ULONG_MAX; }

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string libraryError(void* handle) {
    const char* text = tjGetErrorStr2(handle);
    return text ? text : "unknown JPEG error";
}

// Null, with the reason in `error`, when the library cannot start a decoder.
Handle openDecoder(std::string* error) {
    Handle handle(tjInitDecompress());
    if (!handle) setError(error, "cannot start the JPEG decoder");
    return handle;
}

}  // namespace

bool jpegReadHeader(const uint8_t* bytes, size_t byteCount, JpegInfo& info, std::string* error) {
    info = JpegInfo{};
    if (!bytes || !sizeFits(byteCount)) {
        setError(error, "no JPEG data");
        return false;
    }
    Handle handle = openDecoder(error);
    if (!handle) return false;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle.get(), bytes, static_cast<unsigned long>(byteCount), &width,
                            &height, &subsampling, &colorspace) != 0) {
        setError(error, libraryError(handle.get()));
        return false;
    }
    if (width <= 0 || height <= 0) {
        setError(error, "JPEG header gives an empty picture");
        return false;
    }
    info.width = width;
    info.height = height;
    switch (colorspace) {
    case TJCS_GRAY: info.channels = 1; break;
    case TJCS_CMYK:
    case TJCS_YCCK: info.channels = 4; break;
    default: info.channels = 3; break;
    }
    return true;
}

bool jpegDecode(const uint8_t* bytes, size_t byteCount, const JpegInfo& info, uint8_t* pixels,
                std::string* error) {
    if (!bytes || !sizeFits(byteCount) || !pixels || info.width <= 0 || info.height <= 0) {
        setError(error, "no JPEG data");
        return false;
    }
    int format = TJPF_RGB;
    if (info.channels == 1)
        format = TJPF_GRAY;
    else if (info.channels == 4)
        format = TJPF_CMYK;
    else if (info.channels != 3) {
        setError(error, "unsupported channel count");
        return false;
    }
    Handle handle = openDecoder(error);
    if (!handle) return false;
    // Pitch 0: rows tightly packed. TJFLAG_STOPONWARNING makes corrupt data an error instead of a
    // half-grey picture that would be uploaded as if it were fine.
    if (tjDecompress2(handle.get(), bytes, static_cast<unsigned long>(byteCount), pixels, info.width,
                      0, info.height, format, TJFLAG_STOPONWARNING) != 0) {
        setError(error, libraryError(handle.get()));
        return false;
    }
    return true;
}

std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height, int quality) {
    if (!rgb || width <= 0 || height <= 0 || quality < 1 || quality > 100) return {};
    Handle handle(tjInitCompress());
    if (!handle) return {};
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (tjCompress2(handle.get(), rgb, width, 0, height, TJPF_RGB, &out, &outSize, TJSAMP_420,
                    quality, 0) != 0) {
        tjFree(out);
        return {};
    }
    std::vector<uint8_t> result(out, out + outSize);
    tjFree(out);
    return result;
}

}  // namespace korvana
