#ifndef SCENE_FRAMESLOTS_H
#define SCENE_FRAMESLOTS_H

#include <cstdint>

// When frames are drawn between two motion steps, and when the step timer's ticks must be moved
// back onto the steps' due times. Pure arithmetic on the times of one monotonic clock, in
// nanoseconds unless a name says milliseconds. Copyable.
//
// A step of stepNs is split into between + 1 even slots: slot 0 is the step's own frame, drawn by
// its tick, and slots 1..between are the frames between it and the next step. They are only even
// when the ticks come at the steps' due times: a tick that came half a step after its step's due
// time draws that step's frame (the boarder where the step put it) half a step late, and the
// frames between it and the next step, which yield to a step that is due, find none left to draw.
class FrameSlots {
public:
    // REQUIRES: stepNs > 0, between >= 0.
    FrameSlots(std::int64_t stepNs, int between);

    int between() const { return between_; }
    // The time from one frame to the next: stepNs / (between + 1).
    std::int64_t slotNs() const { return slotNs_; }

    // When the first slot between steps after nowNs comes, for a step that was due at lastDueNs:
    // slot 1 of that step when now is before it, else the next of its slots, else slot 1 of the
    // next step. Meaningless when between() is 0.
    std::int64_t nextSlotNs(std::int64_t lastDueNs, std::int64_t nowNs) const;

    enum class Decision {
        Draw,       // draw the frame between steps now
        StepFirst,  // the next step is due, or would be well before the frame were done (more
                    // than a tenth of a step): the step goes first
        TooSoon,    // another frame was drawn less than half a slot ago
    };
    // Whether to draw a frame between steps at nowNs, the last step due at lastDueNs, the last
    // frame of any kind begun at lastFrameNs (negative: none yet), a frame taking frameCostNs.
    Decision decide(std::int64_t nowNs, std::int64_t lastDueNs, std::int64_t lastFrameNs,
                    std::int64_t frameCostNs) const;

    // The step timer's tick read at nowMs took (or recognised) the step due at lastDueMs, steps
    // periodMs apart. When it came more than a tenth of a period away from that due time, the
    // milliseconds from now to the next step's due time, where the timer is to be restarted;
    // -1 when the tick was on time. A timer that was once held up (start-up, a stalled machine)
    // keeps its new phase for good, up to half a period away from the steps it takes.
    static int rephaseDelayMs(std::int64_t nowMs, std::int64_t lastDueMs, int periodMs);

private:
    std::int64_t stepNs_;
    int between_;
    std::int64_t slotNs_;
};

#endif  // SCENE_FRAMESLOTS_H
