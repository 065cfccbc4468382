// Which cue plays when: the carve on a turn, the wind from the speed. (The race events' cues are
// heard through the real window in racesound_test.)
#include "devices/cuerules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

TEST(CueRules, WindIsSilentAtRestAndRisesWithSpeedToItsMaximum) {
    EXPECT_EQ(CueRules::windTarget(0.0f), 0.0f);
    EXPECT_EQ(CueRules::windTarget(-5.0f), 0.0f);
    EXPECT_EQ(CueRules::windTarget(std::nanf("")), 0.0f);
    EXPECT_FLOAT_EQ(CueRules::windTarget(100.0f), CueRules::kWindMax);
    EXPECT_FLOAT_EQ(CueRules::windTarget(1e9f), CueRules::kWindMax);
    EXPECT_LT(CueRules::windTarget(50.0f), CueRules::kWindMax / 2);  // slow is quiet
    for (float s = 10.0f; s <= 100.0f; s += 10.0f) {
        EXPECT_GT(CueRules::windTarget(s), CueRules::windTarget(s - 10.0f)) << s;
    }
}

// The rules looked at a boarder that the test moves, at times it chooses.
class CueRulesLook : public testing::Test {
protected:
    std::optional<CuePlay> lookAt(long long ms) { return rules.look(boarder, ms); }

    // Runs from start to end in steps of stepMs, turning by degrees before each look; returns the
    // times of the carves.
    std::vector<long long> turnEvery(long long start, long long end, long long stepMs,
                                     float degrees) {
        std::vector<long long> carves;
        for (long long t = start; t < end; t += stepMs) {
            boarder.heading += degrees;
            if (lookAt(t)) {
                carves.push_back(t);
            }
        }
        return carves;
    }

    CueRules rules;
    BoarderSample boarder{0.0f, 0.0f, 100.0f, 0.0f};  // where New Game puts it
};

TEST_F(CueRulesLook, ATurnCarvesOnTheSideTurnedToButNewGameDoesNot) {
    boarder = {50.0f, 30.0f, 400.0f, 60.0f};
    EXPECT_FALSE(lookAt(0)) << "the first look has nothing to compare with";
    boarder.x = 440.0f;
    EXPECT_FALSE(lookAt(20)) << "moving without turning";
    boarder.heading += 10.0f;  // Left
    const std::optional<CuePlay> left = lookAt(40);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->cue, Cue::Carve);
    EXPECT_LT(left->pan, 0.0f);
    boarder.heading -= 20.0f;  // Right twice within one look: one carve
    const std::optional<CuePlay> right = lookAt(400);
    ASSERT_TRUE(right);
    EXPECT_GT(right->pan, 0.0f);
    EXPECT_FALSE(lookAt(420));
    boarder = {0.0f, 0.0f, 100.0f, 0.0f};  // New Game
    EXPECT_FALSE(lookAt(1000));
    boarder.heading = -10.0f;  // then a turn on the start spot is a turn
    EXPECT_TRUE(lookAt(1500));
}

TEST_F(CueRulesLook, AStormOfTurnsCarvesNoMoreOftenThanTheGap) {
    boarder.x = 300.0f;
    lookAt(0);
    // A turn at every look, 5 ms apart, for a second: held keys, a gamepad, a key-repeat storm.
    const std::vector<long long> carves = turnEvery(5, 1005, 5, 10.0f);
    ASSERT_FALSE(carves.empty());
    EXPECT_LE(carves.size(), size_t{1000 / CueRules::kCarveGapMs + 1});
    EXPECT_GE(carves.size(), size_t{1000 / CueRules::kCarveGapMs / 2});  // still a steady scrape
    for (size_t i = 1; i < carves.size(); ++i) {
        EXPECT_GE(carves[i] - carves[i - 1], CueRules::kCarveGapMs);
    }
    // Turns every 150 ms (the gamepad's repeat) are each heard.
    EXPECT_EQ(turnEvery(2000, 3500, 150, -10.0f).size(), 10u);
}

TEST_F(CueRulesLook, CarvesAreLouderWithSpeedWithinTheRecordedLevel) {
    boarder.x = 300.0f;
    lookAt(0);
    float previous = 0.0f;
    long long t = 0;
    for (float speed : {0.0f, 20.0f, 40.0f, 60.0f, 100.0f}) {
        boarder.speed = speed;
        boarder.heading += 10.0f;
        t += 1000;
        const std::optional<CuePlay> carve = lookAt(t);
        ASSERT_TRUE(carve) << speed;
        EXPECT_GE(carve->volume, previous) << speed;
        EXPECT_GE(carve->volume, 0.5f) << speed;  // a turn on the spot is still heard
        EXPECT_LE(carve->volume, 1.0f) << speed;
        previous = carve->volume;
    }
    EXPECT_EQ(previous, 1.0f);
}

TEST_F(CueRulesLook, WindSwellsAndDiesWithoutJumpsAndALongOrBackwardPauseBreaksNothing) {
    lookAt(0);
    EXPECT_EQ(rules.windVolume(), 0.0f);
    boarder.speed = 100.0f;
    float previous = 0.0f;
    for (long long t = 20; t <= 1000; t += 20) {
        lookAt(t);
        const float v = rules.windVolume();
        EXPECT_GT(v, previous) << t;
        EXPECT_LE(v, CueRules::kWindMax) << t;
        EXPECT_LT(v - previous, 0.2f) << t << ": a jump";
        previous = v;
    }
    EXPECT_NEAR(previous, CueRules::kWindMax, 0.01f);

    boarder.speed = 0.0f;
    long long t = 1000;
    while (rules.windVolume() > 0.0f && t < 3000) {
        t += 20;
        lookAt(t);
        EXPECT_LE(rules.windVolume(), previous);
        previous = rules.windVolume();
    }
    EXPECT_EQ(rules.windVolume(), 0.0f);
    EXPECT_LT(t, 1000 + 1500);

    // A minute without a look (the machine slept) does not overshoot; a clock that went back
    // passes no time.
    boarder.speed = 60.0f;
    lookAt(t + 60000);
    EXPECT_NEAR(rules.windVolume(), CueRules::windTarget(60.0f), 0.001f);
    EXPECT_LE(rules.windVolume(), CueRules::windTarget(60.0f));
    const float before = rules.windVolume();
    boarder.speed = 0.0f;
    lookAt(100);
    EXPECT_EQ(rules.windVolume(), before);
}
