// Compressed sizes: the sample WAV against RAR 2.0's own figures, and real text and binary corpora
// beside gzip -9 (and xz -9 for scale).
#include <cinttypes>
#include <cstring>

#include "bench_util.h"

using namespace korvana;
using namespace korvana::bench;

namespace {

uint32_t packedSize(const std::vector<uint8_t>& data, int level, PackOptions::Multimedia mm, double* seconds) {
    PackOptions opt;
    opt.level = level;
    opt.multimedia = mm;
    opt.storeIncompressible = false;
    std::vector<uint8_t> a;
    std::string error;
    const double t0 = cpuSelf();
    if (!buildArchive({input("x", data)}, opt, &a, &error)) {
        std::fprintf(stderr, "packing failed: %s\n", error.c_str());
        std::exit(1);
    }
    if (seconds) *seconds = cpuSelf() - t0;
    return firstPackSize(a);
}

void corpusRow(const char* label, const std::vector<uint8_t>& data, const Scratch& scratch, const std::vector<int>& levels) {
    std::printf("\n%s corpus: %zu bytes\n", label, data.size());
    std::printf("  gzip -9            %10" PRIu64 "\n", toolSize("gzip -9", data, scratch.path()));
    std::printf("  xz -9              %10" PRIu64 "\n", toolSize("xz -9", data, scratch.path()));
    for (int level : levels) {
        double s = 0;
        const uint32_t size = packedSize(data, level, PackOptions::Multimedia::Auto, &s);
        std::printf("  korvana -m%d        %10u  (%.2f%% of input, packed at %.2f MB/s of CPU time)\n", level, size,
                    100.0 * size / double(data.size()), data.size() / 1e6 / std::max(s, 1e-6));
    }
}

}  // namespace

int main(int argc, char** argv) {
    size_t corpusBytes = 4u << 20;
    if (argc > 1) corpusBytes = megabytesArg(argv[1], "usage: bench_compression [MiB per corpus, 1..1024]") << 20;
    Scratch scratch;

    // The WAV of the shared test data, taken out with our reader.
    const std::string wavArchive = std::string(KORVANA_TESTDATA_DIR) + "/rar/wav-regular-v20.rar";
    uint8_t* buf = nullptr;
    uint32_t size = 0;
    if (archiveExtract(&buf, &size, "BoatModernEnglish.wav", wavArchive.c_str(), "") == 1) {
        std::vector<uint8_t> wav(buf, buf + size);
        std::free(buf);
        std::printf("BoatModernEnglish.wav: %zu bytes (packed size of the entry, headers excluded)\n", wav.size());
        std::printf("  RAR 2.0 LZ            42551\n  RAR 2.0 multimedia    27902\n");
        std::printf("  gzip -9          %8" PRIu64 "\n", toolSize("gzip -9", wav, scratch.path()));
        std::printf("  xz -9            %8" PRIu64 "\n", toolSize("xz -9", wav, scratch.path()));
        bool ok = true;
        for (int level = 1; level <= 5; ++level) {
            const uint32_t lz = packedSize(wav, level, PackOptions::Multimedia::Off, nullptr);
            const uint32_t autoMm = packedSize(wav, level, PackOptions::Multimedia::Auto, nullptr);
            std::printf("  korvana -m%d -mm-  %8u %s   korvana -m%d (auto)  %8u %s\n", level, lz, lz <= 42551 ? "ok  " : "OVER",
                        level, autoMm, autoMm <= 27902 ? "ok" : "OVER");
            if (level == 3) ok = lz <= 42551 && autoMm <= 27902;
        }
        std::printf("  default level (-m3) meets both RAR 2.0 sizes: %s\n", ok ? "yes" : "NO");
    } else {
        std::printf("the sample WAV is not available at %s\n", wavArchive.c_str());
    }

    corpusRow("Text (vim manual, licences, documentation)", textCorpus(corpusBytes), scratch, {1, 3, 5});
    corpusRow("Binary (system shared libraries)", binaryCorpus(corpusBytes), scratch, {1, 3, 5});
    return 0;
}
