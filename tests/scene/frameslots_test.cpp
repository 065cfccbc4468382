#include "scene/frameslots.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t ms = 1000000;  // nanoseconds
constexpr std::int64_t step = 50 * ms;

}  // namespace

TEST(FrameSlots, SlotsFollowOneAnotherEvenlyAndWrapToTheNextStep) {
    const FrameSlots sixty(step, 2);
    const std::int64_t due = 1000 * ms;
    const std::int64_t slot = sixty.slotNs();
    EXPECT_EQ(slot, step / 3);
    // From the step's own frame, on through its slots, to the first slot of the next step.
    EXPECT_EQ(sixty.nextSlotNs(due, due), due + slot);
    EXPECT_EQ(sixty.nextSlotNs(due, due + slot), due + 2 * slot);
    EXPECT_EQ(sixty.nextSlotNs(due, due + 2 * slot), due + step + slot);
    EXPECT_EQ(sixty.nextSlotNs(due, due + step - 1), due + step + slot);
    // A tick that came early (counted as the step due a little later) still gets slot 1.
    EXPECT_EQ(sixty.nextSlotNs(due, due - 20 * ms), due + slot);

    const FrameSlots forty(step, 1);
    EXPECT_EQ(forty.nextSlotNs(due, due + ms), due + 25 * ms);
    EXPECT_EQ(forty.nextSlotNs(due, due + 25 * ms), due + 75 * ms);
}

TEST(FrameSlots, TheStepGoesFirstAndAFrameJustDrawnHoldsTheNextBack) {
    using D = FrameSlots::Decision;
    const FrameSlots sixty(step, 2);
    const std::int64_t due = 1000 * ms;
    const std::int64_t slot = sixty.slotNs();
    const std::int64_t cost = 9 * ms;  // a frame of llvmpipe's, 700 x 700
    // Both slots of a step whose tick drew at its due time fit before the next step.
    EXPECT_EQ(sixty.decide(due + slot, due, due, cost), D::Draw);
    EXPECT_EQ(sixty.decide(due + 2 * slot, due, due + slot, cost), D::Draw);
    // Not when the frame would hold the next step up by more than a tenth of a step, nor once
    // the step is due, however quick the frame.
    EXPECT_EQ(sixty.decide(due + 2 * slot, due, due + slot, 22 * ms), D::StepFirst);
    EXPECT_EQ(sixty.decide(due + step, due, due + slot, 0), D::StepFirst);
    // A busy machine: the step's frame took 25 ms and so will this one; the step waits 3 ms.
    EXPECT_EQ(sixty.decide(due + 28 * ms, due, due + ms, 25 * ms), D::Draw);
    EXPECT_EQ(sixty.decide(due + 31 * ms, due, due + ms, 25 * ms), D::StepFirst);
    // Less than half a slot after another frame (a key's), nothing new to show.
    EXPECT_EQ(sixty.decide(due + slot, due, due + slot - slot / 2 + 1, cost), D::TooSoon);
    EXPECT_EQ(sixty.decide(due + slot, due, due + slot - slot / 2, cost), D::Draw);
    EXPECT_EQ(sixty.decide(due + slot, due, -1, cost), D::Draw);  // no frame yet
}

TEST(FrameSlots, TicksAwayFromTheirStepsAreMovedToTheNextDueTime) {
    // On time or within a tenth of the period either way: the timer is left alone.
    for (int off : {0, 1, 5, -5}) {
        EXPECT_EQ(FrameSlots::rephaseDelayMs(1000 + off, 1000, 50), -1) << off;
    }
    // Beyond: the wait to the next step's due time.
    EXPECT_EQ(FrameSlots::rephaseDelayMs(1006, 1000, 50), 44);
    EXPECT_EQ(FrameSlots::rephaseDelayMs(1024, 1000, 50), 26);  // half a step late
    EXPECT_EQ(FrameSlots::rephaseDelayMs(975, 1000, 50), 75);   // counted early
    EXPECT_EQ(FrameSlots::rephaseDelayMs(1050, 1000, 50), 0);   // never a negative wait
}
