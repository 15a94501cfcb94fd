// Geometry of the default meshes. Everything is drawn additively without a depth test and under
// fog, and the fixed-function fog is worked out per vertex, so long surfaces are cut into short
// bands. Front faces are chosen per object so that the culling its scene asks for keeps the
// surfaces the camera should see: a viewer outside an object culling front faces sees the near
// side when front faces point inward; a viewer inside culling back faces sees the walls around
// it when they point inward too.
#include "meshes.h"

#include <cstdio>

#include "detmath.h"

namespace korvana::content {

namespace {

std::string numbered(const char* stem, int n) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%02d", stem, n);
    return name;
}

Mesh named(std::string name) {
    Mesh m;
    m.name = std::move(name);
    return m;
}

// The six faces of an axis-aligned box, each cut into cells of about `cell` units.
void addBox(Mesh& mesh, Vec3 lo, Vec3 hi, double cell, double texel, Facing facing) {
    const double s = facing == Facing::Outward ? 1.0 : -1.0;
    auto cells = [cell](double len) {
        int n = static_cast<int>(len / cell + 0.5);
        return n < 1 ? 1 : n;
    };
    const double dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
    // -X and +X
    addPlane(mesh, {lo.x, lo.y, lo.z}, {0, dy, 0}, {0, 0, dz}, cells(dy), cells(dz), texel, texel, Vec3{-1, 0, 0} * s);
    addPlane(mesh, {hi.x, lo.y, lo.z}, {0, dy, 0}, {0, 0, dz}, cells(dy), cells(dz), texel, texel, Vec3{1, 0, 0} * s);
    // -Y and +Y
    addPlane(mesh, {lo.x, lo.y, lo.z}, {dx, 0, 0}, {0, 0, dz}, cells(dx), cells(dz), texel, texel, Vec3{0, -1, 0} * s);
    addPlane(mesh, {lo.x, hi.y, lo.z}, {dx, 0, 0}, {0, 0, dz}, cells(dx), cells(dz), texel, texel, Vec3{0, 1, 0} * s);
    // -Z (floor) and +Z (ceiling)
    addPlane(mesh, {lo.x, lo.y, lo.z}, {dx, 0, 0}, {0, dy, 0}, cells(dx), cells(dy), texel, texel, Vec3{0, 0, -1} * s);
    addPlane(mesh, {lo.x, lo.y, hi.z}, {dx, 0, 0}, {0, dy, 0}, cells(dx), cells(dy), texel, texel, Vec3{0, 0, 1} * s);
}

}  // namespace

std::vector<Mesh> tubeMeshes() {
    // The eye circles the axis at radius 200 between z = -1000 and 0 and sees 400 units before the
    // fog closes; the shells span -1200..200 so no end ever comes into view.
    constexpr double z0 = -1200, z1 = 200, band = 50;
    constexpr int rings = static_cast<int>((z1 - z0) / band);
    std::vector<Mesh> out;

    // Inner shell, seen from outside with front faces culled.
    Mesh inner = named("Cylinder01");
    addCylinder(inner, {0, 0, z0}, {0, 0, z1 - z0}, 110, 24, rings, 1, 2, Facing::Inward);
    out.push_back(std::move(inner));

    // Twelve thin light rods between the inner shell and the eye's circle.
    for (int k = 0; k < 12; ++k) {
        Mesh rod = named(numbered("Cylinder", k + 2));
        double angle = kTwoPi * k / 12 + kPi / 12;
        Vec3 at{160 * detSin(angle), 160 * detCos(angle), z0};
        addCylinder(rod, at, {0, 0, z1 - z0}, 5, 8, rings, 1, 7, Facing::Inward);
        out.push_back(std::move(rod));
    }

    // Outer shell, seen from inside with back faces culled.
    Mesh outer = named("Cylinder14");
    addCylinder(outer, {0, 0, z0}, {0, 0, z1 - z0}, 260, 32, rings, 1, 1, Facing::Inward);
    out.push_back(std::move(outer));
    return out;
}

std::vector<Mesh> tubeBoxMeshes() {
    std::vector<Mesh> out;
    // The room: the eye orbits at radius 130..230 and height -100..100 with fog ending at 300, so
    // the nearest wall and the floor show and the far side stays dark. Seen from inside, back
    // faces culled.
    Mesh room = named("Box01");
    addBox(room, {-300, -300, -160}, {300, 300, 240}, 50, 200, Facing::Inward);
    out.push_back(std::move(room));

    // The sphere, seen from outside with front faces culled.
    Mesh sphere = named("Sphere01");
    addSphere(sphere, {0, 0, 0}, 42, 24, 16, Facing::Inward);
    out.push_back(std::move(sphere));

    // Six glowing cylinders along the axes, from the sphere's surface to within reach of the
    // orbit (the group tumbles them about the origin, never as far as the eye's 130).
    const Vec3 dirs[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int k = 0; k < 6; ++k) {
        Mesh cyl = named(numbered("Cylinder", k + 1));
        addCylinder(cyl, dirs[k] * 36, dirs[k] * 76, 9, 12, 8, 1, 1, Facing::Inward);
        out.push_back(std::move(cyl));
    }
    return out;
}

std::vector<Mesh> pipeMeshes() {
    // The eye circles the axis at radius 40 between z = -1900 and -100 looking ahead, fog ending
    // at 2000. Six square sections of 370 units make the pipe from -2120 to 100, each turned 15
    // degrees further than the last so the walls twist as the viewer travels.
    constexpr double zStart = -2120, length = 370, half = 92;
    std::vector<Mesh> out;
    for (int k = 0; k < 6; ++k) {
        Mesh section = named(numbered("Box", k + 1));
        // Box02 culls back faces, the others front faces; all are seen from inside.
        const Facing facing = k == 1 ? Facing::Inward : Facing::Outward;
        const double a = kPi / 12 * k;
        const Vec3 ex{detCos(a), detSin(a), 0}, ey{-detSin(a), detCos(a), 0};
        const double zLo = zStart + length * k;
        const int bands = 8;
        for (int side = 0; side < 4; ++side) {
            // Walls at +x, +y, -x, -y of the turned frame.
            Vec3 n = side == 0 ? ex : side == 1 ? ey : side == 2 ? ex * -1.0 : ey * -1.0;
            Vec3 t = cross(Vec3{0, 0, 1}, n);  // along the wall, around the pipe
            Vec3 corner = n * half - t * half + Vec3{0, 0, zLo};
            Vec3 front = facing == Facing::Outward ? n : n * -1.0;
            addPlane(section, corner, t * (2 * half), {0, 0, length}, 2, bands, 2 * half, 2 * half, front);
        }
        out.push_back(std::move(section));
    }
    // Five mirror rods around the axis, outside the eye's circle; drawn without culling.
    for (int k = 0; k < 5; ++k) {
        Mesh rod = named(numbered("Cylinder", k + 2));
        double angle = kTwoPi * k / 5;
        Vec3 at{66 * detSin(angle), 66 * detCos(angle), zStart};
        addCylinder(rod, at, {0, 0, 6 * length}, 5, 12, 44, 1, 20, Facing::Outward);
        out.push_back(std::move(rod));
    }
    return out;
}

std::vector<Mesh> boxesMeshes() {
    // Nine boxes per layer; layer 0 (Box01..Box09) at the bottom, so each group is one layer and
    // the groups' swings twist the layers against each other. Seen from outside, front faces
    // culled.
    constexpr double spacing = 50, half = 20;
    std::vector<Mesh> out;
    for (int i = 0; i < 27; ++i) {
        Mesh box = named(numbered("Box", i + 1));
        int layer = i / 9, k = i % 9;
        Vec3 c{(k % 3 - 1) * spacing, (k / 3 - 1) * spacing, (layer - 1) * spacing};
        addBox(box, c - Vec3{half, half, half}, c + Vec3{half, half, half}, 2 * half, 2 * half,
               Facing::Inward);
        out.push_back(std::move(box));
    }
    return out;
}

}  // namespace korvana::content
