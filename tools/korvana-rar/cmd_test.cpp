// korvana-rar t: every file entry decoded and checked in one pass over the archive, by position.
#include <cstdio>

#include "commands.h"
#include "masks.h"
#include "password.h"
#include "progress.h"

namespace korvana::rartool {

namespace {

class Tester : public ArchiveVisitor {
public:
    Tester(Selection& selection, Progress& progress) : selection_(selection), progress_(progress) {}

    bool begin(const ArchiveEntryInfo& entry) override {
        if (!selection_.take(entry.name) || entry.directory()) return false;
        position_.start(entry);
        return true;
    }
    bool data(const uint8_t*, size_t count) override {
        position_.advance(count);
        progress_.update(position_.name(), position_.archiveBytes(), position_.bytes());
        return true;
    }
    void end(const ArchiveEntryInfo& entry, bool ok, const std::string& reason) override {
        progress_.clear();
        ++tested;
        if (ok) {
            std::printf("Testing %-40s OK\n", printable(entry.name).c_str());
        } else {
            ++failed;
            std::printf("Testing %-40s FAILED: %s\n", printable(entry.name).c_str(),
                        printable(entryFailure(entry, reason)).c_str());
        }
    }

    unsigned tested = 0, failed = 0;

private:
    Selection& selection_;
    Progress& progress_;
    WalkPosition position_;
};

}  // namespace

int cmdTest(const CommandLine& line) {
    if (line.arguments.empty()) return usageError(line, "t needs an archive");
    const std::string& path = line.arguments[0];
    Selection selection({line.arguments.begin() + 1, line.arguments.end()}, line.value('x'));
    std::string password;
    if (!commandPassword(line, false, password)) return EXIT_USAGE;
    Progress progress(line.has('q'), archiveFileSize(path));
    Tester tester(selection, progress);
    ArchiveListing listing;
    const bool walked = walkArchive(path, password, tester, listing);
    wipeSecret(password.data(), password.size());
    if (!walked) return EXIT_FAILED;
    progress.clear();
    const bool broken = !listing.complete;
    if (broken) std::printf("%s\n", brokenArchiveText(listing).c_str());
    else if (listing.volumeSet) std::printf("%zu volumes read\n", listing.volumes.size());
    unsigned tested = tester.tested, failed = tester.failed;
    for (const std::string& name : selection.unmatched()) {
        std::printf("%-40s FAILED: no such entry in the archive\n", printable(name).c_str());
        ++failed;
        ++tested;
    }
    if (failed == 0 && !broken) {
        std::printf("All OK (%u %s)\n", tested, tested == 1 ? "file" : "files");
        return EXIT_OK;
    }
    std::printf("%u of %u %s failed\n", failed, tested, tested == 1 ? "file" : "files");
    return EXIT_FAILED;
}

}  // namespace korvana::rartool
