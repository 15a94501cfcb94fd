// korvana-rar x and e: entries written under one folder, never outside it, each file whole or not
// at all, in one pass over the archive, with their times and (for entries written on Unix) their
// permissions. x keeps the stored folders, e puts every file straight into the output folder.
// Every entry that is not written is named with the reason, and the exit status says so.
#include <algorithm>
#include <cstdio>
#include <set>

#include "archive/entry_path.h"
#include "commands.h"
#include "masks.h"
#include "output_folder.h"
#include "password.h"
#include "progress.h"

namespace korvana::rartool {

namespace {

class Extractor : public ArchiveVisitor {
public:
    Extractor(OutputFolder& out, Selection& selection, bool flat, bool overwrite, Progress& progress)
        : out_(out), selection_(selection), flat_(flat), overwrite_(overwrite), progress_(progress) {}

    bool begin(const ArchiveEntryInfo& entry) override {
        if (!selection_.take(entry.name)) return false;
        std::vector<std::string> components;
        std::string error;
        if (!relativeComponents(entry.name, components)) {
            report(entry, false, "refused: the name would leave the output folder");
            return false;
        }
        if (entry.directory()) {
            if (flat_) return false;  // e writes no folders
            const bool ok = out_.makeFolders(components, error);
            if (ok) folders_.push_back({components, entryMeta(entry)});
            report(entry, ok, error);
            return false;
        }
        if (flat_) components.erase(components.begin(), components.end() - 1);
        std::string key;
        for (const std::string& c : components) key += "/" + c;
        const bool again = !written_.insert(key).second;
        if (again && (!flat_ || !overwrite_)) {
            report(entry, false,
                   flat_ ? "an earlier entry has the same file name (use -y to overwrite it)"
                         : "an earlier entry has exactly this name (not overwritten)");
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
            ok = out_.commit(entryMeta(entry), error);
        } else {
            out_.discard();
        }
        report(entry, ok, error);
    }

    // Folders get their times and modes last, deepest first, once nothing more goes into them.
    void finishFolders() {
        std::stable_sort(folders_.begin(), folders_.end(),
                         [](const Folder& a, const Folder& b) { return a.components.size() > b.components.size(); });
        for (const Folder& f : folders_) {
            std::string error;
            if (!out_.finishFolder(f.components, f.meta, error)) {
                std::string name;
                for (const std::string& c : f.components) name += (name.empty() ? "" : "/") + c;
                std::printf("Folder     %-40s FAILED: %s\n", printable(name).c_str(), printable(error).c_str());
                ++failed;
            }
        }
    }

    unsigned done = 0, failed = 0;

private:
    struct Folder {
        std::vector<std::string> components;
        EntryMeta meta;
    };
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
    Selection& selection_;
    const bool flat_;
    const bool overwrite_;
    Progress& progress_;
    WalkPosition position_;
    std::set<std::string> written_;  // output paths of this run: a later namesake never replaces one
    std::vector<Folder> folders_;
    std::string writeError_;
};

}  // namespace

int cmdExtract(const CommandLine& line) {
    const bool flat = line.command == "e";
    if (line.arguments.empty()) return usageError(line, line.command + " needs an archive");
    const std::string& archive = line.arguments[0];
    const std::string outDir = line.has('o') ? line.value('o') : ".";
    if (outDir.empty()) return usageError(line, "-o needs a folder");
    Selection selection({line.arguments.begin() + 1, line.arguments.end()}, line.value('x'));
    std::string password;
    if (!commandPassword(line, false, password)) return EXIT_USAGE;

    OutputFolder out;
    std::string error;
    if (!out.open(outDir, error)) {
        std::fprintf(stderr, "korvana-rar: %s: can't use as output folder: %s\n", outDir.c_str(), error.c_str());
        return EXIT_FAILED;
    }
    Progress progress(line.has('q'), archiveFileSize(archive));
    Extractor extractor(out, selection, flat, line.has('y'), progress);
    ArchiveListing listing;
    const bool walked = walkArchive(archive, password, extractor, listing);
    wipeSecret(password.data(), password.size());
    if (!walked) return EXIT_FAILED;
    progress.clear();
    extractor.finishFolders();
    unsigned failed = extractor.failed;
    for (const std::string& name : selection.unmatched()) {
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
