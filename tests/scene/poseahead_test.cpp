// Where a frame drawn between two motion steps shows the boarder: on the straight line from the
// last step towards the next, reaching the next step's place after exactly one step's time.
#include "scene/poseahead.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/boarder.h"
#include "world/heightmap.h"

namespace {

// A boarder somewhere on the slope, heading down it at an angle, as the steps leave it.
void placeBoarder(Boarder& b, float speed) {
    b.position = Vec3(300.0f, 0.0f, -20.0f);
    b.position.y = heightAt(b.position.x, b.position.z);
    b.turn(-30.0f);
    b.speed = speed;
}

void expectOnGround(const BoarderPose& p) {
    EXPECT_EQ(p.position.y, heightAt(p.position.x, p.position.z));
}

}  // namespace

TEST(PoseAhead, AtTheStepItselfTheBoarderIsWhereTheStepLeftIt) {
    Boarder b;
    placeBoarder(b, 60.0f);
    const BoarderPose p = poseAhead(b.pose(), b.speed, 0.0);
    EXPECT_EQ(p.position.x, b.position.x);
    EXPECT_EQ(p.position.z, b.position.z);
    expectOnGround(p);
}

TEST(PoseAhead, OneStepAheadIsExactlyWhereTheNextStepPutsTheBoarder) {
    Boarder b;
    placeBoarder(b, 60.0f);
    const BoarderPose ahead = poseAhead(b.pose(), b.speed, kMaxSecondsAhead);
    b.moveForward(0.0f);
    EXPECT_EQ(ahead.position.x, b.position.x);
    EXPECT_EQ(ahead.position.z, b.position.z);
    expectOnGround(ahead);
}

TEST(PoseAhead, HalfAStepIsHalfWayAlongTheHeadingAndTheHeadingIsKept) {
    Boarder b;
    placeBoarder(b, 60.0f);
    const BoarderPose start = b.pose();
    const BoarderPose half = poseAhead(start, b.speed, 0.025);
    // 60 m/s for 25 ms: 1.5 m along the heading.
    EXPECT_NEAR(half.position.x, start.position.x + 1.5f * start.direction.x, 1e-4);
    EXPECT_NEAR(half.position.z, start.position.z + 1.5f * start.direction.z, 1e-4);
    expectOnGround(half);
    EXPECT_EQ(half.heading, start.heading);
    EXPECT_EQ(half.direction.x, start.direction.x);
    EXPECT_EQ(half.direction.z, start.direction.z);
    EXPECT_EQ(half.up.y, 1.0f);
}

TEST(PoseAhead, NeverGoesPastTheNextStepNorBehindTheLastOne) {
    Boarder b;
    placeBoarder(b, 100.0f);
    const BoarderPose start = b.pose();
    const BoarderPose whole = poseAhead(start, b.speed, kMaxSecondsAhead);
    // A late tick (the frame drawn long after the step was due), a stall, a clock read before
    // the step: the drawn boarder stays on the segment between the two steps.
    for (double late :
         {0.0500001, 0.051, 0.2, 5.0, 1e300, std::numeric_limits<double>::infinity()}) {
        const BoarderPose p = poseAhead(start, b.speed, late);
        EXPECT_EQ(p.position.x, whole.position.x) << late;
        EXPECT_EQ(p.position.z, whole.position.z) << late;
    }
    for (double early : {-0.001, -1.0, -std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()}) {
        const BoarderPose p = poseAhead(start, b.speed, early);
        EXPECT_EQ(p.position.x, start.position.x) << early;
        EXPECT_EQ(p.position.z, start.position.z) << early;
        EXPECT_FALSE(std::isnan(p.position.y)) << early;
    }
}

TEST(PoseAhead, AtSpeedZeroTheBoarderStaysPut) {
    Boarder b;
    placeBoarder(b, 0.0f);
    for (double t : {0.0, 0.01, 0.05, 1.0}) {
        const BoarderPose p = poseAhead(b.pose(), b.speed, t);
        EXPECT_EQ(p.position.x, b.position.x) << t;
        EXPECT_EQ(p.position.z, b.position.z) << t;
        expectOnGround(p);
    }
}

TEST(PoseAhead, AfterATurnTheBoarderMovesOnAlongItsNewHeading) {
    Boarder b;
    placeBoarder(b, 40.0f);
    const Vec3 before = b.direction;
    b.turn(10.0f);  // a key's turn between two steps
    const BoarderPose p = poseAhead(b.pose(), b.speed, 0.03);
    const Vec3 moved = p.position - b.position;
    // 40 m/s for 30 ms: 1.2 m, along the new heading and not the old one.
    EXPECT_NEAR(moved.x, 1.2f * b.direction.x, 1e-4);
    EXPECT_NEAR(moved.z, 1.2f * b.direction.z, 1e-4);
    EXPECT_GT(std::fabs(moved.z - 1.2f * before.z), 0.1f);
    EXPECT_EQ(p.heading, b.rotation.y);
    // And the next step lands at the end of that line.
    const BoarderPose whole = poseAhead(b.pose(), b.speed, kMaxSecondsAhead);
    b.moveForward(0.0f);
    EXPECT_EQ(whole.position.x, b.position.x);
    EXPECT_EQ(whole.position.z, b.position.z);
}

// The steps' frames set the camera up before the boarder's height is brought up to date, so they
// look from the height where the boarder stood a step before; the frames between them must move
// the view smoothly from one step's frame to the next.
TEST(PoseAhead, TheCameraLooksFromTheHeightTheStepsFramesUseAtEitherEnd) {
    Boarder b;
    placeBoarder(b, 100.0f);
    b.moveForward(0.0f);  // a step: the boarder drawn in its frame, its height brought up to date
    const Vec3 before = b.position;
    b.position.y = heightAt(b.position.x, b.position.z);
    b.moveForward(0.0f);  // the next step's frame looks from the height the last frame left
    const float nextFrameLooksFrom = b.position.y;
    b.position = before;
    b.position.y = heightAt(before.x, before.z);

    // Right at the step: as that step's own frame, which looked from a step further back.
    const BoarderPose atStep = cameraPoseAhead(poseAhead(b.pose(), b.speed, 0.0), b.speed);
    const Vec3 back = before - b.direction * 5.0f;
    EXPECT_NEAR(atStep.position.y, heightAt(back.x, back.z), 1e-3f);
    // A whole step on: as the next step's frame.
    const BoarderPose whole =
        cameraPoseAhead(poseAhead(b.pose(), b.speed, kMaxSecondsAhead), b.speed);
    EXPECT_NEAR(whole.position.y, nextFrameLooksFrom, 1e-3f);
    // Only the height differs from the drawn pose.
    const BoarderPose half = poseAhead(b.pose(), b.speed, 0.025);
    const BoarderPose looked = cameraPoseAhead(half, b.speed);
    EXPECT_EQ(looked.position.x, half.position.x);
    EXPECT_EQ(looked.position.z, half.position.z);
    EXPECT_EQ(looked.heading, half.heading);
    // Standing still there is nothing behind: the height under the boarder.
    const BoarderPose still = cameraPoseAhead(poseAhead(b.pose(), 0.0f, 0.03), 0.0f);
    EXPECT_EQ(still.position.y, heightAt(b.position.x, b.position.z));
}
