// PNG through libpng's simplified API, which handles every colour type and bit depth on reading.
#include "platform/png_file.h"

#include <png.h>

namespace korvana {

namespace {
void setError(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
}
}  // namespace

bool writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgba,
              std::string* error) {
    if (width <= 0 || height <= 0 ||
        rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4u) {
        setError(error, "picture size does not match its pixels");
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) == 0) {
        setError(error, path + ": " + image.message);
        return false;
    }
    return true;
}

bool readPng(const std::string& path, int32_t& width, int32_t& height, std::vector<uint8_t>& rgba,
             std::string* error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        setError(error, path + ": " + image.message);
        return false;
    }
    // Refuse pictures no screen needs before allocating for them.
    if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384) {
        png_image_free(&image);
        setError(error, path + ": unreasonable picture size");
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) == 0) {
        setError(error, path + ": " + image.message);
        rgba.clear();
        return false;
    }
    width = static_cast<int32_t>(image.width);
    height = static_cast<int32_t>(image.height);
    return true;
}

}  // namespace korvana
