// The boarder as it appears in a frame of the real window: the chase camera looks at its foot,
// so the green marker line and the model stand at the centre of the scene.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <QTimer>

#include "app/window.h"
#include "scene/glwidget.h"
#include "scene_test_support.h"

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
bool isModelRed(QRgb p) {
    return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80;
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
    // The gate poles are red too: move them behind the camera, out of the frame.
    for (Vec3& gate : widget->gates) {
        gate.x = -5000.0f;
    }
    window.resize(window.size() + sceneSize - widget->size());
    QTest::qWait(50);
    return widget->grabFramebuffer();
}

// The foot is at the image centre; the model (a red cube 10 m above and 10 m right of the foot)
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
    const Blob model = find(image, isModelRed);
    ASSERT_GT(model.count, 50);
    EXPECT_NEAR(model.x, cx + 10 * pixelsPerMetre, 6.0);
    EXPECT_NEAR(model.y, cy - 3.2 * pixelsPerMetre, 6.0);
}

}  // namespace

TEST(BoarderRender, MarkerAndModelStandWhereTheChaseCameraLooks) {
    ScopedWorkingDir dir(kRedCubeBoarder);
    const QImage image = grabChaseFrame(QSize(700, 700));
    expectBoarderAtCentre(image);
}

TEST(BoarderRender, ModelFollowsTheViewportAtOtherSizes) {
    ScopedWorkingDir dir(kRedCubeBoarder);
    const QImage image = grabChaseFrame(QSize(1000, 900));
    ASSERT_EQ(image.height(), 900);
    expectBoarderAtCentre(image);
}

TEST(BoarderRender, MissingModelLeavesTheMarkerLine) {
    ScopedWorkingDir dir;
    CoutCapture console;
    const QImage image = grabChaseFrame(QSize(700, 700));
    EXPECT_GT(find(image, isMarkerGreen).count, 3);
    EXPECT_EQ(find(image, isModelRed).count, 0);
}
