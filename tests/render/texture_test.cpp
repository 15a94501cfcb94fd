// Texture names, uploads and their sampling settings, and the file-backed texture classes.
#include <vector>

#include "assets/file_texture.h"
#include "render_fixture.h"

namespace korvana::test {
namespace {

GLint levelWidth() {
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    return width;
}

TEST_F(RenderTest, TexturesGetDistinctNamesThatOutliveThem) {
    Texture a;
    Texture b;
    EXPECT_NE(a.glName, 0u);
    EXPECT_NE(b.glName, 0u);
    EXPECT_NE(a.glName, b.glName);

    GLuint kept = 0;
    {
        auto doomed = std::make_unique<Texture>();
        const uint8_t pixel[4] = {10, 20, 30, 40};
        doomed->uploadRgba(pixel, 1, 1);
        kept = doomed->glName;
    }
    // The object is gone; GL still has the name and its image.
    EXPECT_TRUE(glIsTexture(kept));
    glBindTexture(GL_TEXTURE_2D, kept);
    EXPECT_EQ(levelWidth(), 1);
    uint8_t back[4] = {};
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back);
    EXPECT_EQ(back[3], 40);
    glBindTexture(GL_TEXTURE_2D, 0);
    // A new texture does not get the kept name back.
    Texture c;
    EXPECT_NE(c.glName, kept);
}

TEST_F(RenderTest, UploadsOddWidthsWithTheFixedSettings) {
    // 3 x 3 RGB: 9-byte rows, which a 4-byte alignment would misread.
    std::vector<uint8_t> pixels(27);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 9);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    Texture texture;
    texture.uploadRgb(pixels.data(), 3, 3);

    GLint alignment = 0, bound = -1, env = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0) << "upload leaves texture 0 bound";
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);

    texture.bind();
    GLint format = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    EXPECT_EQ(format, GL_RGB);
    std::vector<uint8_t> back(27);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    EXPECT_EQ(back, pixels);
    GLint value = 0;
    for (GLenum parameter : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) {
        glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
        EXPECT_EQ(value, GL_REPEAT);
    }
    for (GLenum parameter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER}) {
        glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
        EXPECT_EQ(value, GL_LINEAR);
    }
    texture.unbind();

    // RGBA keeps its alpha as given.
    const uint8_t rgba[5 * 4] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    Texture alpha;
    alpha.uploadRgba(rgba, 5, 1);
    alpha.bind();
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    EXPECT_EQ(format, GL_RGBA);
    uint8_t rgbaBack[20] = {};
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgbaBack);
    EXPECT_EQ(std::vector<uint8_t>(rgbaBack, rgbaBack + 20), std::vector<uint8_t>(rgba, rgba + 20));
    alpha.unbind();
}

TEST_F(RenderTest, FileTexturesWithoutTheirImageStayEmpty) {
    // No asset archive holds these members: each texture keeps a name and no image.
    JpegTexture jpeg("jpg/not_in_any_archive.jpg");
    TgaTexture tga("jpg/not_in_any_archive.tga");
    TgaTexture overlay;
    std::unique_ptr<Texture> asBase = std::make_unique<TgaTexture>();
    for (const Texture* t : {(const Texture*)&jpeg, (const Texture*)&tga,
                             (const Texture*)&overlay, (const Texture*)asBase.get()}) {
        EXPECT_NE(t->glName, 0u);
        t->bind();
        EXPECT_EQ(levelWidth(), 0);
        t->unbind();
    }
    EXPECT_NE(jpeg.glName, tga.glName);
    const GLuint name = asBase->glName;
    asBase.reset();  // through the base's virtual destructor
    EXPECT_TRUE(glIsTexture(name)) << "the name stays reserved after the object is gone";
}

}  // namespace
}  // namespace korvana::test
