// The boarder is on screen all along the course: the real window, started over the game's own
// data, in its default chase view and solid mode, with the boarder put at each place along the
// course's lines. What the boarder's model adds to the frame there is compared with what it adds
// standing on the flat snow of the finish: sunk into the slope it would add next to nothing.
//
// The default chase view looks from 300 m behind and 900 m above. Just below the start, the
// surveyed cliff edge at x = 125 (4400.3 m at z = 0) stands above the line of sight from there to
// the top of the model, which no model and no elevation of ours can change; at such places the test
// asks only that the blocked line of sight is the reason, and that they all lie below the start.
// The start and finish arches and the trees are taken out of the way: the test is about the snow.
#include <gtest/gtest.h>

#include <Inventor/nodes/SoSeparator.h>

#include <QDir>
#include <QImage>
#include <QtTest/QTest>
#include <algorithm>
#include <memory>
#include <sstream>
#include <vector>

#include "app/window.h"
#include "scene/glwidget.h"
#include "support/game_probe.h"
#include "support/snow_clearance.h"
#include "world/heightmap.h"

namespace {

class BoarderOnScreen : public testing::Test {
protected:
    void SetUp() override {
        previous_ = QDir::currentPath();
        QDir::setCurrent(GAME_DATA_DIR);
        window_ = std::make_unique<Window>();
        stopTimers(*window_);  // only the test moves the boarder
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        scene_ = window_->glWidget;
        // Only the snow may hide the boarder here: the start and finish arches, which it passes
        // under, are emptied and the trees moved to a far corner.
        for (SceneryModel* arch : {&scene_->start, &scene_->finish}) {
            arch->modelGroup->removeAllChildren();
        }
        for (Vec3& tree : scene_->trees.positions) {
            tree = Vec3(-1000.0f, 0.0f, -1000.0f);
        }
    }
    void TearDown() override {
        window_.reset();
        QDir::setCurrent(previous_);
    }

    // The pixels of the frame that the boarder's model changes with its foot at (x, z), heading
    // down the course: the frame drawn with it, and again with its scene graph left out (the
    // marker line and everything else drawn alike).
    int modelPixels(float x, float z) {
        Boarder& boarder = scene_->boarder;
        boarder.position = Vec3(x, heightAt(x, z), z);
        const QImage with = scene_->grabFramebuffer();
        SoSeparator* root = boarder.sceneRoot;
        boarder.sceneRoot = nullptr;
        const QImage without = scene_->grabFramebuffer();
        boarder.sceneRoot = root;
        if (with.isNull() || with.size() != without.size()) {
            return -1;
        }
        int changed = 0;
        for (int y = 0; y < with.height(); ++y) {
            for (int i = 0; i < with.width(); ++i) {
                changed += with.pixel(i, y) != without.pixel(i, y);
            }
        }
        return changed;
    }

    // Whether the terrain as drawn, on either diagonal, stands between the chase view's eye and
    // the point top metres above the boarder's foot at (x, z).
    bool sightBlocked(float x, float z, double top) {
        scene_->boarder.position = Vec3(x, heightAt(x, z), z);
        const Vec3 eye = scene_->camera.view(0, scene_->boarder).eye;
        const Vec3 target(x, heightAt(x, z) + static_cast<float>(top), z);
        for (int i = 1; i < 400; ++i) {
            const Vec3 p = eye + (target - eye) * (i / 400.0f);
            if (p.y < std::min(snow_clearance::drawnHeight(p.x, p.z, 0),
                               snow_clearance::drawnHeight(p.x, p.z, 1))) {
                return true;
            }
        }
        return false;
    }

    QString previous_;
    std::unique_ptr<Window> window_;
    GLWidget* scene_ = nullptr;
};

}  // namespace

TEST_F(BoarderOnScreen, AtEveryPlaceAlongTheCourseInTheChaseView) {
    ASSERT_EQ(scene_->camera.mode, 0);
    ASSERT_EQ(scene_->wireMode, 0);
    ASSERT_NE(scene_->boarder.model, nullptr) << "boarder.iv in " << GAME_DATA_DIR;
    // Past the finish the snow is nearly flat: the whole model shows there.
    const int whole = modelPixels(960.0f, 146.0f);
    ASSERT_GT(whole, 80) << "the boarder seen on flat snow";
    double top = 0.0;
    for (const snow_clearance::Point& p : snow_clearance::modelVertices(GAME_DATA_DIR)) {
        top = std::max(top, p.z);
    }
    ASSERT_GT(top, 10.0);
    int fewest = whole;
    int blocked = 0;
    std::ostringstream where;
    for (float z : snow_clearance::lines) {
        for (int x = snow_clearance::firstX; x <= snow_clearance::lastX;
             x += snow_clearance::stepX) {
            if (sightBlocked(static_cast<float>(x), z, top)) {
                ++blocked;
                EXPECT_LT(x, 200) << "the view of the boarder at x " << x << " z " << z
                                  << " is blocked by the terrain";
                continue;
            }
            const int shown = modelPixels(static_cast<float>(x), z);
            EXPECT_GE(shown, whole / 2) << "x " << x << " z " << z;
            if (shown < fewest) {
                fewest = shown;
                where.str("");
                where << "x " << x << " z " << z;
            }
        }
    }
    RecordProperty("pixels_on_flat_snow", whole);
    RecordProperty("fewest_pixels", fewest);
    RecordProperty("fewest_at", where.str());
    RecordProperty("blocked_views", blocked);
}
