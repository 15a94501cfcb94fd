// The list of members of the default archive, generated in memory.
#include "content.h"

#include "images.h"
#include "meshes.h"
#include "platform/jpeg_codec.h"

namespace korvana::content {

namespace {

bool addMesh(std::vector<Member>& members, const char* name, const std::vector<Mesh>& meshes,
             std::string& error) {
    Member m{name, {}, true};
    if (!write3ds(meshes, m.data, error)) {
        error = std::string(name) + ": " + error;
        return false;
    }
    members.push_back(std::move(m));
    return true;
}

bool addJpeg(std::vector<Member>& members, const char* name, const Image& image, std::string& error) {
    std::vector<uint8_t> rgb = image.bytes(3);
    Member m{name, encodeJpeg(rgb.data(), image.width, image.height, 90), false};
    if (m.data.empty()) {
        error = std::string(name) + ": JPEG encoding failed";
        return false;
    }
    members.push_back(std::move(m));
    return true;
}

void addTga(std::vector<Member>& members, const std::string& name, const Image& image, int bits) {
    members.push_back({name, encodeTga(image, bits), true});
}

}  // namespace

bool makeMembers(std::vector<Member>& members, std::string& error) {
    members.clear();
    if (!addMesh(members, "3ds/tube.3ds", tubeMeshes(), error) ||
        !addMesh(members, "3ds/tubekasse.3ds", tubeBoxMeshes(), error) ||
        !addMesh(members, "3ds/tube2.3ds", pipeMeshes(), error) ||
        !addMesh(members, "3ds/kasser.3ds", boxesMeshes(), error))
        return false;
    if (!addJpeg(members, "jpg/tube_ydre.jpg", tubeOuterImage(), error) ||
        !addJpeg(members, "jpg/tube_indre.jpg", tubeInnerImage(), error) ||
        !addJpeg(members, "jpg/tube_lys.jpg", tubeLightImage(), error) ||
        !addJpeg(members, "jpg/cplatta02.jpg", plateImage(), error) ||
        !addJpeg(members, "jpg/pscene.jpg", plasmaImage(), error) ||
        !addJpeg(members, "jpg/pscenesmallwall.jpg", smallWallImage(), error))
        return false;
    addTga(members, "jpg/tubekasse_cyl.tga", glowCylinderImage(false), 24);
    addTga(members, "jpg/tubekasse_cyl_inv.tga", glowCylinderImage(true), 24);
    addTga(members, "jpg/ .tga", chromeSphereMap(), 24);
    for (int i = 1; i <= 7; ++i) {
        std::string name = "jpg/rave0" + std::to_string(i) + ".tga";
        addTga(members, name, overlayImage(i), 32);
    }
    return true;
}

}  // namespace korvana::content
