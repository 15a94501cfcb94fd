// SceneObject: one triangle mesh in flat arrays that go to GL as they are, with its transform,
// its name and the shared RenderOptions that decide how it is drawn. The draw styles are virtual
// so a class may bring its own; the options choose among them at render time.
#pragma once

#include <cstdint>

#include "render/vector3.h"

namespace korvana {

class RenderOptions;

struct TexCoord {
    float u = 0.0f;
    float v = 0.0f;
};
static_assert(sizeof(TexCoord) == 8, "arrays of TexCoord go to GL as packed float pairs");

struct Face {
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t c = 0;
};
static_assert(sizeof(Face) == 12, "arrays of Face go to GL as packed 32-bit index triples");

class SceneObject {
public:
    static constexpr int NAME_SIZE = 256;

    Vector3* normals = nullptr;
    Vector3* vertices = nullptr;
    TexCoord* texCoords = nullptr;
    uint32_t vertexCount = 0;
    Face* faces = nullptr;
    uint32_t faceCount = 0;
    RenderOptions* options = nullptr;  // not owned; null draws nothing
    Vector3 rotation;                  // degrees about x, y, z
    Vector3 position;
    Vector3 scale;
    char name[NAME_SIZE] = {};

    SceneObject() = default;
    SceneObject(uint32_t vertexCount, uint32_t faceCount);
    SceneObject(const SceneObject&) = delete;
    SceneObject& operator=(const SceneObject&) = delete;

    // Virtual operations, in this order: destructor, render, then the six draw styles.
    virtual ~SceneObject();
    // Needs the GL context current, projection and view set, and six free model-view levels.
    virtual void render();
    virtual void drawTextured();
    virtual void drawEnvMapped();
    virtual void drawTexturedEnvMapped();
    virtual void drawBillboards();
    virtual void drawLit();
    virtual void drawWireframe();

    // Submits vertices, texture coordinates and normals as arrays for the sphere-mapped styles.
    void drawArrays();

    // Creates zeroed arrays for n vertices and storage for m faces, and resets the transform
    // (scale 1). Only for an object that has no arrays yet.
    void allocate(uint32_t n, uint32_t m);

    void setPosition(float x, float y, float z) { position.set(x, y, z); }
    void setRotation(float x, float y, float z) { rotation.set(x, y, z); }
    void setScale(float s) { scale.fill(s); }
    void setOptions(RenderOptions* o) { options = o; }
    // Copies at most 255 characters; a longer text is cut there so the name stays terminated.
    void setName(const char* text);
    // Case-sensitive, whole-name comparison.
    bool hasName(const char* text) const;
};

}  // namespace korvana
