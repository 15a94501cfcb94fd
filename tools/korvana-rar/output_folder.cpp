// The POSIX side of korvana-rar x's output folder (output_folder_win32.cpp is the Windows side).
#include "output_folder.h"

#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korvana::rartool {

namespace {

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Walks (and creates) folders below `root` one component at a time, never through a symbolic
// link, so an existing link inside the output folder cannot carry a file outside it. Returns the
// last folder's descriptor, or -1.
int openFolders(int root, const std::vector<std::string>& folders, std::string& error) {
    int current = ::dup(root);
    for (const std::string& folder : folders) {
        if (::mkdirat(current, folder.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "can't create folder \"" + folder + "\": " + std::strerror(errno);
            closeFd(current);
            return -1;
        }
        const int next = ::openat(current, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        closeFd(current);
        if (next < 0) {
            error = "\"" + folder + "\" is not a folder (or is a link)";
            return -1;
        }
        current = next;
    }
    return current;
}

// What comes off a stored mode: the umask for a user; nothing for root, who gets the modes as
// stored (as tar gives them to each).
mode_t currentUmask() {
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return ::geteuid() == 0 ? mode_t(0) : m;
    }();
    return mask;
}

// Time and mode of an open file or folder; false with the reason when either could not be set.
bool applyMeta(int fd, const EntryMeta& meta, std::string& error) {
    if (meta.hasMode && ::fchmod(fd, static_cast<mode_t>(meta.mode & 0777) & ~currentUmask()) != 0) {
        error = std::string("can't set its permissions: ") + std::strerror(errno);
        return false;
    }
    if (meta.hasTime) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(meta.seconds);
        times[1].tv_nsec = static_cast<long>(meta.nanos);
        if (::futimens(fd, times) != 0) {
            error = std::string("can't set its time: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace

OutputFolder::~OutputFolder() {
    discard();
    closeFd(root_);
}

bool OutputFolder::open(const std::string& path, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    root_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_ < 0) error = std::strerror(errno);
    return root_ >= 0;
}

bool OutputFolder::makeFolders(const std::vector<std::string>& components, std::string& error) {
    int folder = openFolders(root_, components, error);
    const bool ok = folder >= 0;
    closeFd(folder);
    return ok;
}

bool OutputFolder::startFile(const std::vector<std::string>& components, bool overwrite, std::string& error) {
    discard();
    leaf_ = components.back();
    overwrite_ = overwrite;
    folder_ = openFolders(root_, std::vector<std::string>(components.begin(), components.end() - 1), error);
    if (folder_ < 0) return false;
    struct stat info {};
    if (::fstatat(folder_, leaf_.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(info.st_mode)) error = "a folder of that name exists";
        else if (!overwrite) error = "exists (use -y to overwrite)";
        if (S_ISDIR(info.st_mode) || !overwrite) {
            closeFd(folder_);
            return false;
        }
    }
    static unsigned counter = 0;
    temp_ = ".korvana-rar-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
    file_ = ::openat(folder_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file_ < 0) {
        error = std::string("can't create a temporary file: ") + std::strerror(errno);
        closeFd(folder_);
        return false;
    }
    return true;
}

bool OutputFolder::write(const uint8_t* data, size_t size, std::string& error) {
    while (size > 0) {
        const ssize_t n = ::write(file_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::string("write failed: ") + std::strerror(errno);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFolder::commit(const EntryMeta& meta, std::string& error) {
    bool ok = applyMeta(file_, meta, error);
    ok = ::close(file_) == 0 && ok;
    file_ = -1;
    if (!ok && error.empty()) error = std::string("write failed: ") + std::strerror(errno);
    if (ok) {
        if (overwrite_) {
            ok = ::renameat(folder_, temp_.c_str(), folder_, leaf_.c_str()) == 0;
        } else {
            // Linking fails if the name appeared since it was checked: never overwrite by accident.
            ok = ::linkat(folder_, temp_.c_str(), folder_, leaf_.c_str(), 0) == 0;
            if (ok) ::unlinkat(folder_, temp_.c_str(), 0);
        }
        if (!ok) error = std::string("can't put the file in place: ") + std::strerror(errno);
    }
    if (ok) {
        temp_.clear();
        closeFd(folder_);
    } else {
        discard();
    }
    return ok;
}

bool OutputFolder::finishFolder(const std::vector<std::string>& components, const EntryMeta& meta,
                                std::string& error) {
    int folder = openFolders(root_, components, error);
    const bool ok = folder >= 0 && applyMeta(folder, meta, error);
    closeFd(folder);
    return ok;
}

void OutputFolder::discard() {
    closeFd(file_);
    if (folder_ >= 0 && !temp_.empty()) ::unlinkat(folder_, temp_.c_str(), 0);
    temp_.clear();
    closeFd(folder_);
}

}  // namespace korvana::rartool

#endif  // !_WIN32
