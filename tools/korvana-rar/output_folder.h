// Where korvana-rar x puts files: below one folder and never outside it, never through a symbolic
// link, never over an existing file unless asked, and each file whole or not at all (written under
// a temporary name, then put in place). The tool's one place that writes to the file system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvana::rartool {

class OutputFolder {
public:
    OutputFolder() = default;
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // Uses (and creates, if missing) the folder at `path`.
    bool open(const std::string& path, std::string& error);
    // The folders of `components` below the output folder (an entry that is a folder).
    bool makeFolders(const std::vector<std::string>& components, std::string& error);
    // Starts the file at `components` (its folders are made): refused when a folder of that name
    // exists, or a file and not `overwrite`.
    bool startFile(const std::vector<std::string>& components, bool overwrite, std::string& error);
    // The next bytes of the started file.
    bool write(const uint8_t* data, size_t size, std::string& error);
    // Puts the started file in place; an existing file is replaced only with `overwrite`.
    bool commit(std::string& error);
    // Drops the started file, leaving nothing of it.
    void discard();

private:
#ifdef _WIN32
    std::string root_;       // the output folder's path
    std::string folder_;     // the started file's folder
    void* file_ = nullptr;   // the started file (a HANDLE), under its temporary name
#else
    int root_ = -1;
    int folder_ = -1;   // the started file's folder
    int file_ = -1;     // the started file, under its temporary name
#endif
    std::string temp_;  // that name
    std::string leaf_;  // its real name
    bool overwrite_ = false;
};

}  // namespace korvana::rartool
