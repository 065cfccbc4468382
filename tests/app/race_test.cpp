#include "app/race.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// The total's text and the clock's, which blanks its colon in even seconds.
TEST(RaceTimeText, FormatsMinutesSecondsMillisAndTheClockBlanksItsColonInEvenSeconds) {
    const struct {
        long long ms;
        const char *text, *clock;
    } cases[] = {
        {0, "00:00.000", "00 00.000"},
        {999, "00:00.999", "00 00.999"},
        {1000, "00:01.000", "00:01.000"},
        {5123, "00:05.123", "00:05.123"},
        {6123, "00:06.123", "00 06.123"},
        {72500, "01:12.500", "01 12.500"},
        {59999, "00:59.999", "00:59.999"},
        {60000, "01:00.000", "01 00.000"},
        {3599999, "59:59.999", "59:59.999"},
        {3600500, "00:00.500", "00 00.500"},
        {INT_MAX, "31:23.647", "31:23.647"},
        {-1, "ERROR", "ERROR"},
        {INT_MIN, "ERROR", "ERROR"},
        // A negative whole number of hours leaves no negative component.
        {-3600000, "00:00.000", "00 00.000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(race::timeText(c.ms), QString(c.text)) << c.ms;
        EXPECT_EQ(race::clockText(c.ms), QString(c.clock)) << c.ms;
    }
}

TEST(RaceTotal, AddsFiveSecondsPerFailure) {
    EXPECT_EQ(race::totalMs(0, 12345), 12345);
    EXPECT_EQ(race::totalMs(2, 62500), 72500);
    // Far beyond any real run, but no overflow.
    EXPECT_EQ(race::totalMs(10, INT_MAX), static_cast<long long>(INT_MAX) + 50000);
}

// Every bound is strict, and neither zone ends on the far side in x.
TEST(RaceZones, StartAndFinishHaveStrictBounds) {
    const struct {
        float x, z;
        bool start, finish;
    } cases[] = {
        {170.0f, -1.0f, false, false},  {171.0f, 0.0f, false, false},
        {171.0f, -73.0f, false, false}, {170.5f, -72.5f, true, false},
        {5000.0f, -36.0f, true, false}, {950.0f, 146.0f, false, false},
        {951.0f, 109.0f, false, false}, {951.0f, 183.0f, false, false},
        {950.5f, 109.5f, false, true},  {5000.0f, 182.5f, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(race::inStartZone(c.x, c.z), c.start) << c.x << ", " << c.z;
        EXPECT_EQ(race::inFinishZone(c.x, c.z), c.finish) << c.x << ", " << c.z;
    }
}

}  // namespace
