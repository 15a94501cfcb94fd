// The GL 1.1 state the web backend keeps itself (gl11.cpp's entry points change it, the draw
// path in gl11_draw.cpp reads it), and the loud failure for calls outside the supported set.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/gl.h"
#include "platform/web/gl11_math.h"

namespace korvana::gl11 {

constexpr int kUnits = 2;

struct TextureUnit {
    bool enabled2D = false;
    GLuint bound = 0;
    bool genS = false;
    bool genT = false;
    GLenum envMode = GL_MODULATE;
    float texCoord[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // the current texture coordinates
};

struct ClientArray {
    bool enabled = false;
    GLint size = 0;
    GLenum type = GL_FLOAT;
    GLsizei stride = 0;
    const void* pointer = nullptr;
};

struct TextureInfo {
    bool hasImage = false;
    GLint minFilter = GL_NEAREST_MIPMAP_LINEAR;
};

// One vertex after the vertex stage, as the shaders take it.
struct ShadedVertex {
    float eye[4];
    float colour[4];
    float texCoord0[2];
    float texCoord1[2];
    float fog;
};

struct State {
    GLenum matrixMode = GL_MODELVIEW;
    MatrixStack modelView{32};
    MatrixStack projection{32};
    TextureUnit units[kUnits];
    int activeUnit = 0;
    int clientActiveUnit = 0;
    ClientArray vertexArray, normalArray, colourArray, texCoordArray[kUnits];
    std::unordered_map<GLuint, TextureInfo> textures;

    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    Vec3 normal{0.0f, 0.0f, 1.0f};

    bool lighting = false;
    bool light0 = false;
    Vec4 light0Eye{0.0f, 0.0f, 1.0f, 0.0f};  // GL's default: a direction along +z, in eye coordinates

    bool fog = false;
    float fogStart = 0.0f, fogEnd = 1.0f, fogDensity = 1.0f;
    float fogColour[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    bool alphaTest = false;
    GLenum alphaFunc = GL_ALWAYS;
    float alphaRef = 0.0f;

    // Kept here as well as in WebGL, for the queries.
    bool blend = false, depthTest = false, cullFace = false, scissorTest = false;
    GLboolean colourMask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    float clearColour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    GLint packAlignment = 4, unpackAlignment = 4;

    GLenum error = GL_NO_ERROR;

    // Between glBegin and glEnd.
    bool inBegin = false;
    GLenum beginMode = 0;
    std::vector<ShadedVertex> immediate;
};

State& state();

// Records `error` unless one is pending (GL keeps the first until glGetError).
void setError(GLenum error);

// A call or value this layer does not carry out: a debug build stops with its name; a release
// build records GL_INVALID_ENUM and the call does nothing.
void unsupported(const char* call, unsigned value);

// True when unit `u` textures fragments: enabled, with a complete texture bound.
bool unitActive(int u);

// The vertex stage for one vertex in object coordinates with its attributes.
ShadedVertex shadeVertex(const Vec4& position, const Vec3& normal, const float colour[4],
                         const float texCoord0[4], const float texCoord1[4]);
// Call before shading a batch: takes the current model-view into the vertex stage.
void beginVertexBatch();

// Draws shaded vertices: `indices` null draws them in order.
void drawShaded(GLenum mode, const std::vector<ShadedVertex>& vertices, const std::vector<uint32_t>* indices);

}  // namespace korvana::gl11
