#include "scene/steppacer.h"

#include <gtest/gtest.h>

TEST(StepPacer, TicksOnTimeOrNearlyTakeOneStepEach) {
    StepPacer pacer(50, 10);
    pacer.start(1000);
    // On time, a little late, a little early: one step each, and no step is lost or doubled.
    int taken = 0;
    for (int at : {1050, 1100, 1172, 1180, 1251, 1299, 1350}) {
        const int steps = pacer.stepsDue(at);
        EXPECT_EQ(steps, 1) << at;
        taken += steps;
    }
    EXPECT_EQ(taken, 7);
}

TEST(StepPacer, MissedPeriodsAreCaughtUpToTheCapAndTheRestDropped) {
    StepPacer pacer(50, 10);
    pacer.start(0);
    EXPECT_EQ(pacer.stepsDue(50), 1);
    EXPECT_EQ(pacer.stepsDue(300), 5);   // four periods missed: five steps at this tick
    EXPECT_EQ(pacer.stepsDue(350), 1);
    EXPECT_EQ(pacer.stepsDue(850), 10);  // ten periods: ten steps
    EXPECT_EQ(pacer.stepsDue(60000), 10);  // a stall of a minute: ten, the rest dropped
    EXPECT_EQ(pacer.stepsDue(60050), 1);   // and nothing is owed afterwards
    EXPECT_EQ(pacer.stepsDue(60060), 0);   // a second tick in the same period takes nothing
    EXPECT_EQ(pacer.stepsDue(10), 0);      // a reading from before the previous one
    EXPECT_EQ(pacer.stepsDue(60100), 1);
}

TEST(StepPacer, OverAMinuteOfJitteryTicksStepsMatchRealTime) {
    StepPacer pacer(50, 10);
    pacer.start(0);
    long long steps = 0;
    long long at = 0;
    for (int tick = 0; tick < 1200; ++tick) {
        at += 50 + (tick % 7 == 0 ? 35 : 0) + (tick % 3);  // slow frames now and then
        steps += pacer.stepsDue(at);
    }
    EXPECT_NEAR(static_cast<double>(steps), at / 50.0, 1.0);
}
