// Hand-built 3DS files for the mesh reader tests: each helper returns one whole chunk.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace korvana::test {

using Bytes = std::vector<uint8_t>;

inline void putU16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void putU32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void putFloat(Bytes& b, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    putU32(b, v);
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A chunk with a correct length: header plus `body`.
inline Bytes chunk(uint16_t id, const Bytes& body) {
    Bytes b;
    putU16(b, id);
    putU32(b, static_cast<uint32_t>(body.size() + 6));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// A chunk whose length field says `length`, whatever the body is.
inline Bytes chunkWithLength(uint16_t id, uint32_t length, const Bytes& body) {
    Bytes b;
    putU16(b, id);
    putU32(b, length);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

struct V3 {
    float x, y, z;
};
struct Tri {
    uint32_t a, b, c, flags;
};
struct UV {
    float u, v;
};

inline Bytes vertexListBody(const std::vector<V3>& vs) {
    Bytes b;
    putU16(b, static_cast<uint32_t>(vs.size()));
    for (const V3& v : vs) {
        putFloat(b, v.x);
        putFloat(b, v.y);
        putFloat(b, v.z);
    }
    return b;
}
inline Bytes vertexList(const std::vector<V3>& vs) { return chunk(0x4110, vertexListBody(vs)); }

// The face list with its own sub-chunks after the faces, as 3D Studio writes them.
inline Bytes faceList(const std::vector<Tri>& fs, const Bytes& subChunks = {}) {
    Bytes b;
    putU16(b, static_cast<uint32_t>(fs.size()));
    for (const Tri& f : fs) {
        putU16(b, f.a);
        putU16(b, f.b);
        putU16(b, f.c);
        putU16(b, f.flags);
    }
    b.insert(b.end(), subChunks.begin(), subChunks.end());
    return chunk(0x4120, b);
}

inline Bytes mappingBody(const std::vector<UV>& uvs) {
    Bytes b;
    putU16(b, static_cast<uint32_t>(uvs.size()));
    for (const UV& t : uvs) {
        putFloat(b, t.u);
        putFloat(b, t.v);
    }
    return b;
}
inline Bytes mapping(const std::vector<UV>& uvs) { return chunk(0x4140, mappingBody(uvs)); }

inline Bytes mesh(std::initializer_list<Bytes> parts) { return chunk(0x4100, cat(parts)); }

inline Bytes object(const std::string& name, std::initializer_list<Bytes> parts) {
    Bytes body(name.begin(), name.end());
    body.push_back(0);
    Bytes rest = cat(parts);
    body.insert(body.end(), rest.begin(), rest.end());
    return chunk(0x4000, body);
}

inline Bytes editor(std::initializer_list<Bytes> parts) { return chunk(0x3D3D, cat(parts)); }
inline Bytes mainChunk(std::initializer_list<Bytes> parts) { return chunk(0x4D4D, cat(parts)); }

// A material group (0x4130) and smoothing groups (0x4150) for a face list of `faces` faces.
inline Bytes faceSubChunks(uint32_t faces) {
    Bytes material = {'M', 'a', 't', 0};
    putU16(material, faces);
    for (uint32_t i = 0; i < faces; ++i) putU16(material, i);
    Bytes smoothing;
    for (uint32_t i = 0; i < faces; ++i) putU32(smoothing, 1);
    return cat({chunk(0x4130, material), chunk(0x4150, smoothing)});
}

// One triangle over three vertices, the smallest whole mesh.
inline Bytes triangleMesh(float firstX = 1.0f) {
    return mesh({vertexList({{firstX, 2, 3}, {4, 5, 6}, {7, 8, 9}}), faceList({{0, 1, 2, 7}})});
}

}  // namespace korvana::test
