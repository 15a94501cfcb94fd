// PNG files in the page's file system, encoded and decoded by the browser (page.js): the
// `?screenshot=` picture is written here and offered to the viewer from there.
#include "platform/png_file.h"

#include <emscripten.h>

namespace korvana {

EM_ASYNC_JS(int, korvana_write_png, (const char* path, int32_t width, int32_t height, const uint8_t* rgba),
            { return await Module.korvana.writePng(UTF8ToString(path), width, height, rgba); });
// The size of a PNG in the file system (0 x 0 when it is none), then its pixels.
EM_ASYNC_JS(int, korvana_png_size, (const char* path, int32_t* width, int32_t* height),
            { return await Module.korvana.pngSize(UTF8ToString(path), width, height); });
EM_ASYNC_JS(int, korvana_read_png, (const char* path, int32_t width, int32_t height, uint8_t* rgba), {
    const bytes = FS.readFile(UTF8ToString(path));
    const at = _malloc(bytes.length);
    HEAPU8.set(bytes, at);
    const ok = await Module.korvana.decodeImage(at, bytes.length, width, height, rgba);
    _free(at);
    return ok;
});

bool writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgba,
              std::string* error) {
    if (width <= 0 || height <= 0 || rgba.size() != size_t(width) * size_t(height) * 4u) {
        if (error != nullptr) *error = "the picture's size does not match its pixels";
        return false;
    }
    if (!korvana_write_png(path.c_str(), width, height, rgba.data())) {
        if (error != nullptr) *error = "the browser cannot write the PNG";
        return false;
    }
    return true;
}

bool readPng(const std::string& path, int32_t& width, int32_t& height, std::vector<uint8_t>& rgba,
             std::string* error) {
    if (!korvana_png_size(path.c_str(), &width, &height)) {
        if (error != nullptr) *error = "not a PNG the browser can read";
        return false;
    }
    rgba.resize(size_t(width) * size_t(height) * 4u);
    if (!korvana_read_png(path.c_str(), width, height, rgba.data())) {
        if (error != nullptr) *error = "not a PNG the browser can read";
        return false;
    }
    return true;
}

}  // namespace korvana
