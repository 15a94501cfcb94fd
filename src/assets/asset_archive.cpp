#include "assets/asset_archive.h"

#include "archive/archive.h"

namespace korvana {
namespace {
std::string archivePath = ASSET_ARCHIVE_NAME;
}

void setAssetArchivePath(const char* path) {
    archivePath = (path && *path) ? path : ASSET_ARCHIVE_NAME;
}

const char* assetArchivePath() { return archivePath.c_str(); }

bool extractAsset(const char* name, uint8_t** data, uint32_t* size) {
    *data = nullptr;
    *size = 0;
    if (!name) return false;
    return archiveExtract(data, size, name, archivePath.c_str(), "") != 0;
}

}  // namespace korvana
