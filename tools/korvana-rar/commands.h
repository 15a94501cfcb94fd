// korvana-rar: the commands of the archive tool, one file each, and what they share.
//
// Adding a command: write tools/korvana-rar/cmd_<name>.cpp defining `int cmdX(const CommandLine&)`,
// declare it below, and add one line to the table `kCommands` in main.cpp giving its letter, the
// options it accepts, its usage line and a one-line summary. The parser handles options anywhere
// on the command line; the command gets its positional arguments and option values.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"

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

// Extracts one entry in memory through archiveExtract, as the show would. On failure `reason` is
// the reader's own last word on why (its last message before the final failure line), so the tool
// can say more than "failed". The caller frees `buffer`.
bool extractEntry(const std::string& archive, const std::string& name, const std::string& password,
                  uint8_t*& buffer, uint32_t& size, std::string& reason);

// Names seen so far, matched as the reader matches them. `add` is false for a later namesake,
// which archiveExtract, finding entries by name, can never reach.
class SeenNames {
public:
    bool add(const std::string& name);

private:
    std::vector<std::string> names_;
};

int cmdList(const CommandLine& line);     // l ARCHIVE
int cmdTest(const CommandLine& line);     // t ARCHIVE [-pPASSWORD]
int cmdExtract(const CommandLine& line);  // x ARCHIVE [ENTRY...] [-pPASSWORD] [-o DIR] [-y]
int cmdAdd(const CommandLine& line);      // a: defined in cmd_add.cpp by the packer's side

}  // namespace korvana::rartool
