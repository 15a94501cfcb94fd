// PNG files of the picture: screenshots and golden frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvana {

// Writes width x height RGBA pixels (top row first) as an 8-bit RGBA PNG. False with a reason in
// `error` when the file cannot be written or the sizes do not match the pixels.
bool writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgba,
              std::string* error = nullptr);

// Reads any PNG as 8-bit RGBA, top row first (for comparing frames with reference images).
bool readPng(const std::string& path, int32_t& width, int32_t& height, std::vector<uint8_t>& rgba,
             std::string* error = nullptr);

}  // namespace korvana
