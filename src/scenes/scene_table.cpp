// The show's scene table and the slot dispatch.
#include "scenes/scene_table.h"

namespace korvana {

SceneTable showSceneTable() {
    SceneTable table;
    // Every slot is filled by the scenes as they land; until then the show runs with empty slots
    // (a black picture under the overlays).
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
