// The six draw styles of SceneObject and the array submission the sphere-mapped ones share. Each
// reads the object's arrays and its options; render has already set the transform and blending.
#include "platform/gl.h"
#include "render/render_options.h"
#include "render/scene_object.h"
#include "render/texture.h"

namespace korvana {

namespace {

GLsizei indexCount(uint32_t faceCount) { return GLsizei(faceCount * 3u); }

void sphereMapGeneration() {
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_T);
}

}  // namespace

void SceneObject::drawTextured() {
    options->texture->bind();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glDrawElements(GL_TRIANGLES, indexCount(faceCount), GL_UNSIGNED_INT, faces);
    options->texture->unbind();
}

void SceneObject::drawArrays() {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    glNormalPointer(GL_FLOAT, 0, normals);
    glDrawElements(GL_TRIANGLES, indexCount(faceCount), GL_UNSIGNED_INT, faces);
}

void SceneObject::drawEnvMapped() {
    sphereMapGeneration();
    options->envTexture->bind();
    drawArrays();
    options->envTexture->unbind();
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}

void SceneObject::drawTexturedEnvMapped() {
    korvana::glActiveTextureARB(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    options->texture->bind();
    // Stays with the texture object: this texture samples nearest from now on, wherever it is used.
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);

    korvana::glActiveTextureARB(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    options->envTexture->bind();
    sphereMapGeneration();

    // The client-side active unit stays 0: the coordinate array feeds unit 0, unit 1 only gets
    // generated coordinates.
    drawArrays();

    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_S);
    korvana::glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    korvana::glActiveTextureARB(GL_TEXTURE0_ARB);
    options->texture->unbind();
}

void SceneObject::drawBillboards() {
    options->texture->bind();
    const float size = options->billboardSize;

    // The first two rows of the model-view are the eye's x and y axes in object space, so the quads
    // face the screen whatever the object's rotation.
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    Vector3 right(m[0], m[4], m[8]);
    Vector3 up(m[1], m[5], m[9]);
    right.scale(size);
    up.scale(size);

    glBegin(GL_QUADS);
    for (uint32_t i = 0; i < vertexCount; ++i) {
        const Vector3& p = vertices[i];
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(p.x - right.x - up.x, p.y - right.y - up.y, p.z - right.z - up.z);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(p.x + right.x - up.x, p.y + right.y - up.y, p.z + right.z - up.z);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3f(p.x + right.x + up.x, p.y + right.y + up.y, p.z + right.z + up.z);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3f(p.x - right.x + up.x, p.y - right.y + up.y, p.z - right.z + up.z);
    }
    glEnd();
    options->texture->unbind();
}

void SceneObject::drawLit() {
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LIGHT0);
    // w = 1: a point light at the object's origin (a zero direction would make no light at all).
    const GLfloat lightPosition[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glColor4fv(options->color);

    glBegin(GL_TRIANGLES);
    for (uint32_t f = 0; f < faceCount; ++f) {
        const uint32_t corners[3] = {faces[f].a, faces[f].b, faces[f].c};
        for (uint32_t index : corners) {
            const Vector3& v = vertices[index];
            // Unit normals along the vertex direction: with GL_NORMALIZE off, longer normals would
            // make the shading depend on the mesh's size.
            const double d = v.length();
            if (d > 0.0)
                glNormal3f(float(v.x / d), float(v.y / d), float(v.z / d));
            else
                glNormal3f(0.0f, 0.0f, 0.0f);
            glVertex3f(v.x, v.y, v.z);
        }
    }
    glEnd();
    glDisable(GL_LIGHTING);
}

void SceneObject::drawWireframe() {
    glColor4fv(options->wireColor);
    glBegin(GL_LINES);
    for (uint32_t f = 0; f < faceCount; ++f) {
        const Vector3& a = vertices[faces[f].a];
        const Vector3& b = vertices[faces[f].b];
        const Vector3& c = vertices[faces[f].c];
        glVertex3f(a.x, a.y, a.z);
        glVertex3f(b.x, b.y, b.z);
        glVertex3f(b.x, b.y, b.z);
        glVertex3f(c.x, c.y, c.z);
        glVertex3f(c.x, c.y, c.z);
        glVertex3f(a.x, a.y, a.z);
    }
    glEnd();
}

}  // namespace korvana
