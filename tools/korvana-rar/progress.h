// The one-line progress of a long command (percent, the entry at hand, speed), redrawn in place
// on stderr. Shown only when stderr is a terminal and -q was not given, so pipes and logs never
// see it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace korvana::rartool {

class Progress {
public:
    // `total`: the units `update` counts towards 100 % (0: no percent shown).
    Progress(bool quiet, uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // `done` of `total` units are behind us, `bytes` bytes were processed (for the speed), and
    // `name` is being worked on. Redraws at most a few times a second.
    void update(const std::string& name, uint64_t done, uint64_t bytes);
    // Removes the line, before the command prints a line of its own.
    void clear();

private:
    bool shown_;
    uint64_t total_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace korvana::rartool
