// The scene widget: its size and projection, wire mode, and on the real window the keyboard focus,
// the keys, the value slots, the boarder where the chase camera looks, and the frames drawn
// between the motion steps.
#include "scene/glwidget.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLCDNumber>
#include <QMetaMethod>
#include <QOpenGLWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "app/window.h"
#include "support/game_probe.h"
#include "world/heightmap.h"

namespace {

const double degree = 0.017453292519943295;

// A widget whose GL hooks the tests may call directly.
class OpenGLWidget : public GLWidget {
public:
    using GLWidget::resizeGL;
};

// A widget that counts the frames it draws.
class CountingWidget : public GLWidget {
public:
    int frames = 0;

protected:
    void paintGL() override {
        GLWidget::paintGL();
        ++frames;
    }
};

}  // namespace

TEST(GLWidget, AsksForSevenHundredSquareAndKeepsAspectAndTwentyDegrees) {
    OpenGLWidget widget;
    EXPECT_EQ(widget.sizeHint(), QSize(700, 700));
    EXPECT_EQ(widget.minimumSizeHint(), QSize(700, 700));
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    widget.resize(700, 350);
    QTest::qWait(50);
    ASSERT_EQ(widget.size(), QSize(700, 350));
    widget.makeCurrent();
    GLdouble m[16];
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    // gluPerspective: m[5] = cot(fovy / 2), m[0] = m[5] / aspect. GL keeps the matrix in floats.
    EXPECT_NEAR(m[5] / m[0], 2.0, 1e-6);
    EXPECT_NEAR(2.0 * std::atan(1.0 / m[5]), 20.0 * degree, 1e-6);
    EXPECT_NEAR(m[10], 10.1 / -9.9, 1e-6);  // near 0.1, far 10
    // A height of 0 must not divide by zero.
    widget.resizeGL(700, 0);
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    widget.doneCurrent();
    for (double v : m) {
        EXPECT_TRUE(std::isfinite(v));
    }
}

TEST(GLWidget, IsAWidgetWithThreeSignalsThenEightSlots) {
    const QMetaObject& meta = GLWidget::staticMetaObject;
    EXPECT_STREQ(meta.className(), "GLWidget");
    EXPECT_EQ(meta.superClass(), &QWidget::staticMetaObject);
    const char* const methods[] = {
        "xRotationChanged(int)", "yRotationChanged(int)", "zRotationChanged(int)",
        "setXRotation(int)",     "setYRotation(int)",     "setZRotation(int)",
        "setXCamPosition(int)",  "setYCamPosition(int)",  "setZCamPosition(int)",
        "toggleWireMode()",      "boarderMoveForward()"};
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), 11);
    for (int i = 0; i < 11; ++i) {
        const QMetaMethod m = meta.method(meta.methodOffset() + i);
        EXPECT_EQ(m.methodSignature(), methods[i]);
        EXPECT_EQ(m.methodType(), i < 3 ? QMetaMethod::Signal : QMetaMethod::Slot);
    }
}

TEST(GLWidget, BeforeItIsShownThereIsNoFrameAndNoContextToMakeCurrent) {
    CoutCapture console;
    CountingWidget widget;
    widget.makeCurrent();  // nothing to make current: no crash, no GL set-up
    widget.doneCurrent();
    EXPECT_TRUE(widget.grabFramebuffer().isNull());
    widget.updateGL();
    EXPECT_EQ(widget.frames, 0);
}

TEST(GLWidget, AfterFirstFrameRunsOnceWhenAFrameHasBeenPresented) {
    TempWorkDir dir;
    CoutCapture console;
    CountingWidget widget;
    for (QTimer* timer : widget.findChildren<QTimer*>()) {
        timer->stop();
    }
    int calls = 0;
    int framesAtCall = -1;
    widget.afterFirstFrame([&] {
        ++calls;
        framesAtCall = widget.frames;
    });
    // Before the scene is on screen nothing is drawn, let alone presented.
    widget.updateGL();
    EXPECT_EQ(calls, 0);

    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QTest::qWait(100);
    ASSERT_EQ(calls, 1);
    EXPECT_GE(framesAtCall, 1);
    widget.updateGL();
    widget.updateGL();
    EXPECT_EQ(calls, 1) << "once, not at every frame";

    // Once a frame was presented, a late caller is called at once.
    bool late = false;
    widget.afterFirstFrame([&] { late = true; });
    EXPECT_TRUE(late);
}

TEST(GLWidget, UpdateGLAndEveryHandlerDrawOneFrameAtOnce) {
    TempWorkDir dir;
    CoutCapture console;
    CountingWidget widget;
    for (QTimer* timer : widget.findChildren<QTimer*>()) {
        timer->stop();
    }
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QTest::qWait(100);

    // Whether or not anything changed: a tick at speed 0 still redraws.
    const struct {
        const char* what;
        std::function<void()> draw;
        int frames;
    } cases[] = {
        {"updateGL, nothing changed", [&] { widget.updateGL(); }, 1},
        {"a tick at speed 0", [&] { widget.boarderMoveForward(); }, 1},
        {"a slot", [&] { widget.setXRotation(3); }, 1},
        {"a key press and its release", [&] { QTest::keyClick(&widget, Qt::Key_Left); }, 2},
        {"an unlisted key", [&] { QTest::keyClick(&widget, Qt::Key_Space); }, 2},
    };
    for (const auto& c : cases) {
        const int before = widget.frames;
        c.draw();
        EXPECT_EQ(widget.frames - before, c.frames) << c.what;
    }
}

TEST(GLWidget, ALateTickTakesTheStepsItMissedEachTheUsualStep) {
    TempWorkDir dir;
    CoutCapture console;  // no model files here
    GLWidget widget;
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    Boarder& b = widget.boarder;
    b.turn(-10.0f);
    b.speed = 10.0f;
    // The same motion, stepped by hand.
    Boarder expected;
    expected.position = b.position;
    expected.direction = b.direction;
    expected.speed = b.speed;

    // The event loop stalls for 14 periods: the next tick takes ten steps (the cap), no more.
    QThread::msleep(700);
    QCoreApplication::processEvents();
    for (int i = 0; i < 10; ++i) {
        expected.moveForward(0.0f);
    }
    EXPECT_EQ(b.position.x, expected.position.x);
    EXPECT_EQ(b.position.z, expected.position.z);

    // Afterwards the timer goes on at one step per tick, nothing owed from the stall: the boarder
    // moves on, never further than the real time since (a busy machine may deliver the last tick
    // of the second late, so only the upper bound is tight).
    const Vec3 before = b.position;
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1000);
    const double seconds = clock.elapsed() / 1000.0;
    const float metres = std::hypot(b.position.x - before.x, b.position.z - before.z);
    EXPECT_LE(metres, 10.0 * seconds + 0.5);
    EXPECT_GE(metres, 5.0f);
}

TEST(GLWidget, WireSolidButtonSwitchesPolygonModeAndSaysSo) {
    Window window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    GLWidget* widget = window.glWidget;
    CoutCapture out;
    GLint modes[2][2] = {};
    for (GLint* mode : modes) {
        window.wireSolidButton->click();
        widget->grabFramebuffer();  // draws a frame
        widget->makeCurrent();
        glGetIntegerv(GL_POLYGON_MODE, mode);
        widget->doneCurrent();
    }
    EXPECT_EQ(out.text(), "Wire Mode:\nSolid Mode:\n");
    EXPECT_EQ(modes[0][0], GL_LINE);
    EXPECT_EQ(modes[0][1], GL_LINE);
    EXPECT_EQ(modes[1][0], GL_FILL);
    EXPECT_EQ(modes[1][1], GL_FILL);
}

namespace {

// The real window over a folder holding only the boarder's model: a magenta cube (a colour
// nothing else in the scene has), 6 m wide once the boarder's transform has scaled it, centred
// 10 m above the boarder's foot and 10 m to its right. The scene's own timer is stopped, so that
// only the keys move the boarder.
class GLWidgetInWindow : public testing::Test {
protected:
    void SetUp() override {
        writeFile("boarder.iv", flatBox(3, 3, 3, Rgb{255, 0, 255}, 9.5f, -5.0f, 5.0f));
        window_ = std::make_unique<Window>();
        widget_ = window_->glWidget;
        for (QTimer* timer : widget_->findChildren<QTimer*>()) {
            timer->stop();
        }
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }

    // Keys go to the window as the window system would send them: to its focus widget.
    void press(Qt::Key key) { QTest::keyClick(window_->windowHandle(), key); }
    void click(QWidget* widget, QPoint at) {
        QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {},
                          widget->mapTo(window_.get(), at));
    }
    void clickIntoScene() { click(widget_, QPoint(100, 120)); }

    // The native window the scene is drawn on, where the window system delivers the scene's
    // input.
    QWindow* surface() const {
        for (QWindow* w : QGuiApplication::allWindows()) {
            if (qobject_cast<QOpenGLWindow*>(w) != nullptr &&
                w->parent() == window_->windowHandle()) {
                return w;
            }
        }
        return nullptr;
    }

    TempWorkDir dir_;
    CoutCapture console_;  // the other models are reported missing
    std::unique_ptr<Window> window_;
    GLWidget* widget_ = nullptr;
};

}  // namespace

TEST_F(GLWidgetInWindow, ArrowKeysReachTheBoarderOnlyWhileTheSceneHasTheFocus) {
    press(Qt::Key_Up);
    press(Qt::Key_Left);
    EXPECT_EQ(widget_->boarder.speed, 0.0f);
    EXPECT_EQ(widget_->boarder.rotation.y, 0.0f);

    clickIntoScene();
    EXPECT_TRUE(widget_->hasFocus());
    EXPECT_EQ(widget_->lastPos, QPoint(100, 120));
    press(Qt::Key_Up);
    EXPECT_EQ(widget_->boarder.speed, 10.0f);
    EXPECT_FLOAT_EQ(widget_->boarder.position.x, 100.5f);
    press(Qt::Key_Left);
    EXPECT_EQ(widget_->boarder.rotation.y, 10.0f);
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    EXPECT_EQ(widget_->boarder.rotation.y, -10.0f);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(widget_->boarder.speed, 0.0f);
    press(Qt::Key_Space);  // unlisted: no change
    EXPECT_EQ(widget_->boarder.speed, 0.0f);

    // A display without focus keeps it in the scene; the clock's display takes it away.
    click(window_->gateFailuresLCD, QPoint(5, 5));
    EXPECT_TRUE(widget_->hasFocus());
    click(window_->timerLCD, QPoint(5, 5));
    EXPECT_EQ(window_->focusWidget(), window_->timerLCD);
    press(Qt::Key_Up);
    EXPECT_EQ(widget_->boarder.speed, 0.0f);
}

TEST_F(GLWidgetInWindow, InputOfTheNativeWindowReachesTheSceneAsTheWidgetsWould) {
    QWindow* native = surface();
    ASSERT_NE(native, nullptr);
    ASSERT_EQ(native->geometry(),
              QRect(widget_->mapTo(window_.get(), QPoint(0, 0)), widget_->size()));
    // Before a click the keys go to the window's focus widget, not to the scene.
    QTest::keyClick(native, Qt::Key_Up);
    EXPECT_EQ(widget_->boarder.speed, 0.0f);

    // A press gives the scene the focus and its position; moves follow.
    QTest::mousePress(native, Qt::LeftButton, {}, QPoint(30, 40));
    EXPECT_TRUE(widget_->hasFocus());
    EXPECT_EQ(widget_->lastPos, QPoint(30, 40));
    QTest::mouseMove(native, QPoint(50, 60));
    EXPECT_EQ(widget_->lastPos, QPoint(50, 60));
    QTest::mouseRelease(native, Qt::LeftButton, {}, QPoint(50, 60));

    QTest::keyClick(native, Qt::Key_Up);
    EXPECT_EQ(widget_->boarder.speed, 10.0f);
    QTest::keyClick(native, Qt::Key_F1);
    EXPECT_EQ(widget_->camera.mode, 1);
    // Tab from the scene moves the focus on to the panel, as it would from the widget.
    QTest::keyClick(native, Qt::Key_Tab);
    EXPECT_FALSE(widget_->hasFocus());
    QTest::keyClick(native, Qt::Key_Up);
    EXPECT_EQ(widget_->boarder.speed, 10.0f);

    // A widget without click focus is not given it by a press.
    widget_->setFocusPolicy(Qt::TabFocus);
    click(window_->timerLCD, QPoint(5, 5));
    QTest::mouseClick(native, Qt::LeftButton, {}, QPoint(30, 40));
    EXPECT_EQ(window_->focusWidget(), window_->timerLCD);
}

TEST_F(GLWidgetInWindow, F1CyclesTheCameraModesAndLettersFlyTheFreeCamera) {
    clickIntoScene();
    for (int expected : {1, 2, 3, 4, 5, 0}) {
        press(Qt::Key_F1);
        EXPECT_EQ(widget_->camera.mode, expected);
    }
    // Each letter moves or turns the free camera as the matching call would.
    const struct {
        Qt::Key key;
        void (Camera::*act)(float);
        float by;
    } keys[] = {
        {Qt::Key_R, &Camera::moveAlongView, 10},  {Qt::Key_F, &Camera::moveAlongView, -10},
        {Qt::Key_T, &Camera::moveAlongRight, 10}, {Qt::Key_G, &Camera::moveAlongRight, -10},
        {Qt::Key_Z, &Camera::moveAlongUp, 10},    {Qt::Key_H, &Camera::moveAlongUp, -10},
        {Qt::Key_U, &Camera::rotateX, 1},         {Qt::Key_J, &Camera::rotateX, -1},
        {Qt::Key_I, &Camera::rotateY, 1},         {Qt::Key_K, &Camera::rotateY, -1},
        {Qt::Key_O, &Camera::rotateZ, 1},         {Qt::Key_L, &Camera::rotateZ, -1},
    };
    Camera expected = widget_->camera;
    expected.rotateX(3.0f);  // turned first, so that every move goes along a different axis
    widget_->camera = expected;
    for (const auto& k : keys) {
        press(k.key);
        (expected.*k.act)(k.by);
        for (auto v :
             {&Camera::position, &Camera::viewDirection, &Camera::rightVector, &Camera::upVector}) {
            EXPECT_EQ((widget_->camera.*v).x, (expected.*v).x) << k.key;
            EXPECT_EQ((widget_->camera.*v).y, (expected.*v).y) << k.key;
            EXPECT_EQ((widget_->camera.*v).z, (expected.*v).z) << k.key;
        }
    }
}

TEST_F(GLWidgetInWindow, ValueSlotsTurnByOneDegreeAndMoveByAHundredMetres) {
    QSignalSpy spy(widget_, &GLWidget::xRotationChanged);
    widget_->setXRotation(5);
    EXPECT_NEAR(widget_->camera.viewDirection.y, std::sin(degree), 1e-6f);
    widget_->setXRotation(5);  // equal: turns back down
    EXPECT_NEAR(widget_->camera.viewDirection.y, 0.0f, 1e-6f);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 5);

    widget_->setXCamPosition(1);  // a larger x value moves left
    widget_->setYCamPosition(1);
    widget_->setZCamPosition(1);
    EXPECT_NEAR(widget_->camera.position.x, -100.0f, 1e-3f);
    EXPECT_NEAR(widget_->camera.position.y, 4600.0f, 1e-3f);
    EXPECT_NEAR(widget_->camera.position.z, 900.0f, 1e-3f);
    widget_->setZCamPosition(1);  // not larger: back
    EXPECT_NEAR(widget_->camera.position.z, 1000.0f, 1e-3f);
}

// The chase camera looks at the boarder's foot: the green marker line rises from the frame's
// centre and the model stands beside it, also when the scene is not 700 pixels high (the model is
// drawn through the viewport of the frame, not a fixed one).
TEST_F(GLWidgetInWindow, MarkerAndModelStandWhereTheChaseCameraLooksAtAnySize) {
    for (Vec3& gate : widget_->gates) {
        gate = Vec3(-900.0f, 0.0f, 900.0f);  // behind the camera, so no pole hides the boarder
    }
    window_->resize(window_->size() + QSize(1000, 900) - widget_->size());
    QTest::qWait(50);
    const QImage image = widget_->grabFramebuffer();
    ASSERT_EQ(image.height(), 900);
    QRect marker;  // the green pixels' bounds, row 0 at the top
    double modelX = 0, modelY = 0, modelCount = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80) {
                marker |= QRect(x, y, 1, 1);
            } else if (qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) > 200) {
                modelX += x;
                modelY += y;
                ++modelCount;
            }
        }
    }
    const double cx = image.width() / 2.0, cy = image.height() / 2.0;
    const double pixelsPerMetre = image.height() / 700.0 * 2.1;
    ASSERT_GT(marker.height(), 3);
    EXPECT_NEAR(marker.left(), cx, 2.0);
    EXPECT_NEAR(marker.right(), cx, 2.0);
    EXPECT_NEAR(marker.bottom(), cy, 2.0);  // the line rises from the foot
    EXPECT_LT(marker.top(), cy - 3);
    ASSERT_GT(modelCount, 50);
    EXPECT_NEAR(modelX / modelCount, cx + 10 * pixelsPerMetre, 6.0);
    EXPECT_NEAR(modelY / modelCount, cy - 3.2 * pixelsPerMetre, 6.0);
}

namespace {

// Keeps what every frame showed, and the boarder's state as the rules see it while it was drawn.
class FrameRecorder : public FrameLayer {
public:
    explicit FrameRecorder(const GLWidget& scene) : scene_(scene) {}

    struct Seen {
        FrameInfo info;
        Vec3 state;
    };
    std::vector<Seen> seen;

    void drawInWorld(const FrameInfo& frame) override {
        seen.push_back(Seen{frame, scene_.boarder.position});
    }
    int between() const {
        int n = 0;
        for (const Seen& s : seen) {
            n += s.info.between ? 1 : 0;
        }
        return n;
    }

private:
    const GLWidget& scene_;
};

// The real window with its real timers, the boarder heading up the slope from the start, away
// from every zone and gate, at `speed`.
void setOff(Window& window, float speed) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(100);
    Boarder& b = window.glWidget->boarder;
    b.turn(180.0f);
    b.speed = speed;
}

}  // namespace

TEST(BetweenFrames, TheRulesSeeAfterEachStepWhatTheStepsAloneMake) {
    TempWorkDir dir;
    CoutCapture console;
    std::vector<Vec3> stepped;  // the boarder after each step, as the listeners hear of it
    long long firstStep = -1;
    bool recording = false;
    Window window;
    GLWidget* scene = window.glWidget;
    scene->setFrameRate(60);
    ASSERT_EQ(scene->betweenFramesPerStep(), 2);
    FrameRecorder frames(*scene);
    scene->addFrameLayer(&frames);
    Boarder& b = scene->boarder;
    scene->addStepListener([&](const MotionStep& step) {
        if (recording) {
            if (firstStep < 0) {
                firstStep = step.number;
            }
            stepped.push_back(b.position);
        }
    });
    ASSERT_NO_FATAL_FAILURE(setOff(window, 60.0f));

    // The same motion without any frame: a boarder stepped by hand from the same state.
    Boarder alone;
    alone.position = b.position;
    alone.direction = b.direction;
    alone.speed = b.speed;
    frames.seen.clear();
    recording = true;
    // Forty steps at least, and until a frame was drawn between two of them (a loaded machine
    // skips those frames while drawing one takes longer than the time left to the next step).
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return stepped.size() >= 40 && frames.between() > 0; }, 20000));
    recording = false;
    const size_t steps = stepped.size();
    scene->removeFrameLayer(&frames);
    for (size_t i = 0; i < steps; ++i) {
        alone.moveForward(0.0f);
        ASSERT_EQ(stepped[i].x, alone.position.x) << "step " << i;
        ASSERT_EQ(stepped[i].z, alone.position.z) << "step " << i;
    }

    // Frames were drawn between the steps, each ahead of its step along the heading by no more
    // than one step, later ones further; the rules' state while they were drawn was the step's.
    EXPECT_GT(frames.between(), 0);
    const float stepLength = 60.0f * 0.05f;
    float lastAhead = -1.0f;
    long long lastStep = -1;
    int drawnAhead = 0;
    for (const FrameRecorder::Seen& s : frames.seen) {
        const long long i = s.info.steps - firstStep;
        if (i < 0 || i >= static_cast<long long>(steps)) {
            continue;
        }
        EXPECT_EQ(s.state.x, stepped[i].x);
        EXPECT_EQ(s.state.z, stepped[i].z);
        const Vec3 ahead = s.info.boarder.position - stepped[i];
        if (!s.info.between) {
            EXPECT_EQ(ahead.x, 0.0f);
            EXPECT_EQ(ahead.z, 0.0f);
            continue;
        }
        const float along = ahead.x * b.direction.x + ahead.z * b.direction.z;
        const float across = ahead.x * b.direction.z - ahead.z * b.direction.x;
        EXPECT_NEAR(across, 0.0f, 1e-3f);
        EXPECT_GE(along, -1e-3f);
        EXPECT_LE(along, stepLength + 1e-3f);
        EXPECT_EQ(s.info.boarder.position.y,
                  heightAt(s.info.boarder.position.x, s.info.boarder.position.z));
        if (s.info.steps == lastStep) {
            EXPECT_GE(along, lastAhead) << "frame " << s.info.number;
        }
        drawnAhead += along > 0.01f ? 1 : 0;
        lastStep = s.info.steps;
        lastAhead = along;
    }
    EXPECT_GT(drawnAhead, 0);
}

TEST(BetweenFrames, OnlyTheStepsDrawWhileTheBoarderStandsStillOrWhenTwentyIsAskedFor) {
    TempWorkDir dir;
    CoutCapture console;
    Window window;
    GLWidget* scene = window.glWidget;
    FrameRecorder frames(*scene);
    scene->addFrameLayer(&frames);
    ASSERT_NO_FATAL_FAILURE(setOff(window, 0.0f));
    frames.seen.clear();
    QTest::qWait(400);
    EXPECT_EQ(frames.between(), 0) << "standing still";

    scene->setFrameRate(20);
    EXPECT_EQ(scene->betweenFramesPerStep(), 0);
    scene->boarder.speed = 60.0f;
    QTest::qWait(400);
    EXPECT_EQ(frames.between(), 0) << "twenty frames a second";
    EXPECT_GT(frames.seen.size(), 3u);

    // Back to the screen's rate while moving: the frames between the steps come back; stopped
    // again, they go.
    scene->setFrameRate(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames.between() > 0; }, 10000));
    scene->boarder.speed = 0.0f;
    QTest::qWait(100);
    const int before = frames.between();
    QTest::qWait(400);
    EXPECT_EQ(frames.between(), before) << "stopped";
    scene->removeFrameLayer(&frames);
}

// The boarder's-eyes view writes its camera lines for every frame of a step; the frames between
// the steps write none, so the console reads as it always did.
TEST(BetweenFrames, WriteNoCameraLinesInTheBoardersEyesView) {
    TempWorkDir dir;
    CoutCapture console;
    Window window;
    GLWidget* scene = window.glWidget;
    scene->setFrameRate(60);
    FrameRecorder frames(*scene);
    scene->addFrameLayer(&frames);
    ASSERT_NO_FATAL_FAILURE(setOff(window, 60.0f));
    scene->camera.mode = 4;
    const size_t linesBefore = console.text().size();
    frames.seen.clear();
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames.between() >= 3; }, 10000));
    scene->camera.mode = 0;
    scene->removeFrameLayer(&frames);
    const std::string text = console.text().substr(linesBefore);
    size_t cameraLines = 0;
    for (size_t at = text.find("Position.x = "); at != std::string::npos;
         at = text.find("Position.x = ", at + 1)) {
        ++cameraLines;
    }
    ASSERT_GT(frames.between(), 0);
    EXPECT_EQ(cameraLines, frames.seen.size() - static_cast<size_t>(frames.between()));
}

// A hold-up of the event loop gives the 50 ms timer a new phase, here 30 ms after a step's due
// time, where the ticks are counted as the next step's, 20 ms early. The frames between the steps
// are spread from the due times, so the ticks must come back to them: a tick 20 ms early draws its
// step's frame early and leaves the frame before it no time.
TEST(BetweenFrames, TicksComeBackToTheStepsDueTimesAfterAHoldUp) {
    TempWorkDir dir;
    CoutCapture console;
    Window window;
    GLWidget* scene = window.glWidget;
    scene->setFrameRate(60);
    QElapsedTimer clock;
    clock.start();
    auto nowMs = [&] { return clock.msecsSinceReference() + clock.elapsed(); };
    qint64 lastDueMs = -1;
    qint64 lastTakenMs = -1;
    // How long after its due time the first step of each tick was taken, for the ticks whose timer
    // was aimed. The further steps of a tick that came late are its catch-up, which may take a step
    // due within half a period; a tick that caught up keeps the timer's phase (only the toolkit can
    // bring back a timer that falls behind), so the tick after it is not aimed at a due time.
    std::vector<qint64> lateMs;
    int stepsOfTick = 0;
    scene->addStepListener([&](const MotionStep& step) {
        lastDueMs = step.atMs;
        const qint64 taken = nowMs();
        if (lastTakenMs < 0 || taken - lastTakenMs > 2) {
            // A new tick: the one before it took stepsOfTick steps.
            if (stepsOfTick <= 1) {
                lateMs.push_back(taken - step.atMs);
            }
            stepsOfTick = 0;
        }
        ++stepsOfTick;
        lastTakenMs = taken;
    });
    ASSERT_NO_FATAL_FAILURE(setOff(window, 60.0f));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lastDueMs >= 0; }, 5000));
    QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, lastDueMs + 180 - nowMs())));
    QTest::qWait(300);  // the catch-up, and time to settle
    lateMs.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lateMs.size() >= 20; }, 20000));
    // A busy machine delays ticks, but a timer aimed at the due times never fires before them
    // (a millisecond of slack: the two clocks' readings are rounded down).
    EXPECT_GE(*std::min_element(lateMs.begin(), lateMs.end()), -2)
        << testing::PrintToString(lateMs);
}

TEST(BetweenFrames, FrameRateIsTakenFromTwentyToTwoHundredForty) {
    GLWidget scene;
    for (const auto& [asked, kept, between] : {std::tuple{20, 20, 0},
                                               {19, 20, 0},
                                               {-5, 20, 0},
                                               {40, 40, 1},
                                               {60, 60, 2},
                                               {144, 144, 6},
                                               {240, 240, 11},
                                               {1000, 240, 11}}) {
        scene.setFrameRate(asked);
        EXPECT_EQ(scene.frameRate(), kept) << asked;
        EXPECT_EQ(scene.betweenFramesPerStep(), between) << asked;
    }
}
