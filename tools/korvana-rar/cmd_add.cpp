// korvana-rar a: writes a new RAR 2.0 archive of the given files and folders (replacing any
// archive of that name only once the new one is complete).
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "commands.h"
#include "packer/packer.h"

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

bool readWhole(const fs::path& path, std::vector<uint8_t>& data, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot open";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        why = "cannot read";
        return false;
    }
    if (static_cast<uint64_t>(size) > 0x7FFFFFFFu) {
        why = "too large for a RAR 2.0 entry (2 GiB or more)";
        return false;
    }
    in.seekg(0);
    data.resize(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size)) {
        why = "read error";
        return false;
    }
    return true;
}

struct Gathered {
    fs::path archive;             // never packed into itself
    std::vector<PackInput> files;
    std::set<std::string> names;  // upper-cased, as readers match names case-blind
};

bool addFile(const fs::path& path, Gathered& out) {
    std::error_code ec;  // equivalent() is false, not an error we report, while the archive does not exist yet
    if (fs::equivalent(path, out.archive, ec)) return true;
    PackInput in;
    in.name = storedName(path);
    if (in.name.empty()) {
        std::fprintf(stderr, "korvana-rar: %s: no name to store it under\n", printable(path.string()).c_str());
        return false;
    }
    std::string key = in.name;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::toupper(c); });
    if (!out.names.insert(key).second) {
        std::fprintf(stderr, "korvana-rar: %s: given twice (as %s)\n", printable(path.string()).c_str(),
                     printable(in.name).c_str());
        return false;
    }
    std::string why;
    if (!readWhole(path, in.data, why)) {
        std::fprintf(stderr, "korvana-rar: %s: %s\n", printable(path.string()).c_str(), why.c_str());
        return false;
    }
    struct stat st {};
    if (::stat(path.string().c_str(), &st) == 0) {
        in.dosTime = dosTimeFromUnix(st.st_mtime);
        in.attributes = 0x20;                        // archive bit, as DOS sets it on new files
        if (!(st.st_mode & S_IWUSR)) in.attributes |= 0x01;  // read-only
    }
    out.files.push_back(std::move(in));
    return true;
}

bool gather(const fs::path& path, bool recurse, Gathered& out) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        std::fprintf(stderr, "korvana-rar: %s: no such file or folder\n", printable(path.string()).c_str());
        return false;
    }
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
    // Sorted, so that the same tree always gives the same archive.
    std::vector<fs::path> children;
    for (const auto& e : fs::directory_iterator(path, ec)) children.push_back(e.path());
    if (ec) {
        std::fprintf(stderr, "korvana-rar: %s: cannot read the folder\n", printable(path.string()).c_str());
        return false;
    }
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        if (fs::is_symlink(fs::symlink_status(child, ec))) continue;  // never follow links out of the tree
        if (!gather(child, recurse, out)) return false;
    }
    return true;
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
    opt.password = line.value('p');
    const bool recurse = line.has('r');

    const std::string& archive = line.arguments[0];
    Gathered gathered;
    gathered.archive = archive;
    for (size_t i = 1; i < line.arguments.size(); ++i) {
        if (!gather(line.arguments[i], recurse, gathered)) return EXIT_FAILED;
    }
    std::string error;
    if (!writeArchive(archive, gathered.files, opt, &error)) {
        std::fprintf(stderr, "korvana-rar: %s: %s\n", printable(archive).c_str(), error.c_str());
        return EXIT_FAILED;
    }
    uint64_t total = 0;
    for (const PackInput& f : gathered.files) total += f.data.size();
    std::error_code ec;
    const uintmax_t size = fs::file_size(archive, ec);
    std::printf("%s: %zu file%s, %" PRIu64 " bytes packed into %ju bytes (-m%d%s%s%s)\n", printable(archive).c_str(),
                gathered.files.size(), gathered.files.size() == 1 ? "" : "s", total, ec ? 0 : size, opt.level,
                opt.solid ? ", solid" : "", opt.password.empty() ? "" : ", encrypted",
                opt.multimedia == PackOptions::Multimedia::On    ? ", multimedia on"
                : opt.multimedia == PackOptions::Multimedia::Off ? ", multimedia off"
                                                                 : "");
    return EXIT_OK;
}

}  // namespace korvana::rartool
