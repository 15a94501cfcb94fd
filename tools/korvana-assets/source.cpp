#include <cstdlib>
#include <fstream>
#include <iterator>

#include "assets/asset_archive.h"
#include "reports.h"

namespace korvana::tools {

bool loadSource(const Source& source, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    if (source.archive.empty()) {
        std::ifstream in(source.file, std::ios::binary);
        if (!in) {
            error = "cannot open " + source.file;
            return false;
        }
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            error = "cannot read " + source.file;
            return false;
        }
        return true;
    }
    // Through the same call the show's loaders make, so the member name is matched as they match.
    setAssetArchivePath(source.archive.c_str());
    uint8_t* block = nullptr;
    uint32_t size = 0;
    const bool ok = extractAsset(source.file.c_str(), &block, &size);
    setAssetArchivePath(nullptr);
    if (!ok) {
        error = "cannot extract " + source.file + " from " + source.archive +
                " (missing entry, damaged archive or unreadable file)";
        return false;
    }
    bytes.assign(block, block + size);
    std::free(block);
    return true;
}

}  // namespace korvana::tools
