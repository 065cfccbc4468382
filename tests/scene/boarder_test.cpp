#include "scene/boarder.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>
#include <cmath>
#include <cstring>

#include "support/game_probe.h"
#include "world/heightmap.h"

namespace {

const std::string cube = flatBox(3, 3, 3, Rgb{255, 0, 255});

void expectStartState(const Boarder& b) {
    EXPECT_EQ(b.position.x, 100.0f);
    EXPECT_EQ(b.position.y, heightAt(100.0f, 0.0f));
    EXPECT_EQ(b.position.z, 0.0f);
    EXPECT_EQ(b.direction.x, 1.0f);
    EXPECT_EQ(b.side.z, 1.0f);
    EXPECT_EQ(b.rotation.y, 0.0f);
    EXPECT_EQ(b.speed, 0.0f);
    EXPECT_EQ(b.gatesPassed, 0);
    EXPECT_EQ(b.gateFailures, 0);
}

// Puts a pipe holding a valid scene on standard input while it lives, so that a reader that
// wrongly falls back to the console would read a scene instead of waiting.
class ScopedSceneOnStdin {
public:
    ScopedSceneOnStdin() : saved_(dup(0)) {
        int fds[2];
        if (pipe(fds) == 0) {
            EXPECT_EQ(write(fds[1], cube.data(), cube.size()), static_cast<ssize_t>(cube.size()));
            close(fds[1]);
            dup2(fds[0], 0);
            close(fds[0]);
        }
    }
    ~ScopedSceneOnStdin() {
        dup2(saved_, 0);
        close(saved_);
    }

private:
    int saved_;
};

}  // namespace

TEST(BoarderMotion, SpeedIsClampedAndEachCallTakesOneStep) {
    struct Case {
        float speedBefore, change, speedAfter, step;
    };
    const Case cases[] = {
        {0.0f, 10.0f, 10.0f, 0.5f},    // Up from rest
        {95.0f, 10.0f, 100.0f, 5.0f},  // Up near the top stops at 100
        {5.0f, -10.0f, 0.0f, 0.0f},    // Down near rest stops at 0 and stays
        {100.0f, 0.0f, 100.0f, 5.0f},  // a tick at full speed
        {0.0f, 0.0f, 0.0f, 0.0f},      // a tick at rest, also before init, moves nothing
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

TEST(BoarderMotion, TurnsLeftStepsAlongTheHeadingAndComesBackAfterAFullCircle) {
    Boarder b;
    b.turn(10.0f);
    const float s = std::sin(10.0 * 0.017453292519943295);
    const float k = std::cos(10.0 * 0.017453292519943295);
    EXPECT_FLOAT_EQ(b.direction.x, k);
    EXPECT_FLOAT_EQ(b.direction.z, -s);
    EXPECT_FLOAT_EQ(b.side.x, s);
    EXPECT_FLOAT_EQ(b.side.z, k);
    b.moveForward(100.0f);
    EXPECT_FLOAT_EQ(b.position.x, 100.0f + 5.0f * k);
    EXPECT_FLOAT_EQ(b.position.z, -5.0f * s);
    for (int i = 1; i < 36; ++i) {
        b.turn(10.0f);
    }
    EXPECT_EQ(b.rotation.y, 360.0f);  // the sum of the turns, not wrapped
    EXPECT_NEAR(b.direction.x, 1.0f, 1e-5f);
    EXPECT_NEAR(b.direction.z, 0.0f, 1e-5f);
    EXPECT_EQ(b.direction.y, 0.0f);
}

TEST(BoarderInit, RestoresTheStartStateAndReleasesThePreviousGraph) {
    TempWorkDir dir;
    writeFile("boarder.iv", cube);
    Boarder b;
    b.init();
    ASSERT_NE(b.model, nullptr);
    b.speed = 50.0f;
    b.position = Vec3(500.0f, 0.0f, 30.0f);
    b.turn(30.0f);
    b.gatesPassed = 4;
    b.gateFailures = 2;
    SoSeparator* previous = b.sceneRoot;
    previous->ref();  // keep it alive to see whether the boarder let go of it
    CoutCapture out;
    b.init();
    EXPECT_EQ(out.text(), "");
    expectStartState(b);
    EXPECT_NE(b.sceneRoot, previous);
    EXPECT_EQ(previous->getRefCount(), 1);
    previous->unref();
}

TEST(BoarderInit, AMissingModelIsReportedNeverReadFromTheConsoleAndLeavesNoNullChild) {
    TempWorkDir dir;
    ScopedSceneOnStdin stdinHoldsAScene;
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

TEST(BoarderDraw, LeavesTheGLStateAsItFoundItAndStandsOnTheGround) {
    TempWorkDir dir;
    writeFile("boarder.iv", cube);
    Canvas canvas(320, 200);
    ASSERT_TRUE(canvas.ok());
    glMatrixMode(GL_PROJECTION);
    glFrustum(-1.0, 1.0, -1.0, 1.0, 0.1, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glScalef(0.0005f, 0.0005f, 0.0005f);
    GLfloat before[32], after[32];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    glGetFloatv(GL_PROJECTION_MATRIX, before + 16);

    Boarder boarder;
    boarder.init();
    boarder.position = Vec3(300.0f, 0.0f, 40.0f);
    boarder.draw();

    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    glGetFloatv(GL_PROJECTION_MATRIX, after + 16);
    EXPECT_EQ(std::memcmp(before, after, sizeof before), 0);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(boarder.position.y, heightAt(300.0f, 40.0f));
}
