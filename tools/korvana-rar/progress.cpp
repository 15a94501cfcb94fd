#include "progress.h"

#include <cstdio>

#include "commands.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace korvana::rartool {

namespace {

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

constexpr size_t kNameColumns = 48;  // the whole line stays within 80 columns

}  // namespace

Progress::Progress(bool quiet, uint64_t total)
    : shown_(!quiet && stderrIsTerminal()), total_(total), start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

Progress::~Progress() { clear(); }

void Progress::update(const std::string& name, uint64_t done, uint64_t bytes) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string shown = printable(name);
    if (shown.size() > kNameColumns) shown = "..." + shown.substr(shown.size() - (kNameColumns - 3));
    char percent[8] = "";
    if (total_ > 0) std::snprintf(percent, sizeof percent, "%3u%%", static_cast<unsigned>(done * 100 / total_));
    std::fprintf(stderr, "\r%4s  %-*s %8.1f MB/s\033[K", percent, static_cast<int>(kNameColumns), shown.c_str(),
                 seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace korvana::rartool
