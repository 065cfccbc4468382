// Keyboard, mouse and value-slot behaviour of the scene widget, driven on the real window.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "app/window.h"
#include "scene/glwidget.h"
#include "scene_test_support.h"

namespace {

class GLWidgetInput : public testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<Window>();
        widget_ = window_->glWidget;
        // Motion by the timer would blur what a single key did.
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
    void clickIntoScene() {
        QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {},
                          widget_->mapTo(window_.get(), QPoint(100, 120)));
    }

    ScopedWorkingDir dir_;  // no data files: models are reported missing
    CoutCapture console_;
    std::unique_ptr<Window> window_;
    GLWidget* widget_ = nullptr;
};

}  // namespace

TEST_F(GLWidgetInput, ArrowKeysReachTheBoarderOnlyAfterAClickIntoTheScene) {
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
}

TEST_F(GLWidgetInput, F1CyclesTheSixCameraModes) {
    clickIntoScene();
    for (int expected : {1, 2, 3, 4, 5, 0, 1}) {
        press(Qt::Key_F1);
        EXPECT_EQ(widget_->camera.mode, expected);
    }
}

TEST_F(GLWidgetInput, LetterKeysFlyTheFreeCamera) {
    clickIntoScene();
    const struct {
        Qt::Key key;
        Vec3 position;
    } moves[] = {
        {Qt::Key_R, Vec3(0, 4500, 990)},   {Qt::Key_F, Vec3(0, 4500, 1000)},
        {Qt::Key_T, Vec3(10, 4500, 1000)}, {Qt::Key_G, Vec3(0, 4500, 1000)},
        {Qt::Key_Z, Vec3(0, 4510, 1000)},  {Qt::Key_H, Vec3(0, 4500, 1000)},
    };
    for (const auto& move : moves) {
        press(move.key);
        EXPECT_NEAR(widget_->camera.position.x, move.position.x, 1e-3f) << move.key;
        EXPECT_NEAR(widget_->camera.position.y, move.position.y, 1e-3f) << move.key;
        EXPECT_NEAR(widget_->camera.position.z, move.position.z, 1e-3f) << move.key;
    }
    const float s = std::sin(0.017453292519943295);
    press(Qt::Key_U);  // pitch up
    EXPECT_NEAR(widget_->camera.viewDirection.y, s, 1e-6f);
    press(Qt::Key_J);
    press(Qt::Key_I);  // yaw left
    EXPECT_NEAR(widget_->camera.viewDirection.x, -s, 1e-6f);
    press(Qt::Key_K);
    press(Qt::Key_O);  // roll left
    EXPECT_NEAR(widget_->camera.rightVector.y, s, 1e-6f);
    press(Qt::Key_L);
    EXPECT_NEAR(widget_->camera.viewDirection.z, -1.0f, 1e-6f);
    EXPECT_NEAR(widget_->camera.rightVector.x, 1.0f, 1e-6f);
}

TEST_F(GLWidgetInput, RotationSlotsTurnOneDegreeAndEmitOnEveryCall) {
    QSignalSpy spy(widget_, &GLWidget::xRotationChanged);
    const float s = std::sin(0.017453292519943295);
    widget_->setXRotation(5);
    EXPECT_NEAR(widget_->camera.viewDirection.y, s, 1e-6f);
    widget_->setXRotation(5);  // equal: turns back down
    EXPECT_NEAR(widget_->camera.viewDirection.y, 0.0f, 1e-6f);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 5);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 5);
    EXPECT_EQ(widget_->xRotation, 5);

    QSignalSpy ySpy(widget_, &GLWidget::yRotationChanged);
    QSignalSpy zSpy(widget_, &GLWidget::zRotationChanged);
    widget_->setYRotation(-3);
    widget_->setZRotation(7);
    EXPECT_EQ(ySpy.count(), 1);
    EXPECT_EQ(zSpy.count(), 1);
}

TEST_F(GLWidgetInput, PositionSlotsMoveTheFreeCameraByAHundredMetres) {
    widget_->setXCamPosition(1);  // a larger x value moves left
    widget_->setYCamPosition(1);
    widget_->setZCamPosition(1);
    EXPECT_NEAR(widget_->camera.position.x, -100.0f, 1e-3f);
    EXPECT_NEAR(widget_->camera.position.y, 4600.0f, 1e-3f);
    EXPECT_NEAR(widget_->camera.position.z, 900.0f, 1e-3f);
    widget_->setZCamPosition(1);  // not larger: back
    EXPECT_NEAR(widget_->camera.position.z, 1000.0f, 1e-3f);
    EXPECT_EQ(widget_->zCamPosition, 1);
}
