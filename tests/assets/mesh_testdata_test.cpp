// The 3DS reader on meshes written by 3D Studio Max (../shared/testdata/3ds), and on every
// truncation and many bit flips of them: right answers for the real files, never a crash for
// the damaged ones.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "assets/mesh_file.h"
#include "image_test_util.h"
#include "support/testdata.h"

namespace korvana {
namespace {

struct ExpectedRow {
    std::string file, object;
    bool present = false;
    uint32_t vertices = 0, faces = 0, texcoords = 0;
    float x = 0, y = 0, z = 0;  // first vertex as stored in the file
};

std::vector<ExpectedRow> expectedRows() {
    std::vector<ExpectedRow> rows;
    std::ifstream in(test::testdataDir() / "3ds" / "expected.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        ExpectedRow row;
        std::string vertices;
        std::getline(fields, row.file, '\t');
        std::getline(fields, row.object, '\t');
        std::getline(fields, vertices, '\t');
        row.present = vertices != "-";
        if (row.present) {
            row.vertices = static_cast<uint32_t>(std::stoul(vertices));
            fields >> row.faces >> row.texcoords >> row.x >> row.y >> row.z;
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<uint8_t> meshBytes(const std::string& file) {
    return test::readFile(test::testdataDir() / "3ds" / file);
}

TEST(MeshTestdata, ExpectedRows) {
    KORVANA_REQUIRE_TESTDATA();
    const auto rows = expectedRows();
    ASSERT_GE(rows.size(), 5u);
    for (const ExpectedRow& row : rows) {
        SCOPED_TRACE(row.file + " " + row.object);
        const std::vector<uint8_t> bytes = meshBytes(row.file);
        ASSERT_FALSE(bytes.empty());
        MeshFile meshFile;
        ASSERT_TRUE(meshFile.setImage(bytes.data(), static_cast<uint32_t>(bytes.size())));
        // As load3ds does it: one entry per name, empty when the file lacks the object.
        meshFile.add(meshFile.read3dsObject(row.object.c_str()));
        ASSERT_EQ(meshFile.objects().size(), 1u);
        SceneObject* object = meshFile.objects()[0];
        if (!row.present) {
            EXPECT_EQ(object, nullptr);
            EXPECT_EQ(meshFile.find(row.object.c_str()), nullptr);
            continue;
        }
        ASSERT_NE(object, nullptr) << meshFile.lastRead.refusal;
        std::unique_ptr<SceneObject> owned(object);
        EXPECT_EQ(meshFile.find(row.object.c_str()), object);
        EXPECT_EQ(object->vertexCount, row.vertices);
        EXPECT_EQ(object->faceCount, row.faces);
        EXPECT_EQ(meshFile.lastRead.mappingCount, row.texcoords);
        EXPECT_EQ(object->vertices[0].x, row.x);
        EXPECT_EQ(object->vertices[0].y, row.y);
        EXPECT_EQ(object->vertices[0].z, -row.z);
        for (uint32_t i = 0; i < object->faceCount; ++i) {
            EXPECT_LT(object->faces[i].a, object->vertexCount);
            EXPECT_LT(object->faces[i].b, object->vertexCount);
            EXPECT_LT(object->faces[i].c, object->vertexCount);
        }
        // Case does not matter to the file, and the entry keeps the name as asked.
        std::string upper = row.object;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::unique_ptr<SceneObject> upperObject(meshFile.read3dsObject(upper.c_str()));
        ASSERT_TRUE(upperObject);
        EXPECT_EQ(std::string(upperObject->name), upper);
        EXPECT_EQ(upperObject->vertexCount, row.vertices);
    }
}

// Reads everything a damaged image offers; whatever comes out must be self-consistent.
void readEverything(const std::vector<uint8_t>& bytes, const std::vector<std::string>& names) {
    MeshFile meshFile;
    ASSERT_TRUE(meshFile.setImage(bytes.data(), static_cast<uint32_t>(bytes.size())));
    for (const MeshObjectInfo& info : meshFile.listObjects()) {
        if (!info.hasMesh || !info.mesh.refusal.empty()) continue;
        for (const Face& face : info.mesh.faces)
            ASSERT_LT(std::max({face.a, face.b, face.c}), info.mesh.vertices.size());
    }
    for (const std::string& name : names) {
        std::unique_ptr<SceneObject> object(meshFile.read3dsObject(name.c_str()));
        if (!object) continue;
        for (uint32_t i = 0; i < object->faceCount; ++i)
            ASSERT_LT(std::max({object->faces[i].a, object->faces[i].b, object->faces[i].c}),
                      object->vertexCount);
    }
}

TEST(MeshTestdata, TruncationsAndBitFlipsNeverCrash) {
    KORVANA_REQUIRE_TESTDATA();
    const std::vector<std::string> names = {"Box01", "Box10", "Quader01", "Box03"};
    for (const char* file : {"test1.3ds", "cube_with_diffuse_texture.3DS", "RotatingCube.3DS"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> bytes = meshBytes(file);
        ASSERT_FALSE(bytes.empty());
        // Every truncation: the main chunk then reaches past the end, so nothing is read.
        for (size_t length = 0; length < bytes.size(); ++length) {
            std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(length));
            MeshFile meshFile;
            ASSERT_TRUE(meshFile.setImage(cut.data(), static_cast<uint32_t>(cut.size())));
            for (const std::string& name : names) ASSERT_EQ(meshFile.read3dsObject(name.c_str()), nullptr);
        }
        // One flipped bit at every byte (the bit cycling with the offset), then bursts of
        // random flips from a fixed seed.
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::vector<uint8_t> flipped = bytes;
            flipped[i] ^= static_cast<uint8_t>(1u << (i % 8));
            readEverything(flipped, names);
            if (HasFatalFailure()) return;
        }
        uint32_t seed = 12345;
        auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
        for (int round = 0; round < 2000; ++round) {
            std::vector<uint8_t> flipped = bytes;
            for (int k = 0; k < 4; ++k) flipped[next() % flipped.size()] ^= static_cast<uint8_t>(next() >> 24);
            readEverything(flipped, names);
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
}  // namespace korvana
