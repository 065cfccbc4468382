// The height query. The table itself (surveyed values, summit, valley, smoothness) is checked
// against its generator by heightmap_data_test.
#include "world/heightmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

float elevation(int row, int column) {
    return static_cast<float>(Heightmap[row][column][2]);
}

const float inf = std::numeric_limits<float>::infinity();

}  // namespace

// Every vertex is checked below; here the edges and what lies beyond them.
TEST(HeightAt, GivesTheSurveyedHeightsClampedToTheGrid) {
    const struct {
        float x, z, height;
    } cases[] = {
        {-1000.0f, -1000.0f, 3257.72f},  // the corner vertex of row 80, column 0
        {-1000.0f, 1000.0f, 3446.38f},   // z = +1000 takes row 1
        {1000.0f, 1000.0f, 3083.12f},    // and x = +1000 column 79
        {5000.0f, 2000.0f, 3083.12f},    // clamped to (1000, 1000)
        {inf, 1e30f, 3083.12f},
        {-3000.0f, -1000.0f, 3257.72f},  // clamped to (-1000, -1000)
        {-inf, -1e30f, 3257.72f},
        {170.0f, -75.0f, 4269.0f},  // on row 43, 20/25 of the way to column 47
        {12.5f, -12.5f, 4457.72f},  // a cell's centre: the mean of its corners
    };
    for (const auto& q : cases) {
        EXPECT_EQ(heightAt(q.x, q.z), q.height) << "at " << q.x << ", " << q.z;
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(std::isnan(heightAt(nan, 0.0f)));
    EXPECT_TRUE(std::isnan(heightAt(0.0f, nan)));
}

TEST(HeightAt, InterpolatesTheFourCornersOfItsCell) {
    // Every vertex except those of row 0 and column 80, which the +1000 edges skip.
    for (int r = 1; r <= 80; ++r) {
        for (int c = 0; c <= 79; ++c) {
            ASSERT_EQ(heightAt(-1000.0f + 25.0f * c, 1000.0f - 25.0f * r), elevation(r, c))
                << r << "," << c;
        }
    }
    // An independent bilinear interpolation at points scattered over the whole grid.
    for (float x = -1000.0f; x < 1000.0f; x += 37.3f) {
        for (float z = -1000.0f; z < 1000.0f; z += 41.7f) {
            const int c = static_cast<int>(std::floor((x + 1000.0f) / 25.0f));
            const int r = static_cast<int>(std::ceil((1000.0f - z) / 25.0f));  // the row below z
            const double s = (x + 1000.0f) / 25.0 - c, t = (z - 1000.0f) / 25.0 + r;
            const double expected =
                (1 - s) * (1 - t) * elevation(r, c) + s * (1 - t) * elevation(r, c + 1) +
                (1 - s) * t * elevation(r - 1, c) + s * t * elevation(r - 1, c + 1);
            ASSERT_NEAR(heightAt(x, z), expected, 0.01) << "at " << x << ", " << z;
        }
    }
}
