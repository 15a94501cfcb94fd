// korvana-rar t: every file entry extracted in memory through archiveExtract, as the show would.
#include <cstdio>
#include <cstdlib>

#include "commands.h"

namespace korvana::rartool {

int cmdTest(const CommandLine& line) {
    if (line.arguments.size() != 1) return usageError(line, "t takes exactly one archive");
    const std::string& path = line.arguments[0];
    const std::string password = line.value('p');
    ArchiveListing listing;
    if (!listArchive(path, listing)) return EXIT_FAILED;
    unsigned tested = 0, failed = 0;
    SeenNames seen;
    for (const ArchiveEntryInfo& block : listing.blocks) {
        if (!block.isFile() || block.directory()) continue;
        std::printf("Testing %-40s ", printable(block.name).c_str());
        if (!seen.add(block.name)) {
            std::printf("SKIPPED: an earlier entry has the same name\n");
            continue;
        }
        ++tested;
        uint8_t* buffer = nullptr;
        uint32_t size = 0;
        std::string reason;
        const bool ok = extractEntry(path, block.name, password, buffer, size, reason);
        std::free(buffer);
        if (ok) {
            std::printf("OK\n");
        } else {
            ++failed;
            std::printf("FAILED: %s\n", printable(reason).c_str());
        }
    }
    bool broken = !listing.complete;
    if (broken) std::printf("The archive ends early or its block chain is broken.\n");
    if (failed == 0 && !broken) {
        std::printf("All OK (%u %s)\n", tested, tested == 1 ? "file" : "files");
        return EXIT_OK;
    }
    std::printf("%u of %u %s failed\n", failed, tested, tested == 1 ? "file" : "files");
    return EXIT_FAILED;
}

}  // namespace korvana::rartool
