#include "scene/boarder.h"

#include <gtest/gtest.h>

#include <cmath>

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include "scene_test_support.h"
#include "world/heightmap.h"

namespace {

void expectStartState(const Boarder& b) {
    EXPECT_EQ(b.position.x, 100.0f);
    EXPECT_EQ(b.position.y, heightAt(100.0f, 0.0f));
    EXPECT_EQ(b.position.z, 0.0f);
    EXPECT_EQ(b.direction.x, 1.0f);
    EXPECT_EQ(b.direction.z, 0.0f);
    EXPECT_EQ(b.side.z, 1.0f);
    EXPECT_EQ(b.up.y, 1.0f);
    EXPECT_EQ(b.rotation.y, 0.0f);
    EXPECT_EQ(b.speed, 0.0f);
    EXPECT_EQ(b.gatesPassed, 0);
    EXPECT_EQ(b.gateFailures, 0);
}

}  // namespace

TEST(BoarderMotion, HasTheStartStateFromConstruction) {
    Boarder b;
    expectStartState(b);
    b.moveForward(0.0f);  // a timer tick before init
    EXPECT_EQ(b.position.x, 100.0f);
}

TEST(BoarderMotion, SpeedIsClampedAndEachCallTakesOneStep) {
    struct Case {
        float speedBefore, change, speedAfter, step;
    };
    const Case cases[] = {
        {0.0f, 10.0f, 10.0f, 0.5f},    // Up from rest
        {95.0f, 10.0f, 100.0f, 5.0f},  // Up near the top stops at 100
        {5.0f, -10.0f, 0.0f, 0.0f},    // Down near rest stops at 0 and stays
        {0.0f, -10.0f, 0.0f, 0.0f},    // Down at rest
        {100.0f, 0.0f, 100.0f, 5.0f},  // a tick at full speed
        {0.0f, 0.0f, 0.0f, 0.0f},      // a tick at rest moves nothing
    };
    for (const Case& c : cases) {
        Boarder b;
        b.speed = c.speedBefore;
        b.moveForward(c.change);
        EXPECT_EQ(b.speed, c.speedAfter) << c.speedBefore << " + " << c.change;
        EXPECT_FLOAT_EQ(b.position.x, 100.0f + c.step) << c.speedBefore << " + " << c.change;
        EXPECT_EQ(b.position.z, 0.0f);
    }
}

TEST(BoarderMotion, StepsFollowTheHeading) {
    Boarder b;
    b.turn(90.0f);  // left of +x is -z
    b.moveForward(100.0f);
    EXPECT_NEAR(b.position.x, 100.0f, 1e-5f);
    EXPECT_NEAR(b.position.z, -5.0f, 1e-5f);
}

TEST(BoarderMotion, TurnsLeftAndComesBackAfterAFullCircle) {
    Boarder b;
    b.turn(10.0f);
    const float s = std::sin(10.0 * 0.017453292519943295);
    const float k = std::cos(10.0 * 0.017453292519943295);
    EXPECT_FLOAT_EQ(b.direction.x, k);
    EXPECT_FLOAT_EQ(b.direction.z, -s);
    EXPECT_FLOAT_EQ(b.side.x, s);
    EXPECT_FLOAT_EQ(b.side.z, k);
    for (int i = 1; i < 36; ++i) {
        b.turn(10.0f);
    }
    EXPECT_EQ(b.rotation.y, 360.0f);  // the sum of the turns, not wrapped
    EXPECT_NEAR(b.direction.x, 1.0f, 1e-5f);
    EXPECT_NEAR(b.direction.z, 0.0f, 1e-5f);
    EXPECT_EQ(b.direction.y, 0.0f);
    EXPECT_NEAR(b.side.z, 1.0f, 1e-5f);
}

TEST(BoarderInit, BuildsTheGraphAndRestoresTheStartState) {
    ScopedWorkingDir dir(kCubeBoarder);
    Boarder b;
    b.speed = 50.0f;
    b.position = Vec3(500.0f, 0.0f, 30.0f);
    b.turn(30.0f);
    b.gatesPassed = 4;
    b.gateFailures = 2;
    CoutCapture out;
    b.init();
    EXPECT_EQ(out.text(), "");
    expectStartState(b);
    ASSERT_NE(b.sceneRoot, nullptr);
    ASSERT_NE(b.model, nullptr);
    EXPECT_EQ(b.sceneRoot->getRefCount(), 1);
    ASSERT_EQ(b.sceneRoot->getNumChildren(), 1);
    EXPECT_EQ(b.sceneRoot->getChild(0), b.modelGroup);
    ASSERT_EQ(b.modelGroup->getNumChildren(), 2);
    EXPECT_EQ(b.modelGroup->getChild(0), b.modelTransform);
    EXPECT_EQ(b.modelGroup->getChild(1), b.model);
    EXPECT_EQ(b.modelTransform->translation.getValue(), SbVec3f(-19.0f, 0.0f, 0.0f));
    EXPECT_EQ(b.modelTransform->scaleFactor.getValue(), SbVec3f(2.0f, 2.0f, 2.0f));
}

TEST(BoarderInit, AMissingModelIsReportedAndLeavesNoNullChild) {
    ScopedWorkingDir dir;
    Boarder b;
    CoutCapture out;
    b.init();
    EXPECT_EQ(out.text(),
              ".iv boarder file not found: boarder.iv\n"
              "Problem reading .iv boarder file: boarder.iv\n");
    EXPECT_EQ(b.model, nullptr);
    ASSERT_EQ(b.modelGroup->getNumChildren(), 1);
    EXPECT_EQ(b.modelGroup->getChild(0), b.modelTransform);
    expectStartState(b);
}

TEST(BoarderInit, ANewGameReleasesThePreviousGraph) {
    ScopedWorkingDir dir(kCubeBoarder);
    Boarder b;
    b.init();
    SoSeparator* previous = b.sceneRoot;
    previous->ref();  // keep it alive to see whether the boarder let go of it
    b.init();
    EXPECT_NE(b.sceneRoot, previous);
    EXPECT_EQ(previous->getRefCount(), 1);
    previous->unref();
}
