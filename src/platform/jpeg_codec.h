// JPEG through the system's codec (libjpeg-turbo's TurboJPEG API on Linux, the Windows Imaging
// Component on Windows). Decoding gives tightly packed 8-bit rows, top row first; encoding serves
// the content tool and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvana {

// What a JPEG's header says about the decoded picture. `channels` is 3 for colour (decoded as
// R, G, B), 1 for grey-scale, 4 for CMYK/YCCK pictures (decoded as C, M, Y, K).
struct JpegInfo {
    int width = 0;
    int height = 0;
    int channels = 0;
};

// Reads the header only. False with a reason in `error` (when given) for bytes that are not a
// JPEG the library can read.
bool jpegReadHeader(const uint8_t* bytes, size_t byteCount, JpegInfo& info, std::string* error);

// Decodes the whole picture into `pixels`, which holds width x height x channels bytes for the
// `info` that jpegReadHeader gave for the same bytes. False with a reason on a decoding error.
bool jpegDecode(const uint8_t* bytes, size_t byteCount, const JpegInfo& info, uint8_t* pixels,
                std::string* error);

// Encodes tightly packed R, G, B rows (top row first) as a baseline JPEG with 4:2:0 chroma
// subsampling. Empty on failure (bad size or quality outside 1..100).
std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height, int quality);

}  // namespace korvana
