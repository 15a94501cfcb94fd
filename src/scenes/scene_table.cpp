// The show's scene table and the slot dispatch.
#include "scenes/scene_table.h"

#include "scenes/boxes_scene.h"
#include "scenes/cylinder_scene.h"
#include "scenes/pipe_scene.h"
#include "scenes/tube_box_scene.h"
#include "scenes/tube_scene.h"

namespace korvana {

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
