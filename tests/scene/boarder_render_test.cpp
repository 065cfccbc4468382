// The boarder as it appears in a frame of the real window: the chase camera looks at its foot,
// so the green marker line and the model stand at the centre of the scene.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QTest>
#include <QTimer>
#include <cstring>

#include "app/window.h"
#include "scene/glwidget.h"
#include "scene_test_support.h"
#include "world/heightmap.h"

namespace {

struct Blob {
    long count = 0;
    double x = 0, y = 0;  // centroid in image pixels, row 0 at the top
    int minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
};

template <class Match>
Blob find(const QImage& image, Match match) {
    Blob b;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (match(image.pixel(x, y))) {
                ++b.count;
                b.x += x;
                b.y += y;
                b.minX = std::min(b.minX, x);
                b.maxX = std::max(b.maxX, x);
                b.minY = std::min(b.minY, y);
                b.maxY = std::max(b.maxY, y);
            }
        }
    }
    if (b.count > 0) {
        b.x /= b.count;
        b.y /= b.count;
    }
    return b;
}

bool isMarkerGreen(QRgb p) {
    return qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80;
}
bool isModelMagenta(QRgb p) {
    return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) > 200;
}

// Shows the window, grows the scene widget towards the given size (the layout decides the
// width), and grabs one frame in mode 0.
QImage grabChaseFrame(QSize sceneSize) {
    Window window;
    GLWidget* widget = window.glWidget;
    for (QTimer* timer : widget->findChildren<QTimer*>()) {
        timer->stop();
    }
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (Vec3& gate : widget->gates) {
        gate = Vec3(-900.0f, 0.0f, 900.0f);  // behind the camera, so no pole hides the boarder
    }
    window.resize(window.size() + sceneSize - widget->size());
    QTest::qWait(50);
    return widget->grabFramebuffer();
}

// The foot is at the image centre; the model (a cube 10 m above and 10 m right of the foot)
// just right of it, about 21 px at a 700 px high view.
void expectBoarderAtCentre(const QImage& image) {
    const double cx = image.width() / 2.0, cy = image.height() / 2.0;
    const double pixelsPerMetre = image.height() / 700.0 * 2.1;
    const Blob marker = find(image, isMarkerGreen);
    ASSERT_GT(marker.count, 3);
    EXPECT_NEAR(marker.minX, cx, 2.0);
    EXPECT_NEAR(marker.maxX, cx, 2.0);
    EXPECT_NEAR(marker.maxY, cy, 2.0);  // the line rises from the foot
    EXPECT_LT(marker.minY, cy - 3);
    const Blob model = find(image, isModelMagenta);
    ASSERT_GT(model.count, 50);
    EXPECT_NEAR(model.x, cx + 10 * pixelsPerMetre, 6.0);
    EXPECT_NEAR(model.y, cy - 3.2 * pixelsPerMetre, 6.0);
}

}  // namespace

TEST(BoarderRender, MarkerAndModelStandWhereTheChaseCameraLooks) {
    ScopedWorkingDir dir(kCubeBoarder);
    const QImage image = grabChaseFrame(QSize(700, 700));
    expectBoarderAtCentre(image);
}

TEST(BoarderRender, ModelFollowsTheViewportAtOtherSizes) {
    ScopedWorkingDir dir(kCubeBoarder);
    const QImage image = grabChaseFrame(QSize(1000, 900));
    ASSERT_EQ(image.height(), 900);
    expectBoarderAtCentre(image);
}

TEST(BoarderRender, MissingModelLeavesTheMarkerLine) {
    ScopedWorkingDir dir;
    CoutCapture console;
    const QImage image = grabChaseFrame(QSize(700, 700));
    EXPECT_GT(find(image, isMarkerGreen).count, 3);
    EXPECT_EQ(find(image, isModelMagenta).count, 0);
}

TEST(BoarderDraw, LeavesTheGLStateAsItFoundItAndStandsOnTheGround) {
    ScopedWorkingDir dir(kCubeBoarder);
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    ASSERT_TRUE(context.create());
    ASSERT_TRUE(context.makeCurrent(&surface));
    {
        QOpenGLFramebufferObject fbo(320, 200, QOpenGLFramebufferObject::Depth);
        fbo.bind();
        glViewport(0, 0, 320, 200);
        glEnable(GL_CULL_FACE);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glScalef(0.0005f, 0.0005f, 0.0005f);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-1.0, 1.0, -1.0, 1.0, 0.1, 10.0);
        glMatrixMode(GL_MODELVIEW);
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
        GLint depth = 0, mode = 0, viewport[4];
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(depth, 1);
        EXPECT_EQ(mode, GL_MODELVIEW);
        EXPECT_EQ(viewport[2], 320);
        EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(boarder.position.y, heightAt(300.0f, 40.0f));
    }
    context.doneCurrent();
}
