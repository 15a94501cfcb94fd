#include "render/vector3.h"

#include <gtest/gtest.h>

using korvana::Vector3;

TEST(Vector3, ConstructionAndChaining) {
    Vector3 a;
    EXPECT_EQ(a.x, 0.0f);
    EXPECT_EQ(a.y, 0.0f);
    EXPECT_EQ(a.z, 0.0f);

    Vector3 b, c;
    c.assign(b.assign(a.set(1.5f, -2.0f, 3.25f)));
    EXPECT_EQ(c.x, 1.5f);
    EXPECT_EQ(c.y, -2.0f);
    EXPECT_EQ(c.z, 3.25f);

    a.fill(7.0f);
    EXPECT_EQ(a.x, 7.0f);
    EXPECT_EQ(a.y, 7.0f);
    EXPECT_EQ(a.z, 7.0f);
}

TEST(Vector3, Arithmetic) {
    Vector3 a(1.0f, 2.0f, -3.0f);
    a.add(a);
    EXPECT_EQ(a.x, 2.0f);
    EXPECT_EQ(a.y, 4.0f);
    EXPECT_EQ(a.z, -6.0f);

    a.scale(-1.0f);
    EXPECT_EQ(a.x, -2.0f);
    EXPECT_EQ(a.y, -4.0f);
    EXPECT_EQ(a.z, 6.0f);

    a.subtract(Vector3(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(a.x, -3.0f);
    EXPECT_EQ(a.y, -5.0f);
    EXPECT_EQ(a.z, 5.0f);

    // Each component operation rounds to float: 0.1f + 0.2f stored, not the double sum.
    Vector3 f(0.1f, 0.0f, 0.0f);
    f.add(Vector3(0.2f, 0.0f, 0.0f));
    EXPECT_EQ(f.x, 0.1f + 0.2f);
}

TEST(Vector3, Length) {
    EXPECT_EQ(Vector3().length(), 0.0);
    EXPECT_EQ(Vector3(3.0f, 4.0f, 0.0f).length(), 5.0);
    EXPECT_DOUBLE_EQ(Vector3(1.0f, 2.0f, 2.0f).length(), 3.0);
    // Unrounded: the root of 2 keeps double precision.
    EXPECT_DOUBLE_EQ(Vector3(1.0f, 1.0f, 0.0f).length(), std::sqrt(2.0));
}
