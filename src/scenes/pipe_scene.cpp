// The pipe scene: load and draw steps.
#include "scenes/pipe_scene.h"

#include "assets/file_texture.h"
#include "assets/mesh_file.h"
#include "platform/gl.h"
#include "platform/window.h"
#include "render/camera.h"
#include "render/render_options.h"
#include "scenes/scene_loading.h"

namespace korvana {

namespace {
PipeScene* current = nullptr;

constexpr float PIPE_FOG_END = 2000.0f;

void attach(MeshFile& model, RenderOptions* options, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (SceneObject* object = model.find(name)) object->setOptions(options);
}
}  // namespace

PipeScene* pipeScene() { return current; }

void loadPipeScene() {
    auto* scene = new PipeScene;
    scene->earlier = current;
    current = scene;

    scene->pipeModel = new MeshFile;
    MeshFile& model = *scene->pipeModel;
    load3ds(model, 11, "3ds/tube2.3ds", "Box01", "Box02", "Box03", "Box04", "Box05", "Box06",
            "Cylinder02", "Cylinder03", "Cylinder04", "Cylinder05", "Cylinder06");

    RenderOptions* wallA = makeOptions({FLAG_TEXTURE, FLAG_CULL_FRONT});
    wallA->setTexture(keepForRun(new JpegTexture("jpg/cplatta02.jpg")));
    attach(model, wallA, {"Box01", "Box03", "Box04", "Box05", "Box06"});

    RenderOptions* wallB = makeOptions({FLAG_TEXTURE, FLAG_CULL_BACK});
    wallB->setTexture(keepForRun(new JpegTexture("jpg/pscenesmallwall.jpg")));
    attach(model, wallB, {"Box02"});

    // Environment map alone: the rods show only the sphere-mapped image (its name holds a space).
    RenderOptions* mirror = makeOptions({FLAG_ENV_MAP, FLAG_NO_CULL});
    mirror->setEnvTexture(keepForRun(new TgaTexture("jpg/ .tga")));
    attach(model, mirror, {"Cylinder02", "Cylinder03", "Cylinder04", "Cylinder05", "Cylinder06"});

    scene->pipeCamera = new Camera;
    scene->pipeCamera->setFar(10000.0f);
    scene->pipeCamera->setFov(60.0f);
    scene->pipeCamera->setViewport(float(pictureWidth()), float(pictureHeight()));
}

void drawPipeScene() { drawPipeSceneAt(sceneTickCount()); }

void drawPipeSceneAt(uint32_t ticks) {
    PipeScene* scene = current;
    if (!scene) return;

    enableSceneFog(PIPE_FOG_END, 0.0f);
    beginAdditiveDrawing();
    runClearCadence(scene->trailCounter, true, PIPE_TRAIL_LIMIT);
    const CameraView view = pipeView(sceneTime1500(ticks));
    scene->pipeCamera->setLookAt(view.eye, view.centre, view.up);
    scene->pipeCamera->drawScene(*scene->pipeModel);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
}

}  // namespace korvana
