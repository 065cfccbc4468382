#include "world/gates.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "scene/boarder.h"
#include "support/game_probe.h"
#include "world/heightmap.h"

namespace {

// ---- The pass check ----------------------------------------------------------------------------

class GatesCheck : public ::testing::Test {
protected:
    void SetUp() override { setUpGates(gates); }

    // Puts the boarder at (x, z), runs the check and returns what it printed.
    std::string checkAt(float x, float z) {
        boarder.position.x = x;
        boarder.position.z = z;
        CoutCapture capture;
        checkGates(gates, boarder);
        return capture.text();
    }

    Vec3 gates[10];
    Boarder boarder;  // start state: both counters 0
};

struct PassCase {
    int gatesPassed;  // before the check
    float x, z;
    const char* printed;
    int gatesPassedAfter;
    int failures;
};

TEST_F(GatesCheck, JudgesTheWindowAndTheSide) {
    const PassCase cases[] = {
        // Gate 0, red at (220, -17): window strictly between 218 and 222.
        {0, 221.0f, 0.0f, "gate 0passed\n", 1, 0},
        {0, 218.01f, 0.0f, "gate 0passed\n", 1, 0},
        {0, 221.99f, 0.0f, "gate 0passed\n", 1, 0},
        {0, 222.0f, 0.0f, "", 0, 0},
        {0, 218.0f, 0.0f, "", 0, 0},
        {0, 220.0f, -16.99f, "gate 0passed\n", 1, 0},
        {0, 220.0f, -17.0f, "gate 0passed\n", 1, 1},  // red at the pole's z: wrong side
        // Gate 1, blue at (270, -30).
        {1, 269.0f, -30.0f, "gate 1passed\n", 2, 0},  // blue at the pole's z: right side
        {1, 269.0f, -29.9f, "gate 1passed\n", 2, 1},
        {1, 271.0f, -80.0f, "gate 1passed\n", 2, 0},
        // Gate 9, blue at (880, 84): the last one.
        {9, 880.0f, 90.0f, "gate 9passed\n", 10, 1},
        // Gates before gatesPassed are not looked at again.
        {1, 221.0f, 0.0f, "", 1, 0},
        {10, 880.0f, 90.0f, "", 10, 0},
    };
    for (const PassCase& c : cases) {
        boarder.gatesPassed = c.gatesPassed;
        boarder.gateFailures = 0;
        EXPECT_EQ(checkAt(c.x, c.z), c.printed) << c.x << ", " << c.z;
        EXPECT_EQ(boarder.gatesPassed, c.gatesPassedAfter) << c.x << ", " << c.z;
        EXPECT_EQ(boarder.gateFailures, c.failures) << c.x << ", " << c.z;
    }
}

TEST_F(GatesCheck, GateJumpedOverStaysUnjudgedAndTheNextIsJudgedOnce) {
    // Gate 0's window went by between two checks; the boarder is now inside gate 1's, wrong side.
    EXPECT_EQ(checkAt(269.0f, -20.0f), "gate 1passed\n");
    EXPECT_EQ(boarder.gatesPassed, 2);
    // Still inside gate 1's window at the next check: not passed a second time.
    EXPECT_EQ(checkAt(270.5f, -20.0f), "");
    EXPECT_EQ(boarder.gatesPassed, 2);
    EXPECT_EQ(boarder.gateFailures, 1);
    // Turning back to gate 0 judges nothing either: it lies before gatesPassed.
    EXPECT_EQ(checkAt(220.0f, 0.0f), "");
}

// ---- Strides between two checks ----------------------------------------------------------------

// Puts a boarder at its start state at (x, z), heading `degrees` from +x (positive turns left,
// towards -z).
void place(Boarder& b, float x, float z, float degrees) {
    b.position.x = x;
    b.position.z = z;
    b.turn(degrees);
}

// Runs `b` at speed 100 (5 m a step) until it is past the finish, checking every `stepsPerCheck`
// steps; returns what the checks printed.
std::string runStrided(Vec3 gates[10], Boarder& b, int stepsPerCheck) {
    CoutCapture capture;
    b.moveForward(100.0f);
    while (b.position.x < 960.0f) {
        for (int i = 1; i < stepsPerCheck; ++i) {
            b.moveForward(0.0f);
        }
        checkGates(gates, b);
        b.moveForward(0.0f);
    }
    return capture.text();
}

TEST_F(GatesCheck, StridesAtFullSpeedJudgeEveryGateAsAMetreByMetreRunWould) {
    std::string allTen;
    for (int i = 0; i < 10; ++i) {
        allTen += "gate " + std::to_string(i) + "passed\n";
    }
    // Straight down the course, and a line drifting 10 degrees to the right.
    for (const float heading : {0.0f, -10.0f}) {
        // Reference: the boarder put by hand on every metre of the line, judged by the window.
        Boarder reference;
        place(reference, 105.0f, 0.0f, heading);
        const Vec3 d = reference.direction;
        {
            CoutCapture quiet;
            for (int metre = 0; metre < 900; ++metre) {
                const float x = 105.0f + metre;
                reference.position.x = x;
                reference.position.z = (x - 105.0f) * d.z / d.x;
                checkGates(gates, reference);
            }
        }
        ASSERT_EQ(reference.gatesPassed, 10);
        EXPECT_EQ(reference.gateFailures, heading == 0.0f ? 6 : 5);

        // Checked every two steps (10 m of path): straight down no check falls in a window.
        Boarder fast;
        place(fast, 105.0f, 0.0f, heading);
        EXPECT_EQ(runStrided(gates, fast, 2), allTen) << heading;
        EXPECT_EQ(fast.gatesPassed, 10) << heading;
        EXPECT_EQ(fast.gateFailures, reference.gateFailures) << heading;
    }
}

TEST_F(GatesCheck, OneStrideOverTwoGatesJudgesBothInOrder) {
    boarder.position = Vec3(215.0f, 0.0f, 0.0f);
    EXPECT_EQ(checkAt(215.0f, 0.0f), "");
    boarder.moveForward(100.0f);
    for (int i = 1; i < 12; ++i) {
        boarder.moveForward(0.0f);  // 215 -> 275: past gate 0 (x 220) and gate 1 (x 270)
    }
    CoutCapture capture;
    checkGates(gates, boarder);
    EXPECT_EQ(capture.text(), "gate 0passed\ngate 1passed\n");
    EXPECT_EQ(boarder.gatesPassed, 2);
    EXPECT_EQ(boarder.gateFailures, 1);  // z 0 is right of red gate 0, wrong of blue gate 1
}

TEST_F(GatesCheck, TheSideOfAStrideIsWhereItMetTheGate) {
    // From z -30 to beyond -12 across red gate 0 (z -17): at the gate's x the boarder was at
    // z -20, the wrong side, though it ends on the right one.
    boarder.position = Vec3(215.0f, 0.0f, -30.0f);
    boarder.direction = normalize(Vec3(1.0f, 0.0f, 2.0f));
    boarder.moveForward(100.0f);
    for (int i = 1; i < 4; ++i) {
        boarder.moveForward(0.0f);
    }
    ASSERT_GT(boarder.position.x, 222.0f);
    ASSERT_GT(boarder.position.z, -17.0f);
    CoutCapture capture;
    checkGates(gates, boarder);
    EXPECT_EQ(capture.text(), "gate 0passed\n");
    EXPECT_EQ(boarder.gateFailures, 1);
}

TEST_F(GatesCheck, APositionSetByHandIsNoStride) {
    EXPECT_EQ(checkAt(215.0f, 0.0f), "");
    EXPECT_EQ(checkAt(230.0f, 0.0f), "");  // jumped over gate 0's window by hand
    boarder.moveForward(0.0f);              // a step at speed 0 moves nothing
    EXPECT_EQ(checkAt(275.0f, 0.0f), "");
    // A stride is used up by the check that sees it, and init starts without one.
    boarder.position.x = 215.0f;
    boarder.moveForward(100.0f);
    {
        CoutCapture quiet;  // no model file here
        boarder.init();
    }
    EXPECT_EQ(checkAt(230.0f, 0.0f), "");
    EXPECT_EQ(boarder.gatesPassed, 0);
}

// ---- Drawing -----------------------------------------------------------------------------------

const QRgb black = qRgb(0, 0, 0);
const QRgb red = qRgb(255, 0, 0);
const QRgb blue = qRgb(0, 0, 255);

TEST(GatesDrawing, TenPolesStandOnTheGroundRedAndBlueInTurn) {
    Vec3 gates[10];
    setUpGates(gates);
    float low = heightAt(gates[0].x, gates[0].z);
    float high = low;
    for (const Vec3& g : gates) {
        low = std::min(low, heightAt(g.x, g.z));
        high = std::max(high, heightAt(g.x, g.z));
    }
    // 1 pixel per metre across, at least 4 pixels per metre upwards.
    const double bottom = low - 10.0;
    const double top = high + 30.0;
    const int rows = std::min(4000, static_cast<int>((top - bottom) * 4.0));
    Canvas canvas(720, rows);
    ASSERT_TRUE(canvas.ok());
    // Along -z, orthographic: world x 190..910 across, y bottom..top upwards.
    glMatrixMode(GL_PROJECTION);
    glOrtho(190.0, 910.0, bottom, top, -5000.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    drawGates(gates);
    const QImage image = canvas.image();
    auto at = [&](double x, double y) {
        return image.pixel(static_cast<int>(x - 190.0),
                           static_cast<int>((top - y) / (top - bottom) * rows));
    };
    for (int i = 0; i < 10; ++i) {
        const float ground = heightAt(gates[i].x, gates[i].z);
        EXPECT_EQ(at(gates[i].x, ground + 10.0), i % 2 == 0 ? red : blue) << i;
        EXPECT_EQ(at(gates[i].x, ground + 22.0), black) << i;        // 20 m high
        EXPECT_EQ(at(gates[i].x, ground - 2.0), black) << i;         // standing on the ground
        EXPECT_EQ(at(gates[i].x + 2.3, ground + 10.0), black) << i;  // radius 2
        EXPECT_EQ(at(gates[i].x + 1.7, ground + 10.0), i % 2 == 0 ? red : blue) << i;
    }
}

}  // namespace
