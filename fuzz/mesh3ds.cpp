// The 3DS reader on arbitrary bytes: the object names the scenes ask for and every name the file
// itself holds, as read3dsObject builds them, and the inspector's listing.
#include "assets/mesh_file.h"
#include "fuzz_support.h"

using namespace korvana;
using fuzz::fail;

namespace {
constexpr size_t MAX_LISTED_NAMES = 8;

void checkFaces(const std::vector<Face>& faces, size_t vertexCount) {
    for (const Face& face : faces)
        if (face.a >= vertexCount || face.b >= vertexCount || face.c >= vertexCount)
            fail("accepted mesh indexes a vertex it does not have");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MeshFile file;
    if (!file.setImage(data, static_cast<uint32_t>(size))) return 0;

    std::vector<std::string> names = {"Box01", "Cylinder01", "Sphere01", "Cylinder14"};
    for (const MeshObjectInfo& info : file.listObjects()) {
        if (info.hasMesh && info.mesh.refusal.empty())
            checkFaces(info.mesh.faces, info.mesh.vertices.size());
        if (names.size() < 4 + MAX_LISTED_NAMES) names.push_back(info.name);
    }
    for (const std::string& name : names) {
        SceneObject* object = file.read3dsObject(name.c_str());
        if (object) {
            if (!file.lastRead.refusal.empty()) fail("object built from a refused mesh");
            checkFaces(std::vector<Face>(object->faces, object->faces + object->faceCount),
                       object->vertexCount);
        }
        delete object;
    }
    return 0;
}
