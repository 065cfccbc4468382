#include "scene/glwidget.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QMetaMethod>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "app/window.h"
#include "support/cout_capture.h"

namespace {

// A widget whose GL hooks the tests may call directly.
class OpenGLWidget : public GLWidget {
public:
    using GLWidget::resizeGL;
};

// Shows a widget on its own and waits until it has drawn its first frame.
void showAndWait(QWidget& widget) {
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

// The projection matrix of the widget's context, column by column.
void projection(GLWidget& widget, GLdouble m[16]) {
    widget.makeCurrent();
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    widget.doneCurrent();
}

const double degree = 0.017453292519943295;

}  // namespace

TEST(GLWidget, MetaObjectHasItsSignalsThenItsSlots) {
    const QMetaObject& meta = GLWidget::staticMetaObject;
    EXPECT_STREQ(meta.className(), "GLWidget");
    EXPECT_EQ(meta.methodOffset(), QOpenGLWidget::staticMetaObject.methodCount());
    EXPECT_EQ(meta.propertyCount(), meta.propertyOffset());
    EXPECT_EQ(meta.enumeratorCount(), meta.enumeratorOffset());
    EXPECT_EQ(meta.classInfoCount(), meta.classInfoOffset());
    const char* const methods[] = {
        "xRotationChanged(int)", "yRotationChanged(int)", "zRotationChanged(int)",
        "setXRotation(int)",     "setYRotation(int)",     "setZRotation(int)",
        "setXCamPosition(int)",  "setYCamPosition(int)",  "setZCamPosition(int)",
        "toggleWireMode()",      "boarderMoveForward()",
    };
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), 11);
    for (int k = 0; k < 11; ++k) {
        const QMetaMethod method = meta.method(meta.methodOffset() + k);
        EXPECT_EQ(method.methodSignature(), methods[k]);
        EXPECT_EQ(method.methodType(), k < 3 ? QMetaMethod::Signal : QMetaMethod::Slot);
        if (k >= 3) {
            EXPECT_EQ(method.access(), QMetaMethod::Public) << methods[k];
        }
    }
    GLWidget widget;
    EXPECT_EQ(widget.qt_metacast("GLWidget"), &widget);
    EXPECT_EQ(widget.qt_metacast("QOpenGLWidget"), static_cast<QOpenGLWidget*>(&widget));
}

TEST(GLWidget, StartsWithZeroValuesAndItsHeartbeat) {
    GLWidget widget;
    EXPECT_EQ(widget.sizeHint(), QSize(700, 700));
    EXPECT_EQ(widget.minimumSizeHint(), QSize(700, 700));
    for (int v : {widget.xCamPosition, widget.yCamPosition, widget.zCamPosition, widget.xRotation,
                  widget.yRotation, widget.zRotation, widget.wireMode}) {
        EXPECT_EQ(v, 0);
    }
    EXPECT_EQ(widget.lastPos, QPoint(0, 0));
    const QList<QTimer*> timers = widget.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers[0]->interval(), 50);
    EXPECT_TRUE(timers[0]->isActive());
    EXPECT_FALSE(timers[0]->isSingleShot());
}

TEST(GLWidget, SetsUpItsGLState) {
    GLWidget widget;
    showAndWait(widget);
    widget.makeCurrent();
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    GLint shade = 0, depthFunc = 0, hint = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &hint);
    const bool depthTest = glIsEnabled(GL_DEPTH_TEST), cullFace = glIsEnabled(GL_CULL_FACE);
    const bool lighting = glIsEnabled(GL_LIGHTING);
    widget.doneCurrent();
    EXPECT_EQ(clear[0], 0.0f);
    EXPECT_EQ(clear[1], 0.0f);
    EXPECT_EQ(clear[2], 0.0f);
    EXPECT_EQ(clear[3], 0.5f);
    EXPECT_EQ(shade, GL_SMOOTH);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
    EXPECT_EQ(hint, GL_NICEST);
    EXPECT_TRUE(depthTest);
    EXPECT_TRUE(cullFace);
    EXPECT_FALSE(lighting);
}

TEST(GLWidget, ProjectionHasTheWidgetsAspectAndTwentyDegrees) {
    GLWidget widget;
    showAndWait(widget);
    widget.resize(700, 350);
    QTest::qWait(50);
    ASSERT_EQ(widget.size(), QSize(700, 350));
    GLdouble m[16];
    projection(widget, m);
    // gluPerspective: m[5] = cot(fovy / 2), m[0] = m[5] / aspect. GL keeps the matrix in floats.
    EXPECT_NEAR(m[5] / m[0], 2.0, 1e-6);
    EXPECT_NEAR(2.0 * std::atan(1.0 / m[5]), 20.0 * degree, 1e-6);
    const double near = 0.1, far = 10.0;
    EXPECT_NEAR(m[10], (far + near) / (near - far), 1e-6);
    EXPECT_NEAR(m[14], 2.0 * far * near / (near - far), 1e-6);
    EXPECT_EQ(m[11], -1.0);
}

TEST(GLWidget, ZeroHeightGivesAFiniteProjection) {
    OpenGLWidget widget;
    showAndWait(widget);
    widget.makeCurrent();
    widget.resizeGL(700, 0);
    GLdouble m[16];
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    widget.doneCurrent();
    for (double v : m) {
        EXPECT_TRUE(std::isfinite(v));
    }
    EXPECT_EQ(viewport[2], 700);
}

TEST(GLWidget, WireModeSwitchesPolygonModeAndSaysSo) {
    GLWidget widget;
    showAndWait(widget);
    CoutCapture out;
    widget.toggleWireMode();
    widget.grabFramebuffer();  // draws a frame
    widget.makeCurrent();
    GLint wire[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, wire);
    widget.doneCurrent();
    widget.toggleWireMode();
    widget.grabFramebuffer();
    widget.makeCurrent();
    GLint solid[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, solid);
    widget.doneCurrent();
    EXPECT_EQ(out.text(), "Wire Mode:\nSolid Mode:\n");
    EXPECT_EQ(wire[0], GL_LINE);
    EXPECT_EQ(wire[1], GL_LINE);
    EXPECT_EQ(solid[0], GL_FILL);
    EXPECT_EQ(solid[1], GL_FILL);
}

TEST(GLWidget, RendersTheClearColourWhereNothingIsDrawn) {
    Window window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    GLWidget* widget = window.glWidget;
    // The free camera far above the slope, looking straight up: nothing of the scene is in view.
    widget->camera.mode = 5;
    widget->camera.position = Vec3(0.0f, 20000.0f, 0.0f);
    widget->camera.viewDirection = Vec3(0.0f, 1.0f, 0.0f);
    widget->camera.upVector = Vec3(0.0f, 0.0f, -1.0f);
    widget->camera.rightVector = Vec3(-1.0f, 0.0f, 0.0f);
    // Paint the framebuffer red first, so a frame that failed to clear it would show.
    widget->makeCurrent();
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    widget->doneCurrent();
    const QImage frame = widget->grabFramebuffer();
    EXPECT_EQ(frame.size(), widget->size() * widget->devicePixelRatio());
    EXPECT_GE(frame.width(), 700);
    EXPECT_GE(frame.height(), 700);
    for (int y = 0; y < frame.height(); y += 7) {
        for (int x = 0; x < frame.width(); x += 7) {
            const QRgb p = frame.pixel(x, y);
            ASSERT_EQ(qRed(p) + qGreen(p) + qBlue(p), 0) << x << "," << y;
        }
    }
}
