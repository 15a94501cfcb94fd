// The tube scene: load and draw steps.
#include "scenes/tube_scene.h"

#include <cstdio>

#include "assets/file_texture.h"
#include "assets/mesh_file.h"
#include "platform/gl.h"
#include "render/object_group.h"
#include "render/render_options.h"
#include "scenes/scene_loading.h"

namespace korvana {

namespace {
TubeScene* current = nullptr;

constexpr double TUBE_FAR = 1000.0;
constexpr float TUBE_FOG_END = 400.0f;
}  // namespace

TubeScene* tubeScene() { return current; }

void loadTubeScene() {
    auto* scene = new TubeScene;
    scene->earlier = current;
    current = scene;

    scene->tubeModel = new MeshFile;
    MeshFile& model = *scene->tubeModel;
    load3ds(model, 14, "3ds/tube.3ds", "Cylinder01", "Cylinder14", "Cylinder02", "Cylinder03",
            "Cylinder04", "Cylinder05", "Cylinder06", "Cylinder07", "Cylinder08", "Cylinder09",
            "Cylinder10", "Cylinder11", "Cylinder12", "Cylinder13");

    // The two shells repeat their images three times in each direction.
    RenderOptions* outer = makeOptions({FLAG_TEXTURE, FLAG_CULL_BACK});
    outer->setTexture(keepForRun(new JpegTexture("jpg/tube_ydre.jpg")));
    if (SceneObject* shell = model.find("Cylinder14")) {
        shell->setOptions(outer);
        scaleTexCoords(*shell, 3.0f);
    }

    RenderOptions* inner = makeOptions({FLAG_TEXTURE, FLAG_CULL_FRONT});
    inner->setTexture(keepForRun(new JpegTexture("jpg/tube_indre.jpg")));
    SceneObject* innerShell = model.find("Cylinder01");
    if (innerShell) {
        innerShell->setOptions(inner);
        scaleTexCoords(*innerShell, 3.0f);
    }

    scene->tubeSpinGroup = new ObjectGroup;
    if (innerShell) scene->tubeSpinGroup->add(innerShell);

    Texture* light = keepForRun(new JpegTexture("jpg/tube_lys.jpg"));
    for (int i = 0; i < 12; ++i) {
        char name[24];  // room for any int, so the compiler can see nothing is cut
        std::snprintf(name, sizeof name, "Cylinder%02d", i + 2);
        RenderOptions* options = makeOptions({FLAG_TEXTURE, FLAG_CULL_FRONT});
        options->setTexture(light);
        if (SceneObject* cylinder = model.find(name)) {
            cylinder->setOptions(options);
            scene->tubeSpinGroup->add(cylinder);
        }
    }
}

void drawTubeScene(bool trails) { drawTubeSceneAt(trails, sceneTickCount()); }

void drawTubeSceneAt(bool trails, uint32_t ticks) {
    TubeScene* scene = current;
    if (!scene) return;

    setDirectProjection(TUBE_FAR);
    enableSceneFog(TUBE_FOG_END, 0.0f);
    const float T = sceneTime1500(ticks);
    runClearCadence(scene->trailCounter, trails, TUBE_TRAIL_LIMIT);
    beginAdditiveDrawing();
    scene->tubeSpinGroup->setRotation(0.0f, 0.0f, tubeSpinAngle(T));
    drawDirectView(tubeView(T), *scene->tubeModel);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
}

}  // namespace korvana
