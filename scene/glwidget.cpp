#include "scene/glwidget.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "scene/frameslots.h"
#include "scene/frametrace.h"
#include "scene/poseahead.h"
#include "scene/scenesurface.h"
#include "world/gates.h"

namespace {

constexpr qint64 kNsPerMs = 1000000;

}  // namespace

GLWidget::GLWidget()
    : moveTimer_(new QTimer(this)),
      betweenTimer_(new QTimer(this)),
      surface_(new SceneSurface(this)) {
    // GLUT's set-up for the trees' cones runs beside the window's start.
    startGlut();
    // The container takes the surface; it never takes the focus itself, so the scene widget is the
    // one that has it (the window sets its click focus policy).
    QWidget* container = QWidget::createWindowContainer(surface_, this);
    container->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(container);
    connect(surface_, &QOpenGLWindow::frameSwapped, this, [this] { framePresented_ = true; });

    // Precise, so that no tick comes early: motion follows the real clock either way (moveTick).
    moveTimer_->setTimerType(Qt::PreciseTimer);
    connect(moveTimer_, &QTimer::timeout, this, [this] { moveTick(); });
    moveTimer_->start(movePacer_.periodMs());
    // The frames between the steps yield to everything else: a single shot armed for the next
    // one, by the ticks while the boarder moves and by each such frame.
    betweenTimer_->setSingleShot(true);
    betweenTimer_->setTimerType(Qt::PreciseTimer);
    connect(betweenTimer_, &QTimer::timeout, this, [this] { drawBetweenFrame(); });
    sinceStart_.start();
    movePacer_.start(sinceStart_.elapsed());
}

GLWidget::~GLWidget() {
    // The members' GL objects belong to the surface's context, which outlives them: the surface
    // goes with its container, a child, after the members.
    surface_->detach();
    if (surface_->isValid()) {
        surface_->makeCurrent();
    }
}

QSize GLWidget::sizeHint() const { return QSize(700, 700); }

QSize GLWidget::minimumSizeHint() const { return QSize(700, 700); }

void GLWidget::updateGL() {
    const qint64 began = sinceStart_.nsecsElapsed();
    surface_->paintNow();
    noteFrameCost(sinceStart_.nsecsElapsed() - began);
}

void GLWidget::noteFrameCost(qint64 ns) {
    // One stall (a machine that was suspended, a window being mapped) must not hold the frames
    // between the steps back for long: a frame counts for at most one step's length.
    const qint64 sample = std::min<qint64>(ns, movePacer_.periodMs() * kNsPerMs);
    frameCostNs_ = (3 * frameCostNs_ + sample) / 4;
}

void GLWidget::makeCurrent() { surface_->makeReady(); }

void GLWidget::doneCurrent() { surface_->doneCurrent(); }

QImage GLWidget::grabFramebuffer() {
    if (!surface_->makeReady()) {
        return QImage();
    }
    // The frame is drawn into the back buffer and read from there, never from a presented buffer
    // whose content the window system may have dropped.
    surface_->drawUnpresented();
    return surface_->grabFramebuffer();
}

void GLWidget::afterFirstFrame(std::function<void()> done) {
    if (framePresented_) {
        done();
        return;
    }
    connect(surface_, &QOpenGLWindow::frameSwapped, this, std::move(done),
            Qt::SingleShotConnection);
}

void GLWidget::initializeGL() {
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    boarder.init();
    camera.reset();
    setUpGates(gates);
    terrain.loadTexture();
    panorama.loadTexture();
}

void GLWidget::resizeGL(int width, int height) {
    // The viewport is in device pixels; a height of 0 is drawn as 1 rather than dividing by 0.
    const qreal ratio = surface_->devicePixelRatio();
    const int pixelWidth = static_cast<int>(width * ratio);
    const int pixelHeight = std::max(1, static_cast<int>(height * ratio));
    glViewport(0, 0, pixelWidth, pixelHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(20.0, static_cast<double>(width) / std::max(1, height), 0.1, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

FrameInfo GLWidget::nextFrame() const {
    FrameInfo frame;
    frame.number = frames_ + 1;
    frame.steps = steps_;
    frame.boarder = boarder.pose();
    if (drawingBetween_) {
        // The boarder where its motion has carried it since the last step; its state stays as
        // the step left it.
        frame.between = true;
        const double seconds = (sinceStart_.nsecsElapsed() - lastStepNs_) / 1e9;
        frame.boarder = poseAhead(frame.boarder, boarder.speed, seconds);
    }
    frame.cameraMode = camera.mode;
    frame.wireMode = wireMode != 0;
    frame.devicePixelRatio = surface_->devicePixelRatio();
    frame.pixelWidth = static_cast<int>(surface_->width() * frame.devicePixelRatio);
    frame.pixelHeight = static_cast<int>(surface_->height() * frame.devicePixelRatio);
    return frame;
}

void GLWidget::paintGL() {
    const FrameInfo frame = nextFrame();
    ++frames_;
    lastFrameNs_ = sinceStart_.nsecsElapsed();
    // The polygon mode is applied here, where the context is surely current.
    glPolygonMode(GL_FRONT_AND_BACK, wireMode ? GL_LINE : GL_FILL);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glScalef(0.0005f, 0.0005f, 0.0005f);
    if (frame.between) {
        // The console's camera lines stay one per step's frame, as they always were.
        camera.lookSilently(cameraPoseAhead(frame.boarder, boarder.speed));
    } else {
        camera.look(frame.boarder);
    }
    terrain.draw();
    panorama.draw();
    drawGates(gates);
    trees.draw();
    finish.draw();
    start.draw();
    if (frame.between) {
        boarder.drawAt(frame.boarder);
    } else {
        boarder.draw();
    }
    for (FrameLayer* layer : layers_) {
        layer->drawInWorld(frame);
    }
    for (FrameLayer* layer : layers_) {
        layer->drawOverlay(frame);
    }
    glFlush();
    traceFrame(frame);
}

void GLWidget::traceFrame(const FrameInfo& frame) {
    if (!traceWanted()) {
        return;
    }
    TracedFrame traced;
    traced.frame = frame.number;
    traced.us = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count();
    traced.position = boarder.position;
    traced.speed = boarder.speed;
    traced.steps = frame.steps;
    traced.drawnX = frame.boarder.position.x;
    traced.drawnZ = frame.boarder.position.z;
    std::string line = traceLine(traced);
    for (const FrameLayer* layer : layers_) {
        layer->appendTrace(frame, line);
    }
    writeTraceLine(line);
}

void GLWidget::addFrameLayer(FrameLayer* layer) {
    if (layer != nullptr && std::find(layers_.begin(), layers_.end(), layer) == layers_.end()) {
        layers_.push_back(layer);
    }
}

void GLWidget::removeFrameLayer(FrameLayer* layer) {
    layers_.erase(std::remove(layers_.begin(), layers_.end(), layer), layers_.end());
}

void GLWidget::addStepListener(std::function<void(const MotionStep&)> heard) {
    if (heard) {
        stepListeners_.push_back(std::move(heard));
    }
}

qint64 GLWidget::nowMs() const {
    return sinceStart_.msecsSinceReference() + sinceStart_.elapsed();
}

void GLWidget::takeStep(float d, qint64 atMs) {
    boarder.moveForward(d);
    lastStepNs_ = (atMs - sinceStart_.msecsSinceReference()) * kNsPerMs;
    const MotionStep step{++steps_, atMs};
    for (const auto& heard : stepListeners_) {
        heard(step);
    }
}

void GLWidget::toggleWireMode() {
    if (wireMode == 0) {
        wireMode = 1;
        std::cout << "Wire Mode:" << std::endl;
    } else {
        wireMode = 0;
        std::cout << "Solid Mode:" << std::endl;
    }
    updateGL();
}

void GLWidget::boarderMoveForward() {
    takeStep(0.0f, nowMs());
    updateGL();
}

void GLWidget::moveTick() {
    // On a slow or busy machine the timer falls behind; the boarder still covers its speed in
    // metres per real second. The missed steps are the very same step, with no frame of their own,
    // each told as due when it was.
    const int steps = movePacer_.stepsDue(sinceStart_.elapsed());
    if (steps > 0) {
        const qint64 lastDue = sinceStart_.msecsSinceReference() + movePacer_.lastDueMs();
        for (int i = steps - 1; i >= 0; --i) {
            takeStep(0.0f, lastDue - static_cast<qint64>(i) * movePacer_.periodMs());
        }
    }
    keepTicksOnSteps(steps);
    updateGL();
    scheduleBetweenFrame();
}

void GLWidget::keepTicksOnSteps(int steps) {
    const int period = movePacer_.periodMs();
    // With the steps' frames alone, or a boarder standing still, the ticks keep the phase their
    // timer has, as they always did; so does a timer that is falling behind (a tick that caught
    // up missed steps), which only the toolkit can bring back.
    const int delay = steps == 1 && boarder.speed != 0.0f && betweenFramesPerStep() > 0
                          ? FrameSlots::rephaseDelayMs(sinceStart_.elapsed(),
                                                       movePacer_.lastDueMs(), period)
                          : -1;
    if (delay >= 0) {
        // Once, the wait to the next step's due time; that tick restarts the timer at its period.
        moveTimer_->start(delay);
    } else if (moveTimer_->interval() != period) {
        moveTimer_->start(period);
    }
}

void GLWidget::setFrameRate(int perSecond) {
    frameRate_ = perSecond == 0 ? 0 : std::clamp(perSecond, 20, 240);
    if (betweenFramesPerStep() == 0) {
        betweenTimer_->stop();
    }
}

int GLWidget::betweenFramesPerStep() const {
    int rate = frameRate_;
    if (rate == 0) {
        const QScreen* screen = surface_->screen();
        if (screen == nullptr) {
            screen = QGuiApplication::primaryScreen();
        }
        const double hz = screen != nullptr ? screen->refreshRate() : 0.0;
        // A screen that reports no rate (or a nonsensical one) is drawn at 60.
        rate = hz >= 1.0 && hz <= 1000.0 ? static_cast<int>(hz + 0.5) : 60;
        rate = std::clamp(rate, 20, 240);
    }
    // The nearest whole number of frames per 50 ms step, less the step's own frame.
    return (rate + 10) / 20 - 1;
}

void GLWidget::scheduleBetweenFrame() {
    const int between = betweenFramesPerStep();
    if (between == 0 || boarder.speed == 0.0f) {
        // Standing still, nothing moves between the ticks: their frames are enough.
        betweenTimer_->stop();
        return;
    }
    // The frames sit evenly between the steps' due times.
    const FrameSlots frameSlots(movePacer_.periodMs() * kNsPerMs, between);
    const qint64 now = sinceStart_.nsecsElapsed();
    const qint64 at = frameSlots.nextSlotNs(movePacer_.lastDueMs() * kNsPerMs, now);
    // A slot already past (a tick that came late) is drawn at once.
    betweenTimer_->start(
        static_cast<int>(std::max<qint64>(0, (at - now + kNsPerMs - 1) / kNsPerMs)));
}

void GLWidget::drawBetweenFrame() {
    if (boarder.speed == 0.0f) {
        return;
    }
    const FrameSlots frameSlots(movePacer_.periodMs() * kNsPerMs, betweenFramesPerStep());
    const qint64 now = sinceStart_.nsecsElapsed();
    const FrameSlots::Decision decision =
        frameSlots.decide(now, movePacer_.lastDueMs() * kNsPerMs, lastFrameNs_, frameCostNs_);
    // A step that is due, or would be by the time this frame were drawn, goes first: its tick
    // draws a frame and arms the next of these.
    if (decision == FrameSlots::Decision::StepFirst) {
        return;
    }
    if (decision == FrameSlots::Decision::Draw) {
        drawingBetween_ = true;
        surface_->paintNow();
        drawingBetween_ = false;
        noteFrameCost(sinceStart_.nsecsElapsed() - now);
    }
    scheduleBetweenFrame();
}

void GLWidget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left: boarder.turn(10.0f); break;
        case Qt::Key_Right: boarder.turn(-10.0f); break;
        case Qt::Key_Up: takeStep(10.0f, nowMs()); break;
        case Qt::Key_Down: takeStep(-10.0f, nowMs()); break;
        case Qt::Key_F1: camera.mode = camera.mode < 5 ? camera.mode + 1 : 0; break;
        case Qt::Key_R: camera.moveAlongView(10.0f); break;
        case Qt::Key_F: camera.moveAlongView(-10.0f); break;
        case Qt::Key_T: camera.moveAlongRight(10.0f); break;
        case Qt::Key_G: camera.moveAlongRight(-10.0f); break;
        case Qt::Key_Z: camera.moveAlongUp(10.0f); break;
        case Qt::Key_H: camera.moveAlongUp(-10.0f); break;
        case Qt::Key_U: camera.rotateX(1.0f); break;
        case Qt::Key_J: camera.rotateX(-1.0f); break;
        case Qt::Key_I: camera.rotateY(1.0f); break;
        case Qt::Key_K: camera.rotateY(-1.0f); break;
        case Qt::Key_O: camera.rotateZ(1.0f); break;
        case Qt::Key_L: camera.rotateZ(-1.0f); break;
        default: break;
    }
    updateGL();
}

void GLWidget::keyReleaseEvent(QKeyEvent*) { updateGL(); }

void GLWidget::mousePressEvent(QMouseEvent* event) { lastPos = event->position().toPoint(); }

void GLWidget::mouseMoveEvent(QMouseEvent* event) { lastPos = event->position().toPoint(); }

void GLWidget::setXRotation(int v) {
    camera.rotateX(v > xRotation ? 1.0f : -1.0f);
    xRotation = v;
    emit xRotationChanged(v);
    updateGL();
}

void GLWidget::setYRotation(int v) {
    camera.rotateY(v > yRotation ? 1.0f : -1.0f);
    yRotation = v;
    emit yRotationChanged(v);
    updateGL();
}

void GLWidget::setZRotation(int v) {
    camera.rotateZ(v > zRotation ? 1.0f : -1.0f);
    zRotation = v;
    emit zRotationChanged(v);
    updateGL();
}

void GLWidget::setXCamPosition(int v) {
    // A larger value moves the camera to its left, unlike the other two axes.
    camera.position = camera.position + camera.rightVector * (v > xCamPosition ? -100.0f : 100.0f);
    xCamPosition = v;
    updateGL();
}

void GLWidget::setYCamPosition(int v) {
    camera.position = camera.position + camera.upVector * (v > yCamPosition ? 100.0f : -100.0f);
    yCamPosition = v;
    updateGL();
}

void GLWidget::setZCamPosition(int v) {
    camera.position =
        camera.position + camera.viewDirection * (v > zCamPosition ? 100.0f : -100.0f);
    zCamPosition = v;
    updateGL();
}
