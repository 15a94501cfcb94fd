// korvana-content as a whole: it makes the same bytes on every run, and what it packs comes out of
// the archive intact through independent extractors and through the show's own readers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/wait.h>

#include "archive/archive.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBin = KORVANA_BINARY_DIR;

std::vector<uint8_t> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

int run(const std::string& command) {
    int status = std::system((command + " > /dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveProgram(const char* name) { return run(std::string("command -v ") + name) == 0; }

fs::path makeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "korvana-content-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    return made ? fs::path(made) : fs::path();
}

// Every member the show asks for: overlays, the scenes' images and the four mesh files.
const char* const kMembers[] = {
    "3ds/tube.3ds", "3ds/tubekasse.3ds", "3ds/tube2.3ds", "3ds/kasser.3ds",
    "jpg/tube_ydre.jpg", "jpg/tube_indre.jpg", "jpg/tube_lys.jpg", "jpg/cplatta02.jpg",
    "jpg/pscene.jpg", "jpg/pscenesmallwall.jpg", "jpg/tubekasse_cyl.tga",
    "jpg/tubekasse_cyl_inv.tga", "jpg/ .tga", "jpg/rave01.tga", "jpg/rave02.tga",
    "jpg/rave03.tga", "jpg/rave04.tga", "jpg/rave05.tga", "jpg/rave06.tga", "jpg/rave07.tga",
};

class ContentGeneration : public ::testing::Test {
protected:
    void SetUp() override {
        tool_ = kBin / "tools" / "korvana-content";
        ASSERT_TRUE(fs::exists(tool_)) << tool_ << " has not been built";
        dir_ = makeTempDir();
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    fs::path tool_, dir_;
};

TEST_F(ContentGeneration, TwoRunsGiveTheSameBytesAndEveryExtractorAgreesWithTheMembers) {
    const fs::path a = dir_ / "a", b = dir_ / "b", tree = dir_ / "tree";
    ASSERT_EQ(run(quoted(tool_) + " --tree " + quoted(tree) + " " + quoted(a)), 0);
    ASSERT_EQ(run(quoted(tool_) + " " + quoted(b)), 0);
    for (const char* file : {"megadata.rar", "ripped.mp3"}) {
        std::vector<uint8_t> first = readBytes(a / file), second = readBytes(b / file);
        ASSERT_FALSE(first.empty()) << file;
        EXPECT_TRUE(first == second) << file << " differs between two runs";
    }
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(a), fs::directory_iterator()), 2);

    const fs::path archive = a / "megadata.rar";
    // The show's reader gives back each member exactly as generated.
    for (const char* name : kMembers) {
        std::vector<uint8_t> original = readBytes(tree / name);
        ASSERT_FALSE(original.empty()) << name;
        uint8_t* data = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(korvana::archiveExtract(&data, &size, name, archive.c_str(), ""), 1) << name;
        EXPECT_TRUE(std::vector<uint8_t>(data, data + size) == original) << name;
        std::free(data);
    }
    // Nothing but the members the show asks for.
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(tree)) files += e.is_regular_file();
    EXPECT_EQ(files, std::size(kMembers));

    // Not solid; JPEGs stored, meshes and Targas packed.
    korvana::ArchiveListing listing;
    ASSERT_EQ(korvana::archiveList(archive.c_str(), listing), 1);
    EXPECT_TRUE(listing.complete);
    EXPECT_FALSE(listing.solidArchive);
    size_t entries = 0;
    for (const korvana::ArchiveEntryInfo& e : listing.blocks) {
        if (!e.isFile()) continue;
        ++entries;
        EXPECT_FALSE(e.solid()) << e.name;
        EXPECT_FALSE(e.encrypted()) << e.name;
        EXPECT_EQ(e.name.find('/'), std::string::npos) << e.name << ": RAR separates with \\";
        const bool jpeg = e.name.size() > 4 && e.name.compare(e.name.size() - 4, 4, ".jpg") == 0;
        if (jpeg) EXPECT_EQ(e.method, 0x30) << e.name << " should be stored";
        else EXPECT_NE(e.method, 0x30) << e.name << " should be packed";
    }
    EXPECT_EQ(entries, std::size(kMembers));

    // An independent extractor agrees byte for byte.
    if (!haveProgram("unar")) GTEST_SKIP() << "unar is not installed (scripts/install-deps)";
    const fs::path out = dir_ / "unar";
    ASSERT_EQ(run("unar -q -o " + quoted(out) + " -D " + quoted(archive)), 0);
    for (const char* name : kMembers)
        EXPECT_TRUE(readBytes(out / name) == readBytes(tree / name)) << name << " differs after unar";
}

// The build's own content (KORVANA_CONTENT_DIR), as `make run` uses it.
fs::path builtArchive() { return kBin / "content" / "megadata.rar"; }

TEST(DefaultContent, KorvanaRarTestPassesOnTheArchive) {
    if (!fs::exists(builtArchive())) GTEST_SKIP() << "the build made no content (KORVANA_BUILD_CONTENT=OFF)";
    const fs::path rar = kBin / "tools" / "korvana-rar";
    if (!fs::exists(rar)) GTEST_SKIP() << rar << " has not been built";
    EXPECT_EQ(run(quoted(rar) + " t " + quoted(builtArchive())), 0) << "korvana-rar t refuses the archive";
}

TEST(DefaultContent, TheShowsReadersAcceptEveryMeshAndImage) {
    if (!fs::exists(builtArchive())) GTEST_SKIP() << "the build made no content (KORVANA_BUILD_CONTENT=OFF)";
    const fs::path assets = kBin / "tools" / "korvana-assets";
    if (!fs::exists(assets)) GTEST_SKIP() << assets << " has not been built";
    const std::string a = quoted(assets) + " ", arc = " --archive " + quoted(builtArchive()) + " ";
    // What the scenes load, name by name: every entry must come back with a mesh.
    EXPECT_EQ(run(a + "mesh" + arc + "3ds/tubekasse.3ds Box01 Sphere01 Cylinder01 Cylinder02 Cylinder03 "
                                     "Cylinder04 Cylinder05 Cylinder06"), 0);
    EXPECT_EQ(run(a + "mesh" + arc + "3ds/tube2.3ds Box01 Box02 Box03 Box04 Box05 Box06 Cylinder02 "
                                     "Cylinder03 Cylinder04 Cylinder05 Cylinder06"), 0);
    EXPECT_EQ(run(a + "mesh" + arc + "3ds/tube.3ds Cylinder01 Cylinder14 Cylinder02 Cylinder03 Cylinder04 "
                                     "Cylinder05 Cylinder06 Cylinder07 Cylinder08 Cylinder09 Cylinder10 "
                                     "Cylinder11 Cylinder12 Cylinder13"), 0);
    std::string boxes = a + "mesh" + arc + "3ds/kasser.3ds";
    for (int i = 1; i <= 27; ++i) boxes += (i < 10 ? " Box0" : " Box") + std::to_string(i);
    EXPECT_EQ(run(boxes), 0);
    // A name the file lacks is reported as an empty entry, so the checks above can fail.
    EXPECT_EQ(run(a + "mesh" + arc + "3ds/kasser.3ds Box28"), 1);
    for (const char* name : kMembers) {
        if (std::string(name).rfind("jpg/", 0) != 0) continue;
        EXPECT_EQ(run(a + "image" + arc + quoted(name)), 0) << name << " is refused by the show's decoder";
    }
}

}  // namespace
