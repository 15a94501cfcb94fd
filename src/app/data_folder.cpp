// Choosing the data folder.
#include "app/data_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korvana {

namespace {

// The installed content as seen from the running program; empty where the system does not say
// where the program is.
std::string dataFolderBesideProgram() {
    if (KORVANA_DATA_DIR_FROM_BINDIR[0] == '\0') return {};
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || program.empty()) return {};
    return (program.parent_path() / KORVANA_DATA_DIR_FROM_BINDIR).lexically_normal().string();
}

}  // namespace

std::vector<std::string> defaultDataFolders() {
    return {dataFolderBesideProgram(), KORVANA_CONTENT_DIR, KORVANA_INSTALLED_DATA_DIR};
}

bool enterDataFolder(const std::string& requested, const std::vector<std::string>& defaults, std::string& error) {
    namespace fs = std::filesystem;
    if (!requested.empty()) {
        std::error_code ec;
        if (!fs::is_directory(requested, ec)) {
            error = "data folder '" + requested + "' does not exist or is not a folder";
            return false;
        }
        if (chdir(requested.c_str()) != 0) {
            error = "cannot enter data folder '" + requested + "': " + std::strerror(errno);
            return false;
        }
        return true;
    }
    std::error_code ec;
    if (fs::exists("megadata.rar", ec) || fs::exists("ripped.mp3", ec)) return true;
    for (const std::string& folder : defaults) {
        if (folder.empty() || !fs::is_directory(folder, ec)) continue;
        if (chdir(folder.c_str()) == 0) return true;
    }
    return true;
}

}  // namespace korvana
