// Triangle meshes for the default content and the 3DS writer that stores them the way the show's
// reader expects: the reader negates z and v, so the writer stores -z and -v and a mesh built here in
// the show's own coordinates comes out of the reader exactly as built, winding included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvana::content {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

struct MeshVertex {
    Vec3 position;
    double u = 0, v = 0;
};

// Edge-visibility bits of a 3DS face (AB, BC, CA), as modelling packages write them.
inline constexpr uint16_t kEdgesAll = 7;

struct MeshFace {
    uint32_t a, b, c;
    uint16_t flags = kEdgesAll;
};

// One named object. Positions are in the show's coordinates; faces are counter-clockwise seen
// from the side their front faces (OpenGL's default).
struct Mesh {
    std::string name;
    std::vector<MeshVertex> vertices;
    std::vector<MeshFace> faces;

    uint32_t addVertex(Vec3 p, double u, double v);
    // A quad p0 p1 p2 p3 (in order around its edge) as two triangles whose front faces the side
    // that `front` points to, whatever order the corners came in.
    void addQuad(const MeshVertex (&corners)[4], Vec3 front);
};

// Which way the front faces of a closed or tubular surface point.
enum class Facing { Inward, Outward };

// An open cylinder around the line through `base` along `axis` (any length, not normalised),
// `segments` around and `rings` bands along; u runs 0..uRepeat around, v 0..vRepeat along.
void addCylinder(Mesh& mesh, Vec3 base, Vec3 axis, double radius, int segments, int rings,
                 double uRepeat, double vRepeat, Facing facing, double startAngle = 0.0);

// One rectangular face of `cellsA` x `cellsB` quads: corner + a * i/cellsA + b * j/cellsB, with
// the texture repeating every `texel` units.
void addPlane(Mesh& mesh, Vec3 corner, Vec3 a, Vec3 b, int cellsA, int cellsB, double texelA,
              double texelB, Vec3 front);

// A UV sphere.
void addSphere(Mesh& mesh, Vec3 centre, double radius, int segments, int rings, Facing facing);

// The bytes of a 3DS file holding `meshes` in order. Fails (false) when an object exceeds the
// format's 65535 vertices or faces.
bool write3ds(const std::vector<Mesh>& meshes, std::vector<uint8_t>& out, std::string& error);

}  // namespace korvana::content
