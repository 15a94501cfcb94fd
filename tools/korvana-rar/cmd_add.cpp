// korvana-rar a: adds the given files and folders to an archive, or writes a new RAR 2.0 archive
// of them. The archive is always written under a temporary name and renamed once complete.
#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "commands.h"
#include "masks.h"
#include "packer/packer.h"
#include "password.h"
#include "progress.h"

namespace korvana::rartool {

namespace {

namespace fs = std::filesystem;

// The stored form of a path given on the command line: "\" separators, no root, no "." or ".."
// parts, so that no extractor can be led outside its target folder.
std::string storedName(const fs::path& path) {
    std::string name;
    for (const fs::path& part : path.lexically_normal().relative_path()) {
        const std::string p = part.string();
        if (p.empty() || p == "." || p == "..") continue;
        if (!name.empty()) name += '\\';
        name += p;
    }
    return name;
}

struct Gathered {
    fs::path archive;             // never packed into itself
    const Selection* selection = nullptr;  // -x: what is left out
    std::vector<PackInput> files;  // folders' entries too
    size_t folders = 0;
    std::set<std::string> names;  // stored names so far: the same path given twice is refused
    uint64_t bytes = 0;           // input sizes, for the progress
    unsigned links = 0;           // symbolic links met inside folders, left out
};

// The time and attributes of the file or folder at `path`: its mode on Unix, DOS attributes on
// Windows.
void setTimeAndMode(const fs::path& path, PackInput& in) {
    struct stat st {};
    if (::stat(path.string().c_str(), &st) != 0) return;
    in.dosTime = dosTimeFromUnix(st.st_mtime);
    const EntryAttributes a = attributesFromMode(static_cast<uint32_t>(st.st_mode), in.directory);
    in.hostOs = a.hostOs;
    in.attributes = a.attributes;
}

bool addFile(const fs::path& path, Gathered& out) {
    std::error_code ec;  // equivalent() is false, not an error we report, while the archive does not exist yet
    if (fs::equivalent(path, out.archive, ec)) return true;
    PackInput in;
    in.name = storedName(path);
    if (in.name.empty()) {
        std::fprintf(stderr, "korvana-rar: %s: no name to store it under\n", printable(path.string()).c_str());
        return false;
    }
    if (!out.names.insert(in.name).second) {
        std::fprintf(stderr, "korvana-rar: %s: given twice on the command line (stored as %s)\n",
                     printable(path.string()).c_str(), printable(in.name).c_str());
        return false;
    }
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        std::fprintf(stderr, "korvana-rar: %s: cannot read\n", printable(path.string()).c_str());
        return false;
    }
    if (size > 0x7FFFFFFFu) {
        std::fprintf(stderr, "korvana-rar: %s: too large for a RAR 2.0 entry (2 GiB or more)\n",
                     printable(path.string()).c_str());
        return false;
    }
    // Read when its entry is packed, so the inputs are never all in memory at once.
    in.path = path.string();
    out.bytes += size;
    setTimeAndMode(path, in);
    out.files.push_back(std::move(in));
    return true;
}

// A folder's own entry, before what it holds; none for a path that stores as nothing (".").
bool addFolder(const fs::path& path, Gathered& out) {
    PackInput in;
    in.name = storedName(path);
    if (in.name.empty()) return true;
    if (!out.names.insert(in.name).second) {
        std::fprintf(stderr, "korvana-rar: %s: given twice on the command line (stored as %s)\n",
                     printable(path.string()).c_str(), printable(in.name).c_str());
        return false;
    }
    in.directory = true;
    setTimeAndMode(path, in);
    out.files.push_back(std::move(in));
    ++out.folders;
    return true;
}

// Names that differ only in letter case or in "_" against a separator are all stored (the format
// and other extractors keep them apart); one warning per such group, as the show's lookup would
// only ever find the first.
void warnAboutNamesakes(const std::vector<PackInput>& files) {
    const auto sameForTheShow = [](const std::string& a, const std::string& b) {
        return compareArchiveName(a.c_str(), b.c_str()) < 0;
    };
    std::map<std::string, std::vector<std::string>, decltype(sameForTheShow)> groups(sameForTheShow);
    for (const PackInput& f : files) groups[f.name].push_back(f.name);
    for (const auto& [key, names] : groups) {
        if (names.size() < 2) continue;
        std::string list;
        for (const std::string& n : names) list += (list.empty() ? "" : ", ") + printable(n);
        std::fprintf(stderr,
                     "korvana-rar: warning: %s differ only in letter case or in \"_\" against \"\\\": all are "
                     "stored, but the show's lookup (which ignores case and takes \"_\" for a separator) would find "
                     "only the first\n",
                     list.c_str());
    }
}

bool gather(const fs::path& path, bool recurse, Gathered& out) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        std::fprintf(stderr, "korvana-rar: %s: no such file or folder\n", printable(path.string()).c_str());
        return false;
    }
    if (out.selection->excluded(storedName(path))) return true;
    if (fs::is_regular_file(status)) return addFile(path, out);
    if (!fs::is_directory(status)) {
        std::fprintf(stderr, "korvana-rar: %s: not a regular file\n", printable(path.string()).c_str());
        return false;
    }
    if (!recurse) {
        std::fprintf(stderr, "korvana-rar: %s: is a folder (add -r to pack what it holds)\n",
                     printable(path.string()).c_str());
        return false;
    }
    if (!addFolder(path, out)) return false;
    // Sorted, so that the same tree always gives the same archive.
    std::vector<fs::path> children;
    for (const auto& e : fs::directory_iterator(path, ec)) children.push_back(e.path());
    if (ec) {
        std::fprintf(stderr, "korvana-rar: %s: cannot read the folder\n", printable(path.string()).c_str());
        return false;
    }
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        if (fs::is_symlink(fs::symlink_status(child, ec))) {
            ++out.links;  // never followed out of the tree, and the format cannot hold a link
            continue;
        }
        if (!gather(child, recurse, out)) return false;
    }
    return true;
}

// -vSIZE: bytes, or with k/m/g (1024 multiples) or K/M/G (1000 multiples).
bool parseVolumeSize(const std::string& text, uint64_t& size) {
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (value > (uint64_t(1) << 40)) return false;
        value = value * 10 + uint64_t(text[digits] - '0');
        ++digits;
    }
    if (digits == 0 || text.size() > digits + 1) return false;
    if (text.size() == digits + 1) {
        const std::string units = "kmgKMG";
        const size_t unit = units.find(text[digits]);
        if (unit == std::string::npos) return false;
        const uint64_t base = unit < 3 ? 1024 : 1000;
        for (size_t i = 0; i <= unit % 3; ++i) value *= base;
    }
    size = value;
    return size >= 1024 && size <= (uint64_t(1) << 42);
}

}  // namespace

int cmdAdd(const CommandLine& line) {
    if (line.arguments.size() < 2) return usageError(line, "a needs an archive and at least one file");
    PackOptions opt;
    if (line.has('m')) {
        // Every -m given, in order ("-m5", "-mm", "-mm-"); the parser joins repeated values with
        // newlines.
        std::string values = line.value('m');
        bool levelSet = false, modeSet = false;
        size_t start = 0;
        while (start <= values.size()) {
            const size_t end = std::min(values.find('\n', start), values.size());
            const std::string v = values.substr(start, end - start);
            start = end + 1;
            if (v.size() == 1 && v[0] >= '0' && v[0] <= '5' && !levelSet) {
                opt.level = v[0] - '0';
                levelSet = true;
            } else if ((v == "m" || v == "m-") && !modeSet) {
                opt.multimedia = v == "m" ? PackOptions::Multimedia::On : PackOptions::Multimedia::Off;
                modeSet = true;
            } else {
                return usageError(line, "-m" + printable(v) + ": expected one of -m0..-m5 and one of -mm, -mm-");
            }
        }
    }
    opt.solid = line.has('s');
    if (!commandPassword(line, true, opt.password)) return EXIT_USAGE;
    if (!opt.password.empty())
        std::fprintf(stderr, "korvana-rar: note: RAR 2.0 encryption protects only against casual reading: its cipher "
                             "is weak by today's standards and attacks on it are published\n");
    const bool recurse = line.has('r');

    uint64_t volumeSize = 0;
    if (line.has('v') && !parseVolumeSize(line.value('v'), volumeSize))
        return usageError(line, "-v" + printable(line.value('v')) +
                                    ": expected a size of at least 1024 bytes, as -v1440k, -v700m or -v100000");
    const std::string& archive = line.arguments[0];
    std::error_code ec;
    const bool existing = fs::is_regular_file(archive, ec) && fs::file_size(archive, ec) > 0 && !ec;
    if (existing && volumeSize) {
        std::fprintf(stderr, "korvana-rar: %s: exists; a volume set is written whole, under a new name\n",
                     printable(archive).c_str());
        return EXIT_FAILED;
    }
    if (existing && !checkArchiveKind(archive)) return EXIT_FAILED;
    Gathered gathered;
    gathered.archive = archive;
    const Selection exclusions({}, line.value('x'));
    gathered.selection = &exclusions;
    for (size_t i = 1; i < line.arguments.size(); ++i) {
        if (!gather(line.arguments[i], recurse, gathered)) return EXIT_FAILED;
    }
    if (gathered.files.empty()) {
        std::fprintf(stderr, "korvana-rar: nothing to add: -x left out everything given\n");
        return EXIT_FAILED;
    }
    if (opt.solid || existing) {
        // A folder's entry between packed entries ends a solid stream (as extractors read it):
        // folders go first, so the files make one stream.
        std::stable_partition(gathered.files.begin(), gathered.files.end(),
                              [](const PackInput& f) { return f.directory; });
    }
    if (gathered.links > 0)
        std::fprintf(stderr, "korvana-rar: left out %u symbolic link%s: a RAR 2.0 archive cannot hold links\n",
                     gathered.links, gathered.links == 1 ? "" : "s");
    {
        // Entries kept from the archive count too; one replaced by a file of exactly its name does not.
        std::vector<PackInput> names;
        std::set<std::string> replacing;
        for (const PackInput& f : gathered.files) {
            std::string key = f.name;
            std::replace(key.begin(), key.end(), '/', '\\');
            replacing.insert(key);
        }
        ArchiveListing old;
        if (existing && archiveList(archive.c_str(), old))
            for (const ArchiveEntryInfo& block : old.blocks) {
                std::string key = block.name;
                std::replace(key.begin(), key.end(), '/', '\\');
                if (block.isFile() && !replacing.count(key)) names.push_back({block.name, {}});
            }
        for (const PackInput& f : gathered.files) names.push_back({f.name, {}});
        warnAboutNamesakes(names);
    }
    Progress progress(line.has('q'), gathered.bytes);
    opt.progress = [&progress](const std::string& name, uint64_t done) { progress.update(name, done, done); };
    std::string error;
    ArchiveChangeReport report;
    std::vector<std::string> volumes;
    bool written;
    if (existing) {
        ArchiveChange change;
        change.add = std::move(gathered.files);
        written = changeArchive(archive, change, opt, &report, &error);
        gathered.files = std::move(change.add);
    } else if (volumeSize) {
        written = writeVolumes(archive, gathered.files, opt, volumeSize, &volumes, &error);
        report.solid = opt.solid;
    } else {
        written = writeArchive(archive, gathered.files, opt, &error);
        report.solid = opt.solid;
    }
    progress.clear();
    if (!written) {
        std::fprintf(stderr, "korvana-rar: %s: %s\n", printable(archive).c_str(), error.c_str());
        return EXIT_FAILED;
    }
    printChangeReport(report);
    const uint64_t total = gathered.bytes;
    uintmax_t size = 0;
    for (const std::string& v : volumes) {
        const uintmax_t n = fs::file_size(v, ec);
        std::printf("Volume %s: %ju bytes\n", printable(v).c_str(), ec ? 0 : n);
        size += ec ? 0 : n;
    }
    if (volumes.empty()) size = fs::file_size(archive, ec);
    std::string kept;
    if (existing)
        kept = ", " + std::to_string(report.kept) + " kept" + (report.repacked ? " and packed again" : " as they were");
    if (!volumes.empty())
        kept = ", " + std::to_string(volumes.size()) + " volume" + (volumes.size() == 1 ? "" : "s");
    const size_t files = gathered.files.size() - gathered.folders;
    const std::string folders = gathered.folders == 0 ? std::string()
                                : " and " + std::to_string(gathered.folders) + (gathered.folders == 1 ? " folder" : " folders");
    std::printf("%s: %zu file%s%s added (%" PRIu64 " bytes)%s, archive now %ju bytes (-m%d%s%s%s)\n",
                printable(archive).c_str(), files, files == 1 ? "" : "s", folders.c_str(), total,
                kept.c_str(), ec ? 0 : size, opt.level, report.solid ? ", solid" : "",
                opt.password.empty() ? "" : ", encrypted",
                opt.multimedia == PackOptions::Multimedia::On    ? ", multimedia on"
                : opt.multimedia == PackOptions::Multimedia::Off ? ", multimedia off"
                                                                 : "");
    return EXIT_OK;
}

}  // namespace korvana::rartool
