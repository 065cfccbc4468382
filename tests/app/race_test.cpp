#include "app/race.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct TimeCase {
    long long ms;
    const char* text;
};

TEST(RaceTimeText, FormatsMinutesSecondsMillis) {
    const TimeCase cases[] = {
        {0, "00:00.000"},
        {5123, "00:05.123"},
        {6123, "00:06.123"},
        {72500, "01:12.500"},
        {59999, "00:59.999"},
        {60000, "01:00.000"},
        {3599999, "59:59.999"},
        {3600500, "00:00.500"},
        {INT_MAX, "31:23.647"},
        {-1, "ERROR"},
        {-1000, "ERROR"},
        {INT_MIN, "ERROR"},
        // A negative whole number of hours leaves no negative component.
        {-3600000, "00:00.000"},
    };
    for (const TimeCase& c : cases) {
        EXPECT_EQ(race::timeText(c.ms), QString(c.text)) << c.ms;
    }
}

TEST(RaceClockText, BlanksTheColonInEvenSeconds) {
    const TimeCase cases[] = {
        {0, "00 00.000"},     {999, "00 00.999"},     {1000, "00:01.000"},
        {5123, "00:05.123"},  {6123, "00 06.123"},    {61000, "01:01.000"},
        {62000, "01 02.000"}, {3600500, "00 00.500"}, {-1, "ERROR"},
    };
    for (const TimeCase& c : cases) {
        EXPECT_EQ(race::clockText(c.ms), QString(c.text)) << c.ms;
    }
}

TEST(RaceTotal, AddsFiveSecondsPerFailure) {
    EXPECT_EQ(race::totalMs(0, 12345), 12345);
    EXPECT_EQ(race::totalMs(2, 62500), 72500);
    EXPECT_EQ(race::timeText(race::totalMs(2, 62500)), "01:12.500");
    // Far beyond any real run, but no overflow.
    EXPECT_EQ(race::totalMs(10, INT_MAX), static_cast<long long>(INT_MAX) + 50000);
}

}  // namespace
