// The archive tool run as a program: listing, testing and extracting the shared archives and
// archives built to attack the output folder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "archive/archive_test_support.h"
#include "support/testdata.h"

namespace korvana::test {
namespace {

const std::string kTool = KORVANA_BINARY_DIR "/tools/korvana-rar";

struct RunResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

RunResult runTool(const std::vector<std::string>& args, const std::string& environment = "") {
    std::string command = environment + " " + quote(kTool);
    for (const std::string& a : args) command += " " + quote(a);
    command += " 2>&1";
    RunResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class KorvanaRar : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kTool)) GTEST_FAIL() << "build the korvana-rar target first: " << kTool;
    }
    // Files below `root`, relative, sorted.
    static std::vector<std::string> filesUnder(const std::filesystem::path& root) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root))
            names.push_back(e.path().lexically_relative(root).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir dir;
};

TEST_F(KorvanaRar, TestsEverySharedArchive) {
    KORVANA_REQUIRE_TESTDATA();
    const std::filesystem::path rar = testdataDir() / "rar";
    struct Case {
        const char* archive;
        const char* password;
        int exitCode;
        int okLines;
    };
    const Case cases[] = {
        {"wav-regular-v20.rar", nullptr, 0, 2},       {"encrypted-stored-v20.rar", "password", 0, 1},
        {"encrypted-packed-v20.rar", "password", 0, 1}, {"comments-v20.rar", nullptr, 0, 2},
        {"bad-header-crc-v20.rar", nullptr, 0, 1},     {"subblock-v20.rar", nullptr, 1, 0},
        {"wav-regular-v15.rar", nullptr, 1, 0},       {"encrypted-stored-v20.rar", nullptr, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        std::vector<std::string> args = {"t", (rar / c.archive).string()};
        if (c.password) args.insert(args.begin(), std::string("-p") + c.password);  // options anywhere
        const RunResult r = runTool(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        size_t oks = 0;
        for (size_t at = r.output.find(" OK\n"); at != std::string::npos; at = r.output.find(" OK\n", at + 1)) ++oks;
        EXPECT_EQ(static_cast<int>(oks), c.okLines) << r.output;
    }
    const RunResult sub = runTool({"t", (rar / "subblock-v20.rar").string()});
    EXPECT_NE(sub.output.find("FAILED: Sorry, sub-headers not supported."), std::string::npos) << sub.output;

    const RunResult list = runTool({"l", (rar / "subblock-v20.rar").string()});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.output.find("[sub-block, type 0x77]"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("file2.txt"), std::string::npos);
    EXPECT_NE(list.output.find("2 files"), std::string::npos);
    const RunResult wav = runTool({"l", (rar / "wav-regular-v20.rar").string()});
    EXPECT_NE(wav.output.find("BoatModernEnglish.wav                         56464      42551    75%     m5  2.0"),
              std::string::npos)
        << wav.output;
}

TEST_F(KorvanaRar, ExtractsUnderTheFolderOnly) {
    RarBuilder b;
    b.marker().mainHeader();
    b.file({.name = "..\\evil.txt", .data = {'e'}});
    b.file({.name = "good/../../evil2.txt", .data = {'e'}});
    b.file({.name = "/abs.txt", .data = {'e'}});
    b.file({.name = "C:\\win.txt", .data = {'e'}});
    b.file({.name = "GOOD\\sub\\file.txt", .data = {'o', 'k'}});
    b.file({.name = "DIR", .data = {}, .flags = 0x80E0});
    b.file({.name = "link\\through.txt", .data = {'e'}});
    b.endBlock();
    const std::filesystem::path archive = dir / "attack.rar";
    writeFileBytes(archive, b.bytes);
    const std::filesystem::path out = dir / "out" / "deeper";
    std::filesystem::create_directories(out);
    std::filesystem::create_directory(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "elsewhere", out / "link");

    RunResult r = runTool({"x", archive.string(), "-o", out.string()});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(readText(out / "GOOD" / "sub" / "file.txt"), "ok");
    EXPECT_TRUE(std::filesystem::is_directory(out / "DIR"));
    EXPECT_EQ(filesUnder(out), (std::vector<std::string>{"DIR", "GOOD", "GOOD/sub", "GOOD/sub/file.txt", "link"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "evil.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "evil2.txt"));
    EXPECT_FALSE(std::filesystem::exists("/abs.txt"));
    size_t refusals = 0;
    for (size_t at = r.output.find("refused"); at != std::string::npos; at = r.output.find("refused", at + 1)) ++refusals;
    EXPECT_EQ(refusals, 4u) << r.output;
}

TEST_F(KorvanaRar, NeverOverwritesWithoutYesAndLeavesNothingOfAFailure) {
    RarBuilder b;
    b.marker().mainHeader();
    b.file({.name = "a.txt", .data = {'n', 'e', 'w'}});
    b.file({.name = "bad.txt", .data = {'x', 'y'}, .fileCrc = 0x1234});
    b.endBlock();
    const std::filesystem::path archive = dir / "two.rar";
    writeFileBytes(archive, b.bytes);
    const std::filesystem::path out = dir / "out";
    std::filesystem::create_directory(out);
    writeFileBytes(out / "a.txt", Bytes{'o', 'l', 'd'});

    RunResult r = runTool({"x", "-o", out.string(), archive.string(), "A.TXT"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("exists (use -y to overwrite)"), std::string::npos) << r.output;
    EXPECT_EQ(readText(out / "a.txt"), "old");

    r = runTool({"-y", "x", archive.string(), "a.txt", "-o" + out.string()});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(readText(out / "a.txt"), "new");

    r = runTool({"x", archive.string(), "bad.txt", "-o", out.string()});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("CRC32 error"), std::string::npos) << r.output;
    EXPECT_EQ(filesUnder(out), std::vector<std::string>{"a.txt"});  // no bad.txt, no temporary file

    r = runTool({"x", archive.string(), "missing.txt", "-o", out.string()});
    EXPECT_EQ(r.exitCode, 1) << r.output;
}

TEST_F(KorvanaRar, BadUsageAndHelp) {
    const std::vector<std::vector<std::string>> bad = {
        {}, {"q", "a.rar"}, {"l"}, {"l", "a.rar", "b.rar"}, {"t", "a.rar", "-p"}, {"x", "a.rar", "-o"},
        {"x", "a.rar", "-z"}, {"l", "a.rar", "-y"}, {"x", "a.rar", "-yes"}, {"x"},
    };
    for (const auto& args : bad) {
        const RunResult r = runTool(args);
        EXPECT_EQ(r.exitCode, 2) << r.output;
        EXPECT_NE(r.output.find("korvana-rar: "), std::string::npos) << r.output;
    }
    const RunResult help = runTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("x ARCHIVE [ENTRY...] [-pPASSWORD] [-o DIR] [-y]"), std::string::npos);
    const RunResult notArchive = runTool({"l", kTool});
    EXPECT_EQ(notArchive.exitCode, 1);
}

TEST_F(KorvanaRar, LogsToTheCacheFolderWhenItExists) {
    RarBuilder b;
    b.marker().mainHeader().file({.name = "a.txt", .data = {'a'}}).endBlock();
    const std::filesystem::path archive = dir / "one.rar";
    writeFileBytes(archive, b.bytes);
    const std::string env = "XDG_CACHE_HOME=" + quote(dir.path().string());
    RunResult r = runTool({"t", archive.string()}, env);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "korvana"));  // never creates the folder

    std::filesystem::create_directory(dir / "korvana");
    r = runTool({"t", archive.string()}, env);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const std::vector<std::string> m = logMessages(dir / "korvana" / "debug_unrar.txt");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0], "Extracting >a.txt< from >" + archive.string() + "< (password is ><)...");
    EXPECT_EQ(m[1], "Extracted 1 Bytes.");

    // A relative HOME would make the log follow the working directory: like the show, no log.
    const std::filesystem::path work = dir / "work";
    std::filesystem::create_directories(work / "home" / ".cache" / "korvana");
    r = runTool({"t", archive.string()}, "cd " + quote(work.string()) + " && env -u XDG_CACHE_HOME HOME=home");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(std::filesystem::exists(work / "home" / ".cache" / "korvana" / "debug_unrar.txt"));
    r = runTool({"t", archive.string()}, "cd " + quote(work.string()) + " && env -u XDG_CACHE_HOME HOME=" +
                                             quote((work / "home").string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(std::filesystem::exists(work / "home" / ".cache" / "korvana" / "debug_unrar.txt"));
}

}  // namespace
}  // namespace korvana::test
