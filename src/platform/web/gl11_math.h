// The arithmetic of the GL 1.1 fixed-function pipeline that the web backend carries out itself:
// 4 x 4 matrices and their stacks, the per-vertex lighting of one light with the default material,
// sphere-map texture coordinates and the linear fog factor, each as OpenGL 1.1
// defines it. Pure C++ with no browser in it, so the native tests check the formulas directly.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace korvana::gl11 {

// Column-major, as GL keeps and returns matrices: element (row r, column c) is m[c * 4 + r].
struct Mat4 {
    std::array<float, 16> m{};
    static Mat4 identity();
    float at(int row, int column) const { return m[size_t(column * 4 + row)]; }
};

struct Vec4 {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

Mat4 multiply(const Mat4& a, const Mat4& b);  // a * b
Vec4 transform(const Mat4& a, const Vec4& v);  // a * v

// The matrices the GL 1.1 calls multiply onto the current one (glTranslatef, glRotatef, glScalef,
// gluPerspective, gluLookAt); angles in degrees.
Mat4 translation(float x, float y, float z);
Mat4 rotation(float angleDegrees, float x, float y, float z);
Mat4 scaling(float x, float y, float z);
Mat4 perspective(double fovyDegrees, double aspect, double zNear, double zFar);
Mat4 lookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
            double upX, double upY, double upZ);

// The upper-left 3 x 3 of the inverse of `modelView`, transposed: normals go into eye
// coordinates through it. A singular matrix gives zeros.
std::array<float, 9> normalMatrix(const Mat4& modelView);
Vec3 transformNormal(const std::array<float, 9>& normalMatrix, const Vec3& n);

// A matrix stack of fixed depth: the top is the current matrix. push and pop report overflow and
// underflow by returning false and leave the stack as it was (GL_STACK_OVERFLOW/UNDERFLOW).
class MatrixStack {
public:
    explicit MatrixStack(size_t depth);
    Mat4& top() { return stack_.back(); }
    const Mat4& top() const { return stack_.back(); }
    bool push();
    bool pop();
    size_t size() const { return stack_.size(); }

private:
    size_t depth_;
    std::vector<Mat4> stack_;
};

// Sphere-map texture coordinates (s, t) of a vertex at `eye` (eye coordinates) with the eye-space
// normal `normal` (not renormalised: GL uses the normal as transformed).
void sphereMap(const Vec4& eye, const Vec3& normal, float& s, float& t);

// The linear fog factor f = (end - c) / (end - start), clamped to [0, 1]; c is the fragment's eye
// distance. The picture's colour is f * colour + (1 - f) * fog colour.
float linearFogFactor(float c, float start, float end);

// The colour of a lit vertex with light 0 at `lightEye` (eye coordinates, w = 0 for a direction)
// and every other light, material and light-model value at its GL default: global ambient 0.2
// times material ambient 0.2, plus the diffuse term 0.8 * max(n . L, 0) with the light's white
// diffuse; no specular (the default material has none). Alpha is the material's diffuse alpha, 1.
std::array<float, 4> litColour(const Vec4& eye, const Vec3& normal, const Vec4& lightEye);

}  // namespace korvana::gl11
