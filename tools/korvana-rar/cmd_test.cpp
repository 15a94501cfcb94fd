// korvana-rar t: every file entry extracted in memory through archiveExtract, as the show would.
#include <cstdio>
#include <cstdlib>

#include "archive/debug_log.h"
#include "commands.h"

namespace korvana::rartool {

int cmdTest(const CommandLine& line) {
    if (line.arguments.size() != 1) return usageError(line, "t takes exactly one archive");
    const std::string& path = line.arguments[0];
    const std::string password = line.value('p');
    ArchiveListing listing;
    if (!archiveList(path.c_str(), listing)) {
        std::fprintf(stderr, "korvana-rar: %s: not a RAR 2.x archive the reader accepts, or unreadable\n",
                     path.c_str());
        return EXIT_FAILED;
    }
    unsigned tested = 0, failed = 0;
    std::vector<std::string> seen;
    for (const ArchiveEntryInfo& block : listing.blocks) {
        if (!block.isFile() || block.directory()) continue;
        // The reader finds the first entry of a name; a later namesake cannot be reached by name.
        bool duplicate = false;
        for (const std::string& earlier : seen)
            if (compareArchiveName(earlier.c_str(), block.name.c_str()) == 0) duplicate = true;
        seen.push_back(block.name);
        std::printf("Testing %-40s ", printable(block.name).c_str());
        if (duplicate) {
            std::printf("SKIPPED: an earlier entry has the same name\n");
            continue;
        }
        ++tested;
        startCollectingMessages();
        uint8_t* buffer = nullptr;
        uint32_t size = 0;
        const int ok = archiveExtract(&buffer, &size, block.name.c_str(), path.c_str(), password.c_str());
        setDebugLogListener(nullptr, nullptr);
        std::free(buffer);
        if (ok) {
            std::printf("OK\n");
        } else {
            ++failed;
            std::printf("FAILED: %s\n", printable(failureReason()).c_str());
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
