#include <cstdio>
#include <limits>
#include <string>

#include "assets/memory_stream.h"
#include "assets/texture_image.h"
#include "reports.h"

namespace korvana::tools {
namespace {

bool powerOfTwo(int32_t side) { return side > 0 && (side & (side - 1)) == 0; }

const char* channelText(int32_t channels) {
    switch (channels) {
    case 1: return "grey";
    case 3: return "RGB";
    case 4: return "RGBA";
    default: return "?";
    }
}

void printVerdict(const Source& source, const char* format, const char* how, int32_t width,
                  int32_t height, int32_t channels, const std::string& refusal) {
    std::printf("%s: %s (%s)\n", source.file.c_str(), format, how);
    if (width > 0 || height > 0)
        std::printf("size: %d x %d\n", width, height);
    if (channels == 1 || channels == 3 || channels == 4)
        std::printf("channels: %d (%s)\n", channels, channelText(channels));
    if (!refusal.empty()) {
        std::printf("refused: %s\n", refusal.c_str());
        return;
    }
    std::printf("accepted: uploaded as %s %d x %d\n", channels == 4 ? "RGBA" : "RGB", width, height);
    // Not a refusal (the show does not check it), but OpenGL 1.1 wants power-of-two sides.
    if (!powerOfTwo(width))
        std::printf("note: side %d is not a power of two; OpenGL 1.1 implementations may refuse "
                    "the texture\n",
                    width);
    std::printf("note: the show also refuses sides above its GL's GL_MAX_TEXTURE_SIZE\n");
}

}  // namespace

int reportImage(const Source& source, ImageFormat format, bool formatGiven) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!loadSource(source, bytes, error)) {
        std::fprintf(stderr, "korvana-assets: %s\n", error.c_str());
        return 1;
    }
    const char* how = formatGiven ? "format given on the command line" : "format by the file name's extension";

    if (format == ImageFormat::Targa) {
        // The show's Targa path: a stream over the whole member, then the decoder.
        std::unique_ptr<MemoryStream> stream = openMemoryStream(bytes.data(), bytes.size());
        if (!stream) {
            printVerdict(source, "Targa", how, 0, 0, 0, "too large for a stream");
            return 1;
        }
        DecodedImage image = decodeTga(*stream);
        printVerdict(source, "Targa", how, image.width, image.height, image.channels, image.refusal);
        return image.pixels ? 0 : 1;
    }

    if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        printVerdict(source, "JPEG", how, 0, 0, 0, "too large for a member of the archive");
        return 1;
    }
    int32_t width = 0, height = 0, channels = 0;
    std::string refusal;
    auto pixels = decodeJpeg(width, height, channels, bytes.data(),
                             static_cast<uint32_t>(bytes.size()), &refusal);
    if (pixels) {
        const char* upload = jpegUploadRefusal(width, height, channels);
        if (upload) refusal = upload;
    }
    printVerdict(source, "JPEG", how, width, height, channels, refusal);
    return refusal.empty() ? 0 : 1;
}

}  // namespace korvana::tools
