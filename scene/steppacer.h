#ifndef SCENE_STEPPACER_H
#define SCENE_STEPPACER_H

#include <cstdint>

// Keeps a fixed-step motion in step with real time when the timer that drives it falls behind.
// Step k is due at k periods after start, a reading counting as that step's time from half a
// period before it, so a tick that comes a little early or late still takes exactly one step.
// A tick takes every step that came due since the previous one, at most maxSteps; beyond that
// the missed steps are dropped (a stall such as a suspended machine must not fling the boarder
// down the slope). Times are milliseconds of a monotonic clock. Pure arithmetic: copyable.
class StepPacer {
public:
    StepPacer(int periodMs, int maxSteps);

    // Starts counting steps from nowMs; nothing is due yet.
    void start(std::int64_t nowMs);
    // The number of steps to take at a tick read at nowMs: 0 to maxSteps. A reading earlier than
    // the previous one takes nothing.
    int stepsDue(std::int64_t nowMs);
    // When the newest step counted so far was due (start + steps counted x period): the time the
    // boarder's position stands for after a tick has taken its steps. The start time before any.
    std::int64_t lastDueMs() const { return startMs_ + taken_ * periodMs_; }
    int periodMs() const { return periodMs_; }

private:
    int periodMs_;
    int maxSteps_;
    std::int64_t startMs_ = 0;
    std::int64_t taken_ = 0;  // steps counted as taken (or dropped) since start
};

#endif  // SCENE_STEPPACER_H
