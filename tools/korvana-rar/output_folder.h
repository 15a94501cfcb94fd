// Where korvana-rar x puts files: below one folder and never outside it, never through a symbolic
// link, never over an existing file unless asked, and each file whole or not at all (written under
// a temporary name, then put in place). The tool's one place that writes to the file system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace korvana::rartool {

// What an extracted file or folder gets besides its bytes: its modification time and, for an entry
// written on Unix, its permission bits (never set-uid, set-gid or sticky).
struct EntryMeta {
    bool hasTime = false;  // false: the DOS time is not a date
    int64_t seconds = 0;   // Unix time
    uint32_t nanos = 0;
    bool hasMode = false;  // false: the entry's attributes are not Unix ones
    uint32_t mode = 0;
};
EntryMeta entryMeta(const ArchiveEntryInfo& entry);

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
    // Puts the started file in place with its time and mode (the mode less the umask, as tar
    // does for a user); an existing file is replaced only with `overwrite`.
    bool commit(const EntryMeta& meta, std::string& error);
    // Gives a folder below the output folder its time and mode: called once everything in it is
    // written, since both would change (or forbid) the writing.
    bool finishFolder(const std::vector<std::string>& components, const EntryMeta& meta, std::string& error);
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
