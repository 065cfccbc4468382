#include "world/gates.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <algorithm>
#include <memory>

#include "scene/boarder.h"
#include "support/cout_capture.h"
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
        {0, 220.0f, -40.0f, "gate 0passed\n", 1, 1},
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

// ---- Drawing -----------------------------------------------------------------------------------

// An offscreen GL context rendering into a framebuffer of the given size.
class Canvas {
public:
    Canvas(int width, int height) {
        surface_.create();
        ok_ = context_.create() && context_.makeCurrent(&surface_);
        if (ok_) {
            fbo_ = std::make_unique<QOpenGLFramebufferObject>(width, height);
            fbo_->bind();
            glViewport(0, 0, width, height);
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
    }
    ~Canvas() {
        fbo_.reset();
        context_.doneCurrent();
    }
    bool ok() const { return ok_; }
    QImage image() { return fbo_->toImage(); }

private:
    QOffscreenSurface surface_;
    QOpenGLContext context_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    bool ok_ = false;
};

// Looks along -z with an orthographic view of world x in [left, right], y in [bottom, top].
void lookFromFront(double left, double right, double bottom, double top) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -5000.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

const QRgb black = qRgb(0, 0, 0);
const QRgb red = qRgb(255, 0, 0);
const QRgb blue = qRgb(0, 0, 255);

TEST(GatesDrawing, PoleIsAnUprightCylinderOfTenthRadiusOnTheCallersMatrix) {
    // 10 pixels per metre: x from -5 to 5, y from -5 to 25.
    Canvas canvas(100, 300);
    ASSERT_TRUE(canvas.ok());
    lookFromFront(-5.0, 5.0, -5.0, 25.0);
    drawPole(0.0f, 0.0f, 0.0f, 20.0f, 0);
    // On a translated matrix, with a colour of the caller's own.
    glTranslatef(10.0f, 0.0f, 0.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    GLfloat matrixBefore[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixBefore);
    drawPole(-10.0f, 0.0f, 0.0f, 1.0f, 1);  // 1 m high at x = 0, over the red one
    GLfloat matrixAfter[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixAfter);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_TRUE(std::equal(matrixBefore, matrixBefore + 16, matrixAfter));
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[0], 0.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const QImage image = canvas.image();
    auto at = [&](double x, double y) {
        return image.pixel(static_cast<int>((x + 5.0) * 10.0), static_cast<int>((25.0 - y) * 10.0));
    };
    EXPECT_EQ(at(0.0, 10.0), red);
    EXPECT_EQ(at(0.0, 19.5), red);
    EXPECT_EQ(at(0.0, 20.5), black);  // 20 m high...
    EXPECT_EQ(at(0.0, -0.5), black);  // ...standing on its base
    EXPECT_EQ(at(-1.7, 10.0), red);
    EXPECT_EQ(at(1.7, 10.0), red);
    EXPECT_EQ(at(-2.3, 10.0), black);  // radius 2
    EXPECT_EQ(at(2.3, 10.0), black);
    EXPECT_EQ(at(0.0, 0.5), blue);  // the small odd pole, radius 0.1
    EXPECT_EQ(at(0.5, 0.5), red);
}

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
    lookFromFront(190.0, 910.0, bottom, top);
    drawGates(gates);
    const QImage image = canvas.image();
    auto at = [&](double x, double y) {
        return image.pixel(static_cast<int>(x - 190.0),
                           static_cast<int>((top - y) / (top - bottom) * rows));
    };
    for (int i = 0; i < 10; ++i) {
        const float ground = heightAt(gates[i].x, gates[i].z);
        EXPECT_EQ(at(gates[i].x, ground + 10.0), i % 2 == 0 ? red : blue) << i;
        EXPECT_EQ(at(gates[i].x, ground + 22.0), black) << i;
        EXPECT_EQ(at(gates[i].x + 10.0, ground + 10.0), black) << i;
    }
}

}  // namespace
