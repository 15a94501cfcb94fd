// Texture: name reservation, binding, the two uploads and the overlay square.
#include "render/texture.h"

#include "platform/gl.h"

namespace korvana {

Texture::Texture() {
    GLuint nameOut = 0;
    glGenTextures(1, &nameOut);
    glName = nameOut;
}

// The GL name stays reserved: textures are made once at load time and the names are never reused.
Texture::~Texture() = default;

void Texture::bind() const { glBindTexture(GL_TEXTURE_2D, glName); }

void Texture::unbind() const { glBindTexture(GL_TEXTURE_2D, 0); }

namespace {

void upload(const Texture& texture, GLenum format, const void* pixels, int32_t width,
            int32_t height) {
    texture.bind();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, format, GL_UNSIGNED_BYTE,
                 pixels);
    texture.unbind();
}

}  // namespace

void Texture::uploadRgb(const void* pixels, int32_t width, int32_t height) {
    upload(*this, GL_RGB, pixels, width, height);
}

void Texture::uploadRgba(const void* pixels, int32_t width, int32_t height) {
    upload(*this, GL_RGBA, pixels, width, height);
}

void Texture::drawOverlay(float x, float y, float z, int32_t width, int32_t height) {
    // The aspect is a whole-number quotient and the height divides it: a picture without size has
    // nothing to cover.
    if (width <= 0 || height <= 0) return;

    bind();
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // 640 / 480 is 1 here: the square at distance 1 then spans exactly [-1, 1] in x and y and is
    // stretched over the 4:3 picture.
    const int32_t aspect = width / height;
    gluPerspective(90.0, double(aspect), double(0.1f), 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(x, y, z);

    glBegin(GL_QUADS);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-1.0f, 1.0f, 0.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, 0.0f);
    glEnd();

    glPopMatrix();
    unbind();
}

}  // namespace korvana
