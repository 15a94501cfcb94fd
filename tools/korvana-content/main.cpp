// korvana-content: makes the show's default data, "megadata.rar" (meshes and images) and
// "ripped.mp3" (the soundtrack), in a folder. Same bytes on every run.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "content.h"
#include "packer/packer.h"
#include "soundtrack.h"

namespace fs = std::filesystem;
using namespace korvana;
using namespace korvana::content;

namespace {

constexpr int kMp3Kbps = 160;

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: korvana-content [--tree DIR] OUTDIR\n"
                 "       korvana-content --help | --version\n"
                 "Writes the default content of the show into OUTDIR: megadata.rar (meshes and\n"
                 "images) and ripped.mp3 (the soundtrack).\n"
                 "  --tree DIR  also write every member of the archive as a file under DIR\n"
                 "              (3ds/..., jpg/...), ready to edit and pack again with\n"
                 "              korvana-rar a -r\n");
}

// Through a temporary file and a rename, so a failure never leaves half a file behind.
bool writeFile(const fs::path& path, const std::vector<uint8_t>& bytes, std::string& error) {
    fs::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot create " + tmp.string();
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            error = "cannot write " + tmp.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) {
        error = "cannot rename " + tmp.string() + " to " + path.string() + ": " + ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Processor time of this process: on a busy machine the wall time says little about our own cost.
double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
    std::string outDir, treeDir;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("korvana-content %s\n", KORVANA_VERSION);
            return 0;
        }
        if (a == "--tree") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "korvana-content: --tree needs a folder\n");
                return 2;
            }
            treeDir = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "korvana-content: unknown option %s\n", a.c_str());
            usage(stderr);
            return 2;
        } else if (outDir.empty()) {
            outDir = a;
        } else {
            std::fprintf(stderr, "korvana-content: only one output folder, got %s and %s\n", outDir.c_str(), a.c_str());
            return 2;
        }
    }
    if (outDir.empty()) {
        usage(stderr);
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) {
        std::fprintf(stderr, "korvana-content: cannot create %s: %s\n", outDir.c_str(), ec.message().c_str());
        return 1;
    }

    // The soundtrack is independent of the rest and takes about as long: make it alongside.
    std::string musicError;
    std::vector<uint8_t> mp3;
    double tSynth = 0, tEncode = 0;
    std::thread music([&] {
        auto t0 = std::chrono::steady_clock::now();
        std::vector<int16_t> pcm = synthesizeTrack();
        tSynth = secondsSince(t0);
        t0 = std::chrono::steady_clock::now();
        mp3 = encodeMp3(pcm, kMp3Kbps, musicError);
        tEncode = secondsSince(t0);
    });

    std::string error;
    std::vector<Member> members;
    const bool membersMade = makeMembers(members, error);
    const double tMembers = secondsSince(start);

    bool archived = false;
    double tArchive = 0;
    const fs::path archivePath = fs::path(outDir) / "megadata.rar";
    if (membersMade) {
        std::vector<PackInput> inputs;
        for (const Member& m : members) {
            PackInput in;
            in.name = m.name;
            for (char& c : in.name)
                if (c == '/') c = '\\';  // RAR's own path separator
            in.data = m.data;
            in.dosTime = kMemberDosTime;
            in.level = m.pack ? 3 : 0;
            inputs.push_back(std::move(in));
        }
        PackOptions options;
        options.level = 3;
        options.solid = false;
        auto t0 = std::chrono::steady_clock::now();
        archived = writeArchive(archivePath.string(), inputs, options, &error);
        if (!archived) error = archivePath.string() + ": " + error;
        tArchive = secondsSince(t0);
    }
    music.join();
    if (!membersMade || !archived) {
        std::fprintf(stderr, "korvana-content: %s\n", error.c_str());
        return 1;
    }
    if (mp3.empty()) {
        std::fprintf(stderr, "korvana-content: %s\n", musicError.c_str());
        return 1;
    }
    const fs::path mp3Path = fs::path(outDir) / "ripped.mp3";
    if (!writeFile(mp3Path, mp3, error)) {
        std::fprintf(stderr, "korvana-content: %s\n", error.c_str());
        return 1;
    }

    if (!treeDir.empty()) {
        for (const Member& m : members) {
            fs::path p = fs::path(treeDir) / m.name;
            fs::create_directories(p.parent_path(), ec);
            if (ec || !writeFile(p, m.data, error)) {
                std::fprintf(stderr, "korvana-content: %s\n", ec ? (p.string() + ": " + ec.message()).c_str() : error.c_str());
                return 1;
            }
        }
    }

    std::printf("korvana-content: %s (%zu members, %ju bytes), %s (%.0f s, %zu bytes) in %.2f s, "
                "%.2f s of processor time (meshes and images %.2f s, archive %.2f s; alongside: synthesis %.2f s, "
                "MP3 %.2f s)\n",
                archivePath.c_str(), members.size(), static_cast<uintmax_t>(fs::file_size(archivePath, ec)),
                mp3Path.c_str(), kTrackSeconds, mp3.size(), secondsSince(start), cpuSeconds() - cpuStart,
                tMembers, tArchive, tSynth, tEncode);
    return 0;
}
