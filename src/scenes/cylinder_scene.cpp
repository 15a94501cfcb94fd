// The cylinder scene: load and draw steps. Its geometry is generated, not read from a file.
#include "scenes/cylinder_scene.h"

#include "assets/file_texture.h"
#include "assets/tube.h"
#include "platform/gl.h"
#include "platform/window.h"
#include "render/camera.h"
#include "render/render_options.h"
#include "render/scene_object_list.h"
#include "scenes/scene_loading.h"

namespace korvana {

namespace {
CylinderScene* current = nullptr;

constexpr float CYLINDER_FOG_END = 200.0f;
constexpr float CYLINDER_FOG_ALPHA = 0.5f;

TubeObject* makeRod(const char* name) {
    auto* rod = new TubeObject;
    rod->buildTube(20, 16, 15.0f, 250.0f, 1.0f, 20.0f);
    rod->setName(name);
    return rod;
}
}  // namespace

CylinderScene* cylinderScene() { return current; }

void loadCylinderScene() {
    auto* scene = new CylinderScene;
    scene->earlier = current;
    current = scene;

    auto* outer = new TubeObject;
    outer->buildTube(20, 6, 100.0f, 400.0f, 2.0f, 80.0f);
    outer->setName("Outer cylinder");
    RenderOptions* tunnel = makeOptions({FLAG_TEXTURE, FLAG_CULL_BACK});
    tunnel->setTexture(keepForRun(new JpegTexture("jpg/pscene.jpg")));
    outer->setOptions(tunnel);

    TubeObject* rod2 = makeRod("Inner cylinder2");
    rod2->setPosition(35.0f, 0.0f, 0.0f);
    TubeObject* rod3 = makeRod("Inner cylinder3");
    rod3->setPosition(-35.0f, 0.0f, 0.0f);
    TubeObject* rod = makeRod("Inner cylinder");

    RenderOptions* rods = makeOptions({FLAG_TEXTURE, FLAG_CULL_FRONT});
    rods->setTexture(keepForRun(new JpegTexture("jpg/cplatta02.jpg")));
    rod->setOptions(rods);
    rod2->setOptions(rods);
    rod3->setOptions(rods);

    scene->cylinderList = new SceneObjectList;
    scene->cylinderList->add(rod2);
    scene->cylinderList->add(rod3);
    scene->cylinderList->add(rod);
    scene->cylinderList->add(outer);

    scene->cylinderCamera = new Camera;
    scene->cylinderCamera->setFar(5000.0f);
    scene->cylinderCamera->setFov(90.0f);
    scene->cylinderCamera->setViewport(float(pictureWidth()), float(pictureHeight()));
}

void drawCylinderScene() { drawCylinderSceneAt(sceneTickCount()); }

void drawCylinderSceneAt(uint32_t ticks) {
    CylinderScene* scene = current;
    if (!scene) return;

    beginAdditiveDrawing();
    enableSceneFog(CYLINDER_FOG_END, CYLINDER_FOG_ALPHA);
    runClearCadence(scene->trailCounter, true, CYLINDER_TRAIL_LIMIT);
    const CameraView view = cylinderView(sceneTime750(ticks));
    scene->cylinderCamera->setLookAt(view.eye, view.centre, view.up);
    scene->cylinderCamera->drawScene(*scene->cylinderList);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
}

}  // namespace korvana
