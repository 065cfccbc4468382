#ifndef APP_RACE_H
#define APP_RACE_H

#include <QString>

// The race rules that are plain computations: the start and finish zones, the time texts of the
// clock and of the total result, and the total itself. No widgets, no state; the window's slots
// call these. Positions are world metres, times are milliseconds.
namespace race {

// Penalty added to the run time for each gate passed on the wrong side.
constexpr int penaltyMs = 5000;

// True when (x, z) lies in the start zone: x > 170 and -73 < z < 0, all strict. No upper bound
// on x.
bool inStartZone(float x, float z);

// True when (x, z) lies in the finish zone: x > 950 and 109 < z < 183, all strict. No upper bound
// on x.
bool inFinishZone(float x, float z);

// The display text of t milliseconds, "mm:ss.zzz". Minutes wrap at 60 (whole hours are dropped:
// 3600500 gives "00:00.500"). The components are taken with truncating division and a remainder
// of t's sign; when one of them is negative the text is "ERROR" (only a negative t does that, and
// a negative whole number of hours such as -3600000 still reads "00:00.000").
QString timeText(long long t);

// The race clock's text of t milliseconds: timeText(t) with the colon replaced by a space during
// even seconds, so that it blinks (shown in odd seconds). "ERROR" is left as it is.
QString clockText(long long t);

// The total result: the run time shownMs plus penaltyMs for each of gateFailures. Computed in 64
// bits, so no count can overflow it.
long long totalMs(int gateFailures, int shownMs);

}  // namespace race

#endif  // APP_RACE_H
