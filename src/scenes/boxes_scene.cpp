// The boxes scene: load and draw steps.
#include "scenes/boxes_scene.h"

#include <cstdio>

#include "assets/file_texture.h"
#include "assets/mesh_file.h"
#include "platform/gl.h"
#include "platform/window.h"
#include "render/camera.h"
#include "render/object_group.h"
#include "render/render_options.h"
#include "scenes/scene_loading.h"

namespace korvana {

namespace {
BoxesScene* current = nullptr;
}  // namespace

BoxesScene* boxesScene() { return current; }

void loadBoxesScene() {
    auto* scene = new BoxesScene;
    scene->earlier = current;
    current = scene;

    scene->boxesModel = new MeshFile;
    MeshFile& model = *scene->boxesModel;
    load3ds(model, 27, "3ds/kasser.3ds", "Box01", "Box02", "Box03", "Box04", "Box05", "Box06",
            "Box07", "Box08", "Box09", "Box10", "Box11", "Box12", "Box13", "Box14", "Box15",
            "Box16", "Box17", "Box18", "Box19", "Box20", "Box21", "Box22", "Box23", "Box24",
            "Box25", "Box26", "Box27");

    // One record and one texture for all twenty-seven boxes.
    RenderOptions* plate = makeOptions({FLAG_TEXTURE, FLAG_CULL_FRONT});
    plate->setTexture(keepForRun(new JpegTexture("jpg/cplatta02.jpg")));

    for (ObjectGroup*& group : scene->boxGroups) group = new ObjectGroup;

    for (int i = 1; i <= 27; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Box%02d", i);
        SceneObject* box = model.find(name);
        if (!box) continue;
        box->setOptions(plate);
        scene->boxGroups[i <= 9 ? 0 : i <= 18 ? 1 : 2]->add(box);
    }

    scene->boxesCamera = new Camera;
    scene->boxesCamera->setFar(10000.0f);
    scene->boxesCamera->setFov(60.0f);
    scene->boxesCamera->setViewport(float(pictureWidth()), float(pictureHeight()));
}

void drawBoxesScene() { drawBoxesSceneAt(sceneTickCount()); }

void drawBoxesSceneAt(uint32_t ticks) {
    BoxesScene* scene = current;
    if (!scene) return;

    beginAdditiveDrawing();
    runClearCadence(scene->trailCounter, true, BOXES_TRAIL_LIMIT);
    const BoxesPose pose = boxesPose(ticks);
    for (int g = 0; g < BOX_GROUP_COUNT; ++g)
        scene->boxGroups[g]->setRotation(0.0f, 0.0f, pose.groupAngle[g]);
    scene->boxesCamera->setLookAt(pose.view.eye, pose.view.centre, pose.view.up);
    scene->boxesCamera->drawScene(*scene->boxesModel);
    glDisable(GL_BLEND);
}

}  // namespace korvana
