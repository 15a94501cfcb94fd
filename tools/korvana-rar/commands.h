// korvana-rar: the commands of the archive tool, one file each, and what they share.
//
// Adding a command: write tools/korvana-rar/cmd_<name>.cpp defining `int cmdX(const CommandLine&)`,
// declare it below, and add one line to the table `kCommands` in main.cpp giving its letter, the
// options it accepts, its usage line and a one-line summary. The parser handles options anywhere
// on the command line; the command gets its positional arguments and option values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/crypt.h"
#include "packer/packer.h"

namespace korvana::rartool {

// Exit codes of every command.
constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;  // something asked for could not be done
constexpr int EXIT_USAGE = 2;   // the command line was wrong

struct CommandLine {
    std::string command;                // the command letter as given
    std::vector<std::string> arguments; // positional arguments after the command (ARCHIVE first)
    std::map<char, std::string> options;  // options given, with their values ("" for flags)

    bool has(char letter) const { return options.count(letter) != 0; }
    std::string value(char letter) const {
        auto it = options.find(letter);
        return it == options.end() ? std::string() : it->second;
    }
};

// Reports wrong usage of one command on stderr; returns EXIT_USAGE.
int usageError(const CommandLine& line, const std::string& message);

// A stored name made safe for one terminal line: control bytes shown as '?'.
std::string printable(const std::string& name);

// Lists the archive, or says on stderr that it cannot be read as one and returns false.
bool listArchive(const std::string& path, ArchiveListing& listing);

// Walks the archive once with archiveWalk, or says on stderr that it cannot be read as one and
// returns false.
bool walkArchive(const std::string& path, const std::string& password, ArchiveVisitor& visitor,
                 ArchiveListing& listing);

// Says on stderr what the file is when it is not a RAR 2.x archive (RAR 1.x, RAR 5, encrypted
// headers, not an archive at all, unreadable) and returns false.
bool checkArchiveKind(const std::string& path);

// Names on stdout what a change left out: replaced and deleted entries, dropped blocks.
void printChangeReport(const ArchiveChangeReport& report);

// Why an entry failed, in the user's words: which RAR generation packed it when the reader does
// not decode that one, else the reader's own reason.
std::string entryFailure(const ArchiveEntryInfo& entry, const std::string& reason);

// What to say of an archive or volume set that could not be read to its end.
std::string brokenArchiveText(const ArchiveListing& listing);

// The size of the archive file (0 when unknown), what progress through it is measured against.
uint64_t archiveFileSize(const std::string& path);

// Where a walk stands, for the progress line: the entry being decoded and how far into it.
class WalkPosition {
public:
    void start(const ArchiveEntryInfo& entry) {
        entry_ = &entry;
        inEntry_ = 0;
    }
    void advance(size_t count) {
        inEntry_ += count;
        bytes_ += count;
    }
    const std::string& name() const { return entry_->name; }
    // Archive bytes behind us, estimated within the entry by its share decoded so far.
    uint64_t archiveBytes() const {
        const uint64_t unpacked = entry_->unpSize ? entry_->unpSize : 1;
        return static_cast<uint64_t>(entry_->offset) + entry_->headSize +
               entry_->dataSize * std::min<uint64_t>(inEntry_, unpacked) / unpacked;
    }
    uint64_t bytes() const { return bytes_; }  // decoded bytes so far, all entries

private:
    const ArchiveEntryInfo* entry_ = nullptr;
    uint64_t inEntry_ = 0;
    uint64_t bytes_ = 0;
};

int cmdList(const CommandLine& line);     // l ARCHIVE [ENTRY...] [-xMASK]
int cmdTest(const CommandLine& line);     // t ARCHIVE [ENTRY...] [-p[PASSWORD]] [-xMASK] [-q]
int cmdExtract(const CommandLine& line);  // x and e ARCHIVE [ENTRY...] [-p[PASSWORD]] [-o DIR] [-xMASK] [-y] [-q]
int cmdPrint(const CommandLine& line);    // p ARCHIVE [ENTRY...] [-p[PASSWORD]] [-xMASK]
int cmdAdd(const CommandLine& line);      // a: defined in cmd_add.cpp by the packer's side
int cmdDelete(const CommandLine& line);   // d ARCHIVE NAME... [-p[PASSWORD]]

}  // namespace korvana::rartool
