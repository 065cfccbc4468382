// A run recorded against a rival run, and the splits between them. No display.
#include "app/ghostrace.h"

#include <gtest/gtest.h>

#include <limits>

#include "app/splits.h"

namespace {

RunStep at(int ms, float x) {
    return RunStep{ms, x, 0.0f, 0.0f, 20.0f};
}

// A rival that judged gates 0, 1 and 3 (not 2), and finished with a total of 20 s.
RunRecord rivalRun() {
    RunRecord run;
    run.runMs = 15000;
    run.gateFailures = 1;
    run.totalMs = 20000;
    run.steps = {at(0, 170.0f), at(50, 171.0f), at(100, 172.0f)};
    run.gates = {{0, 1000, false}, {1, 2000, true}, {3, 4000, false}};
    return run;
}

}  // namespace

TEST(GhostRace, RecordsTheRunFromTheStartToTheFinish) {
    GhostRace race;
    race.step(at(5, 1.0f));  // before the start: not recorded
    race.start(at(123, 170.0f));
    race.step(at(50, 171.0f));
    race.step(at(40, 172.0f));  // read a moment early: kept in order
    race.gateJudged(0, 900, true);
    race.gateJudged(0, 950, false);  // judged again: not recorded
    const auto run = race.finish(1200, 1, 6200);
    ASSERT_TRUE(run.has_value());
    ASSERT_EQ(run->steps.size(), 3u);
    EXPECT_EQ(run->steps[0].ms, 0);  // the start is clock 0
    EXPECT_EQ(run->steps[2].ms, 50);
    ASSERT_EQ(run->gates.size(), 1u);
    EXPECT_TRUE(run->gates[0].wrongSide);
    EXPECT_EQ(run->totalMs, 6200);
    EXPECT_FALSE(race.recording());
    EXPECT_FALSE(race.finish(1200, 1, 6200).has_value());  // finished once
}

TEST(GhostRace, ADroppedRunIsNotKept) {
    GhostRace race;
    race.start(at(0, 170.0f));
    race.step(at(50, 171.0f));
    race.drop();
    EXPECT_FALSE(race.finish(1000, 0, 1000).has_value());
    // A new start begins afresh.
    race.start(at(0, 300.0f));
    const auto run = race.finish(10, 0, 10);
    ASSERT_TRUE(run.has_value());
    ASSERT_EQ(run->steps.size(), 1u);
    EXPECT_EQ(run->steps[0].x, 300.0f);
}

TEST(GhostRace, ARunTooLongToKeepIsNotKept) {
    GhostRace race;
    race.start(at(0, 0.0f));
    for (std::uint32_t i = 0; i < RunRecord::maxSteps; ++i) {
        race.step(at(static_cast<int>(i), 0.0f));
    }
    EXPECT_FALSE(race.finish(1, 0, 1).has_value());
}

TEST(GhostRace, SplitOfAGateBothRunsJudged) {
    GhostRace race(rivalRun());
    race.start(at(0, 170.0f));
    const Split ahead = race.gateJudged(0, 588, false);
    ASSERT_TRUE(ahead.hasBest());
    EXPECT_EQ(ahead.bestMs, 1000);
    EXPECT_EQ(ahead.differenceMs(), -412);
    EXPECT_EQ(splitStanding(ahead), SplitStanding::Ahead);
    EXPECT_EQ(splitText(ahead), "Gate 1 \u22120.412");
    const Split behind = race.gateJudged(1, 2230, true);
    EXPECT_EQ(splitText(behind), "Gate 2 +0.230 wrong side");
    EXPECT_EQ(splitStanding(behind), SplitStanding::Behind);
    EXPECT_EQ(splitTraceLine(behind), "skaldora-trace split gate 1 ms 2230 best 2000 wrong 1");
}

TEST(GhostRace, SplitOfAGateOnlyThisRunJudged) {
    GhostRace race(rivalRun());
    race.start(at(0, 170.0f));
    const Split split = race.gateJudged(2, 3100, false);
    EXPECT_FALSE(split.hasBest());
    EXPECT_EQ(splitTraceLine(split), "skaldora-trace split gate 2 ms 3100 best - wrong 0");
    // Without a rival no gate has a best.
    GhostRace alone;
    alone.start(at(0, 170.0f));
    EXPECT_FALSE(alone.gateJudged(0, 500, false).hasBest());
}

TEST(GhostRace, SplitOfTheTotalsAtTheFinish) {
    GhostRace race(rivalRun());
    race.start(at(0, 170.0f));
    Split split;
    race.finish(19000, 0, 19000, &split);
    EXPECT_EQ(split.kind, Split::Finish);
    EXPECT_EQ(splitText(split), "Finish \u22121.000");
}

TEST(GhostRace, TheRivalStandsWhereItsRunStoodAtTheSameClock) {
    GhostRace race(rivalRun());
    EXPECT_FLOAT_EQ(race.rivalAt(25)->x, 170.5f);
    EXPECT_FLOAT_EQ(race.rivalAt(75)->x, 171.5f);
    EXPECT_FLOAT_EQ(race.rivalAt(60000)->x, 172.0f);  // stays at the finish
    EXPECT_FALSE(GhostRace().rivalAt(25).has_value());
}

TEST(Splits, DifferenceTexts) {
    EXPECT_EQ(differenceText(0), "\u00b10.000");
    EXPECT_EQ(differenceText(1), "+0.001");
    EXPECT_EQ(differenceText(-61234), "\u221261.234");
    EXPECT_EQ(differenceText(std::numeric_limits<long long>::min()), "\u22129223372036854775.808");
}

TEST(Splits, TheBoardShowsTheLatestSplitForThreeSeconds) {
    SplitBoard board;
    EXPECT_FALSE(board.shown(0).has_value());
    Split first;
    first.gate = 0;
    board.show(first, 1000);
    EXPECT_TRUE(board.shown(1000).has_value());
    EXPECT_TRUE(board.shown(3999).has_value());
    EXPECT_FALSE(board.shown(4000).has_value());
    Split second;
    second.gate = 1;
    board.show(second, 3500);
    EXPECT_EQ(board.shown(6000)->gate, 1);
    board.clear();
    EXPECT_FALSE(board.shown(6000).has_value());
}
