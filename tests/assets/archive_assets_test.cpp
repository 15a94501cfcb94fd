// Assets read out of an archive written by our packer, as the show reads them: meshes through
// load3ds, images into GL textures that must then sample the right colours.
#include <gtest/gtest.h>

#include <memory>

#include "assets/asset_archive.h"
#include "assets/file_texture.h"
#include "assets/mesh_file.h"
#include "assets/texture_image.h"
#include "image_test_util.h"
#include "mesh_builder.h"
#include "packer/packer.h"
#include "platform/jpeg_codec.h"
#include "render/texture.h"
#include "support/gl_fixture.h"

namespace korvana {
namespace {

// A side x side picture in four flat quadrants, first row first: red, green / blue, yellow.
std::vector<uint8_t> quadrantPixels(int side, int channels, uint8_t alpha = 255) {
    std::vector<uint8_t> pixels(static_cast<size_t>(side) * side * channels);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            uint8_t* p = &pixels[(static_cast<size_t>(y) * side + x) * channels];
            const bool right = x >= side / 2, second = y >= side / 2;
            p[0] = (!second && !right) || (second && right) ? 255 : 0;
            p[1] = right ? 255 : 0;
            p[2] = second && !right ? 255 : 0;
            if (channels == 4) p[3] = alpha;
        }
    return pixels;
}

// The same picture as a Targa file: B, G, R (, A) per pixel, rows in the same order.
std::vector<uint8_t> quadrantTga(int side, bool alpha) {
    std::vector<uint8_t> file = test::tgaHeader(side, side, alpha ? 32 : 24);
    std::vector<uint8_t> pixels = quadrantPixels(side, alpha ? 4 : 3, 0x60);
    const int step = alpha ? 4 : 3;
    for (size_t i = 0; i < pixels.size(); i += step) std::swap(pixels[i], pixels[i + 2]);
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

// Packs `files` into `path` and makes it the asset archive.
void packAssets(const std::string& path, const std::vector<PackInput>& files, int level) {
    PackOptions options;
    options.level = level;
    std::string error;
    ASSERT_TRUE(writeArchive(path, files, options, &error)) << error;
    setAssetArchivePath(path.c_str());
}

class ArchiveAssets : public test::GLFixture {
protected:
    void SetUp() override {
        test::GLFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        archive = std::make_unique<test::ScratchDir>("archive");
        archivePath = (archive->path / "megadata.rar").string();
    }
    void TearDown() override {
        setAssetArchivePath(nullptr);
        test::GLFixture::TearDown();
    }

    void pack(const std::vector<PackInput>& files, int level) { packAssets(archivePath, files, level); }

    // Draws `texture` over the whole picture and returns the colour at the centre of each
    // quadrant of the texture: first row left, first row right, second row left, second right.
    std::vector<test::Rgba> sampleQuadrants(Texture& texture) {
        glViewport(0, 0, test::PICTURE_WIDTH, test::PICTURE_HEIGHT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1, 0, 1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glColor4f(1, 1, 1, 1);
        texture.bind();
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0); glVertex2f(0, 0);
        glTexCoord2f(1, 0); glVertex2f(1, 0);
        glTexCoord2f(1, 1); glVertex2f(1, 1);
        glTexCoord2f(0, 1); glVertex2f(0, 1);
        glEnd();
        texture.unbind();
        glDisable(GL_TEXTURE_2D);
        const int w = test::PICTURE_WIDTH, h = test::PICTURE_HEIGHT;
        // The first texture row is t = 0, the bottom of the picture.
        return {pixel(w / 4, h / 4), pixel(3 * w / 4, h / 4), pixel(w / 4, 3 * h / 4),
                pixel(3 * w / 4, 3 * h / 4)};
    }

    static void expectQuadrantColours(const std::vector<test::Rgba>& got, int tolerance) {
        const int expected[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
        for (int q = 0; q < 4; ++q) {
            EXPECT_NEAR(got[q].r, expected[q][0], tolerance) << "quadrant " << q;
            EXPECT_NEAR(got[q].g, expected[q][1], tolerance) << "quadrant " << q;
            EXPECT_NEAR(got[q].b, expected[q][2], tolerance) << "quadrant " << q;
        }
    }

    static GLint textureWidth(Texture& texture) {
        GLint width = -1;
        texture.bind();
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        texture.unbind();
        return width;
    }

    std::unique_ptr<test::ScratchDir> archive;
    std::string archivePath;
};

TEST_F(ArchiveAssets, JpegAndTargaTexturesSampleTheirColours) {
    const int side = 64;
    const std::vector<uint8_t> rgb = quadrantPixels(side, 3);
    // The JPEG path delivers its rows top row first, so the JPEG holds the rows in the same order
    // as the Targa file: both textures then look alike.
    const std::vector<uint8_t> jpeg = encodeJpeg(rgb.data(), side, side, 95);
    ASSERT_FALSE(jpeg.empty());
    const std::vector<uint8_t> grey = [&] {
        std::vector<uint8_t> flat(static_cast<size_t>(side) * side * 3, 128);
        return encodeJpeg(flat.data(), side, side, 95);
    }();
    pack({{"jpg\\quadrants.jpg", jpeg},
          {"jpg\\quadrants24.tga", quadrantTga(side, false)},
          {"jpg\\quadrants32.tga", quadrantTga(side, true)},
          {"jpg\\wide.tga", test::tgaHeader(8, 4, 24)},
          {"jpg\\garbage.jpg", std::vector<uint8_t>(300, 0x5A)}},
         3);
    if (HasFatalFailure()) return;

    JpegTexture jpegTexture("jpg/quadrants.jpg");
    EXPECT_EQ(textureWidth(jpegTexture), side);
    expectQuadrantColours(sampleQuadrants(jpegTexture), 24);

    TgaTexture tga24("jpg/quadrants24.tga");
    EXPECT_EQ(textureWidth(tga24), side);
    expectQuadrantColours(sampleQuadrants(tga24), 1);

    // The overlays' way: default constructor, then loadTga. Alpha arrives unchanged.
    TgaTexture tga32;
    EXPECT_EQ(textureWidth(tga32), 0);
    loadTga(tga32, "jpg/quadrants32.tga");
    EXPECT_EQ(textureWidth(tga32), side);
    GLint alphaBits = 0;
    tga32.bind();
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
    std::vector<uint8_t> stored(static_cast<size_t>(side) * side * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, stored.data());
    tga32.unbind();
    EXPECT_GT(alphaBits, 0);
    EXPECT_EQ(stored[3], 0x60);
    EXPECT_EQ(stored, quadrantPixels(side, 4, 0x60));
    expectQuadrantColours(sampleQuadrants(tga32), 1);

    // Failed loads leave the texture with its name and no image: a missing member, a refused
    // Targa, a JPEG the decoder cannot read, a JPEG through the Targa path.
    for (const char* name : {"jpg/none.tga", "jpg/wide.tga", "jpg/quadrants.jpg"}) {
        TgaTexture empty(name);
        EXPECT_NE(empty.glName, 0u) << name;
        EXPECT_EQ(textureWidth(empty), 0) << name;
    }
    for (const char* name : {"jpg/none.jpg", "jpg/garbage.jpg", "jpg/quadrants24.tga"}) {
        JpegTexture empty(name);
        EXPECT_EQ(textureWidth(empty), 0) << name;
    }
}

TEST_F(ArchiveAssets, GreyJpegIsNotUploaded) {
    if (!test::haveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    auto ppm = archive->path / "grey.ppm";
    auto jpg = archive->path / "grey.jpg";
    std::vector<uint8_t> orange;
    for (int i = 0; i < 16 * 16; ++i) orange.insert(orange.end(), {230, 120, 20});
    test::writeFile(ppm, test::netpbm(16, 16, orange, false));
    ASSERT_TRUE(test::runConvert(ppm.string() + " -colorspace Gray " + jpg.string()));
    // The same picture in colour beside it: only the grey one stays empty.
    auto colourJpg = archive->path / "colour.jpg";
    ASSERT_TRUE(test::runConvert(ppm.string() + " -type TrueColor " + colourJpg.string()));
    pack({{"jpg\\grey.jpg", test::readFile(jpg)}, {"jpg\\colour.jpg", test::readFile(colourJpg)}}, 0);
    if (HasFatalFailure()) return;
    JpegTexture grey("jpg/grey.jpg");
    EXPECT_EQ(textureWidth(grey), 0);
    JpegTexture colour("jpg/colour.jpg");
    EXPECT_EQ(textureWidth(colour), 16);
}

TEST(ArchiveMeshes, Load3dsFromTheArchive) {
    using namespace test;
    ScratchDir dir("load3ds");
    struct Restore {
        ~Restore() { setAssetArchivePath(nullptr); }
    } restore;
    const Bytes file = mainChunk({editor({object("Box01", {triangleMesh(1)}),
                                          object("Box02", {triangleMesh(2)})})});
    packAssets((dir.path / "megadata.rar").string(), {{"3ds\\boxes.3ds", file}}, 3);
    if (HasFatalFailure()) return;

    MeshFile meshFile;
    EXPECT_TRUE(load3ds(meshFile, 3, "3ds/boxes.3ds", "box02", "Box03", "Box01"));
    ASSERT_EQ(meshFile.objects().size(), 3u);
    // Entries in the order of the names, an empty one for the missing object, names as given.
    ASSERT_NE(meshFile.objects()[0], nullptr);
    EXPECT_STREQ(meshFile.objects()[0]->name, "box02");
    EXPECT_FLOAT_EQ(meshFile.objects()[0]->vertices[0].x, 2.0f);
    EXPECT_EQ(meshFile.objects()[1], nullptr);
    ASSERT_NE(meshFile.objects()[2], nullptr);
    EXPECT_FLOAT_EQ(meshFile.objects()[2]->vertices[0].x, 1.0f);
    EXPECT_EQ(meshFile.find("Box02"), nullptr);
    EXPECT_EQ(meshFile.find("box02"), meshFile.objects()[0]);
    // The file image is not kept once the objects are built.
    EXPECT_EQ(meshFile.data, nullptr);
    for (SceneObject* entry : meshFile.objects()) delete entry;

    // A file the archive lacks: false, nothing appended. A wrong name count: false as well.
    MeshFile missing;
    EXPECT_FALSE(load3ds(missing, 1, "3ds/none.3ds", "Box01"));
    EXPECT_TRUE(missing.objects().empty());
    EXPECT_FALSE(load3ds(missing, 2, "3ds/boxes.3ds", "Box01"));
    EXPECT_TRUE(missing.objects().empty());
    // An archive that is not there at all.
    setAssetArchivePath((dir.path / "nothing.rar").string().c_str());
    EXPECT_FALSE(load3ds(missing, 1, "3ds/boxes.3ds", "Box01"));
    EXPECT_TRUE(missing.objects().empty());
}

}  // namespace
}  // namespace korvana
