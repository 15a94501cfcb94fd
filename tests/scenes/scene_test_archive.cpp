// The load tests' asset archive: hand-built 3DS files, JPEG and Targa images, stored in a RAR
// archive by our packer.
#include "scene_test_archive.h"

#include <cstring>

#include "assets/asset_archive.h"
#include "packer/packer.h"
#include "platform/gl.h"
#include "platform/jpeg_codec.h"

namespace korvana::test {

namespace {

void putU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void putFloat(std::vector<uint8_t>& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putU32(out, bits);
}

std::vector<uint8_t> chunk(uint16_t id, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    putU16(out, id);
    putU32(out, uint32_t(body.size() + 6));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// A unit square in the XY plane as two triangles, with the object's own mapping coordinates.
std::vector<uint8_t> objectChunk(const std::string& name) {
    std::vector<uint8_t> vertices;
    putU16(vertices, TEST_MESH_VERTICES);
    const float corners[TEST_MESH_VERTICES][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& c : corners) {
        putFloat(vertices, c[0]);
        putFloat(vertices, c[1]);
        putFloat(vertices, 0.0f);
    }
    std::vector<uint8_t> faces;
    putU16(faces, 2);
    for (const uint16_t index : {0, 1, 2, 0, 0, 2, 3, 0}) putU16(faces, index);
    std::vector<uint8_t> mapping;
    putU16(mapping, TEST_MESH_VERTICES);
    for (int i = 0; i < TEST_MESH_VERTICES; ++i) {
        putFloat(mapping, fileU(name, i));
        putFloat(mapping, fileV(name, i));
    }
    std::vector<uint8_t> mesh;
    append(mesh, chunk(0x4110, vertices));
    append(mesh, chunk(0x4120, faces));
    append(mesh, chunk(0x4140, mapping));

    std::vector<uint8_t> body(name.begin(), name.end());
    body.push_back(0);
    append(body, chunk(0x4100, mesh));
    return chunk(0x4000, body);
}

std::vector<uint8_t> meshFile(const std::vector<std::string>& names,
                              const std::set<std::string>& leaveOut) {
    std::vector<uint8_t> editor;
    for (const std::string& name : names)
        if (!leaveOut.count(name)) append(editor, objectChunk(name));
    return chunk(0x4D4D, chunk(0x3D3D, editor));
}

// Uncompressed 24-bit true-colour Targa, all pixels one grey.
std::vector<uint8_t> targa(int side) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 2;
    out[12] = uint8_t(side);
    out[13] = uint8_t(side >> 8);
    out[14] = uint8_t(side);
    out[15] = uint8_t(side >> 8);
    out[16] = 24;
    out.resize(18 + size_t(side) * side * 3, 0x60);
    return out;
}

std::vector<uint8_t> jpeg(int side) {
    const std::vector<uint8_t> rgb(size_t(side) * side * 3, 0x60);
    return encodeJpeg(rgb.data(), side, side, 90);
}

}  // namespace

std::vector<std::string> numbered(const char* prefix, int first, int last) {
    std::vector<std::string> names;
    for (int i = first; i <= last; ++i)
        names.push_back(prefix + std::string(i < 10 ? "0" : "") + std::to_string(i));
    return names;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

float fileU(const std::string& object, int vertex) {
    unsigned hash = 0;
    for (const char c : object) hash = hash * 31 + uint8_t(c);
    return float(hash % 1000) / 1000.0f + 0.125f * float(vertex);
}

float fileV(const std::string& object, int vertex) { return 0.25f - fileU(object, vertex) / 2.0f; }

const std::vector<TestImage>& testImages() {
    static const std::vector<TestImage> images = {
        {"jpg/tube_ydre.jpg", 8},       {"jpg/tube_indre.jpg", 16},
        {"jpg/tube_lys.jpg", 24},       {"jpg/cplatta02.jpg", 32},
        {"jpg/pscene.jpg", 40},         {"jpg/pscenesmallwall.jpg", 48},
        {"jpg/tubekasse_cyl.tga", 4},   {"jpg/tubekasse_cyl_inv.tga", 6},
        {"jpg/ .tga", 10},
    };
    return images;
}

int testImageSide(const std::string& name) {
    for (const TestImage& image : testImages())
        if (name == image.name) return image.side;
    return 0;
}

SceneTestArchive::SceneTestArchive(const std::set<std::string>& leaveOut) {
    if (folder_.path().empty()) {
        error_ = "no temporary folder";
        return;
    }

    std::vector<PackInput> files;
    auto addFile = [&](const std::string& name, std::vector<uint8_t> data) {
        PackInput input;
        input.name = name;
        input.data = std::move(data);
        files.push_back(std::move(input));
    };
    addFile("3ds\\tube.3ds",
            meshFile(joined({"Cylinder01", "Cylinder14"}, numbered("Cylinder", 2, 13)), leaveOut));
    addFile("3ds\\tubekasse.3ds",
            meshFile(joined({"Box01", "Sphere01"}, numbered("Cylinder", 1, 6)), leaveOut));
    addFile("3ds\\tube2.3ds",
            meshFile(joined(numbered("Box", 1, 6), numbered("Cylinder", 2, 6)), leaveOut));
    addFile("3ds\\kasser.3ds", meshFile(numbered("Box", 1, 27), leaveOut));
    for (const TestImage& image : testImages()) {
        const std::string name = image.name;
        std::string stored = name;
        stored[3] = '\\';
        const bool isTarga = name.compare(name.size() - 4, 4, ".tga") == 0;
        addFile(stored, isTarga ? targa(image.side) : jpeg(image.side));
    }

    PackOptions options;
    options.level = 0;
    const std::string path = (folder_.path() / "megadata.rar").string();
    if (!writeArchive(path, files, options, &error_)) {
        if (error_.empty()) error_ = "packing failed";
        return;
    }
    setAssetArchivePath(path.c_str());
}

SceneTestArchive::~SceneTestArchive() { setAssetArchivePath(nullptr); }

int textureSide(uint32_t glName) {
    GLint width = 0;
    glBindTexture(GL_TEXTURE_2D, glName);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, 0);
    return width;
}

}  // namespace korvana::test
