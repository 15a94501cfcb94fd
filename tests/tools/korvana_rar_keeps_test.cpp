// korvana-rar keeps what it is given and guards passwords: file and folder times, Unix permissions
// and empty folders through a and x (and through unar); the password prompt on a terminal (a
// pseudo-terminal here) and its refusal without one; -pPASSWORD gone from /proc/PID/cmdline; masks,
// -x, e and p.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "archive/archive_test_support.h"
#include "packer/packer.h"
#include "tools/rar_tool_runner.h"

namespace korvana::test {
namespace {

namespace fs = std::filesystem;

void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct stat statOf(const fs::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

void setTime(const fs::path& path, time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool haveUnar() { return sh("unar -v >/dev/null 2>&1 && lsar -v >/dev/null 2>&1").exitCode == 0; }

class KorvanaRarKeeps : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kTool)) GTEST_FAIL() << "build the korvana-rar target first: " << kTool;
    }
    void TearDown() override {
        // Read-only folders the test made or extracted would stop their removal.
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir.path(), ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (it->is_directory()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    TempDir dir;
};

// Times (in a zone other than UTC, which both we and unar read DOS times in: the archive holds
// local time), an empty folder, an executable script, a read-only file and a read-only folder, out
// through a -r and back through x and through unar; a DOS entry's attributes are left alone, and a
// folder entry that would leave the output folder is refused.
TEST_F(KorvanaRarKeeps, TimesModesAndFoldersComeBack) {
    const fs::path tree = dir / "tree";
    fs::create_directories(tree / "empty");
    fs::create_directories(tree / "locked");
    fs::create_directories(tree / "sub" / "deep");
    writeText(tree / "notes.txt", "notes\n");
    writeText(tree / "run.sh", "#!/bin/sh\necho run\n");
    writeText(tree / "locked" / "fixed.txt", "read only\n");
    writeText(tree / "sub" / "deep" / "d.txt", "deep\n");
    ::chmod((tree / "run.sh").c_str(), 0755);
    ::chmod((tree / "notes.txt").c_str(), 0640);
    ::chmod((tree / "locked" / "fixed.txt").c_str(), 0444);
    const time_t fileTime = 981173106;  // 2001-02-03 04:05:06 in New York
    const time_t folderTime = 1015236366;
    for (const char* f : {"notes.txt", "run.sh", "locked/fixed.txt", "sub/deep/d.txt"}) setTime(tree / f, fileTime);
    setTime(tree / "notes.txt", fileTime + 1);  // an odd second: DOS time keeps the even one before it
    for (const char* d : {"empty", "locked", "sub", "sub/deep", "."}) setTime(tree / d, folderTime + 2);
    ::chmod((tree / "locked").c_str(), 0555);

    const std::string zone = "umask 022; export TZ=America/New_York GNUSTEP_TZ=America/New_York; cd " +
                             quote(dir.path().string()) + " && ";
    RunResult r = sh(zone + tool({"a", "-r", "-q", "t.rar", "tree"}));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("4 files and 5 folders added"), std::string::npos) << r.output;
    r = sh(zone + tool({"x", "-q", "t.rar", "-o", "out"}));
    ASSERT_EQ(r.exitCode, 0) << r.output;

    const fs::path out = dir / "out" / "tree";
    EXPECT_TRUE(fs::is_directory(out / "empty"));
    struct Expect {
        const char* path;
        mode_t mode;
        time_t time;
    };
    const Expect expected[] = {
        {"notes.txt", 0640, fileTime},         {"run.sh", 0755, fileTime}, {"locked/fixed.txt", 0444, fileTime},
        {"sub/deep/d.txt", 0644, fileTime},    {"empty", 0755, folderTime + 2}, {"locked", 0555, folderTime + 2},
        {"sub", 0755, folderTime + 2},         {"sub/deep", 0755, folderTime + 2}, {".", 0755, folderTime + 2},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.path);
        const struct stat st = statOf(out / e.path);
        EXPECT_EQ(st.st_mode & 07777, e.mode);
        EXPECT_EQ(st.st_mtime, e.time);
    }

    if (haveUnar()) {
        r = sh(zone + "lsar -L t.rar | grep RAROSName: | sort | uniq -c");
        EXPECT_NE(r.output.find(" 9 "), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("Unix"), std::string::npos) << r.output;
        r = sh(zone + "unar -q -o byunar t.rar");
        ASSERT_EQ(r.exitCode, 0) << r.output;
        const fs::path other = dir / "byunar" / "tree";
        EXPECT_TRUE(fs::is_directory(other / "empty"));
        for (const Expect& e : expected) {
            SCOPED_TRACE(std::string("unar: ") + e.path);
            EXPECT_EQ(statOf(other / e.path).st_mtime, statOf(out / e.path).st_mtime);
        }
        EXPECT_EQ(statOf(other / "run.sh").st_mode & 0111, 0111u);
        EXPECT_EQ(statOf(other / "notes.txt").st_mode & 0777, 0640u);
    }

    // An archive written on DOS: its attributes (read-only here) are not a Unix mode.
    PackInput dosFile;
    dosFile.name = "dos.txt";
    dosFile.data = {'d'};
    dosFile.attributes = 0x21;
    PackInput escape;
    escape.name = "..\\outside";
    escape.directory = true;
    std::string error;
    ASSERT_TRUE(writeArchive((dir / "dos.rar").string(), {dosFile, escape}, PackOptions{}, &error)) << error;
    r = sh(zone + tool({"x", "-q", "dos.rar", "-o", "dos"}));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("refused: the name would leave the output folder"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "outside"));
    EXPECT_EQ(statOf(dir / "dos" / "dos.txt").st_mode & 0777, 0644u);
}

// A child on a pseudo-terminal of its own (or, with `terminal` false, in a session without any
// terminal), running the tool; the test types on the terminal's master side.
class Child {
public:
    Child(const std::vector<std::string>& args, bool terminal) {
        if (terminal) {
            master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
            if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
            slaveName_ = ::ptsname(master_);
            // Held open here too, so the terminal's settings can be read after the child ends.
            slave_ = ::open(slaveName_.c_str(), O_RDWR | O_NOCTTY);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(kTool.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            int fd = terminal ? ::open(slaveName_.c_str(), O_RDWR) : ::open("/dev/null", O_RDWR);
            ::dup2(fd, 0);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    // Reads what the terminal shows until `text` appears (or five seconds pass).
    bool waitFor(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (shown.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) readSome(100);
        return shown.find(text) != std::string::npos;
    }
    void type(const std::string& text) { [[maybe_unused]] ssize_t n = ::write(master_, text.data(), text.size()); }
    int wait() {
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            readSome(10);
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                waited_ = true;
                readSome(10);
                break;
            }
        }
        if (!waited_) return -100;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    bool echoOn() const {
        struct termios t {};
        return ::tcgetattr(slave_, &t) == 0 && (t.c_lflag & ECHO) != 0;
    }
    std::string shown;

private:
    void readSome(int ms) {
        if (master_ < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return;
        }
        fd_set set;
        FD_ZERO(&set);
        FD_SET(master_, &set);
        struct timeval tv {0, ms * 1000};
        if (::select(master_ + 1, &set, nullptr, nullptr, &tv) > 0) {
            char buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) shown.append(buf, static_cast<size_t>(n));
        }
    }
    int master_ = -1, slave_ = -1;
    std::string slaveName_;
    pid_t pid_ = -1;
    bool waited_ = false;
};

TEST_F(KorvanaRarKeeps, PasswordsAskedOnTheTerminalAndKeptOutOfTheCommandLine) {
    writeText(dir / "a.txt", std::string(300000, 'a'));
    const std::string archive = (dir / "p.rar").string();
    {
        Child child({"a", "-p", "-q", archive, (dir / "a.txt").string()}, true);
        ASSERT_TRUE(child.waitFor("Password: ")) << child.shown;
        child.type("Tr0ub4dor\n");
        ASSERT_TRUE(child.waitFor("Password again: ")) << child.shown;
        child.type("Tr0ub4dor\n");
        EXPECT_EQ(child.wait(), 0) << child.shown;
        EXPECT_EQ(child.shown.find("Tr0ub4dor"), std::string::npos) << "echoed: " << child.shown;
        EXPECT_NE(child.shown.find("protects only against casual reading"), std::string::npos) << child.shown;
    }
    EXPECT_EQ(sh(tool({"t", "-q", "-pTr0ub4dor", archive})).exitCode, 0);
    EXPECT_EQ(sh(tool({"t", "-q", "-pwrong", archive})).exitCode, 1);
    {
        Child child({"a", "-p", "-q", (dir / "q.rar").string(), (dir / "a.txt").string()}, true);
        ASSERT_TRUE(child.waitFor("Password: "));
        child.type("one\n");
        ASSERT_TRUE(child.waitFor("Password again: "));
        child.type("two\n");
        EXPECT_EQ(child.wait(), 2) << child.shown;
        EXPECT_FALSE(fs::exists(dir / "q.rar"));
    }
    {
        // Ctrl+C at the prompt: the terminal gets its echo back.
        Child child({"t", "-p", archive}, true);
        ASSERT_TRUE(child.waitFor("Password: "));
        EXPECT_FALSE(child.echoOn());
        child.type("\x03");
        EXPECT_EQ(child.wait(), -SIGINT) << child.shown;
        EXPECT_TRUE(child.echoOn());
    }
    const RunResult r = sh("setsid -w " + tool({"x", "-p", archive, "-o", (dir / "none").string()}));
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_NE(r.output.find("there is none; give it as -pPASSWORD"), std::string::npos) << r.output;

    // -pPASSWORD while the program runs: p blocks on a full pipe that nobody reads yet.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::execl(kTool.c_str(), kTool.c_str(), "p", "-pTr0ub4dor", archive.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char first[4096];
    ASSERT_GT(::read(pipeFds[0], first, sizeof first), 0);  // it runs, past its arguments
    const std::string cmdline = readText("/proc/" + std::to_string(pid) + "/cmdline");
    EXPECT_NE(cmdline.find("p.rar"), std::string::npos) << "the rest of the command line stays";
    EXPECT_EQ(cmdline.find("Tr0ub4dor"), std::string::npos) << "the password shows in /proc/PID/cmdline";
    size_t total = 0;
    for (ssize_t n; (n = ::read(pipeFds[0], first, sizeof first)) > 0;) total += static_cast<size_t>(n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(total, 200000u);
}

// Masks and -x in a, x, l, t and d; e with two files of one name; p into a pipe, byte for byte,
// with nothing else on stdout and a CRC error said on stderr.
TEST_F(KorvanaRarKeeps, MasksExclusionsEAndP) {
    fs::create_directories(dir / "in" / "docs");
    fs::create_directories(dir / "in" / "more");
    fs::create_directories(dir / "in" / "build");
    writeText(dir / "in" / "readme.TXT", "readme\n");
    writeText(dir / "in" / "docs" / "same.txt", "first\n");
    writeText(dir / "in" / "more" / "same.txt", "second\n");
    writeText(dir / "in" / "build" / "x.o", "object\n");
    writeText(dir / "in" / "tool.o", "object\n");
    std::string binary(70000, '\0');
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 2654435761u) >> 13);
    writeText(dir / "in" / "data.bin", binary);
    const std::string cd = "cd " + quote(dir.path().string()) + " && ";

    RunResult r = sh(cd + "cd in && " + tool({"a", "-r", "-q", "-m0", "-x*.o", "-xbuild", "../m.rar", "."}));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = sh(cd + tool({"l", "m.rar"}));
    EXPECT_EQ(r.output.find(".o"), std::string::npos) << "-x left them out: " << r.output;
    EXPECT_EQ(r.output.find("build"), std::string::npos) << r.output;

    r = sh(cd + tool({"x", "-q", "m.rar", "*.txt", "-x*more*", "-o", "x"}));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(fs::exists(dir / "x" / "readme.TXT"));
    EXPECT_TRUE(fs::exists(dir / "x" / "docs" / "same.txt"));
    EXPECT_FALSE(fs::exists(dir / "x" / "more"));
    EXPECT_FALSE(fs::exists(dir / "x" / "data.bin"));
    r = sh(cd + tool({"x", "-q", "m.rar", "*.doc", "-o", "none"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("*.doc                                    FAILED: no such entry"), std::string::npos)
        << r.output;
    r = sh(cd + tool({"t", "m.rar", "DOCS/?ame.txt"}));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("All OK (1 file)"), std::string::npos) << r.output;
    r = sh(cd + tool({"l", "m.rar", "*same*", "-xmore*"}));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("docs\\same.txt"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("more\\same.txt"), std::string::npos) << r.output;

    r = sh(cd + tool({"e", "-q", "m.rar", "-o", "e"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("an earlier entry has the same file name (use -y to overwrite it)"), std::string::npos)
        << r.output;
    EXPECT_EQ(readText(dir / "e" / "same.txt"), "first\n");
    EXPECT_FALSE(fs::exists(dir / "e" / "docs"));
    r = sh(cd + tool({"e", "-q", "-y", "m.rar", "*same.txt", "-o", "e"}));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(readText(dir / "e" / "same.txt"), "second\n");

    r = sh(cd + tool({"p", "m.rar", "DATA.BIN", "readme.txt"}) + " 2>p.err >p.out");
    EXPECT_EQ(r.exitCode, 0) << readText(dir / "p.err");
    EXPECT_EQ(readText(dir / "p.out"), binary + "readme\n");
    EXPECT_EQ(readText(dir / "p.err"), "");

    // One byte of the stored data.bin changed: its bytes still go out, the CRC error is said.
    std::string archive = readText(dir / "m.rar");
    const size_t at = archive.find(binary.substr(0, 64));
    ASSERT_NE(at, std::string::npos);
    archive[at + 1000] = static_cast<char>(archive[at + 1000] ^ 1);
    writeText(dir / "bad.rar", archive);
    r = sh(cd + tool({"p", "bad.rar", "data.bin"}) + " 2>p.err >p.out");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(readText(dir / "p.err").find("data.bin: FAILED"), std::string::npos) << readText(dir / "p.err");
    EXPECT_EQ(readText(dir / "p.out").size(), binary.size());

    r = sh(cd + tool({"d", "m.rar", "*.bin", "*.nothing"}));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Deleted  data.bin"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("*.nothing"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace korvana::test
