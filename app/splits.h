#ifndef APP_SPLITS_H
#define APP_SPLITS_H

#include <optional>
#include <string>

// Split times: how a run compares with the run it races (its rival) at each gate both judged,
// and at the finish. Pure computations, no drawing; times are race clock milliseconds.

// One split. A plain value type.
struct Split {
    enum Kind { Gate, Finish };

    Kind kind = Gate;
    int gate = -1;           // Gate: the gate's index, 0..9
    long long ms = 0;        // Gate: this run's clock when it judged the gate; Finish: its total
    long long bestMs = -1;   // the rival's time for the same (-1: the rival has none)
    bool wrongSide = false;  // Gate: this run passed the gate on the wrong side

    bool hasBest() const { return bestMs >= 0; }
    // This run's time less the rival's: negative when ahead. REQUIRES: hasBest().
    long long differenceMs() const { return ms - bestMs; }
};

// How a split is coloured: ahead of the rival (green), behind it (red), or level (white).
enum class SplitStanding { Ahead, Behind, Level };
SplitStanding splitStanding(const Split& split);  // REQUIRES: split.hasBest()

// The signed difference in seconds with three decimals: "−0.412" (a minus sign, U+2212, in
// UTF-8), "+0.230", "±0.000".
std::string differenceText(long long differenceMs);

// What the 3D view shows of a split: "Gate 5 −0.412" (gates counted from 1 for the player),
// with " wrong side" added when this run passed it on the wrong side; "Finish +1.230" for the
// totals. REQUIRES: split.hasBest().
std::string splitText(const Split& split);

// The trace line of a gate split, without its end of line:
// "skaldora-trace split gate <i> ms <ms> best <ms or -> wrong <0|1>".
std::string splitTraceLine(const Split& split);

// The split on show: the latest one given to show, for showMs after it was given. Not
// thread-safe; a plain value type.
class SplitBoard {
public:
    static constexpr long long showMs = 3000;

    // Shows split from nowMs on (any monotonic milliseconds), in place of the one on show.
    void show(const Split& split, long long nowMs);
    // The split on show at nowMs, or none once showMs have passed since it was given.
    std::optional<Split> shown(long long nowMs) const;
    void clear() { shown_.reset(); }

private:
    std::optional<Split> shown_;
    long long since_ = 0;
};

#endif  // APP_SPLITS_H
