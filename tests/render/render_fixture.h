// The headless GL fixture with what the render tests share: the extension entry points the draw
// routines call, solid-colour textures, and an object that logs which draw routines ran and the GL
// state each one saw.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "render/render_options.h"
#include "render/scene_object.h"
#include "render/texture.h"
#include "support/gl_fixture.h"

namespace korvana::test {

class RenderTest : public GLFixture {
protected:
    void SetUp() override {
        GLFixture::SetUp();
        if (!haveContext) return;
        // As the program's start-up does, once the context exists.
        ASSERT_TRUE(initGLExtensions());
        ASSERT_NE(korvana::glActiveTextureARB, nullptr);
    }

    static std::unique_ptr<Texture> solidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
        auto texture = std::make_unique<Texture>();
        const uint8_t pixels[4 * 4] = {r, g, b, a, r, g, b, a, r, g, b, a, r, g, b, a};
        texture->uploadRgba(pixels, 2, 2);
        return texture;
    }
};

// GL state as a draw routine saw it.
struct SeenState {
    std::string routine;
    std::string object;
    bool cull = false;
    GLint cullMode = 0;
    bool blend = false;
    GLint blendSrc = 0;
    GLint blendDst = 0;
    bool depthMask = false;
    bool alphaTest = false;
    GLint alphaFunc = 0;
    float alphaRef = 0;
    GLint modelViewDepth = 0;
    float modelView[16] = {};
};

// Records instead of drawing: each draw routine appends what it saw to a shared log.
class SpyObject : public SceneObject {
public:
    explicit SpyObject(std::vector<SeenState>& sharedLog, const char* objectName = "spy")
        : log(sharedLog) {
        setName(objectName);
        allocate(1, 0);
    }
    void drawTextured() override { record("textured"); }
    void drawEnvMapped() override { record("envMapped"); }
    void drawTexturedEnvMapped() override { record("texturedEnvMapped"); }
    void drawBillboards() override { record("billboards"); }
    void drawLit() override { record("lit"); }
    void drawWireframe() override { record("wireframe"); }

private:
    void record(const char* routine) {
        SeenState s;
        s.routine = routine;
        s.object = name;
        s.cull = glIsEnabled(GL_CULL_FACE);
        glGetIntegerv(GL_CULL_FACE_MODE, &s.cullMode);
        s.blend = glIsEnabled(GL_BLEND);
        glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
        glGetIntegerv(GL_BLEND_DST, &s.blendDst);
        GLboolean mask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
        s.depthMask = mask;
        s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
        glGetIntegerv(GL_ALPHA_TEST_FUNC, &s.alphaFunc);
        glGetFloatv(GL_ALPHA_TEST_REF, &s.alphaRef);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelViewDepth);
        glGetFloatv(GL_MODELVIEW_MATRIX, s.modelView);
        log.push_back(s);
    }
    std::vector<SeenState>& log;
};

inline std::vector<std::string> routines(const std::vector<SeenState>& log) {
    std::vector<std::string> out;
    for (const SeenState& s : log) out.push_back(s.routine);
    return out;
}

}  // namespace korvana::test
