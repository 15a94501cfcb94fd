// korvana-rar as a person meets it: whole processes, timed from start to exit, with the peak
// memory of each, beside gzip, xz and unar on the same bytes.
//   1. 20 MB of C headers, 20 MB of random bytes (incompressible: what photos, music, video and
//      other archives look like to a packer) and a mixed input (text, machine code, audio; 200 MB
//      by default), each
//      one file: t, x to a folder, gzip -dc, xz -dc, unar; then a -m1/-m3/-m5 beside gzip -6/-9
//      and xz -6 (time and size).
//   2. A solid archive of 5,000 small real files: t and x beside unar.
//   3. A folder tree (default /usr/share/doc) copied, packed solid, tested and extracted, and
//      unar's extraction compared with ours.
// Usage: bench_tools_speed [MIXED_MiB [FILES [TREE [LEVELS]]]]
//   MIXED_MiB 0 skips part 1, FILES 0 part 2, a TREE that is no folder part 3; LEVELS are the
//   packing levels tried besides -m3 (default "15").
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <malloc.h>

#include <cstring>
#include <random>

#include "bench_util.h"

using namespace korvana;
using namespace korvana::bench;

namespace {

// The tool built beside this benchmark, or the one $KORVANA_RAR names.
const std::string kTool = std::getenv("KORVANA_RAR") ? std::getenv("KORVANA_RAR") : KORVANA_RAR_TOOL;

struct Run {
    double wall = -1;   // seconds, best of the runs
    double cpu = -1;    // user + system seconds of that process
    double peakMiB = 0; // largest resident set seen over the runs
    bool ok = false;
};

// Runs argv directly (no shell, so the peak memory is the program's own), stdout to `out`.
Run runOnce(const std::vector<std::string>& argv, const fs::path& out) {
    Run r;
    const double t0 = now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        if (fd >= 0) dup2(fd, 1);
        if (null >= 0) dup2(null, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return r;
    r.wall = now() - t0;
    r.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.peakMiB = double(usage.ru_maxrss) / 1024.0;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

Run best(const std::vector<std::string>& argv, const fs::path& out, int runs, const fs::path& clean = {}) {
    Run b;
    for (int i = 0; i < runs; ++i) {
        std::error_code ec;
        if (!clean.empty()) fs::remove_all(clean, ec);
        const Run r = runOnce(argv, out);
        if (!r.ok) return r;
        if (b.wall < 0 || r.wall < b.wall) {
            b.wall = r.wall;
            b.cpu = r.cpu;
        }
        b.peakMiB = std::max(b.peakMiB, r.peakMiB);
        b.ok = true;
    }
    return b;
}

void print(const char* who, double megabytes, const Run& r, const std::string& extra = "") {
    if (!r.ok) {
        std::printf("    %-26s failed or not installed\n", who);
        return;
    }
    std::printf("    %-26s %7.3f s  %7.1f MB/s  (CPU %6.3f s)  peak %6.1f MiB%s\n", who, r.wall, megabytes / r.wall,
                r.cpu, r.peakMiB, extra.c_str());
}

std::string sizeNote(const fs::path& p) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(p, ec);
    return ec ? std::string() : "  " + std::to_string(size) + " bytes";
}

// Takes the corpus and lets it go once written: a child's peak memory, as the system counts it,
// includes what the benchmark itself held when it started the child.
void singleFile(const char* label, std::vector<uint8_t> data, const fs::path& scratch, const std::string& levels) {
    const double mb = double(data.size()) / 1e6;
    std::printf("%s: %.1f MB, one file\n", label, mb);
    const fs::path dir = scratch / "single";
    fs::create_directories(dir);
    const fs::path raw = dir / "data.bin";
    writeFile(raw, data);
    std::vector<uint8_t>().swap(data);
    malloc_trim(0);
    fs::current_path(dir);  // the entry is stored as "data.bin"
    const fs::path rar = scratch / "data.rar", gz = dir / "data.bin.gz", xz = dir / "data.bin.xz";
    const fs::path sink = "/dev/null", out = scratch / "out";

    std::printf("  packing (time, size, peak memory)\n");
    // The last, -m3, is the archive read below, as a person would make it.
    for (const char level : levels + "3") {
        const std::string option = std::string("-m") + level;
        const Run r = best({kTool, "a", "-q", option, rar.string(), "data.bin"}, sink, 1);
        const std::string size = sizeNote(rar);
        print(("korvana-rar a " + option).c_str(), mb, r, size);
    }
    for (const char* level : {"-6", "-9"}) {
        const Run r = best({"gzip", level, "-k", "-f", raw.string()}, sink, 1);
        const std::string size = sizeNote(gz);
        print((std::string("gzip ") + level).c_str(), mb, r, size);  // the last, -9, is read below
    }
    const Run x6 = best({"xz", "-6", "-k", "-f", "-T1", raw.string()}, sink, 1);
    const std::string xzSize = sizeNote(xz);
    print("xz -6", mb, x6, xzSize);

    std::printf("  reading (best of 5; archive made with -m3, gzip -9, xz -6)\n");
    print("korvana-rar t", mb, best({kTool, "t", "-q", rar.string()}, sink, 5));
    print("korvana-rar x (to a folder)", mb, best({kTool, "x", "-q", "-y", rar.string(), "-o", out.string()}, sink, 5, out));
    print("gzip -dc > /dev/null", mb, best({"gzip", "-dc", gz.string()}, sink, 5));
    print("gzip -dc > file", mb, best({"gzip", "-dc", gz.string()}, scratch / "gz.out", 5));
    print("xz -dc > /dev/null", mb, best({"xz", "-dc", xz.string()}, sink, 5));
    print("unar (to stdout)", mb, best({"unar", "-q", "-o", "-", rar.string()}, sink, 5));
    print("unar (to a folder)", mb, best({"unar", "-q", "-f", "-o", out.string(), rar.string()}, sink, 5, out));
    fs::current_path(scratch);
    std::error_code ec;
    for (const fs::path& p : {dir, rar, out, scratch / "gz.out"}) fs::remove_all(p, ec);
}

// Copies regular files of `from` (up to `limit` of them, sorted) into `to`, keeping their paths.
size_t copyFiles(const fs::path& from, const fs::path& to, size_t limit) {
    size_t copied = 0;
    for (const fs::path& f : filesUnder(from, [](const fs::path&) { return true; }, true)) {
        if (copied >= limit) break;
        const fs::path target = to / f.lexically_relative(from);
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (fs::copy_file(f, target, ec)) ++copied;
    }
    return copied;
}

uint64_t bytesUnder(const fs::path& root) {
    uint64_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && !e.is_symlink()) total += e.file_size();
    return total;
}

void manyFiles(const fs::path& tree, const std::string& label, const fs::path& scratch, bool compare) {
    const double mb = double(bytesUnder(tree)) / 1e6;
    std::printf("%s: %.1f MB\n", label.c_str(), mb);
    const fs::path rar = scratch / "tree.rar", ours = scratch / "ours", theirs = scratch / "theirs";
    const std::string pack = "cd " + quote(tree.parent_path()) + " && " + quote(kTool) + " a -q -s -m3 -r " +
                             quote(rar) + " " + quote(tree.filename());
    const Run packed = best({"sh", "-c", pack}, "/dev/null", 1);
    const std::string size = sizeNote(rar);
    print("korvana-rar a -s -m3 -r", mb, packed, size);
    print("korvana-rar t", mb, best({kTool, "t", "-q", rar.string()}, "/dev/null", 3));
    print("korvana-rar x (to a folder)", mb, best({kTool, "x", "-q", rar.string(), "-o", ours.string()}, "/dev/null", 3, ours));
    print("unar (to a folder)", mb, best({"unar", "-q", "-f", "-o", theirs.string(), rar.string()}, "/dev/null", 3, theirs));
    if (compare) {
        const bool same = shell("diff -r " + quote(ours) + " " + quote(theirs) + " > /dev/null");
        // Only the links, which the format cannot hold, may be missing from ours.
        const bool complete = shell("test -z \"$(diff -r --no-dereference " + quote(tree) + " " +
                                    quote(ours / tree.filename()) + " 2>&1 | grep -v '^Only in " + tree.string() + "')\"");
        std::printf("    unar's extraction and ours %s; ours %s the regular files of the tree\n",
                    same ? "are identical" : "DIFFER", complete ? "holds every one of" : "DOES NOT MATCH");
    }
    std::error_code ec;
    for (const fs::path& p : {rar, ours, theirs}) fs::remove_all(p, ec);
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);  // figures as they come: a full run takes a while
    const size_t mixedMb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const size_t files = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 5000;
    const fs::path tree = argc > 3 ? fs::path(argv[3]) : fs::path("/usr/share/doc");
    const std::string levels = argc > 4 ? argv[4] : "15";
    Scratch scratch;
    if (scratch.path().empty() || !fs::exists(kTool)) {
        std::fprintf(stderr, "no scratch folder, or %s is not built\n", kTool.c_str());
        return 1;
    }

    if (mixedMb > 0) {
        std::vector<uint8_t> headers;
        appendFiles(headers, filesUnder("/usr/include", [](const fs::path& p) { return p.extension() == ".h"; }, true),
                    20u << 20);
        singleFile("C headers", std::move(headers), scratch.path(), levels);
        {
            std::vector<uint8_t> random(20u << 20);
            std::mt19937_64 generator(20);
            for (size_t i = 0; i + 8 <= random.size(); i += 8) {
                const uint64_t v = generator();
                std::memcpy(random.data() + i, &v, 8);
            }
            singleFile("Incompressible (random bytes)", std::move(random), scratch.path(), levels);
        }
        const size_t total = size_t(mixedMb) << 20;
        std::vector<uint8_t> mixed = textCorpus(total * 3 / 10);
        {
            const std::vector<uint8_t> binary = binaryCorpus(total / 2);
            mixed.insert(mixed.end(), binary.begin(), binary.end());
        }
        {
            const std::vector<uint8_t> audio = audioCorpus(total - std::min(total, mixed.size()));
            mixed.insert(mixed.end(), audio.begin(), audio.end());
        }
        singleFile("Mixed (text, shared libraries, 16-bit audio)", std::move(mixed), scratch.path(), levels);
    }
    if (files > 0) {
        const fs::path small = scratch.path() / "small-files";
        const size_t copied = copyFiles("/usr/include", small, files);
        manyFiles(small, std::to_string(copied) + " small files of /usr/include, solid", scratch.path(), false);
        fs::remove_all(small);
    }
    if (fs::is_directory(tree)) {
        const fs::path copy = scratch.path() / tree.filename();
        shell("cp -a " + quote(tree) + " " + quote(copy));
        manyFiles(copy, "A copy of " + tree.string() + ", solid", scratch.path(), true);
    }
    return 0;
}
