// What the fuzz targets share: a cursor that draws choices out of the input, the one reusable
// in-memory file that archive bytes reach the reader through (it opens archives by name), and a
// failure report that stops the run.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace korvana::fuzz {

// Reads choices from the front of the input; past its end every read gives 0 / nothing.
class InputCursor {
public:
    InputCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t u16() {
        const uint16_t low = byte();
        return static_cast<uint16_t>(low | (byte() << 8));
    }
    // Up to `count` bytes (fewer when the input ends first).
    std::string bytes(size_t count) {
        if (count > size_ - at_) count = size_ - at_;
        std::string out(reinterpret_cast<const char*>(data_ + at_), count);
        at_ += count;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz target: %s\n", what);
    std::abort();
}

// One memfd for the whole process, rewritten in place for every input and opened by the reader
// through its /proc path: no file system traffic and no new file per input.
class MemoryFile {
public:
    MemoryFile() {
        fd_ = memfd_create("korvana-fuzz", 0);
        if (fd_ < 0) fail("memfd_create failed");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Replaces the file's contents; returns the path to open it by.
    const char* write(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0) fail("ftruncate failed");
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) fail("pwrite failed");
            done += static_cast<size_t>(n);
        }
        return path_.c_str();
    }

private:
    int fd_ = -1;
    std::string path_;
};

// A folder of this process's own under the temporary folder, for what must be real files with
// names (volume sets, archives changed through a temporary file and a rename); removed at exit.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = "/tmp/korvana-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) fail("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes a whole file under the folder; returns its path.
    std::string write(const std::string& name, const uint8_t* data, size_t size) const {
        const std::string path = file(name);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) fail("cannot write a scratch file");
        const bool ok = std::fwrite(data, 1, size, out) == size;
        if (std::fclose(out) != 0 || !ok) fail("cannot write a scratch file");
        return path;
    }

private:
    std::string path_;
};

}  // namespace korvana::fuzz
