// Shared pieces of the archive benchmarks: the corpora (real text and binaries found on the
// machine, synthesized audio), a scratch folder, a clock, and other tools run as subprocesses.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "packer/packer.h"

namespace korvana::bench {

namespace fs = std::filesystem;

inline std::vector<uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& p, const std::vector<uint8_t>& data) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Regular files under `dir` whose name passes `keep`, in name order (the same set on every run).
template <typename Keep>
std::vector<fs::path> filesUnder(const fs::path& dir, Keep keep, bool recursive) {
    std::vector<fs::path> out;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    auto add = [&](const fs::directory_entry& e) {
        if (e.is_regular_file(ec) && !e.is_symlink(ec) && keep(e.path())) out.push_back(e.path());
    };
    if (recursive) {
        for (const auto& e : fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, ec)) add(e);
    } else {
        for (const auto& e : fs::directory_iterator(dir, ec)) add(e);
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline void appendFiles(std::vector<uint8_t>& out, const std::vector<fs::path>& files, size_t limit) {
    for (const auto& f : files) {
        if (out.size() >= limit) break;
        const std::vector<uint8_t> d = readFile(f);
        out.insert(out.end(), d.begin(), d.begin() + static_cast<std::ptrdiff_t>(std::min(d.size(), limit - out.size())));
    }
}

// Real English text: the vim manual, the licence texts, then plain documentation files.
inline std::vector<uint8_t> textCorpus(size_t limit) {
    std::vector<uint8_t> out;
    auto txt = [](const fs::path& p) { return p.extension() == ".txt"; };
    auto plain = [](const fs::path& p) { return p.extension() != ".gz" && p.extension() != ".html"; };
    appendFiles(out, filesUnder("/usr/share/vim/vim90/doc", txt, false), limit);
    appendFiles(out, filesUnder("/usr/share/common-licenses", plain, false), limit);
    appendFiles(out, filesUnder("/usr/share/doc", plain, true), limit);
    return out;
}

// Real machine code and data: the shared libraries of the system.
inline std::vector<uint8_t> binaryCorpus(size_t limit) {
    std::vector<uint8_t> out;
    auto so = [](const fs::path& p) { return p.filename().string().find(".so") != std::string::npos; };
    appendFiles(out, filesUnder("/usr/lib/x86_64-linux-gnu", so, false), limit);
    return out;
}

// 16-bit stereo music-like signal at 44.1 kHz: notes with harmonics and decaying envelopes, a
// little noise. Deterministic.
inline std::vector<uint8_t> audioCorpus(size_t bytes) {
    std::vector<uint8_t> out;
    out.reserve(bytes);
    std::mt19937 rng(12345);
    std::normal_distribution<double> noise(0.0, 30.0);
    const double notes[] = {220.0, 246.9, 261.6, 293.7, 329.6, 349.2, 392.0, 440.0};
    size_t frame = 0;
    while (out.size() + 4 <= bytes) {
        const size_t noteLen = 11025;  // quarter of a second
        const size_t n = frame / noteLen;
        const double f = notes[(n * 5 + n / 3) % 8];
        const double t = double(frame % noteLen) / 44100.0;
        const double env = std::exp(-3.0 * t);
        double s = 0;
        for (int h = 1; h <= 4; ++h) s += env * 5000.0 / h * std::sin(2 * M_PI * f * h * double(frame) / 44100.0);
        for (int c = 0; c < 2; ++c) {
            const int16_t x = static_cast<int16_t>(std::clamp(std::lround(s * (c ? 0.8 : 1.0) + noise(rng)), -32768L, 32767L));
            out.push_back(static_cast<uint8_t>(x & 0xFF));
            out.push_back(static_cast<uint8_t>((x >> 8) & 0xFF));
        }
        ++frame;
    }
    return out;
}

class Scratch {
public:
    Scratch() {
        std::string t = (fs::temp_directory_path() / "korvana-bench-XXXXXX").string();
        if (mkdtemp(t.data())) path_ = t;
    }
    ~Scratch() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU seconds of this process, and of its finished children: on a shared, loaded machine these
// say more about a program's speed than the wall clock.
inline double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
inline double cpuSelf() { return cpuSeconds(RUSAGE_SELF); }
inline double cpuChildren() { return cpuSeconds(RUSAGE_CHILDREN); }

// A size in MiB from the command line: the corpora are built in memory, so it is held to what
// this machine can take; anything else stops the benchmark with a usage line.
inline size_t megabytesArg(const char* text, const char* usage) {
    char* end = nullptr;
    const unsigned long mb = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || mb == 0 || mb > 1024) {
        std::fprintf(stderr, "%s\n", usage);
        std::exit(2);
    }
    return mb;
}

struct Timing {
    double wall = -1;
    double cpu = -1;
};

// Runs a shell command line; true when it exits with 0.
inline bool shell(const std::string& command) { return std::system(command.c_str()) == 0; }

inline bool haveTool(const std::string& name) { return shell("command -v " + name + " >/dev/null 2>&1"); }

// Best wall and CPU times of `runs` runs of a shell command (the shell's own share included,
// a few milliseconds), or negative values when it fails.
inline Timing timeShell(const std::string& command, int runs) {
    Timing best;
    for (int i = 0; i < runs; ++i) {
        const double t0 = now(), c0 = cpuChildren();
        if (!shell(command)) return Timing{};
        const double wall = now() - t0, cpu = cpuChildren() - c0;
        if (best.wall < 0 || wall < best.wall) best.wall = wall;
        if (best.cpu < 0 || cpu < best.cpu) best.cpu = cpu;
    }
    return best;
}

// Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "'" + std::string.
inline std::string quote(const fs::path& p) {
    std::string quoted(1, '\'');
    quoted += p.string();
    quoted += '\'';
    return quoted;
}

// Size of `data` compressed by an outside tool (e.g. "gzip -9"), or 0 when the tool is missing.
inline uint64_t toolSize(const std::string& tool, const std::vector<uint8_t>& data, const fs::path& scratch) {
    const fs::path raw = scratch / "tool-input.bin";
    const fs::path packed = scratch / "tool-output.bin";
    writeFile(raw, data);
    if (!shell(tool + " -c " + quote(raw) + " > " + quote(packed))) return 0;
    return fs::file_size(packed);
}

inline PackInput input(const std::string& name, std::vector<uint8_t> data) {
    PackInput in;
    in.name = name;
    in.data = std::move(data);
    in.dosTime = dosTimeFromUnix(0);
    return in;
}

// PackSize of the first entry of an archive built in memory.
inline uint32_t firstPackSize(const std::vector<uint8_t>& a) {
    return uint32_t(a[27]) | uint32_t(a[28]) << 8 | uint32_t(a[29]) << 16 | uint32_t(a[30]) << 24;
}

}  // namespace korvana::bench
