// korvana-rar x: entries written under one folder, never outside it, each file whole or not at
// all, in one pass over the archive. Every entry that is not written is named with the reason, and
// the exit status says so.
#include <cstdio>
#include <set>

#include "archive/entry_path.h"
#include "commands.h"
#include "output_folder.h"
#include "progress.h"

namespace korvana::rartool {

namespace {

class Extractor : public ArchiveVisitor {
public:
    Extractor(OutputFolder& out, const std::vector<std::string>& wanted, bool overwrite, Progress& progress)
        : out_(out), wanted_(wanted), matched_(wanted.size(), false), overwrite_(overwrite), progress_(progress) {}

    bool begin(const ArchiveEntryInfo& entry) override {
        if (!selected(entry)) return false;
        std::vector<std::string> components;
        std::string error;
        if (!relativeComponents(entry.name, components)) {
            report(entry, false, "refused: the name would leave the output folder");
            return false;
        }
        if (entry.directory()) {
            report(entry, out_.makeFolders(components, error), error);
            return false;
        }
        std::string key;
        for (const std::string& c : components) key += "/" + c;
        if (!written_.insert(key).second) {
            report(entry, false, "an earlier entry has exactly this name (not overwritten)");
            return false;
        }
        if (!out_.startFile(components, overwrite_, error)) {
            report(entry, false, error);
            return false;
        }
        position_.start(entry);
        writeError_.clear();
        return true;
    }
    bool data(const uint8_t* bytes, size_t count) override {
        position_.advance(count);
        progress_.update(position_.name(), position_.archiveBytes(), position_.bytes());
        return out_.write(bytes, count, writeError_);
    }
    void end(const ArchiveEntryInfo& entry, bool ok, const std::string& reason) override {
        std::string error = reason.empty() ? writeError_ : ok ? reason : entryFailure(entry, reason);
        if (ok) {
            ok = out_.commit(error);
        } else {
            out_.discard();
        }
        report(entry, ok, error);
    }

    // The names asked for that no entry matched.
    std::vector<std::string> unmatched() const {
        std::vector<std::string> names;
        for (size_t i = 0; i < wanted_.size(); ++i)
            if (!matched_[i]) names.push_back(wanted_[i]);
        return names;
    }

    unsigned done = 0, failed = 0;

private:
    // Every entry when no names were given, else each entry whose name matches one of them.
    bool selected(const ArchiveEntryInfo& entry) {
        bool any = wanted_.empty();
        for (size_t i = 0; i < wanted_.size(); ++i) {
            if (compareArchiveName(wanted_[i].c_str(), entry.name.c_str()) == 0) {
                matched_[i] = true;
                any = true;
            }
        }
        return any;
    }
    void report(const ArchiveEntryInfo& entry, bool ok, const std::string& error) {
        progress_.clear();
        if (ok) {
            ++done;
            std::printf("Extracting %-40s OK\n", printable(entry.name).c_str());
        } else {
            ++failed;
            std::printf("Extracting %-40s FAILED: %s\n", printable(entry.name).c_str(), printable(error).c_str());
        }
    }

    OutputFolder& out_;
    const std::vector<std::string>& wanted_;
    std::vector<bool> matched_;
    const bool overwrite_;
    Progress& progress_;
    WalkPosition position_;
    std::set<std::string> written_;  // output paths of this run: a later namesake never replaces one
    std::string writeError_;
};

}  // namespace

int cmdExtract(const CommandLine& line) {
    if (line.arguments.empty()) return usageError(line, "x needs an archive");
    const std::string& archive = line.arguments[0];
    const std::string outDir = line.has('o') ? line.value('o') : ".";
    if (outDir.empty()) return usageError(line, "-o needs a folder");
    const std::vector<std::string> wanted(line.arguments.begin() + 1, line.arguments.end());

    OutputFolder out;
    std::string error;
    if (!out.open(outDir, error)) {
        std::fprintf(stderr, "korvana-rar: %s: can't use as output folder: %s\n", outDir.c_str(), error.c_str());
        return EXIT_FAILED;
    }
    Progress progress(line.has('q'), archiveFileSize(archive));
    Extractor extractor(out, wanted, line.has('y'), progress);
    ArchiveListing listing;
    if (!walkArchive(archive, line.value('p'), extractor, listing)) return EXIT_FAILED;
    progress.clear();
    unsigned failed = extractor.failed;
    for (const std::string& name : extractor.unmatched()) {
        std::printf("%-40s FAILED: no such entry in the archive\n", printable(name).c_str());
        ++failed;
    }
    const unsigned done = extractor.done;
    if (!listing.complete) std::printf("%s\n", brokenArchiveText(listing).c_str());
    if (failed) {
        std::printf("%u of %u %s not extracted\n", failed, failed + done, failed + done == 1 ? "entry" : "entries");
        return EXIT_FAILED;
    }
    if (!listing.complete) return EXIT_FAILED;
    std::printf("All OK (%u %s)\n", done, done == 1 ? "entry" : "entries");
    return EXIT_OK;
}

}  // namespace korvana::rartool
