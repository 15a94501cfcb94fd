// Decode speed of archiveExtract on large packed entries (text-like, binary-like, 16-bit audio in
// multimedia mode), beside gzip -dc on the same bytes packed by gzip -9 and unar on our archive.
// Figures are MB/s of unpacked output; wall-clock and CPU time both, as the machine may be shared.
#include <cstring>

#include "bench_util.h"

using namespace korvana;
using namespace korvana::bench;

namespace {

struct Row {
    const char* label;
    std::vector<uint8_t> data;
    PackOptions::Multimedia mm;
};

void printRate(const char* who, size_t bytes, const Timing& t) {
    if (t.wall < 0) {
        std::printf("    %-16s failed or not installed\n", who);
        return;
    }
    std::printf("    %-16s %8.1f MB/s wall  %8.1f MB/s CPU\n", who, bytes / 1e6 / t.wall, bytes / 1e6 / std::max(t.cpu, 1e-6));
}

}  // namespace

int main(int argc, char** argv) {
    size_t mb = 24;
    if (argc > 1) mb = megabytesArg(argv[1], "usage: bench_decode_speed [MiB per corpus, 1..1024 [level]]");
    const int level = argc > 2 ? std::atoi(argv[2]) : 3;  // buildArchive refuses levels outside 0..5
    const size_t bytes = mb << 20;
    Scratch scratch;
    std::vector<Row> rows;
    rows.push_back({"text-like (real documentation)", textCorpus(bytes), PackOptions::Multimedia::Off});
    rows.push_back({"binary-like (shared libraries)", binaryCorpus(bytes), PackOptions::Multimedia::Off});
    rows.push_back({"16-bit stereo audio (multimedia)", audioCorpus(bytes), PackOptions::Multimedia::On});
    const bool haveUnar = haveTool("unar"), haveGzip = haveTool("gzip");

    for (Row& row : rows) {
        std::printf("%s: %.1f MB\n", row.label, row.data.size() / 1e6);
        const fs::path archive = scratch.path() / "speed.rar";
        PackOptions opt;
        opt.level = level;
        opt.multimedia = row.mm;
        std::string error;
        const double p0 = now(), c0 = cpuSelf();
        if (!writeArchive(archive.string(), {input("data.bin", row.data)}, opt, &error)) {
            std::fprintf(stderr, "packing failed: %s\n", error.c_str());
            return 1;
        }
        const double packWall = now() - p0, packCpu = cpuSelf() - c0;
        std::printf("    packed -m%d to %ju bytes (%.1f MB/s wall, %.1f MB/s CPU)\n", level,
                    static_cast<uintmax_t>(fs::file_size(archive)), row.data.size() / 1e6 / packWall,
                    row.data.size() / 1e6 / packCpu);

        Timing ours;
        bool ok = true;
        for (int run = 0; run < 3; ++run) {
            uint8_t* out = nullptr;
            uint32_t size = 0;
            const double t0 = now(), u0 = cpuSelf();
            const int r = archiveExtract(&out, &size, "data.bin", archive.string().c_str(), "");
            const double wall = now() - t0, cpu = cpuSelf() - u0;
            ok = ok && r == 1 && size == row.data.size() && std::memcmp(out, row.data.data(), size) == 0;
            std::free(out);
            if (ours.wall < 0 || wall < ours.wall) ours.wall = wall;
            if (ours.cpu < 0 || cpu < ours.cpu) ours.cpu = cpu;
        }
        if (!ok) std::printf("    archiveExtract FAILED to reproduce the data\n");
        printRate("archiveExtract", row.data.size(), ok ? ours : Timing{});

        if (haveGzip) {
            const fs::path raw = scratch.path() / "raw.bin";
            writeFile(raw, row.data);
            shell("gzip -9 -c " + quote(raw) + " > " + quote(scratch.path() / "raw.gz"));
            std::printf("    (gzip -9: %ju bytes)\n", static_cast<uintmax_t>(fs::file_size(scratch.path() / "raw.gz")));
            printRate("gzip -dc", row.data.size(), timeShell("gzip -dc " + quote(scratch.path() / "raw.gz") + " > /dev/null", 3));
            fs::remove(raw);
        }
        if (haveUnar) {
            printRate("unar", row.data.size(),
                      timeShell("unar -q -o - " + quote(archive) + " > /dev/null 2>&1", 2));
        }
    }
    return 0;
}
