#include "scene/vec3.h"

#include <gtest/gtest.h>

TEST(Vec3, NormalizeGivesUnitLengthAndKeepsZero) {
    const Vec3 n = normalize(Vec3(3.0f, 0.0f, -4.0f));
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.z, -0.8f);
    EXPECT_EQ(normalize(Vec3(0.0f, 0.0f, 0.0f)).x, 0.0f);
    // A length that underflows to 0 in float gives the zero vector rather than infinities.
    EXPECT_EQ(normalize(Vec3(1e-30f, 0.0f, 0.0f)).x, 0.0f);
}
