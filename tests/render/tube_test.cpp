// buildTube's vertices, faces and winding, and the light trails drawn with a tube end to end.
#include <algorithm>
#include <cmath>

#include "assets/tube.h"
#include "render/camera.h"
#include "render_fixture.h"

namespace korvana::test {
namespace {

void expectFace(const Face& f, uint32_t a, uint32_t b, uint32_t c) {
    EXPECT_EQ(f.a, a);
    EXPECT_EQ(f.b, b);
    EXPECT_EQ(f.c, c);
}

// Every triangle's counter-clockwise side faces the axis, and every index is a real vertex.
void expectWoundInwards(const TubeObject& tube) {
    for (uint32_t i = 0; i < tube.faceCount; ++i) {
        const Face& f = tube.faces[i];
        ASSERT_LT(std::max({f.a, f.b, f.c}), tube.vertexCount) << "face " << i;
        Vector3 ab = tube.vertices[f.b], ac = tube.vertices[f.c];
        ab.subtract(tube.vertices[f.a]);
        ac.subtract(tube.vertices[f.a]);
        const Vector3 n(ab.y * ac.z - ab.z * ac.y, ab.z * ac.x - ab.x * ac.z,
                        ab.x * ac.y - ab.y * ac.x);
        const Vector3& a = tube.vertices[f.a];
        const Vector3& b = tube.vertices[f.b];
        const Vector3& c = tube.vertices[f.c];
        const double cx = (a.x + b.x + c.x) / 3.0, cy = (a.y + b.y + c.y) / 3.0;
        EXPECT_LT(n.x * cx + n.y * cy, 0.0) << "face " << i << " faces outwards";
    }
}

TEST(TubeObject, OuterTunnel) {
    TubeObject tube;
    tube.setPosition(5, 6, 7);
    tube.setScale(3);
    tube.buildTube(20, 6, 100, 400, 2, 80);
    EXPECT_EQ(tube.position.x, 0.0f);
    EXPECT_EQ(tube.position.z, 0.0f);
    EXPECT_EQ(tube.scale.y, 1.0f);

    ASSERT_EQ(tube.vertexCount, 126u);
    EXPECT_EQ(tube.faceCount, 200u);
    for (uint32_t i = 0; i < tube.vertexCount; ++i) {
        EXPECT_FLOAT_EQ(tube.vertices[i].z, -4000.0f + 400.0f * float(i / 6)) << i;
        EXPECT_NEAR(std::hypot(tube.vertices[i].x, tube.vertices[i].y), 100.0, 1e-3) << i;
        EXPECT_EQ(tube.normals[i].x, 0.0f);
        EXPECT_EQ(tube.normals[i].y, 0.0f);
        EXPECT_EQ(tube.normals[i].z, 0.0f);
    }
    EXPECT_NEAR(tube.vertices[0].x, 0.0, 1e-5);
    EXPECT_FLOAT_EQ(tube.vertices[0].y, 100.0f);
    EXPECT_EQ(tube.texCoords[0].u, 0.0f);
    EXPECT_EQ(tube.texCoords[0].v, 0.0f);
    EXPECT_NEAR(tube.vertices[1].x, 86.6025, 1e-4);
    EXPECT_NEAR(tube.vertices[1].y, 50.0, 1e-4);
    EXPECT_FLOAT_EQ(tube.texCoords[1].u, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(tube.texCoords[5].u, 5.0f / 3.0f);  // 2 x 5/6: no repeated seam vertex
    EXPECT_FLOAT_EQ(tube.texCoords[125].v, 80.0f);

    expectFace(tube.faces[0], 0, 1, 6);
    expectFace(tube.faces[1], 1, 7, 6);
    // The walk advances 5 per ring of 6: the second ring starts at k = 5.
    expectFace(tube.faces[10], 5, 6, 11);
    expectFace(tube.faces[11], 6, 12, 11);
    // The spiral stops short: the last face reaches vertex 106, not the far ring's 125.
    expectFace(tube.faces[199], 100, 106, 105);
    expectWoundInwards(tube);
}

TEST(TubeObject, InnerTubesAndDegenerateShapes) {
    TubeObject inner;
    inner.buildTube(20, 16, 15, 250, 1, 20);
    ASSERT_EQ(inner.vertexCount, 336u);
    EXPECT_EQ(inner.faceCount, 600u);
    for (int ring = 0; ring <= 20; ++ring) EXPECT_FLOAT_EQ(inner.texCoords[ring * 16].v, float(ring));
    EXPECT_FLOAT_EQ(inner.vertices[0].z, -2500.0f);
    EXPECT_FLOAT_EQ(inner.vertices[335].z, 2500.0f);
    EXPECT_FLOAT_EQ(inner.texCoords[15].u, 15.0f / 16.0f);
    expectWoundInwards(inner);

    TubeObject line;
    line.buildTube(4, 1, 10, 1, 1, 1);
    EXPECT_EQ(line.vertexCount, 5u);
    EXPECT_EQ(line.faceCount, 0u);
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(line.vertices[i].x, 0.0f);
        EXPECT_EQ(line.vertices[i].y, 10.0f);
    }

    TubeObject none;
    none.buildTube(3, 0, 10, 1, 1, 1);
    EXPECT_EQ(none.vertexCount, 0u);
    EXPECT_EQ(none.faceCount, 0u);
}

// The light trails: a tunnel drawn additively through a camera into the persistent picture, twice
// without a clear between, is brighter the second time.
TEST_F(RenderTest, AdditiveTunnelAccumulatesWithoutClear) {
    auto dim = solidTexture(40, 30, 20);
    RenderOptions options;
    options.setFlag(FLAG_TEXTURE);
    options.setFlag(FLAG_ADDITIVE);
    options.setTexture(dim.get());
    TubeObject tunnel;
    tunnel.buildTube(20, 6, 100, 400, 2, 80);
    tunnel.setOptions(&options);
    SceneObjectList list;
    list.add(&tunnel);

    Camera camera;
    camera.setViewport(float(SCREEN_WIDTH), float(SCREEN_HEIGHT));
    camera.setFov(60);
    camera.setFar(5000);
    camera.setLookAt(Vector3(0, 0, 0), Vector3(0, 0, -1), Vector3(0, 1, 0));

    clearFrame(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    camera.drawScene(list);
    const long long first = pictureBrightness();
    const Rgba edge = pixel(20, 240);
    camera.drawScene(list);
    const long long second = pictureBrightness();
    const Rgba edgeAgain = pixel(20, 240);
    glDisable(GL_DEPTH_TEST);

    EXPECT_GT(first, 0);
    EXPECT_GT(second, first + first / 2) << "the second frame adds to the first";
    EXPECT_EQ(edge.r, 40);
    EXPECT_EQ(edgeAgain.r, 80);
    EXPECT_EQ(edgeAgain.b, 40);
}

}  // namespace
}  // namespace korvana::test
