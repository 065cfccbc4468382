#include "scene/steppacer.h"

StepPacer::StepPacer(int periodMs, int maxSteps)
    : periodMs_(periodMs > 0 ? periodMs : 1), maxSteps_(maxSteps > 0 ? maxSteps : 1) {}

void StepPacer::start(std::int64_t nowMs) {
    startMs_ = nowMs;
    taken_ = 0;
}

int StepPacer::stepsDue(std::int64_t nowMs) {
    const std::int64_t elapsed = nowMs - startMs_;
    if (elapsed < 0) {
        return 0;
    }
    const std::int64_t due = (elapsed + periodMs_ / 2) / periodMs_;
    if (due <= taken_) {
        return 0;
    }
    const std::int64_t missed = due - taken_;
    taken_ = due;  // what is beyond the cap is dropped, not owed
    return missed < maxSteps_ ? static_cast<int>(missed) : maxSteps_;
}
