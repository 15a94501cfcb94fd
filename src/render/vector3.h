// Vector3: the one small value type of the show, three packed floats used for positions,
// directions, colours, rotations and scales. Operations work in place and return the vector so
// calls chain.
#pragma once

#include <cmath>

namespace korvana {

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vector3() = default;
    Vector3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    Vector3& set(float ax, float ay, float az) {
        x = ax;
        y = ay;
        z = az;
        return *this;
    }
    Vector3& fill(float s) { return set(s, s, s); }
    Vector3& assign(const Vector3& o) { return set(o.x, o.y, o.z); }
    Vector3& add(const Vector3& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    Vector3& subtract(const Vector3& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
    Vector3& scale(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    // Summed and rooted in double, the working precision of the original FPU code; the caller
    // stores the result as a float.
    double length() const {
        const double sum = double(x) * x + double(y) * y + double(z) * z;
        return std::sqrt(sum);
    }
};

static_assert(sizeof(Vector3) == 12, "arrays of Vector3 go to GL as packed float triples");

}  // namespace korvana
