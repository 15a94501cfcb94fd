// 3DS writing and the primitive surfaces the default meshes are built from.
#include "mesh3ds.h"

#include <cmath>
#include <cstring>

#include "detmath.h"

namespace korvana::content {

namespace {
// Edge-visibility bits (CA = 1, BC = 2, AB = 4) of the two halves of a quad whose diagonal is the
// first and third vertex of each triangle: that diagonal is hidden.
constexpr uint16_t kAbBc = 6;
constexpr uint16_t kBcCa = 3;
}  // namespace

uint32_t Mesh::addVertex(Vec3 p, double u, double v) {
    vertices.push_back({p, u, v});
    return static_cast<uint32_t>(vertices.size() - 1);
}

void Mesh::addQuad(const MeshVertex (&corners)[4], Vec3 front) {
    uint32_t i[4];
    for (int k = 0; k < 4; ++k) i[k] = addVertex(corners[k].position, corners[k].u, corners[k].v);
    Vec3 n = cross(corners[1].position - corners[0].position, corners[2].position - corners[0].position);
    if (dot(n, front) >= 0) {
        faces.push_back({i[0], i[1], i[2], kAbBc});
        faces.push_back({i[0], i[2], i[3], kBcCa});
    } else {
        faces.push_back({i[0], i[2], i[1], kBcCa});
        faces.push_back({i[0], i[3], i[2], kAbBc});
    }
}

namespace {

// Two unit vectors perpendicular to `axis` and to each other.
void basisAround(Vec3 axis, Vec3& e1, Vec3& e2) {
    double len = std::sqrt(dot(axis, axis));
    Vec3 w = axis * (1.0 / len);
    // For the usual Z-axis cylinders angle 0 points along +Y, as the show's own tubes do.
    Vec3 helper = std::fabs(w.z) < 0.9 ? Vec3{0, 0, 1} : Vec3{0, 1, 0};
    e1 = helper - w * dot(helper, w);
    e1 = e1 * (1.0 / std::sqrt(dot(e1, e1)));
    e2 = cross(w, e1);
}

}  // namespace

void addCylinder(Mesh& mesh, Vec3 base, Vec3 axis, double radius, int segments, int rings,
                 double uRepeat, double vRepeat, Facing facing, double startAngle) {
    Vec3 e1, e2;
    basisAround(axis, e1, e2);
    const double sign = facing == Facing::Outward ? 1.0 : -1.0;
    // Vertices are shared between neighbouring quads: a ring of segments + 1 (the seam is doubled so
    // u can run to its full repeat) per ring boundary.
    const uint32_t first = static_cast<uint32_t>(mesh.vertices.size());
    for (int i = 0; i <= rings; ++i) {
        double t = static_cast<double>(i) / rings;
        Vec3 centre = base + axis * t;
        for (int j = 0; j <= segments; ++j) {
            double angle = startAngle + kTwoPi * j / segments;
            Vec3 radial = e1 * detCos(angle) + e2 * detSin(angle);
            mesh.addVertex(centre + radial * radius, uRepeat * j / segments, vRepeat * t);
        }
    }
    const uint32_t stride = static_cast<uint32_t>(segments + 1);
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            uint32_t a = first + i * stride + j, b = a + 1, c = a + stride + 1, d = a + stride;
            const Vec3& pa = mesh.vertices[a].position;
            Vec3 n = cross(mesh.vertices[b].position - pa, mesh.vertices[c].position - pa);
            double mid = startAngle + kTwoPi * (j + 0.5) / segments;
            Vec3 out = (e1 * detCos(mid) + e2 * detSin(mid)) * sign;
            if (dot(n, out) >= 0) {
                mesh.faces.push_back({a, b, c, kAbBc});
                mesh.faces.push_back({a, c, d, kBcCa});
            } else {
                mesh.faces.push_back({a, c, b, kBcCa});
                mesh.faces.push_back({a, d, c, kAbBc});
            }
        }
    }
}

void addPlane(Mesh& mesh, Vec3 corner, Vec3 a, Vec3 b, int cellsA, int cellsB, double texelA,
              double texelB, Vec3 front) {
    const double lenA = std::sqrt(dot(a, a)), lenB = std::sqrt(dot(b, b));
    const uint32_t first = static_cast<uint32_t>(mesh.vertices.size());
    for (int j = 0; j <= cellsB; ++j) {
        for (int i = 0; i <= cellsA; ++i) {
            double s = static_cast<double>(i) / cellsA, t = static_cast<double>(j) / cellsB;
            mesh.addVertex(corner + a * s + b * t, s * lenA / texelA, t * lenB / texelB);
        }
    }
    const bool ccw = dot(cross(a, b), front) >= 0;
    const uint32_t stride = static_cast<uint32_t>(cellsA + 1);
    for (int j = 0; j < cellsB; ++j) {
        for (int i = 0; i < cellsA; ++i) {
            uint32_t p0 = first + j * stride + i, p1 = p0 + 1, p2 = p1 + stride, p3 = p0 + stride;
            if (ccw) {
                mesh.faces.push_back({p0, p1, p2, kAbBc});
                mesh.faces.push_back({p0, p2, p3, kBcCa});
            } else {
                mesh.faces.push_back({p0, p2, p1, kBcCa});
                mesh.faces.push_back({p0, p3, p2, kAbBc});
            }
        }
    }
}

void addSphere(Mesh& mesh, Vec3 centre, double radius, int segments, int rings, Facing facing) {
    const double sign = facing == Facing::Outward ? 1.0 : -1.0;
    const uint32_t first = static_cast<uint32_t>(mesh.vertices.size());
    for (int i = 0; i <= rings; ++i) {
        double lat = kPi * i / rings - kPi / 2;  // south pole first
        for (int j = 0; j <= segments; ++j) {
            double lon = kTwoPi * j / segments;
            Vec3 dir{detCos(lat) * detSin(lon), detCos(lat) * detCos(lon), detSin(lat)};
            mesh.addVertex(centre + dir * radius, static_cast<double>(j) / segments,
                           static_cast<double>(i) / rings);
        }
    }
    const uint32_t stride = static_cast<uint32_t>(segments + 1);
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            uint32_t a = first + i * stride + j, b = a + 1, c = a + stride + 1, d = a + stride;
            // Test the winding against the direction of the quad's middle; at the poles one of
            // the two triangles is degenerate, so take the non-degenerate one's normal.
            double lat = kPi * (i + 0.5) / rings - kPi / 2, lon = kTwoPi * (j + 0.5) / segments;
            Vec3 out = Vec3{detCos(lat) * detSin(lon), detCos(lat) * detCos(lon), detSin(lat)} * sign;
            const Vec3& pa = mesh.vertices[a].position;
            Vec3 n = cross(mesh.vertices[b].position - pa, mesh.vertices[c].position - pa);
            if (dot(n, n) < 1e-12) n = cross(mesh.vertices[c].position - pa, mesh.vertices[d].position - pa);
            const bool ccw = dot(n, out) >= 0;
            // Skip the zero-area triangle at each pole.
            if (i != 0) mesh.faces.push_back(ccw ? MeshFace{a, b, c, kAbBc} : MeshFace{a, c, b, kBcCa});
            if (i != rings - 1) mesh.faces.push_back(ccw ? MeshFace{a, c, d, kBcCa} : MeshFace{a, d, c, kAbBc});
        }
    }
}

namespace {

class ChunkWriter {
public:
    explicit ChunkWriter(std::vector<uint8_t>& out) : out_(out) {}

    // Opens a chunk; its length is filled in by close().
    size_t open(uint16_t id) {
        size_t at = out_.size();
        u16(id);
        u32(0);
        return at;
    }
    void close(size_t at) {
        uint32_t length = static_cast<uint32_t>(out_.size() - at);
        for (int k = 0; k < 4; ++k) out_[at + 2 + k] = static_cast<uint8_t>(length >> (8 * k));
    }
    void u16(uint16_t v) {
        out_.push_back(static_cast<uint8_t>(v));
        out_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        for (int k = 0; k < 4; ++k) out_.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    void f32(double v) {
        float f = static_cast<float>(v);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        u32(bits);
    }
    void cstring(const std::string& s) {
        out_.insert(out_.end(), s.begin(), s.end());
        out_.push_back(0);
    }

private:
    std::vector<uint8_t>& out_;
};

}  // namespace

bool write3ds(const std::vector<Mesh>& meshes, std::vector<uint8_t>& out, std::string& error) {
    for (const Mesh& m : meshes) {
        if (m.vertices.size() > 65535 || m.faces.size() > 65535) {
            error = "object \"" + m.name + "\" has more than 65535 vertices or faces";
            return false;
        }
    }
    out.clear();
    ChunkWriter w(out);
    size_t main = w.open(0x4D4D);
    size_t version = w.open(0x0002);
    w.u32(3);
    w.close(version);
    size_t editor = w.open(0x3D3D);
    size_t meshVersion = w.open(0x3D3E);
    w.u32(3);
    w.close(meshVersion);
    size_t scale = w.open(0x0100);  // master scale: one unit per unit
    w.f32(1.0);
    w.close(scale);
    for (const Mesh& m : meshes) {
        size_t object = w.open(0x4000);
        w.cstring(m.name);
        size_t trimesh = w.open(0x4100);

        size_t vertexList = w.open(0x4110);
        w.u16(static_cast<uint16_t>(m.vertices.size()));
        for (const MeshVertex& v : m.vertices) {
            w.f32(v.position.x);
            w.f32(v.position.y);
            w.f32(-v.position.z);  // the reader negates z
        }
        w.close(vertexList);

        size_t faceList = w.open(0x4120);
        w.u16(static_cast<uint16_t>(m.faces.size()));
        for (const MeshFace& f : m.faces) {
            w.u16(static_cast<uint16_t>(f.a));
            w.u16(static_cast<uint16_t>(f.b));
            w.u16(static_cast<uint16_t>(f.c));
            w.u16(f.flags);
        }
        w.close(faceList);

        size_t mapping = w.open(0x4140);
        w.u16(static_cast<uint16_t>(m.vertices.size()));
        for (const MeshVertex& v : m.vertices) {
            w.f32(v.u);
            w.f32(-v.v);  // the reader negates v
        }
        w.close(mapping);

        // Identity local axes and origin at 0: the show places nothing by them, other tools do.
        size_t matrix = w.open(0x4160);
        const double axes[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        for (double a : axes) w.f32(a);
        w.close(matrix);

        w.close(trimesh);
        w.close(object);
    }
    w.close(editor);
    w.close(main);
    return true;
}

}  // namespace korvana::content
