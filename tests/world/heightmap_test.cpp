#include "world/heightmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

float elevation(int row, int column) {
    return static_cast<float>(Heightmap[row][column][2]);
}

// World x and z of a vertex.
float vertexX(int column) {
    return -1000.0f + 25.0f * column;
}
float vertexZ(int row) {
    return 1000.0f - 25.0f * row;
}

}  // namespace

TEST(Heightmap, EastingsAndNorthingsAreRegular) {
    for (int r = 0; r <= 80; ++r) {
        for (int c = 0; c <= 80; ++c) {
            ASSERT_EQ(Heightmap[r][c][0], 616000.0 + 25.0 * c) << r << "," << c;
            ASSERT_EQ(Heightmap[r][c][1], 92700.0 - 25.0 * r) << r << "," << c;
        }
    }
}

TEST(Heightmap, ElevationsHaveAtMostTwoDecimals) {
    for (int r = 0; r <= 80; ++r) {
        for (int c = 0; c <= 80; ++c) {
            const double h = Heightmap[r][c][2];
            ASSERT_EQ(h, std::round(h * 100.0) / 100.0) << r << "," << c;
        }
    }
}

TEST(Heightmap, HoldsTheSurveyedElevations) {
    const double everyTenth[9][9] = {
        {3432.7, 3441.88, 3372.61, 3326.11, 3280.0, 3243.99, 3184.38, 3093.48, 3066.69},
        {3391.49, 3534.31, 3605.51, 3417.89, 3370.12, 3323.71, 3298.62, 3267.42, 3160.52},
        {3235.99, 3464.69, 3721.1, 3646.11, 3446.38, 3497.38, 3586.41, 3541.09, 3437.6},
        {3138.58, 3413.21, 3693.61, 3957.01, 4105.52, 3963.39, 3887.7, 3604.02, 3336.82},
        {3108.12, 3417.49, 3903.69, 4148.08, 4460.78, 4133.62, 3832.81, 3561.89, 3331.4},
        {3411.29, 3608.7, 4083.62, 4158.31, 3943.9, 3815.98, 3662.71, 3518.8, 3224.81},
        {3596.29, 3679.5, 3803.0, 3804.71, 3594.71, 3412.51, 3287.0, 3315.1, 3228.39},
        {3481.39, 3380.3, 3579.5, 3468.8, 3315.49, 3210.38, 3139.28, 3158.99, 3318.59},
        {3257.72, 3197.89, 3283.28, 3161.39, 3101.91, 3045.4, 3044.18, 3051.61, 3156.11},
    };
    for (int i = 0; i < 9; ++i) {
        for (int j = 0; j < 9; ++j) {
            EXPECT_EQ(Heightmap[10 * i][10 * j][2], everyTenth[i][j]) << 10 * i << "," << 10 * j;
        }
    }
    const double row40[9] = {4437.4,  4466.99, 4460.78, 4454.79, 4447.89,
                             4440.59, 4423.11, 4400.3,  4288.81};
    const double row41[9] = {4427.0,  4425.99, 4450.9,  4464.41, 4478.0,
                             4453.22, 4425.99, 4376.21, 4278.8};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(Heightmap[40][38 + k][2], row40[k]) << "column " << 38 + k;
        EXPECT_EQ(Heightmap[41][38 + k][2], row41[k]) << "column " << 38 + k;
    }
    EXPECT_EQ(Heightmap[1][0][2], 3446.38);
    EXPECT_EQ(Heightmap[1][79][2], 3083.12);
    EXPECT_EQ(Heightmap[43][46][2], 4325.08);
    EXPECT_EQ(Heightmap[43][47][2], 4254.98);
}

TEST(Heightmap, SummitIsTheOnlyHighestAndValleyTheOnlyLowestVertex) {
    for (int r = 0; r <= 80; ++r) {
        for (int c = 0; c <= 80; ++c) {
            if (r != 41 || c != 42) {
                ASSERT_LT(Heightmap[r][c][2], 4478.0) << r << "," << c;
            }
            if (r != 80 || c != 66) {
                ASSERT_GT(Heightmap[r][c][2], 3036.8) << r << "," << c;
            }
        }
    }
    EXPECT_EQ(Heightmap[41][42][2], 4478.0);
    EXPECT_EQ(Heightmap[80][66][2], 3036.8);
}

TEST(Heightmap, TerrainIsSmooth) {
    // The surveyed vertices themselves have neighbours up to 111.49 m apart; a mountain, not noise,
    // bends little between neighbours on average.
    double largestStep = 0.0, bendSum = 0.0;
    int bends = 0;
    for (int r = 0; r <= 80; ++r) {
        for (int c = 0; c <= 80; ++c) {
            const double h = Heightmap[r][c][2];
            if (c < 80)
                largestStep = std::max(largestStep, std::fabs(Heightmap[r][c + 1][2] - h));
            if (r < 80)
                largestStep = std::max(largestStep, std::fabs(Heightmap[r + 1][c][2] - h));
            if (c > 0 && c < 80) {
                bendSum += std::fabs(Heightmap[r][c - 1][2] - 2 * h + Heightmap[r][c + 1][2]);
                ++bends;
            }
        }
    }
    EXPECT_LE(largestStep, 120.0);
    EXPECT_LT(bendSum / bends, 6.0);
}

TEST(HeightAt, GivesTheSurveyedHeights) {
    const struct {
        float x, z, height;
    } cases[] = {
        {0.0f, 0.0f, 4460.78f},          // the origin, row 40 column 40
        {50.0f, -25.0f, 4478.0f},        // the summit
        {-1000.0f, -1000.0f, 3257.72f},  // the corner vertex of row 80, column 0
        {-1000.0f, 1000.0f, 3446.38f},   // z = +1000 takes row 1
        {1000.0f, 1000.0f, 3083.12f},    // and x = +1000 column 79
        {5000.0f, 2000.0f, 3083.12f},    // clamped to (1000, 1000)
        {-3000.0f, -1000.0f, 3257.72f},  // clamped to (-1000, -1000)
        {170.0f, -75.0f, 4269.0f},       // on row 43, 20/25 of the way to column 47
        {12.5f, -12.5f, 4457.72f},       // a cell's centre: the mean of its corners
    };
    for (const auto& q : cases) {
        EXPECT_EQ(heightAt(q.x, q.z), q.height) << "at " << q.x << ", " << q.z;
    }
}

TEST(HeightAt, GivesEachVertexItsElevation) {
    // Every vertex except those of row 0 and column 80, which the +1000 edges skip.
    for (int r = 1; r <= 80; ++r) {
        for (int c = 0; c <= 79; ++c) {
            ASSERT_EQ(heightAt(vertexX(c), vertexZ(r)), elevation(r, c)) << r << "," << c;
        }
    }
}

TEST(HeightAt, InterpolatesTheFourCornersOfItsCell) {
    // An independent bilinear interpolation at points scattered over the whole grid.
    for (float x = -1000.0f; x < 1000.0f; x += 37.3f) {
        for (float z = -1000.0f; z < 1000.0f; z += 41.7f) {
            const int c = static_cast<int>(std::floor((x + 1000.0f) / 25.0f));
            const int r = static_cast<int>(std::ceil((1000.0f - z) / 25.0f));  // the row below z
            const double s = (x - vertexX(c)) / 25.0, t = (z - vertexZ(r)) / 25.0;
            const double expected =
                (1 - s) * (1 - t) * elevation(r, c) + s * (1 - t) * elevation(r, c + 1) +
                (1 - s) * t * elevation(r - 1, c) + s * t * elevation(r - 1, c + 1);
            ASSERT_NEAR(heightAt(x, z), expected, 0.01) << "at " << x << ", " << z;
        }
    }
}

TEST(HeightAt, IsContinuousAcrossCellBorders) {
    for (int line = 1; line < 80; ++line) {
        const float border = -1000.0f + 25.0f * line;
        const float before = std::nextafter(border, -2000.0f);
        for (float other = -990.0f; other < 1000.0f; other += 110.0f) {
            EXPECT_NEAR(heightAt(before, other), heightAt(border, other), 0.01) << border;
            EXPECT_NEAR(heightAt(other, before), heightAt(other, border), 0.01) << border;
        }
    }
}

TEST(HeightAt, PlusEdgesTakeTheValueOneStepInside) {
    for (float t = -1000.0f; t <= 1000.0f; t += 12.5f) {
        EXPECT_EQ(heightAt(1000.0f, t), heightAt(975.0f, t)) << t;
        EXPECT_EQ(heightAt(t, 1000.0f), heightAt(t, 975.0f)) << t;
    }
}

TEST(HeightAt, ClampsPointsOutsideTheGrid) {
    const float inf = std::numeric_limits<float>::infinity();
    for (float t = -1000.0f; t <= 1000.0f; t += 77.0f) {
        EXPECT_EQ(heightAt(-1500.0f, t), heightAt(-1000.0f, t)) << t;
        EXPECT_EQ(heightAt(1000.5f, t), heightAt(1000.0f, t)) << t;
        EXPECT_EQ(heightAt(t, -1e30f), heightAt(t, -1000.0f)) << t;
        EXPECT_EQ(heightAt(t, inf), heightAt(t, 1000.0f)) << t;
        EXPECT_EQ(heightAt(-inf, t), heightAt(-1000.0f, t)) << t;
    }
}

TEST(HeightAt, GivesNaNForNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(std::isnan(heightAt(nan, 0.0f)));
    EXPECT_TRUE(std::isnan(heightAt(0.0f, nan)));
}
