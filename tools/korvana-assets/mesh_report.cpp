#include <cstdio>
#include <limits>
#include <memory>
#include <span>
#include <string>

#include "assets/mesh_file.h"
#include "reports.h"

namespace korvana::tools {
namespace {

std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string triple(float x, float y, float z) { return number(x) + " " + number(y) + " " + number(z); }

struct Bounds {
    float min[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                    std::numeric_limits<float>::max()};
    float max[3] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
                    std::numeric_limits<float>::lowest()};
    void add(float x, float y, float z) {
        const float v[3] = {x, y, z};
        for (int i = 0; i < 3; ++i) {
            if (v[i] < min[i]) min[i] = v[i];
            if (v[i] > max[i]) max[i] = v[i];
        }
    }
};

// The columns after the name: counts, first vertex and bounds, or "-" and the reason. Vertex is
// the parsed record or the built object's Vector3; both have x, y and z.
template <typename Vertex>
std::string geometryColumns(std::span<const Vertex> vertices, uint32_t faceCount,
                            const ParsedMesh& parse) {
    std::string mapping = std::to_string(parse.mappingCount);
    if (parse.mappingSkipped) mapping += " (a mapping chunk was skipped)";
    std::string columns =
        std::to_string(vertices.size()) + "\t" + std::to_string(faceCount) + "\t" + mapping;
    if (vertices.empty()) return columns + "\t-\t-\t-";
    Bounds bounds;
    for (const Vertex& v : vertices) bounds.add(v.x, v.y, v.z);
    const Vertex& first = vertices.front();
    return columns + "\t" + triple(first.x, first.y, first.z) + "\t" +
           triple(bounds.min[0], bounds.min[1], bounds.min[2]) + "\t" +
           triple(bounds.max[0], bounds.max[1], bounds.max[2]);
}

std::string missingColumns(const std::string& why) { return "-\t-\t-\t" + why; }

const char* const HEADER_COLUMNS = "vertices\tfaces\tmapping\tfirst vertex\tbounds min\tbounds max";

}  // namespace

int reportMesh(const Source& source, const std::vector<std::string>& names) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!loadSource(source, bytes, error)) {
        std::fprintf(stderr, "korvana-assets: %s\n", error.c_str());
        return 1;
    }
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        std::fprintf(stderr, "korvana-assets: %s is too large for a mesh file\n", source.file.c_str());
        return 1;
    }
    MeshFile meshFile;
    if (!meshFile.setImage(bytes.data(), static_cast<uint32_t>(bytes.size()))) {
        std::fprintf(stderr, "korvana-assets: out of memory\n");
        return 1;
    }
    // The one question every object answers the same way: is this a 3DS file at all?
    std::unique_ptr<SceneObject> probe(meshFile.read3dsObject(""));
    if (meshFile.lastRead.refusal.rfind("not a 3DS file", 0) == 0) {
        std::printf("%s: %zu bytes: %s\n", source.file.c_str(), bytes.size(),
                    meshFile.lastRead.refusal.c_str());
        return 1;
    }

    if (names.empty()) {
        const std::vector<MeshObjectInfo> objects = meshFile.listObjects();
        std::printf("# %s: 3DS file of %zu bytes; named objects: %zu; coordinates as the show "
                    "stores them (z and v negated)\n",
                    source.file.c_str(), bytes.size(), objects.size());
        std::printf("object\t%s\n", HEADER_COLUMNS);
        for (const MeshObjectInfo& info : objects) {
            std::string name = info.name;
            if (name.size() > MAX_CHUNK_NAME)
                name += " (only its first " + std::to_string(MAX_CHUNK_NAME) + " characters count)";
            if (!info.hasMesh) {
                std::printf("%s\t%s\n", name.c_str(), missingColumns("no mesh").c_str());
                continue;
            }
            if (!info.mesh.refusal.empty()) {
                std::printf("%s\t%s\n", name.c_str(),
                            missingColumns("mesh refused: " + info.mesh.refusal).c_str());
                continue;
            }
            std::printf("%s\t%s\n", name.c_str(),
                        geometryColumns(std::span<const MeshVertex>(info.mesh.vertices),
                                        static_cast<uint32_t>(info.mesh.faces.size()), info.mesh)
                            .c_str());
        }
        return 0;
    }

    // What load3ds appends, entry by entry, through the same read3dsObject calls.
    std::printf("# load3ds of %s with %zu names appends; coordinates as the show stores them "
                "(z and v negated)\n",
                source.file.c_str(), names.size());
    std::printf("entry\tname\t%s\n", HEADER_COLUMNS);
    int status = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        std::unique_ptr<SceneObject> object(meshFile.read3dsObject(names[i].c_str()));
        if (!object) {
            status = 1;
            std::printf("%zu\t%s\t%s\n", i, names[i].c_str(),
                        missingColumns("empty entry: " + meshFile.lastRead.refusal).c_str());
            continue;
        }
        std::printf("%zu\t%s\t%s\n", i, object->name,
                    geometryColumns(std::span<const Vector3>(object->vertices, object->vertexCount),
                                    object->faceCount, meshFile.lastRead)
                        .c_str());
    }
    return status;
}

}  // namespace korvana::tools
