// The archive tool run as a program: listing, testing and extracting the shared archives and
// archives built to attack the output folder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "archive/archive_test_support.h"
#include "archive/crc32.h"
#include "archive/unpack_harness.h"
#include "support/testdata.h"
#include "tools/rar_tool_runner.h"

namespace korvana::test {
namespace {

RunResult runTool(const std::vector<std::string>& args, const std::string& environment = "") {
    return sh(environment + " " + tool(args));
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

// Archives and entries of other RAR generations: each named as what it is, exit status 1 for l, t,
// x, a and d alike, never "0 of 0" with 0.
TEST_F(KorvanaRar, RefusesOtherRarGenerationsByName) {
    const auto write = [this](const std::string& name, const Bytes& bytes) {
        writeFileBytes(dir / name, bytes);
        return (dir / name).string();
    };
    const std::string rar5 = write("five.rar", {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00, 0x33, 0x92, 0xB5,
                                                0xE5, 0x0A, 0x01, 0x05, 0x06, 0x00, 0x05, 0x01, 0x01, 0x80, 0x80, 0x00});
    RarBuilder hidden;
    hidden.marker().mainHeader(0x0080);  // headers encrypted: what follows is cipher text
    hidden.bytes.insert(hidden.bytes.end(), 48, 0xA5);
    const std::string encryptedHeaders = write("hidden.rar", hidden.bytes);
    const std::string rar14 = write("old.rar", {0x52, 0x45, 0x7E, 0x5E, 7, 0, 0, 0, 0, 0, 0, 0});
    const struct {
        std::string archive;
        const char* words;
    } archives[] = {{rar5, "a RAR 5 archive"},
                    {encryptedHeaders, "with encrypted headers"},
                    {rar14, "a RAR 1.x archive"}};
    for (const auto& c : archives) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"l"}, {"t"}, {"x", "-o", (dir / "out").string()}, {"d"}, {"a"}}) {
            std::vector<std::string> args = command;
            args.push_back(c.archive);
            if (command[0] == "d" || command[0] == "a") args.push_back(command[0] == "a" ? c.archive : "x");
            const RunResult r = runTool(args);
            EXPECT_EQ(r.exitCode, 1) << command[0] << " " << c.archive << ": " << r.output;
            EXPECT_NE(r.output.find(c.words), std::string::npos) << command[0] << ": " << r.output;
        }
    }
    // Entries packed by RAR 3.x/4.x inside an archive this reader otherwise reads, and by RAR 1.5.
    RarBuilder mixed;
    mixed.marker().mainHeader();
    mixed.file({.name = "new.txt", .data = {1, 2, 3, 4}, .method = 0x33, .unpVer = 29});
    mixed.file({.name = "plain.txt", .data = {'o', 'k'}});
    mixed.endBlock();
    const RunResult r = runTool({"t", write("mixed.rar", mixed.bytes)});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("new.txt                                  FAILED: packed with RAR 3.x/4.x compression"),
              std::string::npos) << r.output;
    EXPECT_NE(r.output.find("plain.txt                                OK"), std::string::npos) << r.output;
    KORVANA_REQUIRE_TESTDATA();
    const RunResult old = runTool({"t", (testdataDir() / "rar" / "wav-regular-v15.rar").string()});
    EXPECT_EQ(old.exitCode, 1);
    EXPECT_NE(old.output.find("FAILED: packed by RAR 1.x (unpack version 1.5)"), std::string::npos) << old.output;
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

// Every regular file below `root` with its bytes, by relative path.
std::map<std::string, Bytes> treeContents(const std::filesystem::path& root) {
    std::map<std::string, Bytes> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file() && !e.is_symlink()) files[e.path().lexically_relative(root).string()] = readFileBytes(e.path());
    return files;
}

TEST_F(KorvanaRar, EveryEntryOfARealTreeWhateverItsName) {
    // Names the show's lookup cannot tell apart, a deep path, a few thousand small files, a link.
    const std::filesystem::path tree = dir / "tree";
    std::map<std::string, std::string> made = {
        {"d/index.html", "lower"}, {"d/Index.html", "upper"},   {"d/FAQ.html", "FAQ"},
        {"d/faq.html", "faq"},     {"t/api_assets/a.js", "one"}, {"t/api/assets/a.js", "two"},
        {"a/b/c/d/e/f/g/h/i/j/k/l/deep.txt", "deep"},
    };
    std::mt19937 random(17);
    for (int i = 0; i < 2500; ++i) {
        std::string text = "file " + std::to_string(i) + ":";
        for (uint32_t n = random() % 400; n > 0; --n) text += static_cast<char>('a' + random() % (i % 2 ? 26 : 3));
        made["many/" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt"] = text;
    }
    for (const auto& [name, text] : made) {
        std::filesystem::create_directories((tree / name).parent_path());
        std::ofstream(tree / name, std::ios::binary) << text;
    }
    std::filesystem::create_symlink("d/index.html", tree / "link.html");
    const std::map<std::string, Bytes> expected = treeContents(tree);
    ASSERT_EQ(expected.size(), made.size());

    for (const char* solid : {"-s", "-m3"}) {
        SCOPED_TRACE(solid);
        const std::filesystem::path archive = dir / (std::string("tree") + solid + ".rar");
        RunResult r = runTool({"a", "-r", solid, archive.string(), "tree"}, "cd " + quote(dir.path().string()) + " &&");
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("left out 1 symbolic link: a RAR 2.0 archive cannot hold links"), std::string::npos);
        EXPECT_NE(r.output.find("tree\\d\\FAQ.html, tree\\d\\faq.html differ only"), std::string::npos) << r.output;

        r = runTool({"t", archive.string()});
        EXPECT_EQ(r.exitCode, 0) << r.output.substr(0, 2000);
        EXPECT_NE(r.output.find("All OK (" + std::to_string(made.size()) + " files)"), std::string::npos);

        const std::filesystem::path out = dir / (std::string("out") + solid);
        r = runTool({"x", "-q", archive.string(), "-o", out.string()});
        EXPECT_EQ(r.exitCode, 0) << r.output.substr(0, 2000);
        EXPECT_TRUE(treeContents(out / "tree") == expected);

        const std::filesystem::path byUnar = dir / (std::string("unar") + solid);
        if (std::system("unar -v >/dev/null 2>&1") == 0) {
            ASSERT_EQ(std::system(("unar -q -o " + quote(byUnar.string()) + " " + quote(archive.string()) + " >/dev/null")
                                      .c_str()),
                      0);
            EXPECT_TRUE(treeContents(byUnar / "tree") == expected);
        }
    }

    // Two entries of exactly the same name: the second is not written, and that is no success.
    RarBuilder b;
    b.marker().mainHeader();
    b.file({.name = "same.txt", .data = {'1'}});
    b.file({.name = "same.txt", .data = {'2'}});
    b.endBlock();
    writeFileBytes(dir / "same.rar", b.bytes);
    const RunResult r = runTool({"x", "-y", (dir / "same.rar").string(), "-o", (dir / "same").string()});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("same.txt                                 FAILED: an earlier entry has exactly this name"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("1 of 2 entries not extracted"), std::string::npos) << r.output;
    EXPECT_EQ(readText(dir / "same" / "same.txt"), "1");
}

TEST_F(KorvanaRar, StreamsAnEntryFarLargerThanItsMemory) {
    // 310 MB: 64 KiB of noise, then a match repeating it, and that match repeated.
    constexpr uint32_t kNoise = 65536, kRepeats = 1200000;
    std::mt19937 random(15);
    Bytes noise(kNoise);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    test::StreamWriter s;
    s.lzTables(test::defaultLd(), test::defaultDd(), test::defaultRd());
    for (uint8_t b : noise) s.literal(b);
    s.match(258, kNoise);
    for (uint32_t i = 1; i < kRepeats; ++i) s.repeatLast();
    const uint64_t size = kNoise + uint64_t{258} * kRepeats;

    // Its CRC and SHA-256, computed piece by piece like the tool must.
    initCrc();
    uint32_t crc = 0xFFFFFFFFu;
    const std::filesystem::path expectedSum = dir / "expected.sha256";
    FILE* sum = ::popen(("sha256sum > " + quote(expectedSum.string())).c_str(), "w");
    ASSERT_NE(sum, nullptr);
    for (uint64_t done = 0; done < size;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kNoise - done % kNoise, size - done));
        const uint8_t* piece = noise.data() + done % kNoise;
        crc = calcCrc32(crc, piece, static_cast<uint32_t>(n));
        std::fwrite(piece, 1, n, sum);
        done += n;
    }
    ::pclose(sum);

    RarBuilder b;
    b.marker().mainHeader();
    b.file({.name = "big.bin", .data = s.bits.bytes(8), .method = 0x33, .unpSize = static_cast<int64_t>(size),
            .fileCrc = ~crc});
    b.endBlock();
    const std::filesystem::path archive = dir / "big.rar";
    writeFileBytes(archive, b.bytes);

#if defined(__SANITIZE_ADDRESS__)
    const std::string limit;  // the sanitizer reserves terabytes of address space: no limit holds
#else
    const std::string limit = "ulimit -v 120000 &&";  // KiB: well below the entry's size
#endif
    RunResult r = runTool({"t", archive.string()}, limit);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    r = runTool({"x", archive.string(), "-o", dir.path().string()}, limit);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(std::filesystem::file_size(dir / "big.bin"), size);
    const std::filesystem::path gotSum = dir / "got.sha256";
    ASSERT_EQ(std::system(("sha256sum < " + quote((dir / "big.bin").string()) + " > " + quote(gotSum.string())).c_str()), 0);
    EXPECT_EQ(readText(gotSum), readText(expectedSum));
}

TEST_F(KorvanaRar, BadUsageAndHelp) {
    const std::vector<std::vector<std::string>> bad = {
        {}, {"q", "a.rar"}, {"l"}, {"l", "a.rar", "-pX"}, {"t", "a.rar", "-pX", "-pY"}, {"x", "a.rar", "-o"},
        {"x", "a.rar", "-z"}, {"l", "a.rar", "-y"}, {"x", "a.rar", "-yes"}, {"x"},
    };
    for (const auto& args : bad) {
        const RunResult r = runTool(args);
        EXPECT_EQ(r.exitCode, 2) << r.output;
        EXPECT_NE(r.output.find("korvana-rar: "), std::string::npos) << r.output;
    }
    const RunResult help = runTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("x ARCHIVE [ENTRY...] [-p[PASSWORD]] [-o DIR] [-xMASK] [-y]"), std::string::npos);
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

    // A password given to a tool never reaches the log, only a mask.
    r = runTool({"t", "-pSECRET-WORD", archive.string()}, env);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(logMessages(dir / "korvana" / "debug_unrar.txt")[0],
              "Extracting >a.txt< from >" + archive.string() + "< (password is >********<)...");
    EXPECT_EQ(readText(dir / "korvana" / "debug_unrar.txt").find("SECRET-WORD"), std::string::npos);

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
