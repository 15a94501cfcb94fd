// The tube box scene: load and draw steps.
#include "scenes/tube_box_scene.h"

#include "assets/file_texture.h"
#include "assets/mesh_file.h"
#include "platform/gl.h"
#include "render/object_group.h"
#include "render/render_options.h"
#include "scenes/scene_loading.h"

namespace korvana {

namespace {
TubeBoxScene* current = nullptr;

constexpr double TUBE_BOX_FAR = 500.0;
constexpr float TUBE_BOX_FOG_END = 300.0f;
}  // namespace

TubeBoxScene* tubeBoxScene() { return current; }

void loadTubeBoxScene() {
    auto* scene = new TubeBoxScene;
    scene->earlier = current;
    current = scene;

    scene->tubeBoxModel = new MeshFile;
    MeshFile& model = *scene->tubeBoxModel;
    load3ds(model, 8, "3ds/tubekasse.3ds", "Box01", "Sphere01", "Cylinder01", "Cylinder02",
            "Cylinder03", "Cylinder04", "Cylinder05", "Cylinder06");

    RenderOptions* box = makeOptions({FLAG_TEXTURE, FLAG_CULL_BACK});
    box->setTexture(keepForRun(new JpegTexture("jpg/cplatta02.jpg")));
    if (SceneObject* object = model.find("Box01")) object->setOptions(box);

    scene->tubeBoxSpinGroup = new ObjectGroup;
    ObjectGroup& group = *scene->tubeBoxSpinGroup;

    // Six glowing cylinders with two alternating images, each cylinder its own texture object.
    static const char* const cylinders[] = {"Cylinder01", "Cylinder02", "Cylinder03",
                                            "Cylinder04", "Cylinder05", "Cylinder06"};
    for (int i = 0; i < 6; ++i) {
        RenderOptions* options = makeOptions({FLAG_TEXTURE, FLAG_NO_CULL, FLAG_ADDITIVE});
        const bool odd = i % 2 == 0;  // Cylinder01, 03, 05
        const char* image = odd ? "jpg/tubekasse_cyl_inv.tga" : "jpg/tubekasse_cyl.tga";
        options->setTexture(keepForRun(new TgaTexture(image)));
        if (SceneObject* object = model.find(cylinders[i])) {
            object->setOptions(options);
            group.add(object);
        }
    }

    RenderOptions* sphere = makeOptions({FLAG_TEXTURE, FLAG_CULL_FRONT});
    sphere->setTexture(keepForRun(new JpegTexture("jpg/pscene.jpg")));
    if (SceneObject* object = model.find("Sphere01")) {
        object->setOptions(sphere);
        group.add(object);
    }
}

void drawTubeBoxScene() { drawTubeBoxSceneAt(sceneTickCount()); }

void drawTubeBoxSceneAt(uint32_t ticks) {
    TubeBoxScene* scene = current;
    if (!scene) return;

    setDirectProjection(TUBE_BOX_FAR);
    // Whatever an earlier step left, this scene paints without hidden-surface removal.
    glDisable(GL_DEPTH_TEST);
    enableSceneFog(TUBE_BOX_FOG_END, 0.0f);
    const float T = sceneTime1500(ticks);
    runClearCadence(scene->trailCounter, true, TUBE_BOX_TRAIL_LIMIT);
    const Vector3 spin = tubeBoxSpin(T);
    scene->tubeBoxSpinGroup->setRotation(spin.x, spin.y, spin.z);
    const float radius = tubeBoxOrbitRadius(T);
    beginAdditiveDrawing();
    drawDirectView(tubeBoxView(T, radius), *scene->tubeBoxModel);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
}

}  // namespace korvana
