// The Windows side of korvana-rar x's output folder. Folders are named by path: components that
// Windows would read as something other than a file name (device names, alternate data streams,
// wildcards, trailing dots and blanks it drops) are refused, and no folder that is a link (a
// reparse point) is entered. Windows has no O_NOFOLLOW: between the check and the use of a folder,
// another program could still swap it for a link.
#include "output_folder.h"

#ifdef _WIN32

#include <windows.h>

#include <cctype>
#include <cstring>
#include <filesystem>

namespace korvana::rartool {

namespace {

bool windowsSafeComponent(const std::string& name) {
    if (name.empty()) return false;
    for (const unsigned char c : name)
        if (c < 32 || std::strchr("<>:\"|?*", c) != nullptr) return false;
    if (name.back() == ' ' || name.back() == '.') return false;
    std::string stem = name.substr(0, name.find('.'));
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : devices)
        if (stem == device) return false;
    return !((stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem.size() == 4 &&
             std::isdigit(static_cast<unsigned char>(stem[3])));
}

bool plainFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Walks (and creates) folders below `root` one component at a time, never into a link.
bool openFolders(const std::string& root, const std::vector<std::string>& folders, std::string& result,
                 std::string& error) {
    std::string current = root;
    for (const std::string& folder : folders) {
        if (!windowsSafeComponent(folder)) {
            error = "\"" + folder + "\" is not a name Windows can give a folder";
            return false;
        }
        current += "\\" + folder;
        if (!CreateDirectoryA(current.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            error = "can't create folder \"" + folder + "\"";
            return false;
        }
        if (!plainFolder(current)) {
            error = "\"" + folder + "\" is not a folder (or is a link)";
            return false;
        }
    }
    result = current;
    return true;
}

// The entry's time on an open file or folder (Unix time to the FILETIME count of 100 ns since 1601).
bool setTime(HANDLE handle, const EntryMeta& meta) {
    if (!meta.hasTime) return true;
    const int64_t ticks = (meta.seconds + 11644473600LL) * 10000000LL + meta.nanos / 100;
    if (ticks < 0) return true;
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(uint64_t(ticks));
    written.dwHighDateTime = static_cast<DWORD>(uint64_t(ticks) >> 32);
    return SetFileTime(handle, nullptr, nullptr, &written) != 0;
}

}  // namespace

OutputFolder::~OutputFolder() { discard(); }

bool OutputFolder::open(const std::string& path, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!plainFolder(path)) {
        error = "not a folder";
        return false;
    }
    root_ = path;
    return true;
}

bool OutputFolder::makeFolders(const std::vector<std::string>& components, std::string& error) {
    std::string folder;
    return openFolders(root_, components, folder, error);
}

bool OutputFolder::startFile(const std::vector<std::string>& components, bool overwrite, std::string& error) {
    discard();
    leaf_ = components.back();
    overwrite_ = overwrite;
    if (!windowsSafeComponent(leaf_)) {
        error = "not a name Windows can give a file";
        return false;
    }
    if (!openFolders(root_, std::vector<std::string>(components.begin(), components.end() - 1), folder_, error))
        return false;
    const DWORD attributes = GetFileAttributesA((folder_ + "\\" + leaf_).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            error = "a folder of that name exists";
            return false;
        }
        if (!overwrite) {
            error = "exists (use -y to overwrite)";
            return false;
        }
    }
    static unsigned counter = 0;
    temp_ = folder_ + "\\.korvana-rar-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) +
            ".tmp";
    const HANDLE file =
        CreateFileA(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "can't create a temporary file";
        temp_.clear();
        return false;
    }
    file_ = file;
    return true;
}

bool OutputFolder::write(const uint8_t* data, size_t size, std::string& error) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (!WriteFile(static_cast<HANDLE>(file_), data, chunk, &written, nullptr) || written == 0) {
            error = "write failed";
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool OutputFolder::commit(const EntryMeta& meta, std::string& error) {
    bool ok = setTime(static_cast<HANDLE>(file_), meta);
    if (!ok) error = "can't set its time";
    ok = CloseHandle(static_cast<HANDLE>(file_)) != 0 && ok;
    file_ = nullptr;
    if (!ok && error.empty()) error = "write failed";
    // Without MOVEFILE_REPLACE_EXISTING the move fails if the name appeared since it was checked.
    if (ok && !MoveFileExA(temp_.c_str(), (folder_ + "\\" + leaf_).c_str(), overwrite_ ? MOVEFILE_REPLACE_EXISTING : 0)) {
        ok = false;
        error = "can't put the file in place";
    }
    if (ok) temp_.clear();
    else discard();
    return ok;
}

bool OutputFolder::finishFolder(const std::vector<std::string>& components, const EntryMeta& meta,
                                std::string& error) {
    std::string folder;
    if (!openFolders(root_, components, folder, error)) return false;
    // Windows keeps no Unix permissions: a folder gets its time only.
    const HANDLE handle = CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "can't set its time";
        return false;
    }
    const bool ok = setTime(handle, meta);
    CloseHandle(handle);
    if (!ok) error = "can't set its time";
    return ok;
}

void OutputFolder::discard() {
    if (file_ != nullptr) CloseHandle(static_cast<HANDLE>(file_));
    file_ = nullptr;
    if (!temp_.empty()) DeleteFileA(temp_.c_str());
    temp_.clear();
}

}  // namespace korvana::rartool

#endif  // _WIN32
