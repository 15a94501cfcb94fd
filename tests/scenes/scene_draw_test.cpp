// The draw steps' frame: each scene's trail cadence as it really runs, the clears they make, and
// the GL state they leave (projection, fog, blending, matrix stacks).
#include <cmath>
#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "render/frame.h"
#include "scene_test_archive.h"
#include "scenes/boxes_scene.h"
#include "scenes/cylinder_scene.h"
#include "scenes/pipe_scene.h"
#include "scenes/tube_box_scene.h"
#include "scenes/tube_scene.h"
#include "support/gl_fixture.h"

namespace korvana {
namespace {

using test::SceneTestArchive;

std::set<std::string> everyMeshObject() {
    std::set<std::string> names = {"Sphere01"};
    for (int i = 1; i <= 27; ++i) {
        names.insert((i < 10 ? "Box0" : "Box") + std::to_string(i));
        names.insert((i < 10 ? "Cylinder0" : "Cylinder") + std::to_string(i));
    }
    return names;
}

class SceneDraw : public test::GLFixture {
protected:
    void SetUp() override {
        GLFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        holdFrames = 0;
    }

    // Fills the picture with one colour the scenes never clear to.
    static void paintRed() {
        glClearColor(1, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    static bool isRed() {
        const test::Rgba p = pixel(320, 240);
        return p.r == 255 && p.g == 0 && p.b == 0;
    }
    static bool isBlack() { return pixel(320, 240).sum() == 0; }

    static void projection(float m[16]) { glGetFloatv(GL_PROJECTION_MATRIX, m); }
    // From the float matrix: good to a percent or two at these far planes.
    static double farOf(const float m[16]) { return double(m[14]) / (double(m[10]) + 1.0); }
    static double nearOf(const float m[16]) { return double(m[14]) / (double(m[10]) - 1.0); }

    // What every draw step leaves: blending and fog off, the modelview matrix and stack as found,
    // the viewport the whole picture.
    void expectLeftClean(const char* scene) {
        EXPECT_FALSE(glIsEnabled(GL_BLEND)) << scene;
        EXPECT_FALSE(glIsEnabled(GL_FOG)) << scene;
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST)) << scene;
        EXPECT_EQ(modelViewDepth(), 1) << scene;
        float m[16];
        modelViewMatrix(m);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << scene;
        GLint depth = 0;
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 1) << scene;
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], 640) << scene;
        EXPECT_EQ(viewport[3], 480) << scene;
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW) << scene;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << scene;
    }

    void expectFog(const char* scene, float end, float alpha) {
        GLfloat value = -1;
        glGetFloatv(GL_FOG_START, &value);
        EXPECT_EQ(value, 0.0f) << scene;
        glGetFloatv(GL_FOG_END, &value);
        EXPECT_EQ(value, end) << scene;
        GLint mode = 0;
        glGetIntegerv(GL_FOG_MODE, &mode);
        EXPECT_EQ(mode, GL_LINEAR) << scene;
        GLfloat colour[4];
        glGetFloatv(GL_FOG_COLOR, colour);
        EXPECT_EQ(colour[0] + colour[1] + colour[2], 0.0f) << scene;
        EXPECT_EQ(colour[3], alpha) << scene;
    }
};

TEST_F(SceneDraw, TubeSlotsClearAndShareOneCounter) {
    SceneTestArchive archive(everyMeshObject());
    ASSERT_TRUE(archive.ok()) << archive.error();
    loadTubeScene();
    TubeScene* scene = tubeScene();
    ASSERT_NE(scene, nullptr);

    // The first frame of the show clears; so does every frame of the first slot outside holds.
    paintRed();
    drawTubeSceneAt(false, 0);
    EXPECT_TRUE(isBlack());
    for (uint32_t frame = 1; frame < 40; ++frame) {
        paintRed();
        drawTubeSceneAt(false, frame * 20);
        ASSERT_TRUE(isBlack()) << frame;
    }
    EXPECT_EQ(scene->trailCounter, 0);

    // A hold: ten frames keep what the picture holds.
    holdFrames = 10;
    for (int frame = 0; frame < 10; ++frame) {
        paintRed();
        drawTubeSceneAt(false, 5000 + frame * 20);
        EXPECT_TRUE(isRed()) << frame;
    }
    EXPECT_EQ(holdFrames, 0);
    paintRed();
    drawTubeSceneAt(false, 5200);
    EXPECT_TRUE(isBlack());

    // The second slot starts the counter where the first left it: six frames kept, the seventh
    // cleared.
    paintRed();
    for (int frame = 1; frame <= 6; ++frame) {
        drawTubeSceneAt(true, 95000 + frame * 20);
        EXPECT_TRUE(isRed()) << frame;
        EXPECT_EQ(scene->trailCounter, frame);
    }
    drawTubeSceneAt(true, 95140);
    EXPECT_TRUE(isBlack());
    EXPECT_EQ(scene->trailCounter, 0);

    // Back in the first slot (not in the show, but the counter belongs to the scene) it is kept.
    drawTubeSceneAt(true, 95160);
    drawTubeSceneAt(false, 95180);
    EXPECT_EQ(scene->trailCounter, 1);
    drawTubeSceneAt(true, 95200);
    EXPECT_EQ(scene->trailCounter, 2);
}

TEST_F(SceneDraw, TrailPeriodsOfTheOtherScenes) {
    SceneTestArchive archive(everyMeshObject());
    ASSERT_TRUE(archive.ok()) << archive.error();
    loadTubeBoxScene();
    loadPipeScene();
    loadCylinderScene();
    loadBoxesScene();

    struct Case {
        const char* name;
        int32_t* counter;
        std::function<void(uint32_t)> draw;
        int period;
    };
    const Case cases[] = {
        {"tube box", &tubeBoxScene()->trailCounter, drawTubeBoxSceneAt, 12},
        {"pipe", &pipeScene()->trailCounter, drawPipeSceneAt, 7},
        {"cylinder", &cylinderScene()->trailCounter, drawCylinderSceneAt, 17},
        {"boxes", &boxesScene()->trailCounter, drawBoxesSceneAt, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(*c.counter, 0) << c.name;
        for (int frame = 1; frame < c.period; ++frame) {
            c.draw(30000 + frame * 20);
            EXPECT_EQ(*c.counter, frame) << c.name;
        }
        c.draw(40000);
        EXPECT_EQ(*c.counter, 0) << c.name << ": cleared on frame " << c.period;
        // A hold freezes the counter and is counted down by whichever scene is on.
        c.draw(40020);
        holdFrames = 3;
        for (int frame = 0; frame < 3; ++frame) c.draw(40040 + frame * 20);
        EXPECT_EQ(holdFrames, 0) << c.name;
        EXPECT_EQ(*c.counter, 1) << c.name;
    }
    // The scenes' counters are their own.
    EXPECT_EQ(tubeBoxScene()->trailCounter, 1);
}

TEST_F(SceneDraw, ProjectionFogAndStateLeftBehind) {
    SceneTestArchive archive;
    ASSERT_TRUE(archive.ok()) << archive.error();
    loadCylinderScene();
    loadTubeBoxScene();
    loadPipeScene();
    loadTubeScene();
    loadBoxesScene();
    float m[16];

    // Direct scenes: 90 degrees both ways (whole-number aspect 1), near 0.1.
    drawTubeSceneAt(false, 1000);
    expectLeftClean("tube");
    expectFog("tube", 400.0f, 0.0f);
    projection(m);
    EXPECT_FLOAT_EQ(m[5], 1.0f);
    EXPECT_FLOAT_EQ(m[0], m[5]);
    EXPECT_NEAR(farOf(m), 1000.0, 10.0);
    EXPECT_NEAR(nearOf(m), 0.1, 1e-4);

    glEnable(GL_DEPTH_TEST);  // the tube box scene switches it off itself
    drawTubeBoxSceneAt(31000);
    expectLeftClean("tube box");
    expectFog("tube box", 300.0f, 0.0f);
    projection(m);
    EXPECT_FLOAT_EQ(m[0], m[5]);
    EXPECT_NEAR(farOf(m), 500.0, 5.0);

    // Camera scenes: 4:3 aspect and their own field of view and far plane.
    drawPipeSceneAt(51000);
    expectLeftClean("pipe");
    expectFog("pipe", 2000.0f, 0.0f);
    projection(m);
    EXPECT_NEAR(m[5], 1.0 / std::tan(30.0 * 3.14159265358979 / 180.0), 1e-5);
    EXPECT_NEAR(m[0], m[5] * 0.75, 1e-5);
    EXPECT_NEAR(farOf(m), 10000.0, 300.0);

    drawCylinderSceneAt(68000);
    expectLeftClean("cylinder");
    expectFog("cylinder", 200.0f, 0.5f);
    projection(m);
    EXPECT_NEAR(m[5], 1.0, 1e-6);
    EXPECT_NEAR(m[0], 0.75, 1e-6);
    EXPECT_NEAR(farOf(m), 5000.0, 100.0);

    // The boxes scene has no fog: what the cylinder scene set stays, switched off.
    drawBoxesSceneAt(116000);
    expectLeftClean("boxes");
    expectFog("boxes", 200.0f, 0.5f);
    projection(m);
    EXPECT_NEAR(m[5], 1.0 / std::tan(30.0 * 3.14159265358979 / 180.0), 1e-5);
}

}  // namespace
}  // namespace korvana
