// Files the platform, app and scene tests make for themselves: a short MP3 encoded by LAME (an
// independent encoder) and scratch folders that clean up after the test.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace korvana::test {

inline bool haveLame() { return std::system("command -v lame >/dev/null 2>&1") == 0; }

// `seconds` of a 440 Hz stereo tone at 44100 Hz as an MP3 made by the lame command.
inline bool makeMp3(const std::filesystem::path& mp3, double seconds = 1.0) {
    const std::filesystem::path raw = mp3.string() + ".raw";
    {
        std::ofstream out(raw, std::ios::binary);
        const int frames = static_cast<int>(44100 * seconds);
        for (int i = 0; i < frames; ++i) {
            const int16_t v = static_cast<int16_t>(6000.0 * std::sin(i * 2.0 * 3.14159265358979 * 440.0 / 44100.0));
            out.write(reinterpret_cast<const char*>(&v), 2);
            out.write(reinterpret_cast<const char*>(&v), 2);
        }
    }
    const std::string command = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m s '" +
                                raw.string() + "' '" + mp3.string() + "' 2>/dev/null";
    const bool ok = std::system(command.c_str()) == 0 && std::filesystem::file_size(mp3) > 0;
    std::filesystem::remove(raw);
    return ok;
}

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvana-test-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Changes the working directory for the lifetime of the object.
class WorkingDir {
public:
    explicit WorkingDir(const std::filesystem::path& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
    }
    WorkingDir(const WorkingDir&) = delete;
    WorkingDir& operator=(const WorkingDir&) = delete;

private:
    std::filesystem::path old_;
};

}  // namespace korvana::test
