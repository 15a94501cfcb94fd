#include "assets/asset_archive.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "archive/archive.h"

namespace korvana {
namespace {
std::string archivePath = ASSET_ARCHIVE_NAME;
AssetProblemReporter reporter = nullptr;
std::set<std::string> reported;  // what has been said already: each problem once per run

// "megadata.rar in /the/folder": the archive's own name and the folder it was looked for in.
std::string whereLooked() {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(archivePath, ec);
    if (ec) return archivePath;
    return path.filename().string() + " in " + path.parent_path().string();
}

void report(const std::string& key, const std::string& text) {
    if (!reported.insert(key).second) return;
    reporter(("korvana: " + text).c_str());
}

// Why `name` could not be had: the archive as a whole, or this one member.
void reportFailure(const char* name) {
    std::error_code ec;
    if (!std::filesystem::exists(archivePath, ec)) {
        report("", "no " + whereLooked() + ": the show plays without its meshes and images");
        return;
    }
    const ArchiveProbe probe = probeArchive(archivePath.c_str());
    if (probe.kind != ArchiveKind::Rar2) {
        const std::string what = probe.kind == ArchiveKind::Unreadable ? "cannot be read" : "is " + probe.what;
        report("", whereLooked() + " " + what + ": the show plays without its meshes and images");
        return;
    }
    ArchiveListing listing;
    if (!archiveList(archivePath.c_str(), listing)) {
        report("", whereLooked() + " cannot be read: the show plays without its meshes and images");
        return;
    }
    bool present = false;
    for (const ArchiveEntryInfo& block : listing.blocks)
        if (block.isFile() && !block.directory() && compareArchiveName(name, block.name.c_str()) == 0) present = true;
    if (present)
        report(std::string("member ") + name,
               std::string("\"") + name + "\" in " + whereLooked() + " is damaged or cannot be unpacked");
    else if (!listing.complete)
        report("", whereLooked() + " is damaged: the show plays without what cannot be read of it");
    else
        report(std::string("member ") + name, whereLooked() + " has no \"" + name + "\"");
}
}  // namespace

void setAssetArchivePath(const char* path) {
    archivePath = (path && *path) ? path : ASSET_ARCHIVE_NAME;
    reported.clear();
}

const char* assetArchivePath() { return archivePath.c_str(); }

void setAssetProblemReporter(AssetProblemReporter function) {
    reporter = function;
    reported.clear();
}

bool extractAsset(const char* name, uint8_t** data, uint32_t* size) {
    *data = nullptr;
    *size = 0;
    if (!name) return false;
    if (archiveExtract(data, size, name, archivePath.c_str(), "") != 0) return true;
    if (reporter) reportFailure(name);
    return false;
}

}  // namespace korvana
