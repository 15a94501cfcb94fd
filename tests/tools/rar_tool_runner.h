// Runs korvana-rar (or any shell command line) as a program and collects what it prints, for the
// archive tool's tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace korvana::test {

inline const std::string kTool = KORVANA_BINARY_DIR "/tools/korvana-rar";

// `s` as one word for the shell.
inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct RunResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs a shell command line (stdin from /dev/null) and collects what it prints.
inline RunResult sh(const std::string& command) {
    RunResult result;
    FILE* pipe = ::popen(("(" + command + ") </dev/null 2>&1").c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The command line that runs korvana-rar with `args`.
inline std::string tool(const std::vector<std::string>& args) {
    std::string command = quote(kTool);
    for (const std::string& a : args) command += " " + quote(a);
    return command;
}

}  // namespace korvana::test
