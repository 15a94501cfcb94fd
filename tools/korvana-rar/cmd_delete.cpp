// korvana-rar d: deletes entries from an archive, written anew under a temporary name and renamed
// once complete, so that a failure leaves the archive as it was.
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "masks.h"
#include "password.h"
#include "packer/packer.h"

namespace korvana::rartool {

int cmdDelete(const CommandLine& line) {
    if (line.arguments.size() < 2) return usageError(line, "d needs an archive and at least one entry name");
    const std::string& archive = line.arguments[0];
    if (!checkArchiveKind(archive)) return EXIT_FAILED;
    ArchiveListing listing;
    if (!listArchive(archive, listing)) return EXIT_FAILED;
    // Masks become the stored names they match; a name without wildcards goes as it is.
    ArchiveChange change;
    std::vector<std::string> masks;
    for (size_t i = 1; i < line.arguments.size(); ++i) {
        const std::string& name = line.arguments[i];
        if (name.find_first_of("*?") == std::string::npos) {
            change.remove.push_back(name);
        } else {
            masks.push_back(name);
        }
    }
    Selection selection(masks, "");
    for (const ArchiveEntryInfo& block : listing.blocks)
        if (block.isFile() && !masks.empty() && selection.take(block.name)) change.remove.push_back(block.name);
    unsigned unmatched = 0;
    for (const std::string& mask : selection.unmatched()) {
        std::printf("%-40s FAILED: no such entry in the archive\n", printable(mask).c_str());
        ++unmatched;
    }
    if (change.remove.empty()) return EXIT_FAILED;  // every mask said so above; nothing to change

    // A solid archive is packed again at the level its entries were packed with.
    PackOptions opt;
    opt.level = 0;
    for (const ArchiveEntryInfo& block : listing.blocks)
        if (block.isFile() && block.method > 0x30 && block.method <= 0x35) opt.level = std::max(opt.level, block.method - 0x30);
    if (opt.level == 0) opt.level = 3;
    if (!commandPassword(line, false, opt.password)) return EXIT_USAGE;

    ArchiveChangeReport report;
    std::string error;
    const bool written = changeArchive(archive, change, opt, &report, &error);
    wipeSecret(opt.password.data(), opt.password.size());
    for (size_t i = 0; i < change.remove.size(); ++i) {
        if (i < report.removeMatched.size() && report.removeMatched[i]) continue;
        std::printf("%-40s FAILED: no such entry in the archive\n", printable(change.remove[i]).c_str());
        ++unmatched;
    }
    if (!written) {
        std::fprintf(stderr, "korvana-rar: %s: %s\n", printable(archive).c_str(), error.c_str());
        return EXIT_FAILED;
    }
    printChangeReport(report);
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(archive, ec);
    std::printf("%s: %zu deleted, %zu kept%s, archive now %ju bytes\n", printable(archive).c_str(),
                report.removed.size(), report.kept, report.repacked ? " and packed again" : "", ec ? 0 : size);
    return unmatched ? EXIT_FAILED : EXIT_OK;
}

}  // namespace korvana::rartool
