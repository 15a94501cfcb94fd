// The draw path of the web backend's GL 1.1: the vertex stage on the processor (eye coordinates,
// lighting, sphere-map coordinates, fog distance), then WebGL 2 with a shader made for the
// fragment state in force (texture units, fog, alpha test).
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "platform/web/gl11.h"
#include "platform/web/gl11_state.h"
#include "platform/web/webgl_calls.h"

namespace korvana::gl11 {

namespace {

constexpr GLenum kArrayBuffer = 0x8892;
constexpr GLenum kElementArrayBuffer = 0x8893;
constexpr GLenum kStreamDraw = 0x88E0;
constexpr GLenum kVertexShader = 0x8B31;
constexpr GLenum kFragmentShader = 0x8B30;
constexpr GLenum kCompileStatus = 0x8B81;
constexpr GLenum kLinkStatus = 0x8B82;

struct Program {
    GLuint id = 0;
    GLint projection = -1, fog = -1, fogColour = -1, alphaRef = -1, texture0 = -1, texture1 = -1;
};

struct DrawResources {
    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;
    std::unordered_map<uint32_t, Program> programs;
    // The vertex stage's view of the model-view, taken at the start of each batch.
    Mat4 modelView = Mat4::identity();
    std::array<float, 9> normals{};
    bool active[kUnits] = {false, false};
    bool needNormal = false;
};

DrawResources resources;

const char* kVertexShaderText = R"(#version 300 es
in vec4 aEye;
in vec4 aColour;
in vec2 aTexCoord0;
in vec2 aTexCoord1;
in float aFog;
uniform mat4 uProjection;
out vec4 vColour;
out vec2 vTexCoord0;
out vec2 vTexCoord1;
out float vFog;
void main() {
    gl_Position = uProjection * aEye;
    vColour = aColour;
    vTexCoord0 = aTexCoord0;
    vTexCoord1 = aTexCoord1;
    vFog = aFog;
}
)";

const char* alphaCondition(GLenum func) {
    switch (func) {
    case GL_NEVER: return "false";
    case GL_LESS: return "c.a < uAlphaRef";
    case GL_EQUAL: return "c.a == uAlphaRef";
    case GL_LEQUAL: return "c.a <= uAlphaRef";
    case GL_GREATER: return "c.a > uAlphaRef";
    case GL_NOTEQUAL: return "c.a != uAlphaRef";
    case GL_GEQUAL: return "c.a >= uAlphaRef";
    default: return "true";
    }
}

// Key bits: 0-1 the two texture units, 2 fog, 3-6 the alpha function's index (0 = no test).
uint32_t fragmentKey() {
    const State& s = state();
    uint32_t key = 0;
    if (unitActive(0)) key |= 1u;
    if (unitActive(1)) key |= 2u;
    if (s.fog) key |= 4u;
    if (s.alphaTest) key |= (uint32_t(s.alphaFunc - GL_NEVER) + 1u) << 3;
    return key;
}

std::string fragmentShaderText(uint32_t key) {
    std::string text = R"(#version 300 es
precision highp float;
in vec4 vColour;
in vec2 vTexCoord0;
in vec2 vTexCoord1;
in float vFog;
uniform sampler2D uTexture0;
uniform sampler2D uTexture1;
uniform vec2 uFog;
uniform vec4 uFogColour;
uniform float uAlphaRef;
out vec4 fragColour;
void main() {
    vec4 c = vColour;
)";
    // GL_MODULATE on each unit in turn; an RGB texture samples with alpha 1.
    if (key & 1u) text += "    c *= texture(uTexture0, vTexCoord0);\n";
    if (key & 2u) text += "    c *= texture(uTexture1, vTexCoord1);\n";
    // Fog changes the colour only, never alpha. uFog = (end, 1 / (end - start)).
    if (key & 4u)
        text += "    float f = clamp((uFog.x - vFog) * uFog.y, 0.0, 1.0);\n"
                "    c.rgb = mix(uFogColour.rgb, c.rgb, f);\n";
    if (key >> 3) {
        const GLenum func = GLenum(GL_NEVER + (key >> 3) - 1u);
        text += std::string("    if (!(") + alphaCondition(func) + ")) discard;\n";
    }
    text += "    fragColour = c;\n}\n";
    return text;
}

GLuint compile(GLenum type, const std::string& text) {
    const GLuint shader = emscripten_glCreateShader(type);
    const char* source = text.c_str();
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    GLint ok = 0;
    emscripten_glGetShaderiv(shader, kCompileStatus, &ok);
    if (!ok) {
        char log[1024] = {};
        emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "korvana: GL 1.1 layer: a shader does not compile: %s\n", log);
        return 0;
    }
    return shader;
}

const Program* programFor(uint32_t key) {
    auto found = resources.programs.find(key);
    if (found != resources.programs.end()) return found->second.id != 0 ? &found->second : nullptr;
    Program& p = resources.programs[key];
    const GLuint vs = compile(kVertexShader, kVertexShaderText);
    const GLuint fs = compile(kFragmentShader, fragmentShaderText(key));
    if (vs == 0 || fs == 0) return nullptr;
    const GLuint id = emscripten_glCreateProgram();
    emscripten_glAttachShader(id, vs);
    emscripten_glAttachShader(id, fs);
    emscripten_glBindAttribLocation(id, 0, "aEye");
    emscripten_glBindAttribLocation(id, 1, "aColour");
    emscripten_glBindAttribLocation(id, 2, "aTexCoord0");
    emscripten_glBindAttribLocation(id, 3, "aTexCoord1");
    emscripten_glBindAttribLocation(id, 4, "aFog");
    emscripten_glLinkProgram(id);
    GLint ok = 0;
    emscripten_glGetProgramiv(id, kLinkStatus, &ok);
    if (!ok) {
        char log[1024] = {};
        emscripten_glGetProgramInfoLog(id, sizeof log, nullptr, log);
        std::fprintf(stderr, "korvana: GL 1.1 layer: a shader program does not link: %s\n", log);
        return nullptr;
    }
    p.id = id;
    p.projection = emscripten_glGetUniformLocation(id, "uProjection");
    p.fog = emscripten_glGetUniformLocation(id, "uFog");
    p.fogColour = emscripten_glGetUniformLocation(id, "uFogColour");
    p.alphaRef = emscripten_glGetUniformLocation(id, "uAlphaRef");
    p.texture0 = emscripten_glGetUniformLocation(id, "uTexture0");
    p.texture1 = emscripten_glGetUniformLocation(id, "uTexture1");
    return &p;
}

bool mipmapped(GLint minFilter) { return minFilter != GL_NEAREST && minFilter != GL_LINEAR; }

}  // namespace

bool unitActive(int u) {
    const State& s = state();
    const TextureUnit& unit = s.units[u];
    if (!unit.enabled2D || unit.bound == 0) return false;
    auto found = s.textures.find(unit.bound);
    // GL 1.1: a unit whose texture is incomplete (no image, or a mipmap filter without the
    // levels) textures nothing, as if it were disabled.
    return found != s.textures.end() && found->second.hasImage && !mipmapped(found->second.minFilter);
}

void beginVertexBatch() {
    resources.modelView = state().modelView.top();
    resources.normals = normalMatrix(resources.modelView);
    const State& s = state();
    for (int u = 0; u < kUnits; ++u) resources.active[u] = unitActive(u);
    resources.needNormal = s.lighting || (resources.active[0] && (s.units[0].genS || s.units[0].genT)) ||
                           (resources.active[1] && (s.units[1].genS || s.units[1].genT));
}

ShadedVertex shadeVertex(const Vec4& position, const Vec3& normal, const float colour[4], const float texCoord0[4],
                         const float texCoord1[4]) {
    const State& s = state();
    ShadedVertex v{};
    const Vec4 eye = transform(resources.modelView, position);
    v.eye[0] = eye.x;
    v.eye[1] = eye.y;
    v.eye[2] = eye.z;
    v.eye[3] = eye.w;
    const bool* active = resources.active;
    Vec3 eyeNormal;
    if (resources.needNormal) eyeNormal = transformNormal(resources.normals, normal);
    if (s.lighting) {
        // Without light 0 only the scene's ambient term is left.
        const Vec4 far{0.0f, 0.0f, 0.0f, 0.0f};
        const std::array<float, 4> lit = s.light0 ? litColour(eye, eyeNormal, s.light0Eye) : litColour(eye, Vec3{}, far);
        for (int i = 0; i < 4; ++i) v.colour[i] = lit[size_t(i)];
    } else {
        for (int i = 0; i < 4; ++i) v.colour[i] = std::fmin(1.0f, std::fmax(0.0f, colour[i]));
    }
    const float* sources[kUnits] = {texCoord0, texCoord1};
    float* targets[kUnits] = {v.texCoord0, v.texCoord1};
    for (int u = 0; u < kUnits; ++u) {
        if (!active[u]) continue;
        const TextureUnit& unit = s.units[u];
        // q is 1 for every coordinate the show gives; s/q and t/q keep GL's projective meaning.
        const float q = sources[u][3] != 0.0f ? sources[u][3] : 1.0f;
        targets[u][0] = sources[u][0] / q;
        targets[u][1] = sources[u][1] / q;
        if (unit.genS || unit.genT) {
            float gs = 0.0f, gt = 0.0f;
            sphereMap(eye, eyeNormal, gs, gt);
            if (unit.genS) targets[u][0] = gs;
            if (unit.genT) targets[u][1] = gt;
        }
    }
    // The fog distance as Mesa takes it by default: the eye-space depth.
    v.fog = std::fabs(eye.z);
    return v;
}

void drawShaded(GLenum mode, const std::vector<ShadedVertex>& vertices, const std::vector<uint32_t>* indices) {
    if (vertices.empty()) return;
    const State& s = state();
    const Program* p = programFor(fragmentKey());
    if (p == nullptr) {
        unsupported("a draw whose shader does not build", fragmentKey());
        return;
    }
    emscripten_glUseProgram(p->id);
    emscripten_glUniformMatrix4fv(p->projection, 1, GL_FALSE, s.projection.top().m.data());
    // uFog = (end, 1 / (end - start)); a zero range fogs every fragment past the end fully.
    const float range = s.fogEnd - s.fogStart;
    emscripten_glUniform2f(p->fog, s.fogEnd, range != 0.0f ? 1.0f / range : 1.0e30f);
    emscripten_glUniform4f(p->fogColour, s.fogColour[0], s.fogColour[1], s.fogColour[2], s.fogColour[3]);
    emscripten_glUniform1f(p->alphaRef, std::fmin(1.0f, std::fmax(0.0f, s.alphaRef)));
    emscripten_glUniform1i(p->texture0, 0);
    emscripten_glUniform1i(p->texture1, 1);

    emscripten_glBindVertexArray(resources.vertexArray);
    emscripten_glBindBuffer(kArrayBuffer, resources.vertexBuffer);
    emscripten_glBufferData(kArrayBuffer, intptr_t(vertices.size() * sizeof(ShadedVertex)), vertices.data(),
                            kStreamDraw);
    if (indices != nullptr) {
        emscripten_glBufferData(kElementArrayBuffer, intptr_t(indices->size() * sizeof(uint32_t)), indices->data(),
                                kStreamDraw);
        emscripten_glDrawElements(mode, GLsizei(indices->size()), GL_UNSIGNED_INT, nullptr);
    } else {
        emscripten_glDrawArrays(mode, 0, GLsizei(vertices.size()));
    }
    emscripten_glBindVertexArray(0);
}

bool initialise() {
    State& s = state();
    s = State{};
    resources = DrawResources{};
    emscripten_glGenVertexArrays(1, &resources.vertexArray);
    emscripten_glGenBuffers(1, &resources.vertexBuffer);
    emscripten_glGenBuffers(1, &resources.indexBuffer);
    emscripten_glBindVertexArray(resources.vertexArray);
    emscripten_glBindBuffer(kArrayBuffer, resources.vertexBuffer);
    emscripten_glBindBuffer(kElementArrayBuffer, resources.indexBuffer);
    const GLsizei stride = sizeof(ShadedVertex);
    const GLint sizes[5] = {4, 4, 2, 2, 1};
    const size_t offsets[5] = {offsetof(ShadedVertex, eye), offsetof(ShadedVertex, colour),
                               offsetof(ShadedVertex, texCoord0), offsetof(ShadedVertex, texCoord1),
                               offsetof(ShadedVertex, fog)};
    for (GLuint i = 0; i < 5; ++i) {
        emscripten_glEnableVertexAttribArray(i);
        emscripten_glVertexAttribPointer(i, sizes[i], GL_FLOAT, GL_FALSE, stride,
                                         reinterpret_cast<const void*>(offsets[i]));
    }
    emscripten_glBindVertexArray(0);
    // The plain shader must build, or nothing can be drawn.
    return programFor(0) != nullptr;
}

}  // namespace korvana::gl11
