// korvana-rar p: the selected entries' bytes, one after the other, on stdout and nothing else
// there; every message goes to stderr. The CRC is checked as for x: a mismatch (found only once
// the bytes are out) is said, and the exit status is 1.
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "commands.h"
#include "masks.h"
#include "password.h"

namespace korvana::rartool {

namespace {

class Printer : public ArchiveVisitor {
public:
    explicit Printer(Selection& selection) : selection_(selection) {}

    bool begin(const ArchiveEntryInfo& entry) override {
        return !entry.directory() && selection_.take(entry.name);
    }
    bool data(const uint8_t* bytes, size_t count) override {
        return std::fwrite(bytes, 1, count, stdout) == count;
    }
    void end(const ArchiveEntryInfo& entry, bool ok, const std::string& reason) override {
        if (std::fflush(stdout) != 0) ok = false;
        if (ok) {
            ++done;
            return;
        }
        ++failed;
        std::fprintf(stderr, "korvana-rar: %s: FAILED: %s\n", printable(entry.name).c_str(),
                     reason.empty() ? "cannot write to standard output"
                                    : printable(entryFailure(entry, reason)).c_str());
    }

    unsigned done = 0, failed = 0;

private:
    Selection& selection_;
};

}  // namespace

int cmdPrint(const CommandLine& line) {
    if (line.arguments.empty()) return usageError(line, "p needs an archive");
    const std::string& archive = line.arguments[0];
    Selection selection({line.arguments.begin() + 1, line.arguments.end()}, line.value('x'));
    std::string password;
    if (!commandPassword(line, false, password)) return EXIT_USAGE;
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);  // the bytes as they are, no CR added before LF
#endif
    Printer printer(selection);
    ArchiveListing listing;
    const bool walked = walkArchive(archive, password, printer, listing);
    wipeSecret(password.data(), password.size());
    if (!walked) return EXIT_FAILED;
    unsigned failed = printer.failed;
    for (const std::string& name : selection.unmatched()) {
        std::fprintf(stderr, "korvana-rar: %s: FAILED: no such entry in the archive\n", printable(name).c_str());
        ++failed;
    }
    if (!listing.complete) std::fprintf(stderr, "korvana-rar: %s\n", brokenArchiveText(listing).c_str());
    return failed || !listing.complete ? EXIT_FAILED : EXIT_OK;
}

}  // namespace korvana::rartool
