// RenderOptions: the switches, colours, billboard size and two textures that decide how a
// SceneObject is drawn. One record is usually shared by several objects; flags only ever get set.
#pragma once

#include <cstdint>

namespace korvana {

class Texture;

enum RenderFlag : unsigned {
    FLAG_TEXTURE = 0,
    FLAG_ENV_MAP = 1,
    FLAG_WIREFRAME = 2,
    FLAG_BILLBOARDS = 3,
    FLAG_LIT = 4,
    FLAG_BLEND = 5,
    FLAG_ADDITIVE = 6,
    FLAG_ALPHA_TEST = 7,
    FLAG_GLOW = 8,
    FLAG_CULL_FRONT = 9,
    FLAG_CULL_BACK = 10,
    FLAG_NO_CULL = 11,
};

constexpr unsigned RENDER_FLAG_COUNT = 12;

class RenderOptions {
public:
    bool flags[RENDER_FLAG_COUNT] = {};
    float color[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float wireColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float billboardSize = 1.0f;
    Texture* texture = nullptr;     // not owned
    Texture* envTexture = nullptr;  // not owned

    RenderOptions() = default;

    // An index outside the twelve flags is ignored.
    void setFlag(unsigned index) {
        if (index < RENDER_FLAG_COUNT) flags[index] = true;
    }
    bool hasFlag(unsigned index) const { return index < RENDER_FLAG_COUNT && flags[index]; }

    void setColor(float r, float g, float b, float a) {
        color[0] = r;
        color[1] = g;
        color[2] = b;
        color[3] = a;
    }
    void setWireColor(float r, float g, float b, float a) {
        wireColor[0] = r;
        wireColor[1] = g;
        wireColor[2] = b;
        wireColor[3] = a;
    }
    void setBillboardSize(float size) { billboardSize = size; }
    void setTexture(Texture* t) { texture = t; }
    void setEnvTexture(Texture* t) { envTexture = t; }
};

}  // namespace korvana
