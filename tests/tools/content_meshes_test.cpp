// The default meshes: every object the scenes ask for is there, and each is shaped and wound so
// that its scene's camera path and culling show it. Reads the build's content the way the show
// does (z and v negated).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace fs = std::filesystem;

namespace {

struct V3 {
    double x, y, z;
};

struct Object {
    std::vector<V3> vertices;
    std::vector<std::array<uint32_t, 3>> faces;
    size_t mappingCount = 0;
};

// A small 3DS walker with the show's rules: main chunk first, objects in the editor chunk, the
// first mesh of an object, z and v negated. Lengths are checked, so a broken file fails the test.
class ThreeDs {
public:
    explicit ThreeDs(std::vector<uint8_t> bytes) : b_(std::move(bytes)) {}

    bool parse(std::map<std::string, Object>& objects, std::string& why) {
        if (b_.size() < 6 || u16(0) != 0x4D4D || u32(2) != b_.size()) {
            why = "no main chunk spanning the file";
            return false;
        }
        return walk(6, b_.size(), [&](uint16_t id, size_t at, size_t end) {
            if (id != 0x3D3D) return true;
            return walk(at, end, [&](uint16_t child, size_t p, size_t childEnd) {
                if (child != 0x4000) return true;
                size_t nul = p;
                while (nul < childEnd && b_[nul] != 0) ++nul;
                if (nul >= childEnd) return fail(why, "unterminated object name");
                std::string name(reinterpret_cast<const char*>(&b_[p]), nul - p);
                if (objects.count(name)) return fail(why, "two objects named " + name);
                Object& o = objects[name];
                return walk(nul + 1, childEnd, [&](uint16_t sub, size_t q, size_t subEnd) {
                    return sub != 0x4100 || mesh(o, q, subEnd, why);
                });
            });
        }) || fail(why, why.empty() ? "broken chunk" : why);
    }

private:
    template <typename F>
    bool walk(size_t at, size_t end, F&& f) {
        while (at < end) {
            if (end - at < 6) return false;
            size_t len = u32(at + 2);
            if (len < 6 || len > end - at) return false;
            if (!f(u16(at), at + 6, at + len)) return false;
            at += len;
        }
        return true;
    }
    bool mesh(Object& o, size_t at, size_t end, std::string& why) {
        return walk(at, end, [&](uint16_t id, size_t p, size_t e) {
            if (id == 0x4110) {
                size_t n = u16(p);
                if (p + 2 + n * 12 > e) return fail(why, "short vertex list");
                for (size_t i = 0; i < n; ++i)
                    o.vertices.push_back({f32(p + 2 + i * 12), f32(p + 6 + i * 12), -f32(p + 10 + i * 12)});
            } else if (id == 0x4120) {
                size_t n = u16(p);
                if (p + 2 + n * 8 > e) return fail(why, "short face list");
                for (size_t i = 0; i < n; ++i)
                    o.faces.push_back({u16(p + 2 + i * 8), u16(p + 4 + i * 8), u16(p + 6 + i * 8)});
            } else if (id == 0x4140) {
                // The show skips mapping met before the vertices, or with more entries than vertices.
                if (o.vertices.empty()) return fail(why, "mapping before the vertex list");
                o.mappingCount = u16(p);
                if (p + 2 + o.mappingCount * 8 > e) return fail(why, "short mapping list");
            }
            return true;
        });
    }
    static bool fail(std::string& why, const std::string& text) {
        if (why.empty()) why = text;
        return false;
    }
    uint32_t u16(size_t p) const { return b_[p] | b_[p + 1] << 8; }
    uint32_t u32(size_t p) const { return u16(p) | u16(p + 2) << 16; }
    double f32(size_t p) const {
        uint32_t bits = u32(p);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    std::vector<uint8_t> b_;
};

std::map<std::string, Object> loadMeshFile(const char* member) {
    std::map<std::string, Object> objects;
    const fs::path archive = fs::path(KORVANA_BINARY_DIR) / "content" / "megadata.rar";
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (korvana::archiveExtract(&data, &size, member, archive.c_str(), "") != 1) {
        ADD_FAILURE() << member << " cannot be extracted from " << archive;
        return objects;
    }
    ThreeDs file(std::vector<uint8_t>(data, data + size));
    std::free(data);
    std::string why;
    if (!file.parse(objects, why)) ADD_FAILURE() << member << ": " << why;
    return objects;
}

std::string numbered(const char* stem, int n) { return stem + std::string(n < 10 ? "0" : "") + std::to_string(n); }

struct Bounds {
    V3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
    double minRadius = 1e30, maxRadius = 0, maxDistance = 0;  // from the Z axis; from the origin
};

Bounds bounds(const Object& o) {
    Bounds b;
    for (const V3& v : o.vertices) {
        b.lo = {std::min(b.lo.x, v.x), std::min(b.lo.y, v.y), std::min(b.lo.z, v.z)};
        b.hi = {std::max(b.hi.x, v.x), std::max(b.hi.y, v.y), std::max(b.hi.z, v.z)};
        double r = std::hypot(v.x, v.y);
        b.minRadius = std::min(b.minRadius, r);
        b.maxRadius = std::max(b.maxRadius, r);
        b.maxDistance = std::max(b.maxDistance, std::sqrt(r * r + v.z * v.z));
    }
    return b;
}

// A sound object: indices in range, a mapping entry per vertex, no degenerate faces.
void expectWellFormed(const std::string& name, const Object& o) {
    ASSERT_FALSE(o.vertices.empty()) << name << " has no mesh";
    ASSERT_FALSE(o.faces.empty()) << name;
    EXPECT_EQ(o.mappingCount, o.vertices.size()) << name;
    for (const auto& f : o.faces) {
        for (uint32_t i : f) ASSERT_LT(i, o.vertices.size()) << name;
        EXPECT_TRUE(f[0] != f[1] && f[1] != f[2] && f[0] != f[2]) << name << ": degenerate face";
    }
}

enum class Axis { None, Z };

// Share of faces whose front side (counter-clockwise, as OpenGL sees it) points inward: towards
// the object's centre, or towards its axis for objects that run along Z.
double inwardShare(const Object& o, Axis axis) {
    Bounds b = bounds(o);
    V3 c{(b.lo.x + b.hi.x) / 2, (b.lo.y + b.hi.y) / 2, (b.lo.z + b.hi.z) / 2};
    size_t inward = 0;
    for (const auto& f : o.faces) {
        const V3 &p = o.vertices[f[0]], &q = o.vertices[f[1]], &r = o.vertices[f[2]];
        V3 e1{q.x - p.x, q.y - p.y, q.z - p.z}, e2{r.x - p.x, r.y - p.y, r.z - p.z};
        V3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        V3 m{(p.x + q.x + r.x) / 3 - c.x, (p.y + q.y + r.y) / 3 - c.y, (p.z + q.z + r.z) / 3 - c.z};
        if (axis == Axis::Z) m.z = 0;
        inward += n.x * m.x + n.y * m.y + n.z * m.z < 0;
    }
    return static_cast<double>(inward) / o.faces.size();
}

// Culling front faces from outside, or back faces from inside, needs front faces pointing inward.
void expectFacing(const std::string& name, const Object& o, Axis axis, bool inward) {
    double share = inwardShare(o, axis);
    if (inward) EXPECT_EQ(share, 1.0) << name << ": " << share * 100 << "% of its faces point inward";
    else EXPECT_EQ(share, 0.0) << name << ": " << share * 100 << "% of its faces point inward";
}

class DefaultMeshes : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(fs::path(KORVANA_BINARY_DIR) / "content" / "megadata.rar"))
            GTEST_SKIP() << "the build made no content (KORVANA_BUILD_CONTENT=OFF)";
    }
};

TEST_F(DefaultMeshes, TubeFitsItsCameraAndCulling) {
    auto objects = loadMeshFile("3ds/tube.3ds");
    // "Cylinder01", "Cylinder14", then "Cylinder02" .. "Cylinder13".
    for (int i = 1; i <= 14; ++i) {
        ASSERT_TRUE(objects.count(numbered("Cylinder", i))) << numbered("Cylinder", i);
        expectWellFormed(numbered("Cylinder", i), objects[numbered("Cylinder", i)]);
    }
    // The eye circles the axis at radius 200 between z = -1000 and 0.
    Bounds outer = bounds(objects["Cylinder14"]);
    EXPECT_GT(outer.minRadius, 210);
    EXPECT_LT(outer.lo.z, -1100);
    EXPECT_GT(outer.hi.z, 100);
    expectFacing("Cylinder14", objects["Cylinder14"], Axis::Z, true);  // back faces culled, seen from inside
    for (int i = 1; i <= 13; ++i) {
        const std::string name = numbered("Cylinder", i);
        Bounds b = bounds(objects[name]);
        EXPECT_LT(b.maxRadius, 190) << name << " reaches the eye's circle";  // spun about Z, stays inside it
        EXPECT_LT(b.lo.z, -1100) << name;
        EXPECT_GT(b.hi.z, 100) << name;
        expectFacing(name, objects[name], Axis::Z, true);  // front faces culled, seen from outside
    }
}

TEST_F(DefaultMeshes, TubeBoxFitsItsCameraAndCulling) {
    auto objects = loadMeshFile("3ds/tubekasse.3ds");
    for (const std::string& name : {std::string("Box01"), std::string("Sphere01")}) {
        ASSERT_TRUE(objects.count(name)) << name;
        expectWellFormed(name, objects[name]);
    }
    // The eye orbits the origin at radius 130..230 and height -100..100: inside the room, outside
    // whatever tumbles about the origin.
    Bounds room = bounds(objects["Box01"]);
    EXPECT_TRUE(room.lo.x < -240 && room.lo.y < -240 && room.hi.x > 240 && room.hi.y > 240);
    EXPECT_TRUE(room.lo.z < -110 && room.hi.z > 110);
    expectFacing("Box01", objects["Box01"], Axis::None, true);  // back faces culled, seen from inside
    EXPECT_LT(bounds(objects["Sphere01"]).maxDistance, 125);
    expectFacing("Sphere01", objects["Sphere01"], Axis::None, true);  // front faces culled, from outside
    for (int i = 1; i <= 6; ++i) {
        const std::string name = numbered("Cylinder", i);
        ASSERT_TRUE(objects.count(name)) << name;
        expectWellFormed(name, objects[name]);
        EXPECT_LT(bounds(objects[name]).maxDistance, 125) << name << " can reach the eye";
    }
}

TEST_F(DefaultMeshes, PipeFitsItsCameraAndCulling) {
    auto objects = loadMeshFile("3ds/tube2.3ds");
    // The eye circles the axis at radius 40 between z = -1900 and -100.
    for (int i = 1; i <= 6; ++i) {
        const std::string name = numbered("Box", i);
        ASSERT_TRUE(objects.count(name)) << name;
        expectWellFormed(name, objects[name]);
        EXPECT_GT(bounds(objects[name]).minRadius, 60) << name;
        // Seen from inside: Box02 culls back faces (walls face inward), the others front faces.
        expectFacing(name, objects[name], Axis::Z, i == 2);
    }
    double lo = 1e30, hi = -1e30;
    for (int i = 1; i <= 6; ++i) {
        lo = std::min(lo, bounds(objects[numbered("Box", i)]).lo.z);
        hi = std::max(hi, bounds(objects[numbered("Box", i)]).hi.z);
    }
    EXPECT_LT(lo, -1950);
    EXPECT_GT(hi, -50);
    for (int i = 2; i <= 6; ++i) {
        const std::string name = numbered("Cylinder", i);
        ASSERT_TRUE(objects.count(name)) << name;
        expectWellFormed(name, objects[name]);
        Bounds b = bounds(objects[name]);
        EXPECT_GT(b.minRadius, 50) << name << " crosses the eye's circle";
        EXPECT_LT(b.lo.z, -1950) << name;
        EXPECT_GT(b.hi.z, -50) << name;
    }
}

TEST_F(DefaultMeshes, BoxesMakeThreeLayersAroundTheOrigin) {
    auto objects = loadMeshFile("3ds/kasser.3ds");
    double layerLo[3] = {1e30, 1e30, 1e30}, layerHi[3] = {-1e30, -1e30, -1e30};
    for (int i = 1; i <= 27; ++i) {
        const std::string name = numbered("Box", i);
        ASSERT_TRUE(objects.count(name)) << name;
        expectWellFormed(name, objects[name]);
        Bounds b = bounds(objects[name]);
        // The eye circles at 150..250 from the axis; the layers turn about Z.
        EXPECT_LT(b.maxRadius, 140) << name;
        int layer = (i - 1) / 9;
        layerLo[layer] = std::min(layerLo[layer], b.lo.z);
        layerHi[layer] = std::max(layerHi[layer], b.hi.z);
        expectFacing(name, objects[name], Axis::None, true);  // front faces culled, from outside
    }
    // Each group of nine is one layer along Z, so the groups' swings twist the layers.
    EXPECT_LT(layerHi[0], layerLo[1]);
    EXPECT_LT(layerHi[1], layerLo[2]);
    EXPECT_LT(layerLo[0], 0);
    EXPECT_GT(layerHi[2], 0);
}

}  // namespace
