// korvana-rar l: one line per block as the reader sees it, then the totals.
#include <cinttypes>
#include <cstdio>

#include "commands.h"
#include "masks.h"

namespace korvana::rartool {

namespace {

std::string ratio(uint64_t packed, uint64_t unpacked) {
    if (unpacked == 0) return "-";
    return std::to_string(packed * 100 / unpacked) + "%";
}

std::string methodName(uint8_t method) {
    // Formatted in place: GCC 12 at -O2 warns falsely (-Wrestrict) on "m" + std::to_string(...).
    char text[8];
    if (method >= 0x30 && method <= 0x35) {
        std::snprintf(text, sizeof text, "m%d", method - 0x30);
    } else {
        std::snprintf(text, sizeof text, "0x%02X", method);
    }
    return text;
}

std::string blockName(uint8_t type) {
    switch (type) {
    case 0x75: return "comment";
    case 0x76: return "extra info";
    case 0x77: return "sub-block";
    case 0x78: return "recovery record";
    case 0x7B: return "end of archive";
    default: return "block";
    }
}

}  // namespace

int cmdList(const CommandLine& line) {
    if (line.arguments.empty()) return usageError(line, "l needs an archive");
    const std::string& path = line.arguments[0];
    Selection selection({line.arguments.begin() + 1, line.arguments.end()}, line.value('x'));
    const bool everything = !selection.any() && line.value('x').empty();
    ArchiveListing listing;
    if (!listArchive(path, listing)) return EXIT_FAILED;
    std::printf("Archive %s%s%s\n\n", path.c_str(), listing.solidArchive ? " (solid)" : "",
                listing.volumeSet ? (", volume set of " + std::to_string(listing.volumes.size()) + " read").c_str() : "");
    std::printf("%-40s %10s %10s %6s %6s %4s  %s\n", "Name", "Size", "Packed", "Ratio", "Method", "Ver",
                "Marks");
    std::printf("%s\n", std::string(90, '-').c_str());
    uint64_t totalUnpacked = 0, totalPacked = 0;
    unsigned files = 0, folders = 0;
    for (const ArchiveEntryInfo& block : listing.blocks) {
        if (!block.isFile() && !everything) continue;  // a selection lists entries only
        if (block.isFile() && !selection.take(block.name)) continue;
        if (!block.isFile()) {
            char label[64];
            std::snprintf(label, sizeof label, "[%s, type 0x%02X]", blockName(block.headType).c_str(),
                          block.headType);
            std::printf("%-40s %10s %10" PRIu32 "\n", label, "-", block.dataSize);
            continue;
        }
        std::string marks;
        if (block.encrypted()) marks += "encrypted ";
        if (block.solid()) marks += "solid ";
        if (block.directory()) marks += "directory ";
        if (block.flags & 0x0008) marks += "commented ";
        if (!block.headerCrcOk) marks += "header-CRC-broken ";
        if (block.splitBefore()) marks += "continued ";
        if (block.splitAfter()) marks += "continues-in-next-volume ";
        if (!unsupportedEntryReason(block.unpVer, block.method).empty()) marks += "not-RAR-2.0-packing ";
        if (!marks.empty()) marks.pop_back();
        std::printf("%-40s %10" PRIu32 " %10" PRIu32 " %6s %6s %2u.%u%s%s\n", printable(block.name).c_str(),
                    block.unpSize, block.dataSize, ratio(block.dataSize, block.unpSize).c_str(),
                    methodName(block.method).c_str(), block.unpVer / 10, block.unpVer % 10,
                    marks.empty() ? "" : "  ", marks.c_str());
        totalPacked += block.dataSize;
        if (block.splitBefore()) continue;  // the same entry as the part before
        if (block.directory()) {
            ++folders;
            continue;
        }
        ++files;
        totalUnpacked += block.unpSize;
    }
    std::printf("%s\n", std::string(90, '-').c_str());
    std::printf("%-40s %10" PRIu64 " %10" PRIu64 " %6s\n",
                (std::to_string(files) + (files == 1 ? " file" : " files") +
                 (folders ? ", " + std::to_string(folders) + (folders == 1 ? " folder" : " folders") : ""))
                    .c_str(),
                totalUnpacked,
                totalPacked, ratio(totalPacked, totalUnpacked).c_str());
    if (listing.volumeSet)
        for (const std::string& v : listing.volumes) std::printf("Volume %s\n", printable(v).c_str());
    int status = EXIT_OK;
    for (const std::string& name : selection.unmatched()) {
        std::fprintf(stderr, "korvana-rar: %s: no such entry in the archive\n", printable(name).c_str());
        status = EXIT_FAILED;
    }
    if (!listing.complete) {
        std::fprintf(stderr, "korvana-rar: %s: %s\n", printable(path).c_str(), brokenArchiveText(listing).c_str());
        return EXIT_FAILED;
    }
    return status;
}

}  // namespace korvana::rartool
