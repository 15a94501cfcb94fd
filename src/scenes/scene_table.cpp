// The show's scene table and the slot dispatch.
#include "scenes/scene_table.h"

#include "scenes/boxes_scene.h"
#include "scenes/cylinder_scene.h"
#include "scenes/pipe_scene.h"
#include "scenes/tube_box_scene.h"
#include "scenes/tube_scene.h"

namespace korvana {

namespace {

// Everything else a scene keeps (groups' rotations, cameras) is set again from the tick count
// before every draw.
void restartShowScenes() {
    if (TubeScene* scene = tubeScene()) scene->trailCounter = 0;
    if (TubeBoxScene* scene = tubeBoxScene()) scene->trailCounter = 0;
    if (PipeScene* scene = pipeScene()) scene->trailCounter = 0;
    if (CylinderScene* scene = cylinderScene()) scene->trailCounter = 0;
    if (BoxesScene* scene = boxesScene()) scene->trailCounter = 0;
}

}  // namespace

SceneTable showSceneTable() {
    SceneTable table;
    table.loadCylinderScene = loadCylinderScene;
    table.loadTubeBoxScene = loadTubeBoxScene;
    table.loadPipeScene = loadPipeScene;
    table.loadTubeScene = loadTubeScene;
    table.loadBoxesScene = loadBoxesScene;
    table.drawTubeScene = drawTubeScene;
    table.drawTubeBoxScene = drawTubeBoxScene;
    table.drawPipeScene = drawPipeScene;
    table.drawCylinderScene = drawCylinderScene;
    table.drawBoxesScene = drawBoxesScene;
    table.restartScenes = restartShowScenes;
    return table;
}

void loadScenes(const SceneTable& table) {
    void (*const steps[])() = {table.loadCylinderScene, table.loadTubeBoxScene, table.loadPipeScene,
                               table.loadTubeScene, table.loadBoxesScene};
    for (auto step : steps)
        if (step != nullptr) step();
}

void drawSceneSlot(const SceneTable& table, int32_t sceneIndex) {
    switch (sceneIndex) {
    case 0:
        if (table.drawTubeScene != nullptr) table.drawTubeScene(false);
        break;
    case 1:
        if (table.drawTubeBoxScene != nullptr) table.drawTubeBoxScene();
        break;
    case 2:
        if (table.drawPipeScene != nullptr) table.drawPipeScene();
        break;
    case 3:
        if (table.drawCylinderScene != nullptr) table.drawCylinderScene();
        break;
    case 4:
        if (table.drawTubeScene != nullptr) table.drawTubeScene(true);
        break;
    case 5:
        if (table.drawBoxesScene != nullptr) table.drawBoxesScene();
        break;
    default:
        break;
    }
}

}  // namespace korvana
