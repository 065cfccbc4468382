#ifndef SCENE_SCENESURFACE_H
#define SCENE_SCENESURFACE_H

#include <QOpenGLWindow>

class GLWidget;

// The native OpenGL window that shows the scene widget's frames, hosted inside the widget through a
// window container. A native surface is presented on its own: the rest of the window stays a
// plain raster window, so repainting a panel widget never makes the toolkit compose the whole
// window through OpenGL.
//
// It hands everything to the GLWidget that hosts it: its GL hooks call the widget's initializeGL,
// resizeGL and paintGL; keys that the window system delivers to it go to the game window's focus
// widget (the scene when it has the focus), and mouse presses and moves go to the scene, a press
// first giving the scene the focus when its policy takes click focus. It never takes the keyboard
// focus itself, so the scene widget keeps it. Not copyable (a QObject).
class SceneSurface : public QOpenGLWindow {
public:
    explicit SceneSurface(GLWidget* scene);

    // Draws a frame and presents it now, when the surface is on screen; nothing otherwise.
    void paintNow();
    // Makes the GL context current, creating it (and running the scene's initializeGL) first if
    // the surface is on screen but has not drawn yet. False when there is no context to make
    // current (the surface was never shown).
    bool makeReady();
    // Draws a frame into the back buffer without presenting it. REQUIRES: makeReady() was true.
    void drawUnpresented();
    // The scene is going away: from now on the hooks and the input do nothing.
    void detach() { scene_ = nullptr; }

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // Runs resizeGL when the surface's size changed since the last call, so that a frame drawn
    // before the window system's resize event arrives still has the right viewport.
    void followSize();
    void forwardKey(QKeyEvent* event);
    void forwardMouse(QMouseEvent* event);

    GLWidget* scene_;
    QSize sizeSeen_;  // the size resizeGL was last run for
};

#endif  // SCENE_SCENESURFACE_H
