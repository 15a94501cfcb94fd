// Passwords for the archive tool: asked on the terminal without echo when -p comes alone, so that
// they need not stand in the command line (where every local user can read them, and the shell's
// history keeps them); and a -pPASSWORD's bytes wiped from the process's arguments once read.
#pragma once

#include <string>

namespace korvana::rartool {

struct CommandLine;

// The password the command line gives: none without -p, the joined value of -pPASSWORD, or, for
// -p alone, one typed on the terminal (twice, and both alike, when `confirm`). False after saying
// why on stderr (no terminal to ask on, the two differ, nothing typed for a new archive).
bool commandPassword(const CommandLine& line, bool confirm, std::string& password);

// Overwrites the value of every -pPASSWORD among the arguments in place (up to "--"), so that it
// no longer shows in the process list or /proc/PID/cmdline.
void wipePasswordArguments(int argc, char** argv);

// Asks for one line on the terminal without echoing it. False when there is no terminal.
bool readHiddenLine(const std::string& prompt, std::string& line);

}  // namespace korvana::rartool
