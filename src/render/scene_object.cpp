// SceneObject: arrays, names, and the render method that turns the shared options into GL state
// around the draw routines (the routines themselves are in draw_routines.cpp).
#include "render/scene_object.h"

#include <cstring>

#include "platform/gl.h"
#include "render/render_options.h"

namespace korvana {

SceneObject::SceneObject(uint32_t n, uint32_t m) { allocate(n, m); }

SceneObject::~SceneObject() {
    delete[] normals;
    normals = nullptr;
    delete[] vertices;
    vertices = nullptr;
    delete[] texCoords;
    texCoords = nullptr;
    delete[] faces;
    faces = nullptr;
}

void SceneObject::allocate(uint32_t n, uint32_t m) {
    setRotation(0.0f, 0.0f, 0.0f);
    setScale(1.0f);
    setPosition(0.0f, 0.0f, 0.0f);
    normals = new Vector3[n]();
    vertices = new Vector3[n]();
    vertexCount = n;
    texCoords = new TexCoord[n]();
    // Face storage starts zeroed rather than undefined, so a reader that stops early never hands
    // GL indices it did not write.
    faces = new Face[m]();
    faceCount = m;
}

void SceneObject::setName(const char* text) {
    std::size_t length = std::strlen(text);
    if (length > NAME_SIZE - 1) length = NAME_SIZE - 1;
    std::memcpy(name, text, length);
    name[length] = '\0';
}

bool SceneObject::hasName(const char* text) const { return std::strcmp(name, text) == 0; }

void SceneObject::render() {
    if (options == nullptr) return;
    const RenderOptions& o = *options;

    glEnable(GL_CULL_FACE);
    if (o.flags[FLAG_CULL_FRONT]) glCullFace(GL_FRONT);
    if (o.flags[FLAG_CULL_BACK]) glCullFace(GL_BACK);
    if (o.flags[FLAG_NO_CULL]) glDisable(GL_CULL_FACE);

    // One level per transform step, so the model matrix is T * Rx * Ry * Rz * S.
    glPushMatrix();
    glTranslatef(position.x, position.y, position.z);
    glPushMatrix();
    glRotatef(rotation.x, 1.0f, 0.0f, 0.0f);
    glPushMatrix();
    glRotatef(rotation.y, 0.0f, 1.0f, 0.0f);
    glPushMatrix();
    glRotatef(rotation.z, 0.0f, 0.0f, 1.0f);
    glPushMatrix();
    glPushMatrix();
    glScalef(scale.x, scale.y, scale.z);

    const bool glow = o.flags[FLAG_GLOW];
    const bool alphaTest = o.flags[FLAG_ALPHA_TEST];
    const bool blended = o.flags[FLAG_BLEND] || o.flags[FLAG_ADDITIVE];

    if (glow) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
    }
    if (alphaTest) {
        glAlphaFunc(GL_GREATER, 0.5f);
        glEnable(GL_ALPHA_TEST);
    }
    if (blended) {
        glDepthMask(GL_FALSE);
        glEnable(GL_BLEND);
        if (o.flags[FLAG_ADDITIVE])
            glBlendFunc(GL_ONE, GL_ONE);
        else
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }

    if (o.flags[FLAG_WIREFRAME]) drawWireframe();
    if (o.flags[FLAG_LIT]) drawLit();
    if (o.flags[FLAG_TEXTURE] && o.flags[FLAG_ENV_MAP])
        drawTexturedEnvMapped();
    else if (o.flags[FLAG_ENV_MAP])
        drawEnvMapped();
    else if (o.flags[FLAG_TEXTURE])
        drawTextured();
    if (o.flags[FLAG_BILLBOARDS]) drawBillboards();

    if (blended) {
        glDisable(GL_BLEND);
        glDepthMask(GL_TRUE);
    }
    if (alphaTest) glDisable(GL_ALPHA_TEST);
    if (glow) glDisable(GL_BLEND);

    glPopMatrix();
    glPopMatrix();
    glPopMatrix();
    glPopMatrix();
    glPopMatrix();
    glPopMatrix();

    glDisable(GL_CULL_FACE);
}

}  // namespace korvana
