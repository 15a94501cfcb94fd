// Pack speed per level (0 = store .. 5) on a mixed sample of real text, real binaries and
// synthesized audio, with the resulting sizes. MB/s of input, wall clock and CPU.
#include <cstring>

#include "bench_util.h"

using namespace korvana;
using namespace korvana::bench;

int main(int argc, char** argv) {
    size_t mb = 4;
    if (argc > 1) mb = megabytesArg(argv[1], "usage: bench_pack_speed [MiB of sample, 1..1024]");
    const size_t part = (mb << 20) / 3;
    std::vector<PackInput> files = {input("text.txt", textCorpus(part)), input("lib.bin", binaryCorpus(part)),
                                    input("music.raw", audioCorpus(part))};
    size_t total = 0;
    for (const auto& f : files) total += f.data.size();
    std::printf("mixed sample: %.1f MB (text, shared libraries, 16-bit stereo audio)\n", total / 1e6);
    for (int level = 0; level <= 5; ++level) {
        PackOptions opt;
        opt.level = level;
        std::vector<uint8_t> archive;
        std::string error;
        const double t0 = now(), c0 = cpuSelf();
        if (!buildArchive(files, opt, &archive, &error)) {
            std::fprintf(stderr, "packing failed: %s\n", error.c_str());
            return 1;
        }
        const double wall = now() - t0, cpu = cpuSelf() - c0;
        std::printf("  -m%d  %10zu bytes (%5.1f%%)  %7.2f MB/s wall  %7.2f MB/s CPU\n", level, archive.size(),
                    100.0 * archive.size() / double(total), total / 1e6 / wall, total / 1e6 / std::max(cpu, 1e-6));
    }
    return 0;
}
