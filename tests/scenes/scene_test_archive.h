// A small asset archive for the scenes' load tests: every mesh file the scenes read, each object a
// small mesh with known mapping coordinates, and every image with a side of its own so a texture
// tells by its size which file filled it. Objects can be left out to see a scene skip them.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/test_media.h"

namespace korvana::test {

// The mapping coordinates written for vertex `vertex` of an object: unique per object name.
float fileU(const std::string& object, int vertex);
float fileV(const std::string& object, int vertex);
inline constexpr int TEST_MESH_VERTICES = 4;

// prefix01, prefix02, ... : the object names of the meshes, numbered from `first` to `last`.
std::vector<std::string> numbered(const char* prefix, int first, int last);
std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b);

// The image names the scenes load and the side each gets in the test archive.
struct TestImage {
    const char* name;
    int side;
};
const std::vector<TestImage>& testImages();
int testImageSide(const std::string& name);

// Writes the archive into a fresh temporary folder and makes it the asset archive; the folder goes
// when the object does. `leaveOut` names objects the mesh files lack.
class SceneTestArchive {
public:
    explicit SceneTestArchive(const std::set<std::string>& leaveOut = {});
    ~SceneTestArchive();
    SceneTestArchive(const SceneTestArchive&) = delete;
    SceneTestArchive& operator=(const SceneTestArchive&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

private:
    ScratchDir folder_;
    std::string error_;
};

// The side of the image in the 2D texture `glName` (0 for an empty texture).
int textureSide(uint32_t glName);

}  // namespace korvana::test
