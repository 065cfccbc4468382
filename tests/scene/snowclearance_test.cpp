// The boarder stands above the snow along the whole course: the game's own model file and terrain
// table, the model placed as the game draws it, compared with the terrain as the GL draws it.
#include <gtest/gtest.h>

#include <sstream>

#include "support/snow_clearance.h"

using namespace snow_clearance;

// The drawn surface is what the comparison rests on: it meets every vertex, and at a cell's
// middle each diagonal gives the mean of its own two ends.
TEST(DrawnHeight, MeetsTheVerticesAndSplitsEachCellAlongItsDiagonal) {
    for (int r = 30; r <= 45; ++r) {
        for (int c = 40; c <= 79; ++c) {
            const double x = 25.0 * c - 1000.0, z = 1000.0 - 25.0 * r;
            for (int d : {0, 1}) {
                ASSERT_NEAR(drawnHeight(x, z, d), elevation(r, c), 1e-6) << r << "," << c;
                ASSERT_NEAR(drawnHeight(x + 12.5, z - 12.5, d),
                            d == 0 ? (elevation(r, c) + elevation(r + 1, c + 1)) / 2.0
                                   : (elevation(r, c + 1) + elevation(r + 1, c)) / 2.0,
                            1e-6)
                    << r << "," << c;
            }
        }
    }
}

// Every place along the four lines, heading down the course and 30 degrees to either side, for
// either diagonal: at least 0.88 of the model's vertices above the snow.
TEST(SnowClearance, MostOfTheBoarderIsAboveTheSnowAlongTheCourse) {
    const std::vector<Point> model = modelVertices(GAME_DATA_DIR);
    ASSERT_GT(model.size(), 500u) << "the boarder's model in " << GAME_DATA_DIR;
    double worst = 1.0;
    std::ostringstream where;
    for (float z : lines) {
        for (int x = firstX; x <= lastX; x += stepX) {
            for (float heading : {0.0f, 30.0f, -30.0f}) {
                for (int d : {0, 1}) {
                    const double share = shareAbove(model, static_cast<float>(x), z, heading, d);
                    EXPECT_GE(share, 0.88)
                        << "x " << x << " z " << z << " heading " << heading << " diagonal " << d;
                    if (share < worst) {
                        worst = share;
                        where.str("");
                        where << "x " << x << " z " << z << " heading " << heading << " diagonal "
                              << d;
                    }
                }
            }
        }
    }
    RecordProperty("worst_share", std::to_string(worst));
    RecordProperty("worst_place", where.str());
}
