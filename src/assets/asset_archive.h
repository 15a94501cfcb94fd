// Where meshes and images come from: members of one RAR archive, "megadata.rar" in the working
// directory unless the application (--data) or a tool (--archive) names another archive.
#pragma once

#include <cstdint>
#include <string>

namespace korvana {

inline constexpr const char* ASSET_ARCHIVE_NAME = "megadata.rar";

// The archive every asset load reads from; ASSET_ARCHIVE_NAME until set. Null or "" restores it.
void setAssetArchivePath(const char* path);
const char* assetArchivePath();

// Receives one line for a person each time an asset cannot be had for a new reason: the archive
// missing or unreadable (said once), or a member missing or damaged (said once per member). The
// show still plays without it; the line says why the picture lacks it. None is set by default.
using AssetProblemReporter = void (*)(const char* text);
void setAssetProblemReporter(AssetProblemReporter reporter);

// Extracts member `name` with the empty password into a malloc block of exactly `*size` bytes
// that the caller frees. False (and *data null) when the member cannot be had.
bool extractAsset(const char* name, uint8_t** data, uint32_t* size);

}  // namespace korvana
