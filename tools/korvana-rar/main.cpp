// korvana-rar: list, test, extract, write and change RAR 2.x archives with the program's own reader
// and packer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/debug_log.h"
#include "commands.h"
#include "password.h"
#include "packer/packer.h"

namespace korvana::rartool {

namespace {

struct Command {
    const char* name;
    int (*run)(const CommandLine&);
    // Options the command accepts: a letter alone is a flag, "x=" takes a value joined to it
    // (-vSIZE), "x?" a joined value or none (-pSECRET, or -p alone), "x:" takes a value joined or
    // as the next argument (-o DIR, -oDIR), "x+" takes a joined value and may be repeated (values
    // kept in order, joined by newlines: -m5 -mm).
    const char* options;
    const char* usage;
    const char* summary;
};

// The commands. Register a new one with one line here (see commands.h).
const Command kCommands[] = {
    {"l", cmdList, "x+", "l ARCHIVE [ENTRY...] [-xMASK]",
     "list every block, or the entries named: name, sizes, ratio, method, version, marks"},
    {"t", cmdTest, "p?qx+", "t ARCHIVE [ENTRY...] [-p[PASSWORD]] [-xMASK] [-q]",
     "decode and check every file (or the ones named), in one pass"},
    {"x", cmdExtract, "p?o:yqx+", "x ARCHIVE [ENTRY...] [-p[PASSWORD]] [-o DIR] [-xMASK] [-y] [-q]",
     "extract entries (all when none named) with their folders, times and permissions under DIR\n"
     "      (default: the current folder)"},
    {"e", cmdExtract, "p?o:yqx+", "e ARCHIVE [ENTRY...] [-p[PASSWORD]] [-o DIR] [-xMASK] [-y] [-q]",
     "extract the files without their stored folders, all straight into DIR"},
    {"p", cmdPrint, "p?x+", "p ARCHIVE [ENTRY...] [-p[PASSWORD]] [-xMASK]",
     "write the entries' bytes to standard output (messages go to standard error)"},
    {"a", cmdAdd, "m+sp?rqv=x+",
     "a ARCHIVE FILE... [-m0..-m5] [-s] [-p[PASSWORD]] [-mm|-mm-] [-r] [-vSIZE] [-xMASK] [-q]",
     "add the files (folders with -r) to ARCHIVE, replacing entries of the same name, or write a\n"
     "      new RAR 2.0 archive when there is none (a volume set with -vSIZE)"},
    {"d", cmdDelete, "p?", "d ARCHIVE NAME... [-p[PASSWORD]]",
     "delete the entries of these names or masks (matched as for x)"},
};

void printHelp(FILE* out) {
    std::fprintf(out,
                 "korvana-rar %s: list, test, extract, write and change RAR 2.x archives with Korvana's\n"
                 "own reader and packer.\n\n"
                 "Usage:\n",
                 KORVANA_VERSION);
    for (const Command& c : kCommands) std::fprintf(out, "  korvana-rar %s\n      %s\n", c.usage, c.summary);
    std::fprintf(out,
                 "  korvana-rar --help\n\n"
                 "Options may stand anywhere on the command line; \"--\" ends them.\n"
                 "  -p          ask for the password on the terminal, without echo (a: twice)\n"
                 "  -pPASSWORD  the password joined to -p, for scripts (wiped from the process's\n"
                 "              arguments once read, but kept by the shell's history); a: encrypt the\n"
                 "              new entries. RAR 2.0 encryption protects only against casual reading:\n"
                 "              its cipher is weak by today's standards and attacks on it are published\n"
                 "  -o DIR      folder to extract into; entries never land outside it\n"
                 "  -y          overwrite existing files (never done without it)\n"
                 "  -xMASK      leave out files (a) or entries (l, t, x, e, p) matching MASK; repeatable\n"
                 "  -m0..-m5    a: store, or pack from fastest (-m1) to smallest (-m5); default -m3\n"
                 "  -mm, -mm-   a: multimedia (audio) coding forced on, or off; default: chosen by size\n"
                 "  -s, -r      a: solid archive; recurse into folders (each gets an entry of its own)\n"
                 "  -vSIZE      a: write a new volume set NAME.rar, NAME.r00, NAME.r01, ... of at most SIZE\n"
                 "              bytes each (k = 1024, m = 1024 k, g = 1024 m; K, M, G: 1000, 1000 K, 1000 M;\n"
                 "              -v1440k for floppies); l, t, x, e and p take a set from its first volume\n"
                 "  -q          no progress line (it is shown only when stderr is a terminal)\n\n"
                 "ENTRY names and masks match case-blind, with \"\\\", \"/\" and \"_\" the same, as the\n"
                 "show looks names up; in a mask \"*\" stands for any characters (folders too) and \"?\" for\n"
                 "one. A name or mask that matches nothing is an error. t and x take every entry by its\n"
                 "place, whatever its name.\n"
                 "a stores each file's time and, on Linux, its permissions (host system Unix); x and e\n"
                 "give them back (permissions less the umask but for root, never set-uid, set-gid or\n"
                 "sticky), and x gives folders their times once their contents are written.\n"
                 "a and d keep every other entry: in a non-solid archive as it is (encrypted ones need no\n"
                 "password), in a solid one decoded and packed again with the new entries into one stream\n"
                 "(encrypted ones with -p, else refused); comments and sub-blocks are kept, a recovery\n"
                 "record is left out and named. The archive is written under a temporary name and renamed\n"
                 "once complete: on any failure it stays as it was.\n"
                 "RAR 1.x and RAR 5 archives, encrypted headers and entries packed by RAR 1.x or 3.x/4.x\n"
                 "are named as such and refused (exit code 1).\n"
                 "Exit codes: 0 done, 1 an entry or the archive failed, 2 wrong usage (or -p alone with\n"
                 "no terminal to ask on, or two passwords typed that differ).\n"
                 "The reader's debug log goes to $XDG_CACHE_HOME/korvana/debug_unrar.txt (default\n"
                 "~/.cache/korvana/) when that folder exists, as for the show itself.\n");
}

const Command* findCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// Letters that take their value as the next argument in any command: needed to find the command
// before its own option set is known.
bool takesSeparateValueAnywhere(char letter) {
    for (const Command& c : kCommands) {
        const char* at = std::strchr(c.options, letter);
        if (at && at[1] == ':') return true;
    }
    return false;
}

// Same place as the show's log: the platform's cache folder, used only when it already exists.
// Relative values are ignored as the show ignores them: they would make the log follow the
// working directory.
void setUpDebugLog() {
#ifdef _WIN32
    // The reader's own default there, C:\temp\debug_unrar.txt, is the show's place too.
    return;
#endif
    std::string base;
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') {
        base = cache;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.cache";
    } else {
        return;
    }
    const std::string path = base + "/korvana/debug_unrar.txt";
    setDebugLogPath(path.c_str());
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    wipePasswordArguments(argc, argv);
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--help" || a == "-h" || a == "-?") {
            printHelp(stdout);
            return EXIT_OK;
        }
    }
    // First pass: the command is the first argument that is not an option or an option's value.
    std::string commandName;
    size_t commandIndex = args.size();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            if (i + 1 < args.size()) {
                commandName = args[i + 1];
                commandIndex = i + 1;
            }
            break;
        }
        if (a.size() > 1 && a[0] == '-') {
            if (a.size() == 2 && takesSeparateValueAnywhere(a[1])) ++i;
            continue;
        }
        commandName = a;
        commandIndex = i;
        break;
    }
    if (commandIndex == args.size()) {
        std::fprintf(stderr, "korvana-rar: no command given (try korvana-rar --help)\n");
        return EXIT_USAGE;
    }
    const Command* command = findCommand(commandName);
    if (!command) {
        std::fprintf(stderr, "korvana-rar: unknown command \"%s\" (try korvana-rar --help)\n",
                     printable(commandName).c_str());
        return EXIT_USAGE;
    }

    CommandLine line;
    line.command = commandName;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i == commandIndex) continue;
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            line.arguments.push_back(a);
            continue;
        }
        const char letter = a[1];
        const char* letterRule = std::strchr(command->options, letter);
        if (letter == ':' || letter == '=' || letter == '+' || letter == '?' || !letterRule) {
            return usageError(line, "unknown option \"" + printable(a) + "\"");
        }
        const bool repeatable = letterRule[1] == '+';
        if (line.has(letter) && !repeatable)
            return usageError(line, "option -" + std::string(1, letter) + " given twice");
        std::string value = a.substr(2);
        if (letterRule[1] == ':') {
            if (value.empty()) {
                if (i + 1 >= args.size())
                    return usageError(line, "option -" + std::string(1, letter) + " needs a value");
                value = args[++i];
            }
        } else if (letterRule[1] == '?') {
            // Alone, the command asks for the value (a password: typed, not seen).
        } else if (letterRule[1] == '=' || repeatable) {
            if (value.empty())
                return usageError(line, "option -" + std::string(1, letter) + " needs its value joined to it, as -" +
                                            std::string(1, letter) + "VALUE");
        } else if (!value.empty()) {
            return usageError(line, "option -" + std::string(1, letter) + " takes no value");
        }
        line.options[letter] = line.has(letter) ? line.options[letter] + "\n" + value : value;
    }
    setUpDebugLog();
    return command->run(line);
}

}  // namespace

int usageError(const CommandLine& line, const std::string& message) {
    std::fprintf(stderr, "korvana-rar: %s\n", message.c_str());
    if (const Command* command = findCommand(line.command))
        std::fprintf(stderr, "usage: korvana-rar %s\n", command->usage);
    std::fprintf(stderr, "(try korvana-rar --help)\n");
    return EXIT_USAGE;
}

std::string printable(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

bool checkArchiveKind(const std::string& path) {
    const ArchiveProbe probe = probeArchive(path.c_str());
    if (probe.kind == ArchiveKind::Rar2) return true;
    std::fprintf(stderr, "korvana-rar: %s: %s\n", printable(path).c_str(), probe.what.c_str());
    return false;
}

void printChangeReport(const ArchiveChangeReport& report) {
    for (const std::string& name : report.replaced) std::printf("Replaced %s\n", printable(name).c_str());
    for (const std::string& name : report.removed) std::printf("Deleted  %s\n", printable(name).c_str());
    for (const std::string& what : report.dropped) std::printf("Left out %s\n", what.c_str());
}

std::string entryFailure(const ArchiveEntryInfo& entry, const std::string& reason) {
    const std::string generation = unsupportedEntryReason(entry.unpVer, entry.method);
    return generation.empty() ? reason : generation;
}

std::string brokenArchiveText(const ArchiveListing& listing) {
    if (!listing.problem.empty()) return "The volume set cannot be read whole: " + printable(listing.problem) + ".";
    return "The archive ends early or its block chain is broken.";
}

bool walkArchive(const std::string& path, const std::string& password, ArchiveVisitor& visitor,
                 ArchiveListing& listing) {
    if (!checkArchiveKind(path)) return false;
    if (archiveWalk(path.c_str(), password.c_str(), visitor, listing)) return true;
    std::fprintf(stderr, "korvana-rar: %s: not a RAR 2.x archive the reader accepts, or unreadable\n", path.c_str());
    return false;
}

bool listArchive(const std::string& path, ArchiveListing& listing) {
    if (!checkArchiveKind(path)) return false;
    if (archiveList(path.c_str(), listing)) return true;
    std::fprintf(stderr, "korvana-rar: %s: not a RAR 2.x archive the reader accepts, or unreadable\n", path.c_str());
    return false;
}

uint64_t archiveFileSize(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

}  // namespace korvana::rartool

int main(int argc, char** argv) { return korvana::rartool::run(argc, argv); }
