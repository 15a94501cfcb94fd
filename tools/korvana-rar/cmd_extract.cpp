// korvana-rar x: entries written under one folder, never outside it, each file whole or not at all.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "commands.h"
#include "entry_path.h"

namespace korvana::rartool {

namespace {

enum class EntryKind { None, Folder, Other };

#ifdef _WIN32
// Windows: folders are named by path. Components that Windows would read as something other than
// a file name (device names, alternate data streams, wildcards) are refused, and no folder that is
// a link (reparse point) is entered. Windows has no O_NOFOLLOW: between the check and the use of a
// folder, another program could still swap it for a link.
struct Folder {
    std::string path;
};

bool windowsSafeComponent(const std::string& name) {
    if (name.empty()) return false;
    for (const unsigned char c : name)
        if (c < 32 || std::strchr("<>:\"|?*", c) != nullptr) return false;
    if (name.back() == ' ' || name.back() == '.') return false;  // Windows drops these silently
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

bool openFolders(const Folder& root, const std::vector<std::string>& folders, Folder& result, std::string& error) {
    std::string current = root.path;
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
    result.path = current;
    return true;
}

bool writeFileAtomically(const Folder& folder, const std::string& leaf, const uint8_t* data, size_t size,
                         bool overwrite, std::string& error) {
    if (!windowsSafeComponent(leaf)) {
        error = "not a name Windows can give a file";
        return false;
    }
    static unsigned counter = 0;
    const std::string temp = folder.path + "\\.korvana-rar-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++counter) + ".tmp";
    const HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "can't create a temporary file";
        return false;
    }
    bool ok = true;
    while (ok && size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        ok = WriteFile(file, data, chunk, &written, nullptr) && written > 0;
        data += written;
        size -= written;
    }
    if (!CloseHandle(file)) ok = false;
    if (!ok) error = "write failed";
    // Without MOVEFILE_REPLACE_EXISTING the move fails if the name appeared since it was checked.
    if (ok && !MoveFileExA(temp.c_str(), (folder.path + "\\" + leaf).c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) {
        ok = false;
        error = "can't put the file in place";
    }
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}

EntryKind existingEntry(const Folder& folder, const std::string& leaf) {
    const DWORD attributes = GetFileAttributesA((folder.path + "\\" + leaf).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::None;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder : EntryKind::Other;
}

bool openRoot(const std::string& path, Folder& root, std::string& error) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ||
        (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "not a folder";
        return false;
    }
    root.path = path;
    return true;
}

#else
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }

private:
    int fd_;
};
using Folder = Fd;

// Walks (and creates) folders below `root` one component at a time, never through a symbolic
// link, so an existing link inside the output folder cannot carry a file outside it.
bool openFolders(const Folder& root, const std::vector<std::string>& folders, Folder& result, std::string& error) {
    Fd current(::dup(root.get()));
    for (const std::string& folder : folders) {
        if (::mkdirat(current.get(), folder.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "can't create folder \"" + folder + "\": " + std::strerror(errno);
            return false;
        }
        const int next = ::openat(current.get(), folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            error = "\"" + folder + "\" is not a folder (or is a link)";
            return false;
        }
        current.reset(next);
    }
    result.reset(::dup(current.get()));
    return true;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the bytes under a temporary name beside the target, then renames it into place, so a
// failure leaves nothing and a reader never sees half a file.
bool writeFileAtomically(const Folder& folderFd, const std::string& leaf, const uint8_t* data, size_t size,
                         bool overwrite, std::string& error) {
    const int folder = folderFd.get();
    static unsigned counter = 0;
    const std::string temp = ".korvana-rar-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
    const int fd = ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::string("can't create a temporary file: ") + std::strerror(errno);
        return false;
    }
    bool ok = writeAll(fd, data, size);
    if (!ok) error = std::string("write failed: ") + std::strerror(errno);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = std::string("write failed: ") + std::strerror(errno);
    }
    if (ok) {
        if (overwrite) {
            ok = ::renameat(folder, temp.c_str(), folder, leaf.c_str()) == 0;
        } else {
            // Linking fails if the name appeared since it was checked: never overwrite by accident.
            ok = ::linkat(folder, temp.c_str(), folder, leaf.c_str(), 0) == 0;
            if (ok) ::unlinkat(folder, temp.c_str(), 0);
        }
        if (!ok) error = std::string("can't put the file in place: ") + std::strerror(errno);
    }
    if (!ok) ::unlinkat(folder, temp.c_str(), 0);
    return ok;
}

// What is at `leaf` in the folder, never following a link there.
EntryKind existingEntry(const Folder& folder, const std::string& leaf) {
    struct stat info {};
    if (::fstatat(folder.get(), leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::None;
    return S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

bool openRoot(const std::string& path, Folder& root, std::string& error) {
    root.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.get() >= 0) return true;
    error = std::strerror(errno);
    return false;
}

#endif

bool extractOne(const std::string& archive, const ArchiveEntryInfo& entry, const std::string& password,
                const Folder& root, bool overwrite, std::string& error) {
    std::vector<std::string> components;
    if (!relativeComponents(entry.name, components)) {
        error = "refused: the name would leave the output folder";
        return false;
    }
    if (entry.directory()) {
        Folder folder;
        return openFolders(root, components, folder, error);
    }
    const std::string leaf = components.back();
    components.pop_back();
    Folder folder;
    if (!openFolders(root, components, folder, error)) return false;
    const EntryKind existing = existingEntry(folder, leaf);
    if (existing == EntryKind::Folder) {
        error = "a folder of that name exists";
        return false;
    }
    if (existing == EntryKind::Other && !overwrite) {
        error = "exists (use -y to overwrite)";
        return false;
    }
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    if (!extractEntry(archive, entry.name, password, buffer, size, error)) return false;
    const bool written = writeFileAtomically(folder, leaf, buffer, size, overwrite, error);
    std::free(buffer);
    return written;
}

}  // namespace

int cmdExtract(const CommandLine& line) {
    if (line.arguments.empty()) return usageError(line, "x needs an archive");
    const std::string& archive = line.arguments[0];
    const std::string password = line.value('p');
    const std::string outDir = line.has('o') ? line.value('o') : ".";
    const bool overwrite = line.has('y');
    if (outDir.empty()) return usageError(line, "-o needs a folder");

    ArchiveListing listing;
    if (!listArchive(archive, listing)) return EXIT_FAILED;
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    Folder root;
    std::string rootError;
    if (!openRoot(outDir, root, rootError)) {
        std::fprintf(stderr, "korvana-rar: %s: can't use as output folder: %s\n", outDir.c_str(), rootError.c_str());
        return EXIT_FAILED;
    }

    unsigned failed = 0, done = 0;
    std::vector<const ArchiveEntryInfo*> selected;
    if (line.arguments.size() == 1) {
        for (const ArchiveEntryInfo& block : listing.blocks)
            if (block.isFile()) selected.push_back(&block);
    } else {
        for (size_t i = 1; i < line.arguments.size(); ++i) {
            const ArchiveEntryInfo* match = nullptr;
            for (const ArchiveEntryInfo& block : listing.blocks) {
                if (block.isFile() && compareArchiveName(line.arguments[i].c_str(), block.name.c_str()) == 0) {
                    match = &block;
                    break;
                }
            }
            if (!match) {
                std::printf("%-40s FAILED: no such entry in the archive\n", printable(line.arguments[i]).c_str());
                ++failed;
            } else {
                selected.push_back(match);
            }
        }
    }
    SeenNames seen;
    for (const ArchiveEntryInfo* entry : selected) {
        std::printf("Extracting %-40s ", printable(entry->name).c_str());
        if (!seen.add(entry->name)) {
            std::printf("SKIPPED: an earlier entry has the same name\n");
            continue;
        }
        std::string error;
        if (extractOne(archive, *entry, password, root, overwrite, error)) {
            std::printf("OK\n");
            ++done;
        } else {
            std::printf("FAILED: %s\n", printable(error).c_str());
            ++failed;
        }
    }
    if (!listing.complete) {
        std::printf("The archive ends early or its block chain is broken.\n");
        return EXIT_FAILED;
    }
    if (failed) {
        std::printf("%u %s failed\n", failed, failed == 1 ? "entry" : "entries");
        return EXIT_FAILED;
    }
    std::printf("All OK (%u %s)\n", done, done == 1 ? "entry" : "entries");
    return EXIT_OK;
}

}  // namespace korvana::rartool
