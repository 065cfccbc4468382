#include "scene/vec3.h"

#include <gtest/gtest.h>

TEST(Vec3, WorksInSinglePrecision) {
    // 1 + 2^-30 is 1 in float; a sum kept in double would not be.
    EXPECT_EQ((Vec3(1.0f, 0.0f, 0.0f) + Vec3(1.0f / (1 << 30), 0.0f, 0.0f)).x, 1.0f);
    EXPECT_EQ((Vec3(1.0f, 0.0f, 0.0f) - Vec3(1.0f / (1 << 30), 0.0f, 0.0f)).x, 1.0f);
    const Vec3 scaled = Vec3(1.0f, -2.0f, 0.5f) * 3.0f;
    EXPECT_EQ(scaled.y, -6.0f);
    EXPECT_EQ(scaled.z, 1.5f);
}

TEST(Vec3, CrossFollowsTheRightHandRule) {
    // Heading +x with up +y: the boarder's right is +z, and swapping the factors flips it.
    const Vec3 x(1.0f, 0.0f, 0.0f), y(0.0f, 1.0f, 0.0f);
    EXPECT_EQ(cross(x, y).z, 1.0f);
    EXPECT_EQ(cross(y, x).z, -1.0f);
    const Vec3 c = cross(Vec3(1.0f, 2.0f, 3.0f), Vec3(4.0f, 5.0f, 6.0f));
    EXPECT_EQ(c.x, -3.0f);
    EXPECT_EQ(c.y, 6.0f);
    EXPECT_EQ(c.z, -3.0f);
}

TEST(Vec3, NormalizeGivesUnitLengthAndKeepsZero) {
    const Vec3 n = normalize(Vec3(3.0f, 0.0f, -4.0f));
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.z, -0.8f);
    EXPECT_EQ(normalize(Vec3(0.0f, 0.0f, 0.0f)).x, 0.0f);
    // A length that underflows to 0 in float gives the zero vector rather than infinities.
    EXPECT_EQ(normalize(Vec3(1e-30f, 0.0f, 0.0f)).x, 0.0f);
}
