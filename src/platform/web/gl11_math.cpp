// The fixed-function arithmetic of gl11_math.h. Matrices are built as GL and GLU build them
// (GLU's perspective in double precision, its look-at in single) and multiplied in single
// precision, as the GL does.
#include "platform/web/gl11_math.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvana::gl11 {

namespace {

float& el(Mat4& a, int row, int column) { return a.m[size_t(column * 4 + row)]; }

void normalise(float v[3]) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0f) return;
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

Mat4 Mat4::identity() {
    Mat4 a;
    a.m[0] = a.m[5] = a.m[10] = a.m[15] = 1.0f;
    return a;
}

Mat4 multiply(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.at(row, k) * b.at(k, c);
            el(r, row, c) = sum;
        }
    return r;
}

Vec4 transform(const Mat4& a, const Vec4& v) {
    Vec4 r;
    r.x = a.m[0] * v.x + a.m[4] * v.y + a.m[8] * v.z + a.m[12] * v.w;
    r.y = a.m[1] * v.x + a.m[5] * v.y + a.m[9] * v.z + a.m[13] * v.w;
    r.z = a.m[2] * v.x + a.m[6] * v.y + a.m[10] * v.z + a.m[14] * v.w;
    r.w = a.m[3] * v.x + a.m[7] * v.y + a.m[11] * v.z + a.m[15] * v.w;
    return r;
}

Mat4 translation(float x, float y, float z) {
    Mat4 a = Mat4::identity();
    el(a, 0, 3) = x;
    el(a, 1, 3) = y;
    el(a, 2, 3) = z;
    return a;
}

Mat4 rotation(float angleDegrees, float x, float y, float z) {
    Mat4 a = Mat4::identity();
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f) return a;  // no axis: GL leaves the matrix as it is
    x /= length;
    y /= length;
    z /= length;
    const float radians = angleDegrees * float(std::numbers::pi / 180.0);
    const float s = std::sin(radians), c = std::cos(radians), k = 1.0f - c;
    el(a, 0, 0) = x * x * k + c;
    el(a, 0, 1) = x * y * k - z * s;
    el(a, 0, 2) = x * z * k + y * s;
    el(a, 1, 0) = y * x * k + z * s;
    el(a, 1, 1) = y * y * k + c;
    el(a, 1, 2) = y * z * k - x * s;
    el(a, 2, 0) = x * z * k - y * s;
    el(a, 2, 1) = y * z * k + x * s;
    el(a, 2, 2) = z * z * k + c;
    return a;
}

Mat4 scaling(float x, float y, float z) {
    Mat4 a = Mat4::identity();
    el(a, 0, 0) = x;
    el(a, 1, 1) = y;
    el(a, 2, 2) = z;
    return a;
}

Mat4 perspective(double fovyDegrees, double aspect, double zNear, double zFar) {
    const double radians = fovyDegrees / 2.0 * std::numbers::pi / 180.0;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    // GLU leaves the matrix unchanged for a degenerate frustum.
    if (deltaZ == 0.0 || sine == 0.0 || aspect == 0.0) return Mat4::identity();
    const double cotangent = std::cos(radians) / sine;
    Mat4 a = Mat4::identity();
    el(a, 0, 0) = float(cotangent / aspect);
    el(a, 1, 1) = float(cotangent);
    el(a, 2, 2) = float(-(zFar + zNear) / deltaZ);
    el(a, 3, 2) = -1.0f;
    el(a, 2, 3) = float(-2.0 * zNear * zFar / deltaZ);
    el(a, 3, 3) = 0.0f;
    return a;
}

Mat4 lookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
            double upX, double upY, double upZ) {
    float forward[3] = {float(centreX - eyeX), float(centreY - eyeY), float(centreZ - eyeZ)};
    float up[3] = {float(upX), float(upY), float(upZ)};
    normalise(forward);
    float side[3];
    cross(forward, up, side);
    normalise(side);
    cross(side, forward, up);
    Mat4 a = Mat4::identity();
    for (int c = 0; c < 3; ++c) {
        el(a, 0, c) = side[c];
        el(a, 1, c) = up[c];
        el(a, 2, c) = -forward[c];
    }
    return multiply(a, translation(float(-eyeX), float(-eyeY), float(-eyeZ)));
}

std::array<float, 9> normalMatrix(const Mat4& mv) {
    // Inverse of the upper 3 x 3 by cofactors; its transpose is the cofactor matrix over the
    // determinant.
    const float a = mv.at(0, 0), b = mv.at(0, 1), c = mv.at(0, 2);
    const float d = mv.at(1, 0), e = mv.at(1, 1), f = mv.at(1, 2);
    const float g = mv.at(2, 0), h = mv.at(2, 1), i = mv.at(2, 2);
    const float cofactor[9] = {e * i - f * h, -(d * i - f * g), d * h - e * g,
                               -(b * i - c * h), a * i - c * g, -(a * h - b * g),
                               b * f - c * e, -(a * f - c * d), a * e - b * d};
    const float det = a * cofactor[0] + b * cofactor[1] + c * cofactor[2];
    std::array<float, 9> n{};
    if (det == 0.0f) return n;
    // Row-major: n[row * 3 + column]; (M^-1)^T = cofactor / det.
    for (int k = 0; k < 9; ++k) n[size_t(k)] = cofactor[k] / det;
    return n;
}

Vec3 transformNormal(const std::array<float, 9>& n, const Vec3& v) {
    return Vec3{n[0] * v.x + n[1] * v.y + n[2] * v.z, n[3] * v.x + n[4] * v.y + n[5] * v.z,
                n[6] * v.x + n[7] * v.y + n[8] * v.z};
}

MatrixStack::MatrixStack(size_t depth) : depth_(depth) {
    stack_.reserve(depth);
    stack_.push_back(Mat4::identity());
}

bool MatrixStack::push() {
    if (stack_.size() >= depth_) return false;
    stack_.push_back(stack_.back());
    return true;
}

bool MatrixStack::pop() {
    if (stack_.size() <= 1) return false;
    stack_.pop_back();
    return true;
}

void sphereMap(const Vec4& eye, const Vec3& normal, float& s, float& t) {
    float u[3] = {eye.x, eye.y, eye.z};
    if (eye.w != 0.0f && eye.w != 1.0f) {
        u[0] /= eye.w;
        u[1] /= eye.w;
        u[2] /= eye.w;
    }
    normalise(u);
    const float nu = normal.x * u[0] + normal.y * u[1] + normal.z * u[2];
    const float rx = u[0] - 2.0f * normal.x * nu;
    const float ry = u[1] - 2.0f * normal.y * nu;
    const float rz = u[2] - 2.0f * normal.z * nu;
    const float m = 2.0f * std::sqrt(rx * rx + ry * ry + (rz + 1.0f) * (rz + 1.0f));
    if (m == 0.0f) {
        s = t = 0.5f;
        return;
    }
    s = rx / m + 0.5f;
    t = ry / m + 0.5f;
}

float linearFogFactor(float c, float start, float end) {
    if (end == start) return c < start ? 1.0f : 0.0f;
    return std::clamp((end - c) / (end - start), 0.0f, 1.0f);
}

std::array<float, 4> litColour(const Vec4& eye, const Vec3& normal, const Vec4& lightEye) {
    constexpr float kSceneAmbient = 0.2f * 0.2f;  // light model ambient x material ambient
    constexpr float kDiffuse = 0.8f;              // material diffuse x light 0's white diffuse
    float l[3];
    if (lightEye.w == 0.0f) {
        l[0] = lightEye.x;
        l[1] = lightEye.y;
        l[2] = lightEye.z;
    } else {
        const float ew = eye.w != 0.0f ? eye.w : 1.0f;
        l[0] = lightEye.x / lightEye.w - eye.x / ew;
        l[1] = lightEye.y / lightEye.w - eye.y / ew;
        l[2] = lightEye.z / lightEye.w - eye.z / ew;
    }
    normalise(l);
    const float nDotL = std::max(0.0f, normal.x * l[0] + normal.y * l[1] + normal.z * l[2]);
    const float c = std::min(1.0f, kSceneAmbient + kDiffuse * nDotL);
    return {c, c, c, 1.0f};
}

}  // namespace korvana::gl11
