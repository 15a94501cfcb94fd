// korvana-rar a onto an existing archive, d, and -vSIZE volume sets: what the archive holds
// afterwards, read back by our reader and by unar.
#include <algorithm>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "archive/archive.h"
#include "packer_test_util.h"

namespace korvana::test {
namespace {

namespace fs = std::filesystem;

bool contains(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

class CmdChange : public ::testing::Test {
protected:
    void SetUp() override {
        if (toolPath().empty()) GTEST_SKIP() << "korvana-rar is not built";
        root = dir.path();
        files["a.txt"] = textBytes(30000, 1);
        files["b.bin"] = binaryBytes(20000, 2);
        files["c.txt"] = textBytes(5000, 3);
        files["big.bin"] = randomBytes(70000, 4);  // larger than the volumes below
        for (const auto& [name, bytes] : files) writeBytes(root / name, bytes);
    }
    // Every name given must come out of `archive` byte for byte as `expected` says, through our
    // reader and through unar; nothing else may be in it.
    void expectHolds(const fs::path& archive, const std::map<std::string, std::vector<uint8_t>>& expected,
                     const std::string& password = "") {
        for (const auto& [name, bytes] : expected) {
            std::vector<uint8_t> got;
            EXPECT_TRUE(readerExtract(archive, name, password, &got)) << name;
            EXPECT_TRUE(got == bytes) << name;
        }
        if (!haveUnar()) return;
        const fs::path out = root / ("unar-" + std::to_string(++unarRuns));
        fs::create_directories(out);
        ASSERT_TRUE(unarExtract(archive, out, password));
        size_t found = 0;
        for (const auto& e : fs::recursive_directory_iterator(out)) found += e.is_regular_file();
        EXPECT_EQ(found, expected.size());
        for (const auto& [name, bytes] : expected) EXPECT_TRUE(readFile(out / name) == bytes) << "unar: " << name;
    }
    ScratchDir dir;
    fs::path root;
    std::map<std::string, std::vector<uint8_t>> files;
    int unarRuns = 0;
};

TEST_F(CmdChange, AddKeepsEveryEntryInEveryMode) {
    struct Mode {
        std::vector<std::string> first, later;  // options of the first a and of the later ones
        std::string password;                   // for reading back
    };
    const Mode modes[] = {
        {{}, {}, ""},
        {{"-pPW"}, {}, "PW"},         // kept encrypted entries are copied without their password
        {{"-s"}, {}, ""},             // solid: kept entries decoded and packed again
        {{}, {"-s"}, ""},             // a non-solid archive made solid
        {{"-s", "-pPW"}, {"-pPW"}, "PW"},
    };
    for (const Mode& mode : modes) {
        std::string label;
        for (const auto& o : mode.first) label += o + " ";
        label += "/ ";
        for (const auto& o : mode.later) label += o + " ";
        SCOPED_TRACE(label);
        fs::remove(root / "x.rar");
        std::vector<std::string> args = {"a", "-q", "x.rar", "a.txt", "b.bin"};
        args.insert(args.begin() + 1, mode.first.begin(), mode.first.end());
        ASSERT_EQ(runTool(root, args), 0);
        const std::vector<uint8_t> before = readFile(root / "x.rar");
        args = {"a", "-q", "x.rar", "c.txt"};
        args.insert(args.begin() + 1, mode.later.begin(), mode.later.end());
        ASSERT_EQ(runTool(root, args), 0);
        auto expected = files;
        expected.erase("big.bin");
        expectHolds(root / "x.rar", expected, mode.password);
        if (mode.first.empty() && mode.later.empty()) {
            // Non-solid: the kept entries' blocks are the old bytes, copied.
            const std::vector<uint8_t> after = readFile(root / "x.rar");
            EXPECT_TRUE(contains(after, std::vector<uint8_t>(before.begin() + 20, before.end() - 7)));
        }
        // A name given again replaces its entry in place.
        writeBytes(root / "a.txt", textBytes(1000, 9));
        args[args.size() - 1] = "a.txt";
        ASSERT_EQ(runTool(root, args), 0);
        expected["a.txt"] = readFile(root / "a.txt");
        expectHolds(root / "x.rar", expected, mode.password);
        writeBytes(root / "a.txt", files["a.txt"]);
    }
    // The last archive is solid and encrypted: without the password it cannot be packed again,
    // and stays as it was.
    const std::vector<uint8_t> before = readFile(root / "x.rar");
    EXPECT_EQ(runTool(root, {"a", "x.rar", "big.bin"}), 1);
    EXPECT_EQ(runTool(root, {"a", "-pWRONG", "x.rar", "big.bin"}), 1);
    EXPECT_EQ(runTool(root, {"d", "x.rar", "b.bin"}), 1);
    EXPECT_TRUE(readFile(root / "x.rar") == before);
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(root)) entries += e.path().filename().string().rfind("x.rar", 0) == 0;
    EXPECT_EQ(entries, 1u) << "no temporary file left beside the archive";
    // A file that is not an archive is never replaced by one.
    writeBytes(root / "notes.rar", textBytes(100, 5));
    EXPECT_EQ(runTool(root, {"a", "notes.rar", "c.txt"}), 1);
    EXPECT_TRUE(readFile(root / "notes.rar") == textBytes(100, 5));
}

TEST_F(CmdChange, DeleteRemovesOnlyWhatIsNamed) {
    for (const std::string solid : {"non-solid", "-s"}) {
        SCOPED_TRACE(solid);
        fs::remove(root / "d.rar");
        std::vector<std::string> args = {"a", "-q", "d.rar", "a.txt", "b.bin", "c.txt"};
        if (solid == "-s") args.insert(args.begin() + 1, "-s");
        ASSERT_EQ(runTool(root, args), 0);
        // Names match as x matches them: case-blind.
        EXPECT_EQ(runTool(root, {"d", "d.rar", "B.BIN"}), 0);
        auto expected = files;
        expected.erase("big.bin");
        expected.erase("b.bin");
        expectHolds(root / "d.rar", expected);
        // A name that matches nothing is an error, whether or not others matched.
        EXPECT_EQ(runTool(root, {"d", "d.rar", "a.txt", "nothing"}), 1);
        expected.erase("a.txt");
        expectHolds(root / "d.rar", expected);
        const std::vector<uint8_t> before = readFile(root / "d.rar");
        EXPECT_EQ(runTool(root, {"d", "d.rar", "nothing"}), 1);
        EXPECT_TRUE(readFile(root / "d.rar") == before);
    }
}

TEST_F(CmdChange, AddKeepsCommentsAndSubBlocksOfOtherArchivers) {
    const fs::path shared = fs::path(KORVANA_TESTDATA_DIR) / "rar";
    if (!fs::exists(shared / "comments-v20.rar")) GTEST_SKIP() << "shared test data absent: " << shared;
    for (const std::string name : {"comments-v20.rar", "subblock-v20.rar"}) {
        SCOPED_TRACE(name);
        const fs::path archive = root / name;
        fs::copy_file(shared / name, archive);
        fs::permissions(archive, fs::perms::owner_write, fs::perm_options::add);
        const std::vector<uint8_t> before = readFile(archive);
        ASSERT_EQ(runTool(root, {"a", "-q", name, "c.txt"}), 0);
        const std::vector<uint8_t> after = readFile(archive);
        // Everything before the old end block (comments, sub-blocks, entries) is kept as it was.
        const size_t keep = name == "comments-v20.rar" ? before.size() : before.size() - 7;
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(keep), after.begin()));
        if (!haveUnar()) continue;
        const fs::path old = root / ("old-" + name), now = root / ("new-" + name);
        fs::create_directories(old);
        fs::create_directories(now);
        ASSERT_TRUE(unarExtract(shared / name, old));
        ASSERT_TRUE(unarExtract(archive, now));
        for (const auto& e : fs::directory_iterator(old))
            EXPECT_TRUE(readFile(e.path()) == readFile(now / e.path().filename())) << e.path();
        EXPECT_TRUE(readFile(now / "c.txt") == files["c.txt"]);
    }
}

TEST_F(CmdChange, VolumeSetsRoundTripAndNameWhatIsWrong) {
    constexpr uint64_t kVolume = 20000;
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"-s"}, {"-pPW"}, {"-m0", "-s", "-pPW"}}) {
        std::string label;
        for (const auto& e : extra) label += e + " ";
        SCOPED_TRACE(label);
        const std::string password = label.find("-pPW") != std::string::npos ? "PW" : "";
        for (const auto& e : fs::directory_iterator(root))
            if (e.path().filename().string().rfind("v.", 0) == 0) fs::remove(e.path());
        std::vector<std::string> args = {"a", "-q", "-v" + std::to_string(kVolume), "v.rar", "a.txt", "big.bin", "c.txt"};
        args.insert(args.begin() + 1, extra.begin(), extra.end());
        ASSERT_EQ(runTool(root, args), 0);
        std::vector<fs::path> volumes = {root / "v.rar"};
        for (std::string name = nextVolumeName("v.rar"); fs::exists(root / name); name = nextVolumeName(name))
            volumes.push_back(root / name);
        ASSERT_GE(volumes.size(), 4u) << "70 KB and more cannot fit in fewer 20 KB volumes";
        for (const fs::path& v : volumes) EXPECT_LE(fs::file_size(v), kVolume) << v;

        const std::vector<std::string> pw = password.empty() ? std::vector<std::string>{} : std::vector<std::string>{"-p" + password};
        std::vector<std::string> x = {"x", "-q", "-o", "out-" + label, "v.rar"};
        x.insert(x.end(), pw.begin(), pw.end());
        ASSERT_EQ(runTool(root, x), 0);
        for (const std::string name : {"a.txt", "big.bin", "c.txt"})
            EXPECT_TRUE(readFile(root / ("out-" + label) / name) == files[name]) << name;
        if (haveUnar()) {
            const fs::path out = root / ("unar-" + label);
            fs::create_directories(out);
            ASSERT_TRUE(unarExtract(root / "v.rar", out, password));
            for (const std::string name : {"a.txt", "big.bin", "c.txt"})
                EXPECT_TRUE(readFile(out / name) == files[name]) << "unar: " << name;
        }

        // A missing, damaged or misplaced volume fails the test with exit status 1.
        std::vector<std::string> t = {"t", "-q", "v.rar"};
        t.insert(t.end(), pw.begin(), pw.end());
        const fs::path second = volumes[1], aside = root / "aside";
        fs::rename(second, aside);
        EXPECT_EQ(runTool(root, t), 1) << "missing volume";
        fs::rename(aside, second);
        std::vector<uint8_t> bytes = readFile(second);
        const std::vector<uint8_t> good = bytes;
        bytes[bytes.size() / 2] ^= 0x55;
        writeBytes(second, bytes);
        EXPECT_EQ(runTool(root, t), 1) << "damaged volume";
        writeBytes(second, good);
        t[2] = second.filename().string();
        EXPECT_EQ(runTool(root, t), 1) << "a set begun at its second volume";
        t[2] = "v.rar";
        EXPECT_EQ(runTool(root, t), 0);
    }
    // A volume set is written whole: never onto an existing archive.
    EXPECT_EQ(runTool(root, {"a", "-v20000", "v.rar", "c.txt"}), 1);
    EXPECT_EQ(runTool(root, {"a", "-v100", "w.rar", "c.txt"}), 2);
}

}  // namespace
}  // namespace korvana::test
