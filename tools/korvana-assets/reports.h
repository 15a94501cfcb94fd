// korvana-assets: the asset inspector. Reads meshes and images with the show's own code and says
// what the show would make of them. Each report returns the tool's exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvana::tools {

// Where a file comes from: a path on disk, or a member of a RAR archive read as the show reads it.
struct Source {
    std::string file;
    std::string archive;  // empty: `file` is a path on disk
};

// The file's bytes; false with a message in `error`.
bool loadSource(const Source& source, std::vector<uint8_t>& bytes, std::string& error);

// Every named object, or with `names` the entries load3ds would append. 0 when the file is a 3DS
// file (and, with names, every entry is an object), 1 otherwise.
int reportMesh(const Source& source, const std::vector<std::string>& names);

enum class ImageFormat { Unknown, Jpeg, Targa };

// How the show would load the image. 0 when it would be uploaded, 1 otherwise.
int reportImage(const Source& source, ImageFormat format, bool formatGiven);

}  // namespace korvana::tools
