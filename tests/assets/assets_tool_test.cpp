// The asset inspector, run as its users run it: the 3DS rows of the shared test data, images,
// archives and bad usage.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "image_test_util.h"
#include "mesh_builder.h"
#include "packer/packer.h"
#include "support/testdata.h"

namespace korvana {
namespace {

const std::string TOOL = std::string(KORVANA_BINARY_DIR) + "/tools/korvana-assets";

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun runTool(const std::string& arguments) {
    ToolRun run;
    FILE* pipe = popen(("'" + TOOL + "' " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

// The tab-separated table rows of the tool's output (comment and header lines dropped).
std::vector<std::vector<std::string>> tableRows(const std::string& out) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(out);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        rows.push_back(splitTabs(line));
    }
    return rows;
}

void expectVertex(const std::string& text, float x, float y, float z) {
    std::istringstream in(text);
    float gx = 0, gy = 0, gz = 0;
    ASSERT_TRUE(in >> gx >> gy >> gz) << text;
    EXPECT_EQ(gx, x);
    EXPECT_EQ(gy, y);
    EXPECT_EQ(gz, z);
}

TEST(AssetsTool, ExpectedMeshRows) {
    KORVANA_REQUIRE_TESTDATA();
    std::ifstream in(test::testdataDir() / "3ds" / "expected.tsv");
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = splitTabs(line);
        ASSERT_GE(f.size(), 6u) << line;
        SCOPED_TRACE(line);
        const std::string file = (test::testdataDir() / "3ds" / f[0]).string();
        ToolRun run = runTool("mesh " + quoted(file) + " " + quoted(f[1]));
        auto rows = tableRows(run.out);
        ASSERT_EQ(rows.size(), 1u) << run.out;
        const auto& row = rows[0];
        ASSERT_GE(row.size(), 6u) << run.out;
        EXPECT_EQ(row[0], "0");
        EXPECT_EQ(row[1], f[1]);
        if (f[2] == "-") {
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(row[5].find("empty entry"), std::string::npos) << run.out;
        } else {
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(row[2], f[2]);
            EXPECT_EQ(row[3], f[3]);
            EXPECT_EQ(row[4], f[4]);
            std::istringstream stored(f[5]);
            float x, y, z;
            ASSERT_TRUE(stored >> x >> y >> z);
            expectVertex(row[5], x, y, -z);
        }
        // The whole-file listing names the object too, with the same counts.
        if (f[2] != "-") {
            ToolRun all = runTool("mesh " + quoted(file));
            EXPECT_EQ(all.status, 0);
            bool found = false;
            for (const auto& r : tableRows(all.out))
                if (r.size() >= 5 && r[0] == f[1]) {
                    found = true;
                    EXPECT_EQ(r[1], f[2]);
                    EXPECT_EQ(r[2], f[3]);
                    EXPECT_EQ(r[3], f[4]);
                }
            EXPECT_TRUE(found) << all.out;
        }
        ++checked;
    }
    EXPECT_GE(checked, 5);
}

TEST(AssetsTool, ArchiveImagesAndUsage) {
    using namespace test;
    ScratchDir dir("tool");
    const Bytes mesh3ds = mainChunk({editor({object("Box01", {triangleMesh(1)}),
                                             object("Bad", {mesh({vertexList({{1, 1, 1}}),
                                                                  faceList({{0, 0, 4, 0}})})})})});
    std::vector<uint8_t> tga = tgaHeader(2, 2, 32);
    tga.resize(18 + 16, 0x44);
    std::vector<uint8_t> wide = tgaHeader(4, 2, 24);
    wide.resize(18 + 24, 0x44);
    const std::string archive = (dir.path / "assets.rar").string();
    PackOptions options;
    std::string error;
    ASSERT_TRUE(writeArchive(archive,
                             {{"3ds\\scene.3ds", mesh3ds}, {"jpg\\over.tga", tga}, {"jpg\\wide.tga", wide}},
                             options, &error))
        << error;

    // Mesh out of the archive: the listing explains the refused mesh, names give entries.
    ToolRun list = runTool("mesh --archive " + quoted(archive) + " 3ds/scene.3ds");
    EXPECT_EQ(list.status, 0);
    auto rows = tableRows(list.out);
    ASSERT_EQ(rows.size(), 2u) << list.out;
    EXPECT_EQ(rows[0][0], "Box01");
    EXPECT_EQ(rows[0][1], "3");
    EXPECT_NE(rows[1].back().find("face 0 uses vertex 4 of 1"), std::string::npos) << list.out;
    ToolRun entries = runTool("mesh 3ds/scene.3ds box01 --archive=" + quoted(archive));
    EXPECT_EQ(entries.status, 0) << entries.out;
    rows = tableRows(entries.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "box01");
    EXPECT_EQ(runTool("mesh --archive " + quoted(archive) + " 3ds/none.3ds").status, 1);
    EXPECT_EQ(runTool("mesh --archive " + quoted(archive) + " jpg/over.tga").status, 1);

    // Images: accepted and refused, by extension or by option.
    ToolRun over = runTool("image --archive " + quoted(archive) + " jpg/over.tga");
    EXPECT_EQ(over.status, 0) << over.out;
    EXPECT_NE(over.out.find("size: 2 x 2"), std::string::npos) << over.out;
    EXPECT_NE(over.out.find("channels: 4 (RGBA)"), std::string::npos) << over.out;
    EXPECT_NE(over.out.find("accepted: uploaded as RGBA 2 x 2"), std::string::npos) << over.out;
    ToolRun refused = runTool("image --archive " + quoted(archive) + " jpg/wide.tga");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("refused: not square (4 x 2)"), std::string::npos) << refused.out;
    ToolRun asJpeg = runTool("image --jpeg --archive " + quoted(archive) + " jpg/over.tga");
    EXPECT_EQ(asJpeg.status, 1);
    EXPECT_NE(asJpeg.out.find("refused: not a readable JPEG"), std::string::npos) << asJpeg.out;

    if (haveConvert()) {
        auto ppm = dir.path / "in.ppm";
        std::vector<uint8_t> orange;
        for (int i = 0; i < 64; ++i) orange.insert(orange.end(), {230, 120, 20});
        writeFile(ppm, netpbm(8, 8, orange, false));
        ASSERT_TRUE(runConvert(ppm.string() + " -type TrueColor " + (dir.path / "c.jpg").string()));
        ASSERT_TRUE(runConvert(ppm.string() + " -colorspace Gray " + (dir.path / "g.JPG").string()));
        ToolRun colour = runTool("image " + quoted((dir.path / "c.jpg").string()));
        EXPECT_EQ(colour.status, 0);
        EXPECT_NE(colour.out.find("channels: 3 (RGB)"), std::string::npos) << colour.out;
        ToolRun grey = runTool("image " + quoted((dir.path / "g.JPG").string()));
        EXPECT_EQ(grey.status, 1);
        EXPECT_NE(grey.out.find("refused: grey-scale JPEG (decoded, not uploaded)"), std::string::npos)
            << grey.out;
    }

    // Usage.
    EXPECT_EQ(runTool("").status, 2);
    EXPECT_EQ(runTool("frobnicate x").status, 2);
    EXPECT_EQ(runTool("mesh").status, 2);
    EXPECT_EQ(runTool("mesh --archive").status, 2);
    EXPECT_EQ(runTool("mesh --bogus x.3ds").status, 2);
    EXPECT_EQ(runTool("mesh --jpeg x.3ds").status, 2);
    EXPECT_EQ(runTool("image x.png").status, 2);
    EXPECT_EQ(runTool("image --jpeg --tga x.jpg").status, 2);
    EXPECT_EQ(runTool("image a.jpg b.jpg").status, 2);
    EXPECT_EQ(runTool("image " + quoted((dir.path / "missing.tga").string())).status, 1);
    ToolRun help = runTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("korvana-assets mesh"), std::string::npos);
}

}  // namespace
}  // namespace korvana
