// The five scenes as the show calls them: one load step each, run once at start-up in the order
// cylinder, tube box, pipe, tube, boxes, and the draw steps of the timeline's six slots (the tube
// scene serves two, without and with light trails). The show reaches the scenes only through this
// table, so tests and tools can run the show with scenes of their own.
#pragma once

#include <cstdint>

namespace korvana {

struct SceneTable {
    void (*loadCylinderScene)() = nullptr;
    void (*loadTubeBoxScene)() = nullptr;
    void (*loadPipeScene)() = nullptr;
    void (*loadTubeScene)() = nullptr;
    void (*loadBoxesScene)() = nullptr;

    void (*drawTubeScene)(bool trails) = nullptr;
    void (*drawTubeBoxScene)() = nullptr;
    void (*drawPipeScene)() = nullptr;
    void (*drawCylinderScene)() = nullptr;
    void (*drawBoxesScene)() = nullptr;

    // Puts what the scenes keep from frame to frame (their trail counters) back as a fresh start
    // leaves it: the player's seeks start the show afresh at their target.
    void (*restartScenes)() = nullptr;
};

// The show's own scenes.
SceneTable showSceneTable();

// The load steps in start-up order; empty slots are passed over.
void loadScenes(const SceneTable& table);

// The draw step of timeline slot `sceneIndex`: 0 tube, 1 tube box, 2 pipe, 3 cylinder, 4 tube with
// trails, 5 boxes. An empty slot or an index outside 0..5 draws nothing.
void drawSceneSlot(const SceneTable& table, int32_t sceneIndex);

}  // namespace korvana
