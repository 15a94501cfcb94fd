// The 3DS reader on hand-built files: the chunk walk, names, coordinate conventions and every kind
// of damaged length.
#include <gtest/gtest.h>

#include <memory>

#include "assets/mesh_file.h"
#include "mesh_builder.h"

namespace korvana {
namespace {

using namespace korvana::test;

std::unique_ptr<SceneObject> readObject(const Bytes& file, const char* name,
                                        std::string* refusal = nullptr) {
    MeshFile meshFile;
    EXPECT_TRUE(meshFile.setImage(file.data(), static_cast<uint32_t>(file.size())));
    std::unique_ptr<SceneObject> object(meshFile.read3dsObject(name));
    if (refusal) *refusal = meshFile.lastRead.refusal;
    return object;
}

TEST(MeshReader, GeometryAndConventions) {
    // Vertex (1, 2, 3) with mapping (0.25, 0.75) becomes (1, 2, -3) with (0.25, -0.75); the face
    // (0, 1, 2, flags 7) becomes (0, 1, 2) and the material and smoothing sub-chunks after the
    // faces are passed over, so the mapping chunk after the face list is still read.
    const Bytes file = mainChunk(
        {chunk(0x0002, {3, 0, 0, 0}),
         editor({chunk(0x3E3D, {1, 0, 0, 0}),
                 object("Box01", {mesh({vertexList({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {0, 0, 0}}),
                                        chunk(0x4160, Bytes(48, 0)),
                                        faceList({{0, 1, 2, 7}, {2, 1, 3, 0}}, faceSubChunks(2)),
                                        mapping({{0.25f, 0.75f}, {1, 0}, {0.5f, -0.5f}, {0, 1}})})})}),
         chunk(0xB000, Bytes(20, 0xEE))});
    auto found = readObject(file, "Box01");
    ASSERT_TRUE(found);
    EXPECT_STREQ(found->name, "Box01");
    ASSERT_EQ(found->vertexCount, 4u);
    ASSERT_EQ(found->faceCount, 2u);
    EXPECT_FLOAT_EQ(found->vertices[0].x, 1.0f);
    EXPECT_FLOAT_EQ(found->vertices[0].y, 2.0f);
    EXPECT_FLOAT_EQ(found->vertices[0].z, -3.0f);
    EXPECT_FLOAT_EQ(found->vertices[2].z, -9.0f);
    EXPECT_FLOAT_EQ(found->texCoords[0].u, 0.25f);
    EXPECT_FLOAT_EQ(found->texCoords[0].v, -0.75f);
    EXPECT_FLOAT_EQ(found->texCoords[2].v, 0.5f);
    EXPECT_EQ(found->faces[0].a, 0u);
    EXPECT_EQ(found->faces[0].b, 1u);
    EXPECT_EQ(found->faces[0].c, 2u);
    EXPECT_EQ(found->faces[1].a, 2u);
    EXPECT_EQ(found->faces[1].c, 3u);
    // Built as a fresh object: unit scale, zero normals, no options.
    EXPECT_FLOAT_EQ(found->scale.x, 1.0f);
    EXPECT_FLOAT_EQ(found->normals[3].z, 0.0f);
    EXPECT_EQ(found->options, nullptr);
}

TEST(MeshReader, NamesAndSearchOrder) {
    const std::string longName(70, 'q');
    const std::string first64(64, 'q');
    const Bytes file = mainChunk({editor({
        object("Camera01", {chunk(0x4700, Bytes(32, 0))}),
        object("Box01", {chunk(0x4600, Bytes(12, 0))}),  // a light: no mesh, the search goes on
        object("BOX01", {triangleMesh(10)}),
        object("box01", {triangleMesh(20)}),
        object(longName, {triangleMesh(30)}),
        object("Empty", {}),
    })});

    // Case-blind match, the first object with a mesh wins, the requested name is stored.
    auto box = readObject(file, "box01");
    ASSERT_TRUE(box);
    EXPECT_FLOAT_EQ(box->vertices[0].x, 10.0f);
    EXPECT_STREQ(box->name, "box01");

    // Only the first 64 characters of a stored name take part.
    auto longObject = readObject(file, first64.c_str());
    ASSERT_TRUE(longObject);
    EXPECT_FLOAT_EQ(longObject->vertices[0].x, 30.0f);
    EXPECT_EQ(std::string(longObject->name), first64);
    EXPECT_FALSE(readObject(file, longName.c_str()));
    EXPECT_FALSE(readObject(file, first64.substr(0, 63).c_str()));

    // Prefixes and extensions of a name do not match; objects without a mesh give nothing.
    std::string refusal;
    EXPECT_FALSE(readObject(file, "Box0"));
    EXPECT_FALSE(readObject(file, "Box011"));
    EXPECT_FALSE(readObject(file, "Camera01", &refusal));
    EXPECT_EQ(refusal, "no object of that name with a mesh");
    EXPECT_FALSE(readObject(file, "Empty"));
    EXPECT_FALSE(readObject(file, ""));

    // Entries in the order asked for, an empty entry for a missing name; find is case-sensitive.
    MeshFile list;
    ASSERT_TRUE(list.setImage(file.data(), static_cast<uint32_t>(file.size())));
    for (const char* name : {first64.c_str(), "Nothing", "box01"}) list.add(list.read3dsObject(name));
    ASSERT_EQ(list.objects().size(), 3u);
    EXPECT_EQ(list.objects()[1], nullptr);
    EXPECT_EQ(list.find("box01"), list.objects()[2]);
    EXPECT_EQ(list.find("Box01"), nullptr);
    EXPECT_EQ(list.find(first64.c_str()), list.objects()[0]);
    for (SceneObject* entry : list.objects()) delete entry;

    // The inspector's listing sees every object in file order.
    MeshFile lister;
    ASSERT_TRUE(lister.setImage(file.data(), static_cast<uint32_t>(file.size())));
    auto objects = lister.listObjects();
    ASSERT_EQ(objects.size(), 6u);
    EXPECT_EQ(objects[0].name, "Camera01");
    EXPECT_FALSE(objects[0].hasMesh);
    EXPECT_TRUE(objects[2].hasMesh);
    EXPECT_EQ(objects[2].mesh.vertices.size(), 3u);
    EXPECT_EQ(objects[4].name, longName);
}

TEST(MeshReader, ChunkWalk) {
    // A top-level chunk other than the editor is skipped whole, even when it contains bytes that
    // look like an editor with the wanted object.
    const Bytes decoy = editor({object("Box01", {triangleMesh(99)})});
    const Bytes file = mainChunk({chunk(0xB000, decoy), editor({object("Box01", {triangleMesh(1)})})});
    auto found = readObject(file, "Box01");
    ASSERT_TRUE(found);
    EXPECT_FLOAT_EQ(found->vertices[0].x, 1.0f);

    // Objects in a second editor chunk are found too; objects outside an editor are not.
    const Bytes twoEditors = mainChunk({editor({object("A", {triangleMesh(1)})}),
                                        object("Loose", {triangleMesh(5)}),
                                        editor({object("B", {triangleMesh(2)})})});
    EXPECT_TRUE(readObject(twoEditors, "B"));
    EXPECT_FALSE(readObject(twoEditors, "Loose"));

    // Not a 3DS file.
    std::string refusal;
    EXPECT_FALSE(readObject(chunk(0x4D4C, editor({object("Box01", {triangleMesh()})})), "Box01",
                            &refusal));
    EXPECT_NE(refusal.find("not a 3DS file"), std::string::npos);
    MeshFile empty;
    EXPECT_EQ(empty.read3dsObject("Box01"), nullptr);
    EXPECT_EQ(empty.lastRead.refusal, "no file image");
}

TEST(MeshReader, MappingChunkRules) {
    const std::vector<V3> three = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
    const Bytes faces = faceList({{0, 1, 2, 0}});
    auto read = [&](const Bytes& meshChunk) {
        return readObject(mainChunk({editor({object("M", {meshChunk})})}), "M");
    };
    // No mapping chunk: all (0, 0).
    auto none = read(mesh({vertexList(three), faces}));
    ASSERT_TRUE(none);
    for (uint32_t j = 0; j < 3; ++j) {
        EXPECT_EQ(none->texCoords[j].u, 0.0f);
        EXPECT_EQ(none->texCoords[j].v, 0.0f);
    }
    // Before the vertex list: skipped, coordinates stay (0, 0).
    auto early = read(mesh({mapping({{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}), vertexList(three), faces}));
    ASSERT_TRUE(early);
    EXPECT_EQ(early->texCoords[0].u, 0.0f);
    // More entries than vertices: skipped.
    auto tooMany = read(mesh({vertexList(three), mapping({{1, 1}, {1, 1}, {1, 1}, {1, 1}}), faces}));
    ASSERT_TRUE(tooMany);
    EXPECT_EQ(tooMany->texCoords[0].u, 0.0f);
    // Fewer: those set, the rest (0, 0).
    auto fewer = read(mesh({vertexList(three), mapping({{0.5f, 0.25f}}), faces}));
    ASSERT_TRUE(fewer);
    EXPECT_FLOAT_EQ(fewer->texCoords[0].u, 0.5f);
    EXPECT_FLOAT_EQ(fewer->texCoords[0].v, -0.25f);
    EXPECT_EQ(fewer->texCoords[1].u, 0.0f);
    EXPECT_EQ(fewer->texCoords[2].v, 0.0f);
    // A later vertex list replaces the earlier one (and its mapping).
    auto replaced = read(mesh({vertexList({{9, 9, 9}}), mapping({{1, 1}}), vertexList(three), faces}));
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->vertexCount, 3u);
    EXPECT_FLOAT_EQ(replaced->vertices[0].x, 1.0f);
    EXPECT_EQ(replaced->texCoords[0].u, 0.0f);
    // Missing vertex or face list: nothing.
    EXPECT_FALSE(read(mesh({vertexList(three)})));
    EXPECT_FALSE(read(mesh({faces})));
    EXPECT_FALSE(read(mesh({})));
    // An empty mesh (both lists present, zero entries) is a mesh.
    auto zero = read(mesh({vertexList({}), faceList({})}));
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->vertexCount, 0u);
    EXPECT_EQ(zero->faceCount, 0u);
}

TEST(MeshReader, DamagedLengthsAndIndices) {
    const Bytes good = triangleMesh();
    auto fileWith = [](const Bytes& meshChunk) {
        return mainChunk({editor({object("Bad", {meshChunk}), object("Next", {triangleMesh(4)})})});
    };
    struct Case {
        const char* what;
        Bytes file;
        const char* reasonPart;  // expected refusal of "Bad" (null: only "no object")
    };
    Bytes vertexBody = vertexListBody({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    Bytes mapBody = mappingBody({{1, 1}, {1, 1}, {1, 1}});
    Bytes faces = faceList({{0, 1, 2, 0}});
    const Case cases[] = {
        {"sub-chunk of length 0",
         fileWith(mesh({vertexList({{1, 2, 3}}), chunkWithLength(0x4150, 0, {}), faces})),
         "damaged chunk"},
        {"sub-chunk shorter than its header",
         fileWith(mesh({vertexList({{1, 2, 3}}), chunkWithLength(0x4150, 5, {}), faces})),
         "damaged chunk"},
        {"sub-chunk past the mesh", fileWith(mesh({chunkWithLength(0x4110, 1000, vertexBody), faces})),
         "damaged chunk"},
        {"vertex count past its chunk",
         fileWith(mesh({chunk(0x4110, Bytes(vertexBody.begin(), vertexBody.end() - 1)), faces})),
         "vertex list truncated"},
        {"vertex list without a count", fileWith(mesh({chunk(0x4110, {3}), faces})),
         "vertex list truncated"},
        {"face count past its chunk",
         fileWith(mesh({vertexList({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), chunk(0x4120, {1, 0, 0, 0, 1, 0})})),
         "face list truncated"},
        {"mapping count past its chunk",
         fileWith(mesh({vertexList({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}),
                        chunk(0x4140, Bytes(mapBody.begin(), mapBody.end() - 4)), faces})),
         "mapping list truncated"},
        {"face index at the vertex count",
         fileWith(mesh({vertexList({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), faceList({{0, 1, 3, 0}})})),
         "face 0 uses vertex 3 of 3"},
        {"face index far beyond",
         fileWith(mesh({vertexList({{1, 2, 3}}), faceList({{0, 0, 0, 0}, {65535, 0, 0, 0}})})),
         "face 1 uses vertex 65535 of 1"},
        {"faces before an empty vertex list",
         fileWith(mesh({faceList({{0, 0, 0, 0}}), vertexList({})})), "face 0 uses vertex 0 of 0"},
        {"trailing bytes shorter than a header", fileWith(chunk(0x4100, cat({good, Bytes{1, 2, 3}}))),
         "damaged chunk"},
    };
    for (const Case& c : cases) {
        std::string refusal;
        EXPECT_FALSE(readObject(c.file, "Bad", &refusal)) << c.what;
        EXPECT_NE(refusal.find(c.reasonPart), std::string::npos) << c.what << ": " << refusal;
        // The damage stays inside its object: the next one is still read.
        EXPECT_TRUE(readObject(c.file, "Next")) << c.what;
    }

    // Damage above the mesh ends that scan (never an endless loop); the parent's scan goes on.
    const Bytes zeroTop = mainChunk({chunkWithLength(0x0002, 0, {}), editor({object("A", {good})})});
    EXPECT_FALSE(readObject(zeroTop, "A"));
    const Bytes zeroChild = mainChunk({editor({chunkWithLength(0x4000, 0, {}), object("A", {good})}),
                                       editor({object("B", {good})})});
    EXPECT_FALSE(readObject(zeroChild, "A"));
    EXPECT_TRUE(readObject(zeroChild, "B"));
    const Bytes childPastParent = mainChunk(
        {chunk(0x3D3D, cat({object("A", {good}), chunkWithLength(0x4000, 500, {'C', 0})})),
         editor({object("B", {good})})});
    EXPECT_TRUE(readObject(childPastParent, "A"));
    EXPECT_FALSE(readObject(childPastParent, "C"));
    EXPECT_TRUE(readObject(childPastParent, "B"));
    // Inside an object: a damaged chunk before the mesh means no mesh for it.
    const Bytes damagedInObject = mainChunk({editor({object("A", {chunkWithLength(0x4600, 2, {}), good}),
                                                     object("A", {good})})});
    EXPECT_TRUE(readObject(damagedInObject, "A"));
    // A name without its terminating NUL inside its chunk is no name.
    const Bytes unterminated = mainChunk({editor({chunk(0x4000, {'A', 'B'}), object("AB", {good})})});
    EXPECT_TRUE(readObject(unterminated, "AB"));
    MeshFile lister;
    ASSERT_TRUE(lister.setImage(unterminated.data(), static_cast<uint32_t>(unterminated.size())));
    EXPECT_EQ(lister.listObjects().size(), 1u);

    // Main chunk: length 0, shorter than a header, past the file's end.
    const Bytes body = editor({object("A", {good})});
    EXPECT_FALSE(readObject(chunkWithLength(0x4D4D, 0, body), "A"));
    EXPECT_FALSE(readObject(chunkWithLength(0x4D4D, 5, body), "A"));
    EXPECT_FALSE(readObject(chunkWithLength(0x4D4D, static_cast<uint32_t>(body.size() + 7), body), "A"));
    EXPECT_FALSE(readObject(chunkWithLength(0x4D4D, 0xFFFFFFFF, body), "A"));
    // Bytes after the main chunk are not part of the file.
    EXPECT_TRUE(readObject(cat({chunk(0x4D4D, body), Bytes(5, 0)}), "A"));
    // Short files.
    EXPECT_FALSE(readObject(Bytes{}, "A"));
    EXPECT_FALSE(readObject(Bytes{0x4D, 0x4D, 6, 0, 0}, "A"));
    EXPECT_FALSE(readObject(Bytes{0x4D, 0x4D, 6, 0, 0, 0}, "A"));

    // Every truncation of a whole file gives null (the main chunk then runs past the end).
    const Bytes whole = mainChunk({editor({object("A", {mesh({vertexList({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}),
                                                               faceList({{0, 1, 2, 0}}, faceSubChunks(1)),
                                                               mapping({{1, 1}, {2, 2}, {3, 3}})})})})});
    ASSERT_TRUE(readObject(whole, "A"));
    for (size_t length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(readObject(Bytes(whole.begin(), whole.begin() + static_cast<long>(length)), "A"))
            << length;
}

TEST(MeshReader, CursorReadsStopAtTheEnd) {
    MeshFile file;
    const Bytes bytes = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0x3F, 0xAA};
    ASSERT_TRUE(file.setImage(bytes.data(), static_cast<uint32_t>(bytes.size())));
    EXPECT_EQ(file.readU16(), 0x1234);
    EXPECT_EQ(file.readU32(), 0x12345678u);
    EXPECT_EQ(file.readFloat(), 1.0f);
    EXPECT_EQ(file.position, 10u);
    EXPECT_EQ(file.readU16(), 0);  // one byte left: nothing read, cursor kept
    EXPECT_EQ(file.readU32(), 0u);
    EXPECT_EQ(file.position, 10u);
    file.releaseImage();
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(file.readU16(), 0);
}

}  // namespace
}  // namespace korvana
