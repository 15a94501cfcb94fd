// Helpers for the image tests: hand-built Targa files and images written by ImageMagick.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace korvana::test {

inline std::vector<uint8_t> tgaHeader(int width, int height, int depth, int imageType = 2,
                                      int colourMapType = 0, int idLength = 0,
                                      int descriptor = 0) {
    std::vector<uint8_t> h(18, 0);
    h[0] = static_cast<uint8_t>(idLength);
    h[1] = static_cast<uint8_t>(colourMapType);
    h[2] = static_cast<uint8_t>(imageType);
    h[12] = static_cast<uint8_t>(width & 0xFF);
    h[13] = static_cast<uint8_t>(width >> 8);
    h[14] = static_cast<uint8_t>(height & 0xFF);
    h[15] = static_cast<uint8_t>(height >> 8);
    h[16] = static_cast<uint8_t>(depth);
    h[17] = static_cast<uint8_t>(descriptor);
    return h;
}

inline std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A folder of its own for one test, removed at the end.
struct ScratchDir {
    std::filesystem::path path;
    explicit ScratchDir(const std::string& tag) {
        path = std::filesystem::temp_directory_path() /
               ("korvana-assets-" + tag + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

inline bool haveConvert() { return std::system("convert -version > /dev/null 2>&1") == 0; }

// Runs ImageMagick's convert with `arguments`; true on success.
inline bool runConvert(const std::string& arguments) {
    return std::system(("convert " + arguments + " > /dev/null 2>&1").c_str()) == 0;
}

// A binary PPM (P6) or, with alpha, a PAM (P7, RGB_ALPHA) of tightly packed pixels, top row first.
inline std::vector<uint8_t> netpbm(int width, int height, const std::vector<uint8_t>& pixels,
                                   bool alpha) {
    std::string head = alpha ? "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " +
                                   std::to_string(height) +
                                   "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                             : "P6\n" + std::to_string(width) + " " + std::to_string(height) +
                                   "\n255\n";
    std::vector<uint8_t> bytes(head.begin(), head.end());
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return bytes;
}

}  // namespace korvana::test
