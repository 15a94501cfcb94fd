// The real program, started as the user starts it, headless: it plays frames and ends with 0 on
// SIGTERM or SIGINT, reports a missing music file and an unusable display with exit code 1, and
// refuses bad options with exit code 2.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/test_media.h"

namespace korvana {
namespace {

const std::string kProgram = KORVANA_BINARY_DIR "/src/app/korvana";

struct Outcome {
    bool exited = false;  // by itself, within the time allowed
    bool aliveAtSignal = false;
    int code = -1;
    std::string out;
    std::string err;
};

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the program in `dir` with the headless drivers (or `videoDriver`), no display variables,
// and its cache under `dir`. With `signalAfterMs` it sends `sig` that long after the start.
Outcome run(const std::filesystem::path& dir, std::vector<std::string> args, int signalAfterMs = -1,
            int sig = SIGTERM, const std::string& videoDriver = "offscreen") {
    Outcome outcome;
    const auto outPath = dir / ".stdout";
    const auto errPath = dir / ".stderr";
    std::vector<std::string> env = {"SDL_VIDEODRIVER=" + videoDriver, "SDL_AUDIODRIVER=dummy",
                                    "HOME=" + dir.string(), "XDG_CACHE_HOME=" + (dir / "cache").string(),
                                    "PATH=/usr/bin:/bin"};
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
        if (signalAfterMs >= 0 && !signalled && elapsedMs() >= signalAfterMs) {
            outcome.aliveAtSignal = kill(pid, sig) == 0;
            signalled = true;
        }
        if (elapsedMs() > 15000) {  // hung: never let the test hang with it
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

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kProgram)) << kProgram << " is not built";
    }
};

TEST_F(EndToEnd, PlaysUntilSigtermOrSigintAndExitsZero) {
    if (!test::haveLame()) GTEST_SKIP() << "the lame encoder is not installed";
    test::ScratchDir dir;
    ASSERT_TRUE(test::makeMp3(dir.path() / "ripped.mp3", 2.0));

    const Outcome windowed = run(dir.path(), {"--windowed"}, 1500, SIGTERM);
    EXPECT_TRUE(windowed.aliveAtSignal);  // still playing after 1.5 s
    EXPECT_TRUE(windowed.exited);
    EXPECT_EQ(windowed.code, 0) << windowed.err;

    const Outcome fullScreen = run(dir.path(), {}, 1200, SIGINT);
    EXPECT_TRUE(fullScreen.aliveAtSignal);
    EXPECT_TRUE(fullScreen.exited);
    EXPECT_EQ(fullScreen.code, 0) << fullScreen.err;

    const Outcome muted = run(dir.path(), {"--mute", "--windowed", "--seek", "100"}, 800, SIGTERM);
    EXPECT_TRUE(muted.aliveAtSignal);
    EXPECT_EQ(muted.code, 0) << muted.err;
}

TEST_F(EndToEnd, MissingMusicIsTheSoundErrorAndExitOne) {
    test::ScratchDir dir;
    std::filesystem::create_directories(dir.path() / "data");
    // --data keeps the program from falling back to the default content.
    const Outcome o = run(dir.path(), {"--windowed", "--data", (dir.path() / "data").string()});
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("File not found"), std::string::npos) << o.err;
}

TEST_F(EndToEnd, NoUsableDisplayIsTheScreenmodeMessageAndExitOne) {
    test::ScratchDir dir;
    const Outcome o = run(dir.path(), {"--mute"}, -1, SIGTERM, "nonexistent");
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("The selected screenmode is not supported!"), std::string::npos) << o.err;
}

TEST_F(EndToEnd, OptionsThatEndAtOnce) {
    test::ScratchDir dir;
    const Outcome unknown = run(dir.path(), {"--fullscreen"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("unknown option '--fullscreen'"), std::string::npos) << unknown.err;

    const Outcome missingData = run(dir.path(), {"--data", (dir.path() / "nope").string()});
    EXPECT_EQ(missingData.code, 2);
    EXPECT_NE(missingData.err.find("nope"), std::string::npos);

    const Outcome badSeek = run(dir.path(), {"--seek"});
    EXPECT_EQ(badSeek.code, 2);
    for (const char* scale : {"0", "5", "x"}) {
        const Outcome badScale = run(dir.path(), {"--scale", scale});
        EXPECT_EQ(badScale.code, 2) << scale;
        EXPECT_NE(badScale.err.find("--scale"), std::string::npos) << badScale.err;
    }

    const Outcome help = run(dir.path(), {"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--windowed"), std::string::npos);

    const Outcome version = run(dir.path(), {"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, std::string("korvana ") + KORVANA_VERSION + "\n");
}

}  // namespace
}  // namespace korvana
