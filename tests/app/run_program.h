// Starts the real program as the user would, headless, and collects what it did: its exit, its
// output, and whether it was still running when signalled.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace korvana::test {

inline const std::string kProgram = KORVANA_BINARY_DIR "/src/app/korvana";

struct Outcome {
    bool exited = false;  // by itself, within the time allowed
    bool aliveAtSignal = false;
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What else a run may need: more time than a show start takes, a signal sent once a condition
// holds (checked every 10 ms), a limit on the size of the files it writes (writes past it fail
// with EFBIG, as on a full disk).
struct RunExtras {
    int timeoutMs = 15000;
    std::function<bool()> signalWhen;
    long fileSizeLimit = -1;
};

// True once process `pid` has a handler for `sig`: a loaded machine may take longer than any fixed
// wait to get a program as far as installing its handlers, and a signal before then ends it the
// default way instead of the program's.
inline bool catchesSignal(pid_t pid, int sig) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1) & 1) != 0;
    return false;
}

// Runs the program in `dir` with the headless drivers (or `videoDriver`), no display variables,
// and its cache under `dir`. With `signalAfterMs` it sends `sig` that long after the start, once
// the program handles it.
inline Outcome run(const std::filesystem::path& dir, std::vector<std::string> args, int signalAfterMs = -1,
                   int sig = SIGTERM, const std::string& videoDriver = "offscreen", const RunExtras& extras = {}) {
    Outcome outcome;
    const auto outPath = dir / ".stdout";
    const auto errPath = dir / ".stderr";
    std::vector<std::string> env = {"SDL_VIDEODRIVER=" + videoDriver, "SDL_AUDIODRIVER=dummy",
                                    "HOME=" + dir.string(), "XDG_CACHE_HOME=" + (dir / "cache").string(),
                                    "PATH=/usr/bin:/bin", "KORVANA_NO_DIALOGS=1"};
#if defined(__SANITIZE_ADDRESS__)
    // The program's exit leaves Mesa's allocations behind; the in-process tests check our own.
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
    args.insert(args.begin(), kProgram);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
        if (extras.fileSizeLimit >= 0) {
            const rlimit limit{rlim_t(extras.fileSizeLimit), rlim_t(extras.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec: the write fails instead
        }
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) return outcome;

    const auto start = std::chrono::steady_clock::now();
    auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    };
    bool signalled = false;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        const bool due = (signalAfterMs >= 0 && elapsedMs() >= signalAfterMs && catchesSignal(pid, sig)) ||
                         (extras.signalWhen && extras.signalWhen());
        if (due && !signalled) {
            outcome.aliveAtSignal = kill(pid, sig) == 0;
            signalled = true;
        }
        if (elapsedMs() > extras.timeoutMs) {  // hung: never let the test hang with it
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            outcome.out = readAll(outPath);
            outcome.err = readAll(errPath);
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    outcome.exited = WIFEXITED(status);
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    outcome.out = readAll(outPath);
    outcome.err = readAll(errPath);
    return outcome;
}

}  // namespace korvana::test
