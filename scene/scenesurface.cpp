#include "scene/scenesurface.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>

#include "scene/glwidget.h"

SceneSurface::SceneSurface(GLWidget* scene) : QOpenGLWindow(NoPartialUpdate), scene_(scene) {
    // The keyboard focus stays with the widgets of the game window: a click here gives it to the
    // scene widget (forwardMouse), and the window system never moves it into this window.
    setFlag(Qt::WindowDoesNotAcceptFocus);
}

void SceneSurface::paintNow() {
    if (!isExposed()) {
        return;
    }
    // A paint event sent straight to the window draws the frame and swaps the buffers before it
    // returns; update() would only schedule it.
    QPaintEvent paint(QRect(QPoint(0, 0), size()));
    QCoreApplication::sendEvent(this, &paint);
}

bool SceneSurface::makeReady() {
    if (!isValid() && handle() != nullptr) {
        // What the first resize of a shown window does: creates the context, runs initializeGL,
        // then resizeGL.
        QResizeEvent resize(size(), size());
        QCoreApplication::sendEvent(this, &resize);
    }
    if (!isValid()) {
        return false;
    }
    makeCurrent();
    return true;
}

void SceneSurface::drawUnpresented() {
    if (scene_ != nullptr) {
        followSize();
        scene_->paintGL();
    }
}

void SceneSurface::initializeGL() {
    if (scene_ != nullptr) {
        scene_->initializeGL();
    }
}

void SceneSurface::resizeGL(int width, int height) {
    sizeSeen_ = QSize(width, height);
    if (scene_ != nullptr) {
        scene_->resizeGL(width, height);
    }
}

void SceneSurface::paintGL() {
    if (scene_ == nullptr) {
        return;
    }
    followSize();
    scene_->paintGL();
}

void SceneSurface::followSize() {
    if (size() != sizeSeen_) {
        resizeGL(width(), height());
    }
}

void SceneSurface::keyPressEvent(QKeyEvent* event) { forwardKey(event); }

void SceneSurface::keyReleaseEvent(QKeyEvent* event) { forwardKey(event); }

void SceneSurface::mousePressEvent(QMouseEvent* event) { forwardMouse(event); }

void SceneSurface::mouseReleaseEvent(QMouseEvent* event) { forwardMouse(event); }

void SceneSurface::mouseDoubleClickEvent(QMouseEvent* event) { forwardMouse(event); }

void SceneSurface::mouseMoveEvent(QMouseEvent* event) { forwardMouse(event); }

void SceneSurface::forwardKey(QKeyEvent* event) {
    // The keys go where they would have gone had they reached the game window: to its focus
    // widget, which is the scene once it has been clicked.
    QWidget* target = scene_ != nullptr ? scene_->window()->focusWidget() : nullptr;
    if (target == nullptr) {
        event->ignore();
        return;
    }
    QCoreApplication::sendEvent(target, event);
}

void SceneSurface::forwardMouse(QMouseEvent* event) {
    if (scene_ == nullptr) {
        return;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        // What a click into a widget does: the window becomes active and a widget that takes
        // click focus gets it.
        QWidget* top = scene_->window();
        if (!top->isActiveWindow()) {
            top->activateWindow();
        }
        if ((scene_->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus) {
            scene_->setFocus(Qt::MouseFocusReason);
        }
    }
    const QPointF global = event->globalPosition();
    QMouseEvent forwarded(event->type(), scene_->mapFromGlobal(global),
                          scene_->window()->mapFromGlobal(global), global, event->button(),
                          event->buttons(), event->modifiers(), event->pointingDevice());
    QCoreApplication::sendEvent(scene_, &forwarded);
    event->setAccepted(forwarded.isAccepted());
}
