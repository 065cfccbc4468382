#include "world/scenery.h"

#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "app/window.h"
#include "scene/glwidget.h"
#include "support/game_probe.h"
#include "world/heightmap.h"

namespace {

const char* const cubeModel = "#Inventor V2.1 ascii\nSeparator { Cube {} }\n";
const Rgb magenta{255, 0, 255}, cyan{0, 255, 255}, crown{46, 139, 87}, snow{235, 240, 250},
    sky{40, 90, 230}, rock{150, 100, 50};

}  // namespace

TEST(SceneryLoad, LinesFollowTheUnreadableFilesInTreeFinishStartOrder) {
    struct Case {
        const char* tree;  // file content, or null for a missing file
        const char* finish;
        const char* start;
        std::string expected;
    };
    const Case cases[] = {
        {cubeModel, cubeModel, cubeModel, ""},
        {nullptr, nullptr, nullptr,
         ".iv tree file not found: tree.iv\nProblem reading .iv tree file: tree.iv\n"
         ".iv finish file not found: finish.iv\nProblem reading .iv finish file: finish.iv\n"
         ".iv start file not found: start.iv\nProblem reading .iv start file: start.iv\n"},
        {cubeModel, cubeModel, "no model {{", "Problem reading .iv start file: start.iv\n"},
    };
    for (const Case& c : cases) {
        TempWorkDir dir;
        const std::pair<const char*, const char*> files[] = {
            {"tree.iv", c.tree}, {"finish.iv", c.finish}, {"start.iv", c.start}};
        for (const auto& [name, content] : files) {
            if (content != nullptr) {
                writeFile(name, content);
            }
        }
        CoutCapture console;
        GLWidget widget;
        EXPECT_EQ(console.text(), c.expected);
        // A model that was not read leaves its group empty: no null child.
        EXPECT_EQ(widget.trees.modelGroup->getNumChildren(), c.tree ? 1 : 0);
        EXPECT_EQ(widget.start.modelGroup->getNumChildren(),
                  c.expected.find("start") == std::string::npos ? 1 : 0);
    }
}

TEST(Trees, WholeMetresInRangeXBeforeZAndKeptByANewGame) {
    TempWorkDir dir;
    CoutCapture quiet;
    Window window;
    Trees& trees = window.glWidget->trees;
    std::srand(4711);
    trees.placeTrees();
    std::srand(4711);
    for (const Vec3& p : trees.positions) {
        const int x = std::rand() % 2001 - 1000;
        EXPECT_EQ(p.x, static_cast<float>(x));
        EXPECT_EQ(p.z, static_cast<float>(std::rand() % 2001 - 1000));
    }
    const Vec3 first = trees.positions[0], last = trees.positions[9];
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "resetAll"));
    EXPECT_EQ(trees.positions[0].x, first.x);
    EXPECT_EQ(trees.positions[9].z, last.z);
}

TEST(GlutConeUsable, OnlyWithANamedDisplayAndTheToolkitOnX) {
    EXPECT_TRUE(glutConeUsable(":0", "xcb"));
    EXPECT_FALSE(glutConeUsable(nullptr, "xcb"));
    EXPECT_FALSE(glutConeUsable("", "xcb"));
    EXPECT_FALSE(glutConeUsable(":0", "offscreen"));
}

// The whole scene widget over tiny data files: a uniform snow picture with unaligned rows, a
// backdrop whose upper half is sky, magenta start and cyan finish cubes 10 m wide, and the ten
// trees in one place. Frames come only from grab.
TEST(SlopeFrame, ChaseViewShowsSnowTreesStartAndFinishAndTheFreeCameraTheSky) {
    TempWorkDir dir;
    CoutCapture quiet;
    writeBmp24("snow16.bmp", 2, 2, std::vector<Rgb>(4, snow));
    std::vector<Rgb> backdrop(12, sky);
    std::fill(backdrop.begin() + 6, backdrop.end(), rock);
    writeBmp24("panorama20480256.bmp", 1, 12, backdrop);
    writeFile("start.iv", flatBox(2, 2, 2, magenta));
    writeFile("finish.iv", flatBox(2, 2, 2, cyan));
    GLWidget widget;
    for (QTimer* timer : widget.findChildren<QTimer*>()) {
        timer->stop();
    }
    for (Vec3& p : widget.trees.positions) {
        p = Vec3(150.0f, 0.0f, 40.0f);
    }
    widget.resize(700, 700);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QImage image;
    auto grab = [&](int mode) {
        widget.camera.mode = mode;
        image = widget.grabFramebuffer();
    };
    // Whether a pixel within `radius` of where world point (x, ground + above, z) appears in the
    // last frame has colour c.
    auto seen = [&](float x, float above, float z, Rgb c, int radius = 1) {
        double mv[16], pr[16], wx, wy, wz;
        GLint vp[4];
        widget.makeCurrent();  // the frame's matrices are still in place
        glGetDoublev(GL_MODELVIEW_MATRIX, mv);
        glGetDoublev(GL_PROJECTION_MATRIX, pr);
        glGetIntegerv(GL_VIEWPORT, vp);
        widget.doneCurrent();
        gluProject(x, heightAt(x, z) + above, z, mv, pr, vp, &wx, &wy, &wz);
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                const int px = static_cast<int>(wx) + dx, py = image.height() - 1 - int(wy) + dy;
                if (image.valid(px, py) && near(image.pixel(px, py), c)) {
                    return true;
                }
            }
        }
        return false;
    };

    grab(0);
    EXPECT_TRUE(near(image.pixel(350, 450), snow));  // below the boarder's foot
    EXPECT_TRUE(seen(170.0f, 3.0f, -75.0f, magenta));
    EXPECT_TRUE(seen(150.0f, 62.0f, 40.0f, crown, 2));  // 8 m under the tip
    widget.boarder.position = Vec3(900.0f, heightAt(900.0f, 124.0f), 124.0f);
    grab(0);
    EXPECT_TRUE(seen(952.0f, 72.0f, 124.0f, cyan));
    // Level with the free camera lies the backdrop's upper half.
    grab(5);
    EXPECT_TRUE(near(image.pixel(350, 350), sky));
    EXPECT_TRUE(near(image.pixel(350, 20), sky));
}
