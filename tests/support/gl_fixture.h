// Headless GL for tests: SDL's offscreen video driver (Mesa's software GL through EGL), a legacy
// compatibility context, and a 640 x 480 RGBA8 + 24-bit depth framebuffer object bound like the
// program's persistent picture. Helpers read pixels back and capture vertices in feedback mode.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gl.h"

namespace korvana::test {

inline constexpr int PICTURE_WIDTH = 640;
inline constexpr int PICTURE_HEIGHT = 480;

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    int sum() const { return r + g + b; }
};

// One vertex as feedback mode reports it (window coordinates, colour, texture coordinate of unit 0).
struct FeedbackVertex {
    float x = 0, y = 0, z = 0;
    float color[4] = {};
    float tex[4] = {};
};

// Eye-space position of a feedback vertex captured under GLFixture::eyeSpaceProjection.
inline float eyeX(const FeedbackVertex& v) { return v.x - PICTURE_WIDTH / 2.0f; }
inline float eyeY(const FeedbackVertex& v) { return v.y - PICTURE_HEIGHT / 2.0f; }
inline float eyeZ(const FeedbackVertex& v) { return (0.5f - v.z) * 2000.0f; }

struct FeedbackPrimitive {
    GLenum token = 0;  // GL_POINT_TOKEN, GL_LINE_TOKEN, GL_LINE_RESET_TOKEN, GL_POLYGON_TOKEN
    std::vector<FeedbackVertex> vertices;
};

// A fresh context and picture per test; fails the test (skips when no GL can be had at all).
class GLFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The picture's pixel at (x, y), y counted from the bottom as GL does.
    static Rgba pixel(int x, int y);
    // The whole picture, bottom row first.
    static std::vector<Rgba> readPicture();
    static long long pictureBrightness();

    // Runs `draw` in feedback mode (GL_3D_COLOR_TEXTURE) and returns the primitives GL produced.
    static std::vector<FeedbackPrimitive> captureFeedback(const std::function<void()>& draw);
    // A projection under which a feedback vertex's window position is its eye position plus
    // (320, 240) and depth 0.5 - z / 2000: eye space reads straight off the feedback.
    static void eyeSpaceProjection();

    // An entry point of the current context, for the extension pointers the program fetches.
    static void* procAddress(const char* name);

    static void modelViewMatrix(float m[16]);
    static GLint modelViewDepth();
    static GLenum glError() { return glGetError(); }

    bool haveContext = false;
};

}  // namespace korvana::test
