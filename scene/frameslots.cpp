#include "scene/frameslots.h"

#include <algorithm>
#include <cassert>

FrameSlots::FrameSlots(std::int64_t stepNs, int between)
    : stepNs_(stepNs > 0 ? stepNs : 1),
      between_(between > 0 ? between : 0),
      slotNs_(std::max<std::int64_t>(1, stepNs_ / (between_ + 1))) {
    assert(stepNs > 0 && between >= 0);
}

std::int64_t FrameSlots::nextSlotNs(std::int64_t lastDueNs, std::int64_t nowNs) const {
    const std::int64_t j = nowNs < lastDueNs ? 1 : (nowNs - lastDueNs) / slotNs_ + 1;
    return j <= between_ ? lastDueNs + j * slotNs_ : lastDueNs + stepNs_ + slotNs_;
}

FrameSlots::Decision FrameSlots::decide(std::int64_t nowNs, std::int64_t lastDueNs,
                                        std::int64_t lastFrameNs, std::int64_t frameCostNs) const {
    // A frame may end a little after the next step's due time: the step's tick waits for it by
    // no more than a tick may be late and still count as on time (rephaseDelayMs). On a busy
    // machine, where a frame takes half a step, that is the frame between two steps.
    const std::int64_t nextDueNs = lastDueNs + stepNs_;
    if (nowNs >= nextDueNs || nowNs + frameCostNs > nextDueNs + stepNs_ / 10) {
        return Decision::StepFirst;
    }
    // Right after another frame (a key's, a slot's, a late tick's) this one would show next to
    // nothing new.
    if (lastFrameNs >= 0 && nowNs - lastFrameNs < slotNs_ / 2) {
        return Decision::TooSoon;
    }
    return Decision::Draw;
}

int FrameSlots::rephaseDelayMs(std::int64_t nowMs, std::int64_t lastDueMs, int periodMs) {
    const std::int64_t off = nowMs - lastDueMs;
    const std::int64_t tolerance = periodMs / 10;
    if (off <= tolerance && off >= -tolerance) {
        return -1;
    }
    const std::int64_t delay = lastDueMs + periodMs - nowMs;
    return delay > 0 ? static_cast<int>(delay) : 0;
}
