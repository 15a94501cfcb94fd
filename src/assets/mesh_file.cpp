#include "assets/mesh_file.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "assets/asset_archive.h"
#include "platform/bit_cast.h"

namespace korvana {
namespace {

constexpr uint32_t CHUNK_HEADER_SIZE = 6;

bool sameNameIgnoringCase(std::string_view fileName, const char* requested) {
    const size_t length = std::strlen(requested);
    if (fileName.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
        if (fold(static_cast<unsigned char>(fileName[i])) !=
            fold(static_cast<unsigned char>(requested[i])))
            return false;
    }
    return true;
}

// Enough bytes between position and limit for `count` items of `itemSize` bytes.
bool fits(uint32_t position, uint32_t limit, uint64_t count, uint64_t itemSize) {
    return position <= limit && count * itemSize <= limit - position;
}

}  // namespace

MeshFile::~MeshFile() { releaseImage(); }

void MeshFile::adoptImage(uint8_t* block, uint32_t byteCount) {
    releaseImage();
    data = block;
    size = block ? byteCount : 0;
}

bool MeshFile::setImage(const uint8_t* bytes, uint32_t byteCount) {
    uint8_t* block = static_cast<uint8_t*>(std::malloc(byteCount ? byteCount : 1));
    if (!block) return false;
    if (byteCount) std::memcpy(block, bytes, byteCount);
    adoptImage(block, byteCount);
    return true;
}

void MeshFile::releaseImage() {
    std::free(data);
    data = nullptr;
    size = 0;
    end = 0;
    position = 0;
}

uint16_t MeshFile::readU16() {
    if (!data || !fits(position, size, 1, 2)) return 0;
    uint16_t value = static_cast<uint16_t>(data[position] | (data[position + 1] << 8));
    position += 2;
    return value;
}

uint32_t MeshFile::readU32() {
    if (!data || !fits(position, size, 1, 4)) return 0;
    uint32_t value = static_cast<uint32_t>(data[position]) |
                     (static_cast<uint32_t>(data[position + 1]) << 8) |
                     (static_cast<uint32_t>(data[position + 2]) << 16) |
                     (static_cast<uint32_t>(data[position + 3]) << 24);
    position += 4;
    return value;
}

float MeshFile::readFloat() { return bitCast<float>(readU32()); }

// A chunk must hold at least its own header and end within its parent; anything else is damage,
// and the caller ends its scan there (a zero length would otherwise never move the cursor).
bool MeshFile::readChunkHeader(uint32_t parentEnd, Chunk& chunk) {
    const uint32_t start = position;
    if (!fits(start, parentEnd, 1, CHUNK_HEADER_SIZE)) return false;
    chunk.id = readU16();
    const uint32_t length = readU32();
    if (length < CHUNK_HEADER_SIZE || length > parentEnd - start) return false;
    chunk.end = start + length;
    return true;
}

bool MeshFile::startScan(uint32_t& mainEnd) {
    position = 0;
    if (!data) return false;
    Chunk main;
    if (!readChunkHeader(size, main) || main.id != CHUNK_MAIN) return false;
    mainEnd = main.end;
    end = mainEnd - CHUNK_HEADER_SIZE;
    return true;
}

template <typename Visit>
bool MeshFile::forEachObject(Visit&& visit) {
    uint32_t mainEnd = 0;
    if (!startScan(mainEnd)) return false;
    while (position < end) {
        Chunk top;
        if (!readChunkHeader(mainEnd, top)) break;
        if (top.id != CHUNK_EDITOR) {
            position = top.end;
            continue;
        }
        while (position < top.end) {
            Chunk child;
            if (!readChunkHeader(top.end, child)) break;
            if (child.id != CHUNK_OBJECT) {
                position = child.end;
                continue;
            }
            const auto* nameStart = reinterpret_cast<const char*>(data + position);
            const void* nul = std::memchr(nameStart, 0, child.end - position);
            if (!nul) {  // the name runs past its chunk: not an object we can name
                position = child.end;
                continue;
            }
            std::string_view storedName(nameStart, static_cast<const char*>(nul) - nameStart);
            position += static_cast<uint32_t>(storedName.size()) + 1;
            if (visit(storedName, child.end)) return true;
            position = child.end;
        }
        position = top.end;
    }
    return false;
}

bool MeshFile::findMesh(uint32_t objectEnd, Chunk& mesh) {
    while (position < objectEnd) {
        if (!readChunkHeader(objectEnd, mesh)) return false;
        if (mesh.id == CHUNK_TRIANGLE_MESH) return true;
        position = mesh.end;
    }
    return false;
}

void MeshFile::parseMesh(uint32_t meshEnd, ParsedMesh& mesh) {
    mesh = ParsedMesh{};
    auto refuse = [&](std::string reason) {
        mesh.refusal = std::move(reason);
        mesh.vertices.clear();
        mesh.faces.clear();
    };
    try {
        // The contents of the vertex, face and mapping lists are read in place and the walk goes
        // on right after them: a face list's own sub-chunks (materials, smoothing groups) are
        // then met as if they were siblings in the mesh chunk.
        while (position < meshEnd) {
            Chunk sub;
            const uint32_t subStart = position;
            if (!readChunkHeader(meshEnd, sub)) {
                refuse("damaged chunk at offset " + std::to_string(subStart) +
                       " (shorter than its header or past the end of its mesh)");
                return;
            }
            if (sub.id == CHUNK_VERTEX_LIST) {
                if (!fits(position, sub.end, 1, 2)) return refuse("vertex list truncated");
                const uint16_t n = readU16();
                if (!fits(position, sub.end, n, 12)) return refuse("vertex list truncated");
                mesh.vertices.assign(n, MeshVertex{});
                for (MeshVertex& vertex : mesh.vertices) {
                    vertex.x = readFloat();
                    vertex.y = readFloat();
                    vertex.z = -readFloat();
                }
                mesh.hasVertexList = true;
            } else if (sub.id == CHUNK_FACE_LIST) {
                if (!fits(position, sub.end, 1, 2)) return refuse("face list truncated");
                const uint16_t n = readU16();
                if (!fits(position, sub.end, n, 8)) return refuse("face list truncated");
                mesh.faces.assign(n, Face{});
                for (Face& face : mesh.faces) {
                    face.a = readU16();
                    face.b = readU16();
                    face.c = readU16();
                    position += 2;  // flags
                }
                mesh.hasFaceList = true;
            } else if (sub.id == CHUNK_MAPPING) {
                if (!fits(position, sub.end, 1, 2)) return refuse("mapping list truncated");
                const uint16_t n = readU16();
                if (mesh.hasVertexList && n <= mesh.vertices.size()) {
                    if (!fits(position, sub.end, n, 8)) return refuse("mapping list truncated");
                    for (uint32_t j = 0; j < n; ++j) {
                        mesh.vertices[j].u = readFloat();
                        mesh.vertices[j].v = -readFloat();
                    }
                    mesh.mappingCount = n;
                } else {
                    mesh.mappingSkipped = true;
                    position = sub.end;
                }
            } else {
                position = sub.end;
            }
        }
    } catch (const std::bad_alloc&) {
        return refuse("out of memory");
    }
    if (!mesh.hasVertexList) return refuse("mesh has no vertex list");
    if (!mesh.hasFaceList) return refuse("mesh has no face list");
    // The draw routines index the vertex arrays with these; one outside them is refused here.
    for (size_t i = 0; i < mesh.faces.size(); ++i) {
        const Face& face = mesh.faces[i];
        const uint32_t largest = std::max({face.a, face.b, face.c});
        if (largest >= mesh.vertices.size())
            return refuse("face " + std::to_string(i) + " uses vertex " + std::to_string(largest) +
                          " of " + std::to_string(mesh.vertices.size()));
    }
}

SceneObject* MeshFile::read3dsObject(const char* name) {
    lastRead = ParsedMesh{};
    lastRead.refusal = "no object of that name with a mesh";
    if (!name) return nullptr;
    uint32_t mainEnd = 0;
    if (!startScan(mainEnd)) {
        lastRead.refusal = data ? "not a 3DS file (no main chunk, or it runs past the file's end)"
                                : "no file image";
        return nullptr;
    }
    SceneObject* result = nullptr;
    forEachObject([&](std::string_view storedName, uint32_t objectEnd) {
        if (!sameNameIgnoringCase(storedName.substr(0, MAX_CHUNK_NAME), name)) return false;
        Chunk mesh;
        // A matching object without a mesh does not end the search: a later one may have one.
        if (!findMesh(objectEnd, mesh)) return false;
        parseMesh(mesh.end, lastRead);
        if (!lastRead.refusal.empty()) return true;
        auto* object = new (std::nothrow)
            SceneObject(static_cast<uint32_t>(lastRead.vertices.size()),
                        static_cast<uint32_t>(lastRead.faces.size()));
        if (!object) {
            lastRead.refusal = "out of memory";
            return true;
        }
        object->setName(name);
        for (size_t j = 0; j < lastRead.vertices.size(); ++j) {
            const MeshVertex& record = lastRead.vertices[j];
            object->vertices[j].set(record.x, record.y, record.z);
            object->texCoords[j] = TexCoord{record.u, record.v};
        }
        for (size_t j = 0; j < lastRead.faces.size(); ++j) object->faces[j] = lastRead.faces[j];
        result = object;
        return true;
    });
    // The temporary arrays are not needed once the object is built.
    lastRead.vertices = {};
    lastRead.faces = {};
    return result;
}

std::vector<MeshObjectInfo> MeshFile::listObjects() {
    std::vector<MeshObjectInfo> objects;
    forEachObject([&](std::string_view storedName, uint32_t objectEnd) {
        MeshObjectInfo info;
        info.name.assign(storedName);
        Chunk mesh;
        info.hasMesh = findMesh(objectEnd, mesh);
        if (info.hasMesh) parseMesh(mesh.end, info.mesh);
        objects.push_back(std::move(info));
        return false;
    });
    return objects;
}

bool load3ds(MeshFile& meshFile, const char* fileName, std::initializer_list<const char*> names) {
    uint8_t* block = nullptr;
    uint32_t byteCount = 0;
    if (!extractAsset(fileName, &block, &byteCount)) return false;
    meshFile.adoptImage(block, byteCount);
    for (const char* name : names) meshFile.add(meshFile.read3dsObject(name));
    meshFile.releaseImage();
    return true;
}

}  // namespace korvana
