// The GL 1.1 entry points of the web backend (gl11.h): state changes kept in gl11_state.h, the
// rest forwarded to WebGL 2 where GL 1.1 and WebGL 2 mean the same.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/web/gl11.h"
#include "platform/web/gl11_state.h"
#include "platform/web/webgl_calls.h"

namespace korvana::gl11 {

State& state() {
    static State s;
    return s;
}

void setError(GLenum error) {
    if (state().error == GL_NO_ERROR) state().error = error;
}

void unsupported(const char* call, unsigned value) {
#ifndef NDEBUG
    std::fprintf(stderr, "korvana: the web GL 1.1 layer does not carry out %s (0x%04X)\n", call, value);
    std::abort();
#else
    (void)call;
    (void)value;
    setError(GL_INVALID_ENUM);
#endif
}

namespace {

MatrixStack& currentStack() {
    State& s = state();
    return s.matrixMode == GL_PROJECTION ? s.projection : s.modelView;
}

void multiplyCurrent(const Mat4& m) {
    Mat4& top = currentStack().top();
    top = multiply(top, m);
}

// The enable bits this layer keeps; null for those it does not know.
bool* flagFor(GLenum cap) {
    State& s = state();
    TextureUnit& unit = s.units[s.activeUnit];
    switch (cap) {
    case GL_TEXTURE_2D: return &unit.enabled2D;
    case GL_TEXTURE_GEN_S: return &unit.genS;
    case GL_TEXTURE_GEN_T: return &unit.genT;
    case GL_LIGHTING: return &s.lighting;
    case GL_LIGHT0: return &s.light0;
    case GL_FOG: return &s.fog;
    case GL_ALPHA_TEST: return &s.alphaTest;
    case GL_BLEND: return &s.blend;
    case GL_DEPTH_TEST: return &s.depthTest;
    case GL_CULL_FACE: return &s.cullFace;
    case GL_SCISSOR_TEST: return &s.scissorTest;
    default: return nullptr;
    }
}

bool forwarded(GLenum cap) {
    return cap == GL_BLEND || cap == GL_DEPTH_TEST || cap == GL_CULL_FACE || cap == GL_SCISSOR_TEST;
}

void setCapability(GLenum cap, bool on, const char* call) {
    bool* flag = flagFor(cap);
    if (flag == nullptr) {
        unsupported(call, cap);
        return;
    }
    *flag = on;
    if (forwarded(cap)) on ? emscripten_glEnable(cap) : emscripten_glDisable(cap);
}

ClientArray* clientArrayFor(GLenum array) {
    State& s = state();
    switch (array) {
    case GL_VERTEX_ARRAY: return &s.vertexArray;
    case GL_NORMAL_ARRAY: return &s.normalArray;
    case GL_COLOR_ARRAY: return &s.colourArray;
    case GL_TEXTURE_COORD_ARRAY: return &s.texCoordArray[s.clientActiveUnit];
    default: return nullptr;
    }
}

void setArray(ClientArray& a, GLint size, GLenum type, GLsizei stride, const void* pointer, const char* call) {
    if (type != GL_FLOAT) {
        unsupported(call, type);
        return;
    }
    a.size = size;
    a.type = type;
    a.stride = stride;
    a.pointer = pointer;
}

// Element `index` of a float array, with GL's defaults for the components it does not give.
void fetch(const ClientArray& a, uint32_t index, float out[4], const float defaults[4]) {
    std::memcpy(out, defaults, 4 * sizeof(float));
    const size_t stride = a.stride != 0 ? size_t(a.stride) : size_t(a.size) * sizeof(float);
    const auto* bytes = static_cast<const unsigned char*>(a.pointer) + stride * index;
    std::memcpy(out, bytes, size_t(a.size) * sizeof(float));
}

int unitIndex(GLenum texture, const char* call) {
    if (texture == GL_TEXTURE0_ARB) return 0;
    if (texture == GL_TEXTURE1_ARB) return 1;
    unsupported(call, texture);
    return -1;
}

void multiTexCoord(GLenum target, float s, float t, float r, float q) {
    const int u = unitIndex(target, "glMultiTexCoordARB");
    if (u < 0) return;
    float* c = state().units[u].texCoord;
    c[0] = s;
    c[1] = t;
    c[2] = r;
    c[3] = q;
}

void activeTexture(GLenum texture) {
    const int u = unitIndex(texture, "glActiveTextureARB");
    if (u < 0) return;
    state().activeUnit = u;
    emscripten_glActiveTexture(texture);
}

void clientActiveTexture(GLenum texture) {
    const int u = unitIndex(texture, "glClientActiveTextureARB");
    if (u >= 0) state().clientActiveUnit = u;
}

void multiTexCoord1(GLenum target, GLfloat s) { multiTexCoord(target, s, 0.0f, 0.0f, 1.0f); }
void multiTexCoord2(GLenum target, GLfloat s, GLfloat t) { multiTexCoord(target, s, t, 0.0f, 1.0f); }
void multiTexCoord3(GLenum target, GLfloat s, GLfloat t, GLfloat r) { multiTexCoord(target, s, t, r, 1.0f); }
void multiTexCoord4(GLenum target, GLfloat s, GLfloat t, GLfloat r, GLfloat q) { multiTexCoord(target, s, t, r, q); }
// Locking arrays is a hint that their contents stay put; every draw here reads them afresh.
void lockArrays(GLint, GLsizei) {}
void unlockArrays() {}

}  // namespace

void* procAddress(const char* name) {
    struct Entry {
        const char* name;
        void* address;
    };
    static const Entry entries[] = {
        {"glActiveTextureARB", reinterpret_cast<void*>(&activeTexture)},
        {"glClientActiveTextureARB", reinterpret_cast<void*>(&clientActiveTexture)},
        {"glMultiTexCoord1fARB", reinterpret_cast<void*>(&multiTexCoord1)},
        {"glMultiTexCoord2fARB", reinterpret_cast<void*>(&multiTexCoord2)},
        {"glMultiTexCoord3fARB", reinterpret_cast<void*>(&multiTexCoord3)},
        {"glMultiTexCoord4fARB", reinterpret_cast<void*>(&multiTexCoord4)},
        {"glLockArraysEXT", reinterpret_cast<void*>(&lockArrays)},
        {"glUnlockArraysEXT", reinterpret_cast<void*>(&unlockArrays)},
    };
    for (const Entry& e : entries)
        if (std::strcmp(e.name, name) == 0) return e.address;
    return nullptr;
}

}  // namespace korvana::gl11

using namespace korvana::gl11;

extern "C" {

// ---- Matrices -------------------------------------------------------------------------------

void glMatrixMode(GLenum mode) {
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION) return unsupported("glMatrixMode", mode);
    state().matrixMode = mode;
}

void glLoadIdentity() { currentStack().top() = Mat4::identity(); }

void glPushMatrix() {
    if (!currentStack().push()) setError(GL_STACK_OVERFLOW);
}

void glPopMatrix() {
    if (!currentStack().pop()) setError(GL_STACK_UNDERFLOW);
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { multiplyCurrent(translation(x, y, z)); }
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) { multiplyCurrent(rotation(angle, x, y, z)); }
void glScalef(GLfloat x, GLfloat y, GLfloat z) { multiplyCurrent(scaling(x, y, z)); }

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    multiplyCurrent(perspective(fovy, aspect, zNear, zFar));
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY, GLdouble centreZ,
               GLdouble upX, GLdouble upY, GLdouble upZ) {
    multiplyCurrent(lookAt(eyeX, eyeY, eyeZ, centreX, centreY, centreZ, upX, upY, upZ));
}

// ---- Capabilities ---------------------------------------------------------------------------

void glEnable(GLenum cap) { setCapability(cap, true, "glEnable"); }
void glDisable(GLenum cap) { setCapability(cap, false, "glDisable"); }

GLboolean glIsEnabled(GLenum cap) {
    const bool* flag = flagFor(cap);
    if (flag == nullptr) {
        unsupported("glIsEnabled", cap);
        return GL_FALSE;
    }
    return *flag ? GL_TRUE : GL_FALSE;
}

void glEnableClientState(GLenum array) {
    ClientArray* a = clientArrayFor(array);
    if (a == nullptr || array == GL_COLOR_ARRAY) return unsupported("glEnableClientState", array);
    a->enabled = true;
}

void glDisableClientState(GLenum array) {
    ClientArray* a = clientArrayFor(array);
    if (a == nullptr) return unsupported("glDisableClientState", array);
    a->enabled = false;
}

// ---- Fragment state -------------------------------------------------------------------------

void glAlphaFunc(GLenum func, GLclampf ref) {
    if (func < GL_NEVER || func > GL_ALWAYS) return setError(GL_INVALID_ENUM);
    state().alphaFunc = func;
    state().alphaRef = ref;
}

void glBlendFunc(GLenum sfactor, GLenum dfactor) { emscripten_glBlendFunc(sfactor, dfactor); }
void glCullFace(GLenum mode) { emscripten_glCullFace(mode); }
void glDepthMask(GLboolean flag) { emscripten_glDepthMask(flag); }

void glColorMask(GLboolean red, GLboolean green, GLboolean blue, GLboolean alpha) {
    GLboolean* m = state().colourMask;
    m[0] = red;
    m[1] = green;
    m[2] = blue;
    m[3] = alpha;
    emscripten_glColorMask(red, green, blue, alpha);
}

void glShadeModel(GLenum mode) {
    if (mode != GL_SMOOTH) unsupported("glShadeModel", mode);
}

void glFogf(GLenum pname, GLfloat param) {
    State& s = state();
    switch (pname) {
    case GL_FOG_START: s.fogStart = param; break;
    case GL_FOG_END: s.fogEnd = param; break;
    case GL_FOG_DENSITY: s.fogDensity = param; break;
    case GL_FOG_MODE:
        if (GLenum(param) != GL_LINEAR) unsupported("glFog(GL_FOG_MODE)", unsigned(param));
        break;
    default: unsupported("glFogf", pname);
    }
}

void glFogi(GLenum pname, GLint param) { glFogf(pname, GLfloat(param)); }

void glFogfv(GLenum pname, const GLfloat* params) {
    if (pname == GL_FOG_COLOR) {
        for (int i = 0; i < 4; ++i) state().fogColour[i] = std::fmin(1.0f, std::fmax(0.0f, params[i]));
        return;
    }
    glFogf(pname, params[0]);
}

void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    if (light != GL_LIGHT0 || pname != GL_POSITION) return unsupported("glLightfv", pname);
    // The position is kept in eye coordinates, through the model-view of the moment.
    state().light0Eye = transform(state().modelView.top(), Vec4{params[0], params[1], params[2], params[3]});
}

// ---- Textures -------------------------------------------------------------------------------

void glGenTextures(GLsizei n, GLuint* textures) {
    emscripten_glGenTextures(n, textures);
    for (GLsizei i = 0; i < n; ++i) state().textures[textures[i]] = TextureInfo{};
}

void glBindTexture(GLenum target, GLuint texture) {
    if (target != GL_TEXTURE_2D) return unsupported("glBindTexture", target);
    State& s = state();
    s.units[s.activeUnit].bound = texture;
    emscripten_glBindTexture(target, texture);
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    State& s = state();
    const GLuint bound = s.units[s.activeUnit].bound;
    if (pname == GL_TEXTURE_MIN_FILTER && bound != 0) s.textures[bound].minFilter = param;
    emscripten_glTexParameteri(target, pname, param);
}

void glTexParameterf(GLenum target, GLenum pname, GLfloat param) { glTexParameteri(target, pname, GLint(param)); }

void glTexEnvf(GLenum target, GLenum pname, GLfloat param) {
    if (target != GL_TEXTURE_ENV || pname != GL_TEXTURE_ENV_MODE || GLenum(param) != GL_MODULATE)
        return unsupported("glTexEnvf", unsigned(param));
    State& s = state();
    s.units[s.activeUnit].envMode = GL_MODULATE;
}

void glTexGeni(GLenum coord, GLenum pname, GLint param) {
    if ((coord != GL_S && coord != GL_T) || pname != GL_TEXTURE_GEN_MODE || param != GL_SPHERE_MAP)
        return unsupported("glTexGeni", unsigned(param));
}

void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* pixels) {
    if (target != GL_TEXTURE_2D || level != 0 || border != 0) return unsupported("glTexImage2D", unsigned(level));
    State& s = state();
    const GLuint bound = s.units[s.activeUnit].bound;
    emscripten_glTexImage2D(target, level, internalformat, width, height, border, format, type, pixels);
    if (bound != 0) s.textures[bound].hasImage = width > 0 && height > 0;
}

void glPixelStorei(GLenum pname, GLint param) {
    if (pname == GL_PACK_ALIGNMENT) state().packAlignment = param;
    if (pname == GL_UNPACK_ALIGNMENT) state().unpackAlignment = param;
    emscripten_glPixelStorei(pname, param);
}

// ---- Current attributes and immediate mode --------------------------------------------------

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    float* c = state().colour;
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

void glColor4fv(const GLfloat* v) { glColor4f(v[0], v[1], v[2], v[3]); }

void glNormal3f(GLfloat x, GLfloat y, GLfloat z) { state().normal = Vec3{x, y, z}; }

void glTexCoord2f(GLfloat s, GLfloat t) {
    float* c = state().units[0].texCoord;
    c[0] = s;
    c[1] = t;
    c[2] = 0.0f;
    c[3] = 1.0f;
}

void glBegin(GLenum mode) {
    State& s = state();
    if (s.inBegin) return setError(GL_INVALID_OPERATION);
    if (mode != GL_TRIANGLES && mode != GL_QUADS && mode != GL_LINES) return unsupported("glBegin", mode);
    s.inBegin = true;
    s.beginMode = mode;
    s.immediate.clear();
    beginVertexBatch();
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    State& s = state();
    if (!s.inBegin) return;
    s.immediate.push_back(shadeVertex(Vec4{x, y, z, 1.0f}, s.normal, s.colour, s.units[0].texCoord, s.units[1].texCoord));
}

void glEnd() {
    State& s = state();
    if (!s.inBegin) return setError(GL_INVALID_OPERATION);
    s.inBegin = false;
    std::vector<ShadedVertex>& v = s.immediate;
    if (s.beginMode == GL_QUADS) {
        // Each whole quad as two triangles; a trailing part-quad is dropped, as GL drops it.
        static std::vector<uint32_t> indices;
        indices.clear();
        for (uint32_t q = 0; q + 4 <= v.size(); q += 4)
            for (uint32_t k : {0u, 1u, 2u, 0u, 2u, 3u}) indices.push_back(q + k);
        if (!indices.empty()) drawShaded(GL_TRIANGLES, v, &indices);
    } else {
        const size_t per = s.beginMode == GL_LINES ? 2 : 3;
        v.resize(v.size() - v.size() % per);
        drawShaded(s.beginMode, v, nullptr);
    }
}

// ---- Vertex arrays --------------------------------------------------------------------------

void glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    setArray(state().vertexArray, size, type, stride, pointer, "glVertexPointer");
}

void glNormalPointer(GLenum type, GLsizei stride, const void* pointer) {
    setArray(state().normalArray, 3, type, stride, pointer, "glNormalPointer");
}

void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    State& s = state();
    setArray(s.texCoordArray[s.clientActiveUnit], size, type, stride, pointer, "glTexCoordPointer");
}

void glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    State& s = state();
    if (mode != GL_TRIANGLES && mode != GL_LINES) return unsupported("glDrawElements", mode);
    if (count < 0) return setError(GL_INVALID_VALUE);
    if (!s.vertexArray.enabled || count == 0) return;
    static std::vector<uint32_t> list;
    list.resize(size_t(count));
    for (GLsizei i = 0; i < count; ++i) {
        switch (type) {
        case GL_UNSIGNED_INT: list[size_t(i)] = static_cast<const uint32_t*>(indices)[i]; break;
        case GL_UNSIGNED_SHORT: list[size_t(i)] = static_cast<const uint16_t*>(indices)[i]; break;
        case GL_UNSIGNED_BYTE: list[size_t(i)] = static_cast<const uint8_t*>(indices)[i]; break;
        default: return setError(GL_INVALID_ENUM);
        }
    }
    uint32_t highest = 0;
    for (uint32_t index : list) highest = index > highest ? index : highest;

    // Every vertex up to the highest index goes through the vertex stage once.
    static std::vector<ShadedVertex> shaded;
    shaded.resize(size_t(highest) + 1);
    beginVertexBatch();
    static const float kPosition[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    static const float kTexCoord[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (uint32_t i = 0; i <= highest; ++i) {
        float p[4], n[4], t[kUnits][4];
        fetch(s.vertexArray, i, p, kPosition);
        if (s.normalArray.enabled) {
            fetch(s.normalArray, i, n, kPosition);
        } else {
            n[0] = s.normal.x;
            n[1] = s.normal.y;
            n[2] = s.normal.z;
        }
        for (int u = 0; u < kUnits; ++u) {
            if (s.texCoordArray[u].enabled)
                fetch(s.texCoordArray[u], i, t[u], kTexCoord);
            else
                std::memcpy(t[u], s.units[u].texCoord, sizeof t[u]);
        }
        shaded[i] = shadeVertex(Vec4{p[0], p[1], p[2], p[3]}, Vec3{n[0], n[1], n[2]}, s.colour, t[0], t[1]);
    }
    drawShaded(mode, shaded, &list);
}

// ---- Frame buffer and queries ---------------------------------------------------------------

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) { emscripten_glViewport(x, y, width, height); }

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    float* c = state().clearColour;
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
    emscripten_glClearColor(r, g, b, a);
}

void glClearDepth(GLclampd depth) { emscripten_glClearDepthf(GLfloat(depth)); }
void glClear(GLbitfield mask) { emscripten_glClear(mask); }

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels) {
    emscripten_glReadPixels(x, y, width, height, format, type, pixels);
}

GLenum glGetError() {
    State& s = state();
    if (s.error != GL_NO_ERROR) {
        const GLenum e = s.error;
        s.error = GL_NO_ERROR;
        return e;
    }
    return emscripten_glGetError();
}

void glGetFloatv(GLenum pname, GLfloat* params) {
    State& s = state();
    switch (pname) {
    case GL_MODELVIEW_MATRIX: std::memcpy(params, s.modelView.top().m.data(), 16 * sizeof(float)); break;
    case GL_PROJECTION_MATRIX: std::memcpy(params, s.projection.top().m.data(), 16 * sizeof(float)); break;
    case GL_COLOR_CLEAR_VALUE: std::memcpy(params, s.clearColour, 4 * sizeof(float)); break;
    default: unsupported("glGetFloatv", pname);
    }
}

void glGetIntegerv(GLenum pname, GLint* params) {
    State& s = state();
    switch (pname) {
    case GL_MAX_TEXTURE_SIZE: emscripten_glGetIntegerv(pname, params); break;
    case GL_PACK_ALIGNMENT: *params = s.packAlignment; break;
    case GL_UNPACK_ALIGNMENT: *params = s.unpackAlignment; break;
    case GL_MATRIX_MODE: *params = GLint(s.matrixMode); break;
    case GL_MODELVIEW_STACK_DEPTH: *params = GLint(s.modelView.size()); break;
    case GL_PROJECTION_STACK_DEPTH: *params = GLint(s.projection.size()); break;
    default: unsupported("glGetIntegerv", pname);
    }
}

void glGetBooleanv(GLenum pname, GLboolean* params) {
    if (pname != GL_COLOR_WRITEMASK) return unsupported("glGetBooleanv", pname);
    std::memcpy(params, state().colourMask, 4 * sizeof(GLboolean));
}

}  // extern "C"
