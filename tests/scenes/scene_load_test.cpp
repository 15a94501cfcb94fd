// The five load steps against a small archive of known meshes and images: the objects and their
// order, each object's options (flags, shared or its own record) and textures (which file, one
// object per load), the groups, the lists, and the texture-coordinate scaling.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "assets/mesh_file.h"
#include "render/camera.h"
#include "render/frame.h"
#include "render/object_group.h"
#include "render/render_options.h"
#include "render/scene_object_list.h"
#include "render/texture.h"
#include "scene_test_archive.h"
#include "scenes/boxes_scene.h"
#include "scenes/cylinder_scene.h"
#include "scenes/pipe_scene.h"
#include "scenes/tube_box_scene.h"
#include "scenes/tube_scene.h"
#include "support/gl_fixture.h"

namespace korvana {
namespace {

using test::fileU;
using test::fileV;
using test::joined;
using test::numbered;
using test::SceneTestArchive;
using test::testImageSide;
using test::textureSide;

std::set<unsigned> flagsOf(const SceneObject* object) {
    std::set<unsigned> flags;
    if (!object || !object->options) return flags;
    for (unsigned i = 0; i < RENDER_FLAG_COUNT; ++i)
        if (object->options->flags[i]) flags.insert(i);
    return flags;
}

std::vector<std::string> namesOf(const SceneObjectList& list) {
    std::vector<std::string> names;
    for (const SceneObject* object : list.objects()) names.push_back(object ? object->name : "");
    return names;
}

std::vector<std::string> members(const ObjectGroup* group) {
    std::vector<std::string> names;
    for (; group; group = group->next)
        if (group->object) names.push_back(group->object->name);
    return names;
}

// The texture the object draws with, and the side of its image (which file it came from).
int sideOf(const Texture* texture) { return texture ? textureSide(texture->glName) : -1; }

// Mapping coordinates as the file holds them after the reader negated v, times `factor`.
void expectMapping(const SceneObject* object, float factor) {
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(object->vertexCount, uint32_t(test::TEST_MESH_VERTICES));
    for (int i = 0; i < test::TEST_MESH_VERTICES; ++i) {
        EXPECT_FLOAT_EQ(object->texCoords[i].u, fileU(object->name, i) * factor) << object->name;
        EXPECT_FLOAT_EQ(object->texCoords[i].v, -fileV(object->name, i) * factor) << object->name;
    }
}

class SceneLoad : public test::GLFixture {
protected:
    void SetUp() override {
        GLFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        holdFrames = 0;
    }
};

const std::set<unsigned> TEXTURE_BACK = {FLAG_TEXTURE, FLAG_CULL_BACK};
const std::set<unsigned> TEXTURE_FRONT = {FLAG_TEXTURE, FLAG_CULL_FRONT};

TEST_F(SceneLoad, TubeScene) {
    SceneTestArchive archive;
    ASSERT_TRUE(archive.ok()) << archive.error();
    loadTubeScene();
    TubeScene* scene = tubeScene();
    ASSERT_NE(scene, nullptr);
    MeshFile& model = *scene->tubeModel;

    EXPECT_EQ(namesOf(model), joined({"Cylinder01", "Cylinder14"}, numbered("Cylinder", 2, 13)));
    EXPECT_EQ(members(scene->tubeSpinGroup),
              joined({"Cylinder01"}, numbered("Cylinder", 2, 13)));

    const SceneObject* outer = model.find("Cylinder14");
    const SceneObject* inner = model.find("Cylinder01");
    ASSERT_TRUE(outer && inner);
    EXPECT_EQ(flagsOf(outer), TEXTURE_BACK);
    EXPECT_EQ(flagsOf(inner), TEXTURE_FRONT);
    EXPECT_EQ(sideOf(outer->options->texture), testImageSide("jpg/tube_ydre.jpg"));
    EXPECT_EQ(sideOf(inner->options->texture), testImageSide("jpg/tube_indre.jpg"));

    // Twelve records of their own around one shared light texture.
    std::set<const RenderOptions*> records = {outer->options, inner->options};
    std::set<const Texture*> textures = {outer->options->texture, inner->options->texture};
    const Texture* light = nullptr;
    for (const std::string& name : numbered("Cylinder", 2, 13)) {
        const SceneObject* cylinder = model.find(name.c_str());
        ASSERT_NE(cylinder, nullptr) << name;
        EXPECT_EQ(flagsOf(cylinder), TEXTURE_FRONT) << name;
        EXPECT_EQ(cylinder->options->envTexture, nullptr);
        records.insert(cylinder->options);
        if (!light) light = cylinder->options->texture;
        EXPECT_EQ(cylinder->options->texture, light) << name;
        textures.insert(cylinder->options->texture);
        expectMapping(cylinder, 1.0f);
    }
    EXPECT_EQ(records.size(), 14u);
    EXPECT_EQ(textures.size(), 3u);
    EXPECT_EQ(sideOf(light), testImageSide("jpg/tube_lys.jpg"));
    std::set<uint32_t> glNames;
    for (const Texture* t : textures) glNames.insert(t->glName);
    EXPECT_EQ(glNames.size(), 3u);

    // The shells repeat their images three times, scaled once at load: drawing both slots
    // leaves them as they are.
    expectMapping(outer, 3.0f);
    expectMapping(inner, 3.0f);
    for (uint32_t frame = 0; frame < 3; ++frame) {
        drawTubeSceneAt(false, 1000 + 20 * frame);
        drawTubeSceneAt(true, 95000 + 20 * frame);
    }
    expectMapping(outer, 3.0f);
    expectMapping(inner, 3.0f);
    for (const SceneObject* object : model.objects()) {
        EXPECT_EQ(object->position.x + object->position.y + object->position.z, 0.0f);
        EXPECT_EQ(object->rotation.x + object->rotation.y, 0.0f);
    }
    // The spin reaches the group, never the outer shell.
    EXPECT_EQ(outer->rotation.z, 0.0f);
    EXPECT_EQ(inner->rotation.z, tubeSpinAngle(sceneTime1500(95040)));
    EXPECT_EQ(model.find("Cylinder13")->rotation.z, inner->rotation.z);
}

TEST_F(SceneLoad, TubeBoxScene) {
    SceneTestArchive archive;
    ASSERT_TRUE(archive.ok()) << archive.error();
    loadTubeBoxScene();
    TubeBoxScene* scene = tubeBoxScene();
    ASSERT_NE(scene, nullptr);
    MeshFile& model = *scene->tubeBoxModel;

    EXPECT_EQ(namesOf(model), joined({"Box01", "Sphere01"}, numbered("Cylinder", 1, 6)));
    EXPECT_EQ(members(scene->tubeBoxSpinGroup), joined(numbered("Cylinder", 1, 6), {"Sphere01"}));

    const SceneObject* box = model.find("Box01");
    const SceneObject* sphere = model.find("Sphere01");
    ASSERT_TRUE(box && sphere);
    EXPECT_EQ(flagsOf(box), TEXTURE_BACK);
    EXPECT_EQ(sideOf(box->options->texture), testImageSide("jpg/cplatta02.jpg"));
    EXPECT_EQ(flagsOf(sphere), TEXTURE_FRONT);
    EXPECT_EQ(sideOf(sphere->options->texture), testImageSide("jpg/pscene.jpg"));

    // Six records and six texture objects, though only two images are involved.
    std::set<const RenderOptions*> records = {box->options, sphere->options};
    std::set<const Texture*> textures = {box->options->texture, sphere->options->texture};
    int index = 1;
    for (const std::string& name : numbered("Cylinder", 1, 6)) {
        const SceneObject* cylinder = model.find(name.c_str());
        ASSERT_NE(cylinder, nullptr) << name;
        EXPECT_EQ(flagsOf(cylinder),
                  (std::set<unsigned>{FLAG_TEXTURE, FLAG_NO_CULL, FLAG_ADDITIVE}))
            << name;
        const char* image = index % 2 ? "jpg/tubekasse_cyl_inv.tga" : "jpg/tubekasse_cyl.tga";
        EXPECT_EQ(sideOf(cylinder->options->texture), testImageSide(image)) << name;
        records.insert(cylinder->options);
        textures.insert(cylinder->options->texture);
        ++index;
    }
    EXPECT_EQ(records.size(), 8u);
    EXPECT_EQ(textures.size(), 8u);
    for (const SceneObject* object : model.objects()) expectMapping(object, 1.0f);

    drawTubeBoxSceneAt(31000);
    const Vector3 spin = tubeBoxSpin(sceneTime1500(31000));
    EXPECT_EQ(sphere->rotation.x, spin.x);
    EXPECT_EQ(sphere->rotation.y, spin.y);
    EXPECT_EQ(model.find("Cylinder04")->rotation.z, spin.z);
    EXPECT_EQ(box->rotation.x + box->rotation.y + box->rotation.z, 0.0f) << "the box stays still";
}

TEST_F(SceneLoad, PipeScene) {
    SceneTestArchive archive;
    ASSERT_TRUE(archive.ok()) << archive.error();
    loadPipeScene();
    PipeScene* scene = pipeScene();
    ASSERT_NE(scene, nullptr);
    MeshFile& model = *scene->pipeModel;

    EXPECT_EQ(namesOf(model), joined(numbered("Box", 1, 6), numbered("Cylinder", 2, 6)));

    // Three shared records.
    const RenderOptions* wallA = model.find("Box01")->options;
    const RenderOptions* wallB = model.find("Box02")->options;
    const RenderOptions* mirror = model.find("Cylinder02")->options;
    ASSERT_TRUE(wallA && wallB && mirror);
    for (const char* name : {"Box03", "Box04", "Box05", "Box06"})
        EXPECT_EQ(model.find(name)->options, wallA) << name;
    for (const std::string& name : numbered("Cylinder", 3, 6))
        EXPECT_EQ(model.find(name.c_str())->options, mirror) << name;
    EXPECT_NE(wallA, wallB);
    EXPECT_NE(wallA, mirror);

    EXPECT_EQ(flagsOf(model.find("Box01")), TEXTURE_FRONT);
    EXPECT_EQ(sideOf(wallA->texture), testImageSide("jpg/cplatta02.jpg"));
    EXPECT_EQ(wallA->envTexture, nullptr);
    EXPECT_EQ(flagsOf(model.find("Box02")), TEXTURE_BACK);
    EXPECT_EQ(sideOf(wallB->texture), testImageSide("jpg/pscenesmallwall.jpg"));
    EXPECT_EQ(flagsOf(model.find("Cylinder02")), (std::set<unsigned>{FLAG_ENV_MAP, FLAG_NO_CULL}));
    EXPECT_EQ(mirror->texture, nullptr) << "the mirror rods have no first texture";
    EXPECT_EQ(sideOf(mirror->envTexture), testImageSide("jpg/ .tga"));
    for (const SceneObject* object : model.objects()) expectMapping(object, 1.0f);

    const Camera& camera = *scene->pipeCamera;
    EXPECT_EQ(camera.far, 10000.0f);
    EXPECT_EQ(camera.fov, 60.0f);
    EXPECT_EQ(camera.viewportWidth, 640.0f);
    EXPECT_EQ(camera.viewportHeight, 480.0f);
}

TEST_F(SceneLoad, CylinderScene) {
    // Generated geometry: no archive needed for the objects, the textures load from it.
    SceneTestArchive archive;
    ASSERT_TRUE(archive.ok()) << archive.error();
    loadCylinderScene();
    CylinderScene* scene = cylinderScene();
    ASSERT_NE(scene, nullptr);
    const SceneObjectList& list = *scene->cylinderList;

    EXPECT_EQ(namesOf(list), (std::vector<std::string>{"Inner cylinder2", "Inner cylinder3",
                                                       "Inner cylinder", "Outer cylinder"}));
    ASSERT_EQ(list.objects().size(), 4u);
    const SceneObject* rod2 = list.objects()[0];
    const SceneObject* rod3 = list.objects()[1];
    const SceneObject* rod = list.objects()[2];
    const SceneObject* outer = list.objects()[3];

    EXPECT_EQ(outer->vertexCount, 126u);
    EXPECT_EQ(outer->faceCount, 200u);
    EXPECT_FLOAT_EQ(outer->vertices[0].y, 100.0f);
    EXPECT_FLOAT_EQ(outer->vertices[0].z, -4000.0f);
    for (const SceneObject* r : {rod, rod2, rod3}) {
        EXPECT_EQ(r->vertexCount, 336u);
        EXPECT_EQ(r->faceCount, 600u);
        EXPECT_FLOAT_EQ(r->vertices[0].y, 15.0f);
        EXPECT_FLOAT_EQ(r->vertices[0].z, -2500.0f);
        EXPECT_EQ(r->options, rod->options) << "one record for the three rods";
    }
    EXPECT_EQ(rod2->position.x, 35.0f);
    EXPECT_EQ(rod3->position.x, -35.0f);
    EXPECT_EQ(rod->position.x, 0.0f);
    EXPECT_EQ(outer->position.x, 0.0f);

    EXPECT_EQ(flagsOf(outer), TEXTURE_BACK);
    EXPECT_EQ(sideOf(outer->options->texture), testImageSide("jpg/pscene.jpg"));
    EXPECT_EQ(flagsOf(rod), TEXTURE_FRONT);
    EXPECT_EQ(sideOf(rod->options->texture), testImageSide("jpg/cplatta02.jpg"));
    EXPECT_NE(outer->options, rod->options);

    const Camera& camera = *scene->cylinderCamera;
    EXPECT_EQ(camera.far, 5000.0f);
    EXPECT_EQ(camera.fov, 90.0f);
    EXPECT_EQ(camera.viewportWidth, 640.0f);
    EXPECT_EQ(camera.viewportHeight, 480.0f);
}

TEST_F(SceneLoad, BoxesScene) {
    SceneTestArchive archive;
    ASSERT_TRUE(archive.ok()) << archive.error();
    loadBoxesScene();
    BoxesScene* scene = boxesScene();
    ASSERT_NE(scene, nullptr);
    MeshFile& model = *scene->boxesModel;

    EXPECT_EQ(namesOf(model), numbered("Box", 1, 27));
    EXPECT_EQ(members(scene->boxGroups[0]), numbered("Box", 1, 9));
    EXPECT_EQ(members(scene->boxGroups[1]), numbered("Box", 10, 18));
    EXPECT_EQ(members(scene->boxGroups[2]), numbered("Box", 19, 27));

    const RenderOptions* plate = model.find("Box01")->options;
    ASSERT_NE(plate, nullptr);
    for (const SceneObject* box : model.objects()) {
        EXPECT_EQ(box->options, plate) << box->name;
        expectMapping(box, 1.0f);
    }
    EXPECT_EQ(flagsOf(model.find("Box27")), TEXTURE_FRONT);
    EXPECT_EQ(sideOf(plate->texture), testImageSide("jpg/cplatta02.jpg"));

    const Camera& camera = *scene->boxesCamera;
    EXPECT_EQ(camera.far, 10000.0f);
    EXPECT_EQ(camera.fov, 60.0f);
    EXPECT_EQ(camera.viewportWidth, 640.0f);
    EXPECT_EQ(camera.viewportHeight, 480.0f);

    drawBoxesSceneAt(116000);
    const BoxesPose pose = boxesPose(116000);
    EXPECT_EQ(model.find("Box09")->rotation.z, pose.groupAngle[0]);
    EXPECT_EQ(model.find("Box10")->rotation.z, pose.groupAngle[1]);
    EXPECT_EQ(model.find("Box27")->rotation.z, pose.groupAngle[2]);
    EXPECT_EQ(camera.eye.x, pose.view.eye.x);
    EXPECT_EQ(camera.up.y, 1.0f);
}

TEST_F(SceneLoad, MissingObjectsAreSkipped) {
    // Left out of every mesh file that has them.
    SceneTestArchive archive({"Cylinder14", "Cylinder05", "Sphere01", "Box05", "Cylinder03"});
    ASSERT_TRUE(archive.ok()) << archive.error();

    loadTubeScene();
    ASSERT_NE(tubeScene(), nullptr);
    EXPECT_EQ(tubeScene()->tubeModel->find("Cylinder14"), nullptr);
    EXPECT_EQ(members(tubeScene()->tubeSpinGroup),
              (std::vector<std::string>{"Cylinder01", "Cylinder02", "Cylinder04", "Cylinder06",
                                        "Cylinder07", "Cylinder08", "Cylinder09", "Cylinder10",
                                        "Cylinder11", "Cylinder12", "Cylinder13"}));

    loadTubeBoxScene();
    EXPECT_EQ(members(tubeBoxScene()->tubeBoxSpinGroup),
              (std::vector<std::string>{"Cylinder01", "Cylinder02", "Cylinder04", "Cylinder06"}));

    loadPipeScene();
    EXPECT_EQ(pipeScene()->pipeModel->find("Box05"), nullptr);
    EXPECT_NE(pipeScene()->pipeModel->find("Box06")->options, nullptr);

    loadBoxesScene();
    EXPECT_EQ(members(boxesScene()->boxGroups[0]),
              (std::vector<std::string>{"Box01", "Box02", "Box03", "Box04", "Box06", "Box07",
                                        "Box08", "Box09"}));

    // Every draw step runs over the gaps.
    drawTubeSceneAt(false, 1000);
    drawTubeSceneAt(true, 96000);
    drawTubeBoxSceneAt(31000);
    drawPipeSceneAt(51000);
    drawBoxesSceneAt(116000);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
}  // namespace korvana
