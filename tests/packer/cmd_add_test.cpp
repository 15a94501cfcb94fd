// korvana-rar a: what the command writes, read back by our reader, by `korvana-rar t` and by unar.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "packer_test_util.h"

namespace korvana::test {
namespace {

namespace fs = std::filesystem;

class CmdAdd : public ::testing::Test {
protected:
    void SetUp() override {
        if (toolPath().empty()) GTEST_SKIP() << "korvana-rar is not built";
        root = dir.path();
        writeBytes(root / "tree" / "a.txt", textBytes(30000, 1));
        writeBytes(root / "tree" / "deep" / "b.bin", binaryBytes(20000, 2));
        writeBytes(root / "tree" / "deep" / "empty", {});
        writeBytes(root / "tree" / "sound.raw", audioBytes(8000, 2, 2, 3));
    }
    ScratchDir dir;
    fs::path root;
};

TEST_F(CmdAdd, PacksFoldersThatEveryReaderTakesBack) {
    const std::vector<std::string> names = {"tree\\a.txt", "tree\\deep\\b.bin", "tree\\deep\\empty", "tree\\sound.raw"};
    const std::vector<std::vector<std::string>> variants = {
        {"-m0"}, {"-m1"}, {"-m5", "-mm-"}, {"-s", "-m3"}, {"-mm", "-m2"}, {"-pSECRET", "-s"}};
    for (const auto& extra : variants) {
        std::string label;
        for (const auto& e : extra) label += e + " ";
        SCOPED_TRACE(label);
        const fs::path archive = root / "out.rar";
        std::vector<std::string> args = {"a", "-r"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("out.rar");
        args.push_back("tree");
        ASSERT_EQ(runTool(root, args), 0);
        const std::string password = label.find("-pSECRET") != std::string::npos ? "SECRET" : "";
        if (password.empty()) {
            EXPECT_EQ(runTool(root, {"t", "out.rar"}), 0);
        } else {
            EXPECT_EQ(runTool(root, {"t", "-p" + password, "out.rar"}), 0);
        }
        for (const auto& name : names) {
            std::vector<uint8_t> got;
            EXPECT_TRUE(readerExtract(archive, name, password, &got)) << name;
            EXPECT_TRUE(got == readFile(extractedPath(root, name))) << name;
        }
        if (haveUnar()) {
            const fs::path out = root / "unar-out";
            fs::remove_all(out);
            fs::create_directories(out);
            ASSERT_TRUE(unarExtract(archive, out, password));
            for (const auto& name : names)
                EXPECT_TRUE(readFile(extractedPath(out, name)) == readFile(extractedPath(root, name))) << name;
        }
    }
    // The last archive written is the encrypted one.
    EXPECT_EQ(runTool(root, {"t", "out.rar"}), 1) << "the encrypted archive must fail without its password";
    EXPECT_EQ(runTool(root, {"t", "-pSECRET", "out.rar"}), 0);
    EXPECT_EQ(runTool(root, {"l", "out.rar"}), 0);
    EXPECT_EQ(runTool(root, {"x", "-pSECRET", "-o", "x-out", "out.rar"}), 0);
    EXPECT_TRUE(readFile(root / "x-out" / "tree" / "a.txt") == readFile(root / "tree" / "a.txt"));
}

TEST_F(CmdAdd, FailuresLeaveTheOldArchiveAlone) {
    ASSERT_EQ(runTool(root, {"a", "keep.rar", "tree/a.txt"}), 0);
    const std::vector<uint8_t> before = readFile(root / "keep.rar");
    EXPECT_EQ(runTool(root, {"a", "keep.rar", "tree/a.txt", "no-such-file"}), 1);
    EXPECT_EQ(runTool(root, {"a", "keep.rar", "tree"}), 1) << "a folder needs -r";
    EXPECT_EQ(runTool(root, {"a", "-m9", "keep.rar", "tree/a.txt"}), 2);
    EXPECT_EQ(runTool(root, {"a", "-m1", "-m2", "keep.rar", "tree/a.txt"}), 2);
    EXPECT_EQ(runTool(root, {"a", "keep.rar"}), 2);
    EXPECT_EQ(runTool(root, {"a", "keep.rar", "tree/a.txt", "./tree/../tree/a.txt"}), 1) << "same stored name twice";
    EXPECT_TRUE(readFile(root / "keep.rar") == before);
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(root)) files += e.is_regular_file();
    EXPECT_EQ(files, 1u) << "no temporary file left behind";
    std::vector<uint8_t> got;
    // A folder that holds the archive (from an earlier run) never packs it into itself.
    ASSERT_EQ(runTool(root, {"a", "-r", "self.rar", "."}), 0);
    ASSERT_EQ(runTool(root, {"a", "-r", "self.rar", "."}), 0);
    EXPECT_TRUE(readerExtract(root / "self.rar", "keep.rar", "", &got));
    EXPECT_FALSE(readerExtract(root / "self.rar", "self.rar", "", &got));
    // Names never climb out of the extraction folder.
    ASSERT_EQ(runTool(root / "tree" / "deep", {"a", "../up.rar", "../a.txt"}), 0);
    EXPECT_TRUE(readerExtract(root / "tree" / "up.rar", "a.txt", "", &got));
}

}  // namespace
}  // namespace korvana::test
