// MeshFile: a SceneObjectList that reads named objects out of a 3D Studio ".3ds" file in the asset
// archive. Only geometry is read (vertex positions, triangles, mapping coordinates); z and v are
// negated on the way in. Every chunk length and count is checked against the bytes really there:
// a damaged file gives empty entries, never a read outside the image.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "render/scene_object_list.h"

namespace korvana {

// Characters of an object's name in the file that take part in the comparison.
inline constexpr uint32_t MAX_CHUNK_NAME = 64;

// The chunks the reader acts on; every other chunk is skipped by its length.
inline constexpr uint16_t CHUNK_MAIN = 0x4D4D;
inline constexpr uint16_t CHUNK_EDITOR = 0x3D3D;
inline constexpr uint16_t CHUNK_OBJECT = 0x4000;
inline constexpr uint16_t CHUNK_TRIANGLE_MESH = 0x4100;
inline constexpr uint16_t CHUNK_VERTEX_LIST = 0x4110;
inline constexpr uint16_t CHUNK_FACE_LIST = 0x4120;
inline constexpr uint16_t CHUNK_MAPPING = 0x4140;

// One parsed triangle mesh, before it becomes a SceneObject (z and v already negated).
struct MeshVertex {
    float x = 0.0f, y = 0.0f, z = 0.0f, u = 0.0f, v = 0.0f;
};

struct ParsedMesh {
    std::vector<MeshVertex> vertices;
    std::vector<Face> faces;
    bool hasVertexList = false;
    bool hasFaceList = false;
    uint32_t mappingCount = 0;  // entries taken from the last mapping chunk used
    bool mappingSkipped = false;  // a mapping chunk came before the vertices or had too many entries
    std::string refusal;  // why the mesh gives no object; empty when it gives one
};

// A named object of the file as the inspector lists it.
struct MeshObjectInfo {
    std::string name;       // whole name as stored (only MAX_CHUNK_NAME characters are compared)
    bool hasMesh = false;   // false: a light, a camera or an empty object
    ParsedMesh mesh;        // the object's first mesh chunk
};

class MeshFile : public SceneObjectList {
public:
    // The file image. load3ds fills it and releases it again once the requested objects are
    // built (nothing reads it later); `size` bounds every read.
    uint8_t* data = nullptr;
    uint32_t end = 0;       // bound of the top-level scan: the main chunk's length minus 6
    uint32_t position = 0;  // read offset from the start of data
    uint32_t size = 0;      // bytes in data

    // What the last read3dsObject call found: the mesh's mapping count and, for a null result,
    // the reason (for the asset inspector).
    ParsedMesh lastRead;

    MeshFile() = default;
    ~MeshFile() override;

    // Takes over a malloc block of `byteCount` bytes as the file image, releasing any earlier one.
    void adoptImage(uint8_t* block, uint32_t byteCount);
    // Copies `byteCount` bytes as the file image; false when memory runs out.
    bool setImage(const uint8_t* bytes, uint32_t byteCount);
    void releaseImage();

    // A new object (owned by the caller) built from the first mesh of the first object called
    // `name` (ASCII case ignored, first MAX_CHUNK_NAME characters) that has one; named `name` as
    // given. Null when there is none, or the file or that mesh is damaged.
    SceneObject* read3dsObject(const char* name);

    // Every named object of the file, in file order, with its first mesh parsed.
    std::vector<MeshObjectInfo> listObjects();

    // Little-endian reads at `position`, advancing it; 0 without moving when past the image.
    uint16_t readU16();
    uint32_t readU32();
    float readFloat();

private:
    struct Chunk {
        uint16_t id = 0;
        uint32_t end = 0;
    };
    bool readChunkHeader(uint32_t parentEnd, Chunk& chunk);
    bool startScan(uint32_t& mainEnd);
    // Calls visit(nameAsStored, objectEnd) for each named object, `position` just past its name;
    // visit returns true to stop the walk.
    template <typename Visit> bool forEachObject(Visit&& visit);
    // The first mesh chunk before objectEnd; false when the object has none.
    bool findMesh(uint32_t objectEnd, Chunk& mesh);
    void parseMesh(uint32_t meshEnd, ParsedMesh& mesh);
};

// Extracts `fileName` from the asset archive and appends one entry per name, in the order given:
// the object, or null when the file lacks it. False (nothing appended) when the file cannot be
// extracted.
bool load3ds(MeshFile& meshFile, const char* fileName, std::initializer_list<const char*> names);

// The scenes' form: the number of names, the file, then exactly that many names. A count that
// does not match the names given is refused (false, nothing appended).
template <typename... Names>
bool load3ds(MeshFile& meshFile, uint32_t nameCount, const char* fileName, Names... names) {
    static_assert((std::is_convertible_v<Names, const char*> && ...), "object names are strings");
    if (nameCount != sizeof...(Names)) return false;
    return load3ds(meshFile, fileName, {static_cast<const char*>(names)...});
}

}  // namespace korvana
