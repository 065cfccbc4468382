#include "world/scenery.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include <QTimer>
#include "app/window.h"
#include "scene/glwidget.h"
#include "world/heightmap.h"

#include "world_probe.h"

namespace {

const char* const validModel = "#Inventor V2.1 ascii\nSeparator { Cube {} }\n";

// True when the pixel is within one step of the colour on every channel.
bool near(QRgb pixel, int r, int g, int b) {
    return std::abs(qRed(pixel) - r) <= 1 && std::abs(qGreen(pixel) - g) <= 1 &&
           std::abs(qBlue(pixel) - b) <= 1;
}

bool isRed(QRgb pixel) {
    return near(pixel, 255, 0, 0);
}
bool isBlack(QRgb pixel) {
    return near(pixel, 0, 0, 0);
}

// A 20-degree perspective looking horizontally from eye at centre.
void lookAt(double ex, double ey, double ez, double cx, double cy, double cz, double fov = 20.0) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fov, 1.0, 1.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(ex, ey, ez, cx, cy, cz, 0.0, 1.0, 0.0);
}

}  // namespace

TEST(SceneryLoad, ConsoleLinesFollowTheMissingFilesInTreeFinishStartOrder) {
    struct Case {
        const char* name;
        const char* tree;  // content, or null for a missing file
        const char* finish;
        const char* start;
        std::string expected;
    };
    const Case cases[] = {
        {"all present", validModel, validModel, validModel, ""},
        {"none present", nullptr, nullptr, nullptr,
         ".iv tree file not found: tree.iv\nProblem reading .iv tree file: tree.iv\n"
         ".iv finish file not found: finish.iv\nProblem reading .iv finish file: finish.iv\n"
         ".iv start file not found: start.iv\nProblem reading .iv start file: start.iv\n"},
        {"finish missing", validModel, nullptr, validModel,
         ".iv finish file not found: finish.iv\nProblem reading .iv finish file: finish.iv\n"},
        {"start unreadable", validModel, validModel, "this is no model {{{",
         "Problem reading .iv start file: start.iv\n"},
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
        testing::internal::CaptureStdout();
        GLWidget widget;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected) << c.name;
        // A model that could not be read leaves its group empty: no null child.
        EXPECT_EQ(widget.finish.modelGroup->getNumChildren(), c.finish ? 1 : 0) << c.name;
        EXPECT_EQ(widget.trees.modelGroup->getNumChildren(), c.tree ? 1 : 0) << c.name;
        EXPECT_EQ(widget.start.sceneRoot->getNumChildren(), 1) << c.name;
    }
}

TEST(Trees, PlacedAtWholeMetresXBeforeZ) {
    TempWorkDir dir;
    testing::internal::CaptureStdout();
    Trees trees;
    testing::internal::GetCapturedStdout();
    std::srand(4711);
    trees.placeTrees();
    std::srand(4711);
    for (const Vec3& p : trees.positions) {
        const int x = std::rand() % 2001 - 1000;
        const int z = std::rand() % 2001 - 1000;
        EXPECT_EQ(p.x, static_cast<float>(x));
        EXPECT_EQ(p.z, static_cast<float>(z));
        EXPECT_GE(p.x, -1000.0f);
        EXPECT_LE(p.x, 1000.0f);
        EXPECT_EQ(p.x, std::floor(p.x));
    }
}

TEST(Trees, StayPutAcrossANewGame) {
    TempWorkDir dir;
    testing::internal::CaptureStdout();
    Window window;
    testing::internal::GetCapturedStdout();
    Vec3 before[10];
    std::copy(std::begin(window.glWidget->trees.positions),
              std::end(window.glWidget->trees.positions), before);
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "resetAll"));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(window.glWidget->trees.positions[i].x, before[i].x);
        EXPECT_EQ(window.glWidget->trees.positions[i].z, before[i].z);
    }
}

TEST(TreesDraw, BrownTrunkUnderAGreenCrownStandingOnTheGround) {
    TempWorkDir dir;
    testing::internal::CaptureStdout();
    Trees trees;
    testing::internal::GetCapturedStdout();
    for (Vec3& p : trees.positions) {
        p = Vec3(0.0f, 0.0f, 0.0f);
    }
    const double g = heightAt(0.0f, 0.0f);
    GLProbe probe;
    // 200 m away with a 30-degree view: 0.535 m a pixel about the eye height g + 35.
    probe.frame = [&] {
        lookAt(0.0, g + 35.0, 200.0, 0.0, g + 35.0, 0.0, 30.0);
        trees.draw();
    };
    const QImage image = probe.render();
    auto at = [&](double height) {
        return image.pixel(100, static_cast<int>(100.0 - (height - 35.0) / 0.5359));
    };
    EXPECT_TRUE(near(at(2.0), 139, 90, 43)) << std::hex << at(2.0);
    EXPECT_TRUE(near(at(18.0), 139, 90, 43));
    EXPECT_TRUE(near(at(22.0), 46, 139, 87)) << std::hex << at(22.0);
    EXPECT_TRUE(near(at(60.0), 46, 139, 87));
    EXPECT_TRUE(isBlack(at(-3.0)));  // nothing below the ground
    EXPECT_TRUE(isBlack(at(73.0)));  // nothing above the tip
    // The trunk is 4 m wide: 4 m to the side there is nothing.
    EXPECT_TRUE(isBlack(image.pixel(100 + 8, static_cast<int>(100.0 - (10.0 - 35.0) / 0.5359))));
}

TEST(GlutConeUsable, OnlyWithANamedDisplayAndTheToolkitOnX) {
    EXPECT_TRUE(glutConeUsable(":0", "xcb"));
    EXPECT_FALSE(glutConeUsable(nullptr, "xcb"));
    EXPECT_FALSE(glutConeUsable("", "xcb"));
    EXPECT_FALSE(glutConeUsable(":0", "wayland"));
    EXPECT_FALSE(glutConeUsable(":0", "offscreen"));
    EXPECT_FALSE(glutConeUsable(":0", nullptr));
}

TEST(DrawCone, GluConeCoversWhatGlutConeCovers) {
    // Two cones seen from the side and from below (base disk), drawn by either library.
    GLUquadric* quadric = gluNewQuadric();
    ASSERT_NE(quadric, nullptr);
    GLProbe probe;
    probe.render();  // the first frame happens under the toolkit, GLUT is ready after it
    int covered[2][2] = {};
    for (int below = 0; below < 2; ++below) {
        for (int useGlut = 0; useGlut < 2; ++useGlut) {
            if (useGlut && !glutConeUsable(std::getenv("DISPLAY"), "xcb")) {
                GTEST_SKIP() << "no X display for GLUT";
            }
            probe.frame = [&] {
                if (useGlut && glutGet(GLUT_INIT_STATE) == 0) {
                    char name[] = "scenery_test";
                    char* argv[] = {name, nullptr};
                    int argc = 1;
                    glutInit(&argc, argv);
                }
                lookAt(0.0, below ? -100.0 : 25.0, below ? 0.1 : 150.0, 0.0, 25.0, 0.0, 40.0);
                glColor3f(1.0f, 0.0f, 0.0f);
                glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
                drawCone(quadric, useGlut, 10.0, 50.0, 10, 2);
            };
            const QImage image = probe.render();
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    covered[below][useGlut] += isRed(image.pixel(x, y));
                }
            }
        }
        EXPECT_GT(covered[below][0], 500) << below;
        EXPECT_NEAR(covered[below][0], covered[below][1], covered[below][1] / 200) << below;
    }
    gluDeleteQuadric(quadric);
}

TEST(SceneryModelDraw, StandsOnTheGroundTurnedAndScaled) {
    TempWorkDir dir;
    // A box 4 x 2 x 1 model units (x, y, z) round its origin; scaled by 5 and turned by -90
    // degrees about y it is 20 m along world z, 10 m high and 5 m along world x.
    writeFile("start.iv",
              "#Inventor V2.1 ascii\nSeparator {\n LightModel { model BASE_COLOR }\n"
              " BaseColor { rgb 1 0 0 }\n Cube { width 4 height 2 depth 1 }\n}\n");
    SceneryModel start("start.iv", "start", 170.0f, -75.0f, 0.0f);
    const double g = heightAt(170.0f, -75.0f);
    GLProbe probe;
    // 20 degrees at 100 m: 0.176 m a pixel.
    probe.frame = [&] {
        lookAt(170.0, g, 25.0, 170.0, g, -75.0);
        start.draw();
    };
    QImage image = probe.render();
    EXPECT_TRUE(isRed(image.pixel(100, 100)));
    EXPECT_TRUE(isRed(image.pixel(100, 100 - 25)));    // 4.4 m up
    EXPECT_TRUE(isBlack(image.pixel(100, 100 - 34)));  // 6 m up
    EXPECT_TRUE(isRed(image.pixel(100 + 11, 100)));    // 1.9 m along x
    EXPECT_TRUE(isBlack(image.pixel(100 + 17, 100)));  // 3 m along x
    probe.frame = [&] {
        lookAt(270.0, g, -75.0, 170.0, g, -75.0);
        start.draw();
    };
    image = probe.render();
    EXPECT_TRUE(isRed(image.pixel(100 - 51, 100)));    // 9 m along z
    EXPECT_TRUE(isBlack(image.pixel(100 - 63, 100)));  // 11 m along z
}

TEST(SceneryModelDraw, FinishStands70AboveTheGround) {
    TempWorkDir dir;
    writeFile("finish.iv", flatCube(1.0f, 1.0f, 0.0f, 0.0f));
    SceneryModel finish("finish.iv", "finish", 952.0f, 124.0f, 70.0f);
    const double g = heightAt(952.0f, 124.0f);
    GLProbe probe;
    for (const double eyeHeight : {70.0, 0.0}) {
        probe.frame = [&] {
            lookAt(952.0, g + eyeHeight, 224.0, 952.0, g + eyeHeight, 124.0);
            finish.draw();
        };
        const QImage image = probe.render();
        EXPECT_EQ(isRed(image.pixel(100, 100)), eyeHeight == 70.0) << eyeHeight;
    }
}

namespace {

const Rgb snowColour{235, 240, 250};
const Rgb skyColour{40, 90, 230};
const Rgb groundColour{150, 100, 50};

// The whole scene widget in a folder of tiny data files: a uniform snow picture, a backdrop
// whose upper half is sky and lower half ground, and start and finish models that are flat
// magenta and cyan cubes 10 m wide. Its timer is stopped so frames come only from grab.
class SlopeFrame : public testing::Test {
protected:
    void SetUp() override {
        writeBmp24("snow16.bmp", 4, 4, std::vector<Rgb>(16, snowColour));
        std::vector<Rgb> backdrop(4 * 12, skyColour);
        std::fill(backdrop.begin() + 4 * 6, backdrop.end(), groundColour);
        writeBmp24("panorama20480256.bmp", 4, 12, backdrop);
        writeFile("start.iv", flatCube(1.0f, 1.0f, 0.0f, 1.0f));
        writeFile("finish.iv", flatCube(1.0f, 0.0f, 1.0f, 1.0f));
        writeFile("tree.iv", validModel);
        testing::internal::CaptureStdout();
        widget = std::make_unique<GLWidget>();
        for (QTimer* timer : widget->findChildren<QTimer*>()) {
            timer->stop();
        }
        widget->resize(700, 700);
        widget->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
    }
    void TearDown() override {
        widget.reset();
        testing::internal::GetCapturedStdout();
    }

    // Draws a frame in the given camera mode.
    void grab(int mode) {
        widget->camera.mode = mode;
        image = widget->grabFramebuffer();
    }

    // The colour where world point (x, y, z) appears in the last frame, and whether any pixel
    // within `radius` pixels of it matches c.
    bool seenNear(float x, float y, float z, Rgb c, int radius = 1) {
        double mv[16], pr[16];
        GLint vp[4];
        widget->makeCurrent();
        glGetDoublev(GL_MODELVIEW_MATRIX, mv);
        glGetDoublev(GL_PROJECTION_MATRIX, pr);
        glGetIntegerv(GL_VIEWPORT, vp);
        widget->doneCurrent();
        double wx, wy, wz;
        gluProject(x, y, z, mv, pr, vp, &wx, &wy, &wz);
        const int px = static_cast<int>(wx), py = image.height() - 1 - static_cast<int>(wy);
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                if (image.valid(px + dx, py + dy) &&
                    near(image.pixel(px + dx, py + dy), c.r, c.g, c.b)) {
                    return true;
                }
            }
        }
        return false;
    }

    TempWorkDir dir;
    std::unique_ptr<GLWidget> widget;
    QImage image;
};

}  // namespace

TEST_F(SlopeFrame, ChaseViewsShowSnowPolesTreesAndStart) {
    for (Vec3& p : widget->trees.positions) {
        p = Vec3(150.0f, 0.0f, 40.0f);
    }
    for (int mode : {0, 1, 2}) {
        grab(mode);
        // Snow below the boarder's foot, which is at the centre.
        EXPECT_TRUE(near(image.pixel(350, 450), snowColour.r, snowColour.g, snowColour.b)) << mode;
        EXPECT_TRUE(seenNear(170.0f, heightAt(170.0f, -75.0f) + 3.0f, -75.0f, {255, 0, 255}))
            << mode;
        EXPECT_TRUE(seenNear(150.0f, heightAt(150.0f, 40.0f) + 50.0f, 40.0f, {46, 139, 87}))
            << mode;
        for (int i = 0; i < 4; ++i) {
            const Vec3 g = widget->gates[i];
            const Rgb pole = i % 2 == 0 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
            EXPECT_TRUE(seenNear(g.x, heightAt(g.x, g.z) + 15.0f, g.z, pole, 2))
                << mode << " gate " << i;
        }
    }
}

TEST_F(SlopeFrame, ChaseViewShowsTheFinishAhead) {
    // The boarder 52 m short of the finish line, heading for it.
    widget->boarder.position = Vec3(900.0f, heightAt(900.0f, 124.0f), 124.0f);
    grab(0);
    EXPECT_TRUE(seenNear(952.0f, heightAt(952.0f, 124.0f) + 72.0f, 124.0f, {0, 255, 255}));
}

TEST_F(SlopeFrame, FreeCameraSeesSkyAboveTheHorizon) {
    grab(5);
    // Level with the free camera, 1400 m above the backdrop's foot: the picture's upper half.
    EXPECT_TRUE(near(image.pixel(350, 350), skyColour.r, skyColour.g, skyColour.b));
    EXPECT_TRUE(near(image.pixel(350, 20), skyColour.r, skyColour.g, skyColour.b));
}
