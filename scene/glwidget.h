#ifndef SCENE_GLWIDGET_H
#define SCENE_GLWIDGET_H

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <vector>

#include "scene/boarder.h"
#include "scene/camera.h"
#include "scene/framelayer.h"
#include "scene/steppacer.h"
#include "scene/vec3.h"
#include "world/scenery.h"
#include "world/terrain.h"

class QTimer;
class SceneSurface;

// A motion step of the boarder, as the scene's step listeners hear of it.
struct MotionStep {
    long long number;  // steps taken since the scene was made, this one included
    qint64 atMs;       // when the step was due, in the milliseconds of the monotonic clock that
                       // QElapsedTimer reads (its msecsSinceReference)
};

// The OpenGL view of the slope. Owns every object of the scene, draws a frame from scratch on
// every redraw that changes the picture, and moves the boarder one step on every tick of its 50 ms
// timer (the game's heartbeat). While the boarder moves, frames between the ticks (at the screen's
// rate unless setFrameRate says otherwise) show it where its motion has carried it since the last
// step, drawn from a copy of its state; a step that is due always goes first. Keys steer the
// boarder (arrows), cycle the camera (F1) and fly the free camera (letters). The window reads and
// changes boarder and gates directly.
//
// The frames are drawn on a native OpenGL window (SceneSurface) that the widget hosts in a window
// container filling it; that window calls the widget's GL hooks and hands it the keys and the mouse
// events the window system delivers there. Keys sent to the widget itself act the same.
class GLWidget : public QWidget {
    Q_OBJECT

public:
    // Reads the scenery models from the working directory and starts the 50 ms timer. GL set-up
    // waits for initializeGL.
    GLWidget();
    ~GLWidget() override;

    QSize sizeHint() const override;         // 700 x 700
    QSize minimumSizeHint() const override;  // 700 x 700

    // Draws the frame at once and presents it (a synchronous repaint); nothing while the scene is
    // not on screen.
    void updateGL();

    int xCamPosition = 0;  // last values given to the value slots
    int yCamPosition = 0;
    int zCamPosition = 0;
    int xRotation = 0;
    int yRotation = 0;
    int zRotation = 0;
    int wireMode = 0;  // 1 while polygons are drawn as outlines
    Camera camera;
    Terrain terrain;
    Vec3 gates[10];
    Boarder boarder;
    Panorama panorama;
    Trees trees;
    SceneryModel finish{"finish.iv", "finish", 952.0f, 124.0f, 70.0f};
    SceneryModel start{"start.iv", "start", 170.0f, -75.0f, 0.0f};
    QPoint lastPos;  // widget position of the last mouse press or move

signals:
    void xRotationChanged(int);
    void yRotationChanged(int);
    void zRotationChanged(int);

public slots:
    // Each turns the free camera by one degree, up when v is above the stored value and down
    // otherwise, stores v, emits the matching signal (on every call) and redraws.
    void setXRotation(int v);
    void setYRotation(int v);
    void setZRotation(int v);
    // Each moves the free camera 100 m along one of its axes, the sign chosen by comparing v with
    // the stored value, stores v and redraws. No signal.
    void setXCamPosition(int v);
    void setYCamPosition(int v);
    void setZCamPosition(int v);
    // Switches between outlined and filled polygons, printing "Wire Mode:" or "Solid Mode:".
    void toggleWireMode();
    // One boarder step at its present speed, then a redraw: what each 50 ms tick does (a tick
    // that came late first takes the steps it missed).
    void boarderMoveForward();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // The GL hooks, called by the hosted native window with its context current: once when the
    // context is made, at every change of size (logical pixels), and for every frame.
    virtual void initializeGL();
    virtual void resizeGL(int width, int height);
    virtual void paintGL();

public:
    // The GL context of the scene, for GL work outside the hooks: makeCurrent makes it current
    // (creating it first when the scene is on screen but has not drawn yet) and does nothing
    // before the scene was first shown; doneCurrent releases it.
    void makeCurrent();
    void doneCurrent();
    // Draws a frame and returns it as an image of the surface's size in device pixels; a null
    // image before the scene was first shown. Leaves the context current.
    QImage grabFramebuffer();
    // Calls done once, on the GUI thread, right after the first frame has been presented, or at
    // once when one already was: the place for work that the first picture need not wait for.
    void afterFirstFrame(std::function<void()> done);

    // Adds a layer drawn into every frame after the scene's own objects (see FrameLayer), or
    // takes it out. The scene does not own it; it must be removed before it is destroyed or
    // outlive the scene.
    void addFrameLayer(FrameLayer* layer);
    void removeFrameLayer(FrameLayer* layer);
    // Calls heard after every motion step the scene makes the boarder take (ticks, the steps
    // they catch up, Up and Down), with the boarder already moved. Listeners are kept for the
    // scene's life and must not draw.
    void addStepListener(std::function<void(const MotionStep&)> heard);
    // Motion steps taken since the scene was made.
    long long stepsTaken() const { return steps_; }

    // Frames a second drawn while the boarder moves: besides the frame of each motion step, frames
    // between the steps show the boarder where its motion has carried it since the last step.
    // 0 (the default) follows the screen's refresh rate; 20 draws the steps' frames alone; other
    // values are taken from 20 to 240. The frames are spread evenly over each step, the step's
    // own frame among them, so the rate drawn is the nearest whole number of frames per step.
    void setFrameRate(int perSecond);
    // The frames a second asked for with setFrameRate (0: the screen's).
    int frameRate() const { return frameRate_; }
    // Frames drawn between two motion steps, per step: 0 when only the steps draw.
    int betweenFramesPerStep() const;

private:
    friend class SceneSurface;

    // A tick of the 50 ms timer: the boarder's steps that real time asks for (one when the timer
    // keeps up, the missed ones too when it fell behind, at most ten), then one frame.
    void moveTick();
    // Run at every tick, which took `steps` steps: restarts the 50 ms timer so that its next tick
    // comes at the next step's due time, when this one took one step but came more than a few
    // milliseconds away from its due time (the timer's phase is set anew by any hold-up, such as
    // the start-up). The frames between steps are spread from the steps' due times and need the
    // steps' own frames there. Only while frames between steps are drawn.
    void keepTicksOnSteps(int steps);
    // One motion step: the boarder's moveForward with the change of speed d, counted and told to
    // the step listeners as due at atMs (monotonic, see MotionStep).
    void takeStep(float d, qint64 atMs);
    // The monotonic time now, in the milliseconds of MotionStep::atMs.
    qint64 nowMs() const;
    // What the frame about to be drawn shows.
    FrameInfo nextFrame() const;
    // Keeps the frames between steps going while the boarder moves: schedules the next one, or
    // stops when the boarder stands still or only the steps draw. Run after every tick.
    void scheduleBetweenFrame();
    // The between-frame timer's call: draws a frame ahead along the boarder's motion unless a
    // step is due (the step goes first and draws its own frame) or another frame was just drawn.
    void drawBetweenFrame();
    // Takes the time a frame took to draw and present into frameCostNs_.
    void noteFrameCost(qint64 ns);
    // With SKALDORA_TRACE=1 in the environment, writes a line about the frame just drawn to
    // standard error (see frametrace.h). Nothing otherwise.
    void traceFrame(const FrameInfo& frame);
    QElapsedTimer sinceStart_;        // monotonic; started with the timer
    StepPacer movePacer_{50, 10};
    long long frames_ = 0;            // frames drawn
    long long steps_ = 0;             // motion steps taken
    std::vector<FrameLayer*> layers_;
    std::vector<std::function<void(const MotionStep&)>> stepListeners_;
    bool framePresented_ = false;  // set once the surface has shown a frame
    int frameRate_ = 0;               // as given to setFrameRate
    QTimer* moveTimer_;               // the 50 ms tick
    QTimer* betweenTimer_;            // single shot, precise: the next frame between steps
    bool drawingBetween_ = false;     // the frame being drawn is one between steps
    qint64 lastStepNs_ = 0;           // due time of the last motion step, ns of sinceStart_
    qint64 lastFrameNs_ = -1;         // when the last frame was drawn, ns of sinceStart_
    qint64 frameCostNs_ = 0;          // what drawing and presenting a frame takes, smoothed
    SceneSurface* surface_;  // owned by its container, a child of this widget
};

#endif  // SCENE_GLWIDGET_H
