#include "scene/camera.h"

#include <gtest/gtest.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <cmath>
#include <sstream>

#include "scene/boarder.h"
#include "scene_test_support.h"
#include "world/heightmap.h"

namespace {

const double kDegree = 0.017453292519943295;

void expectNear(Vec3 actual, Vec3 expected, float tolerance = 1e-3f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

}  // namespace

TEST(CameraView, ChaseViewsLookAtTheFootFromBehindAndAbove) {
    Boarder boarder;
    const Camera camera;
    const float h = heightAt(100.0f, 0.0f);
    const struct {
        int mode;
        float above, behind;
    } table[] = {{0, 900, 300}, {1, 600, 200}, {2, 300, 100}, {3, 1000, 1000}};
    for (const auto& row : table) {
        const CameraView v = camera.view(row.mode, boarder);
        expectNear(v.eye, Vec3(100.0f - row.behind, h + row.above, 0.0f));
        expectNear(v.centre, Vec3(100.0f, h, 0.0f));
        expectNear(v.up, Vec3(0.0f, 1.0f, 0.0f));
    }
}

TEST(CameraView, ChaseViewTurnsWithTheBoarderAtOnce) {
    Boarder boarder;
    boarder.turn(10.0f);
    const float h = heightAt(100.0f, 0.0f);
    const CameraView v = Camera().view(0, boarder);
    expectNear(v.eye, Vec3(100.0f - 300.0f * std::cos(10 * kDegree), h + 900.0f,
                           300.0f * std::sin(10 * kDegree)));
}

TEST(CameraView, BoardersEyesFollowTheLineFromTheGroundBehind) {
    // A boarder stored 5 m above the ground it stands on: the eyes look up along the line from
    // the ground 5 m behind to the foot.
    Boarder boarder;
    const float ground = heightAt(95.0f, 0.0f);
    boarder.position.y = heightAt(100.0f, 0.0f) + 5.0f;
    const CameraView v = Camera().view(4, boarder);
    const Vec3 n = normalize(Vec3(5.0f, boarder.position.y - ground, 0.0f));
    expectNear(v.eye, Vec3(100.0f, boarder.position.y + 10.0f, 0.0f));
    expectNear(v.centre, v.eye + n * 100.0f);
    expectNear(v.up, Vec3(0.0f, 1.0f, 0.0f));

    // On the ground of the slope, which falls towards +x around x = 150: heading +x looks down,
    // heading -x looks up.
    boarder.position = Vec3(150.0f, heightAt(150.0f, 0.0f), 0.0f);
    const CameraView down = Camera().view(4, boarder);
    EXPECT_LT(down.centre.y, down.eye.y - 10.0f);
    boarder.turn(180.0f);
    const CameraView up = Camera().view(4, boarder);
    EXPECT_GT(up.centre.y, up.eye.y + 10.0f);
}

TEST(CameraView, FreeCameraStartsAboveTheSlopeLookingAlongMinusZ) {
    Camera camera;
    camera.mode = 3;
    camera.position = Vec3(1.0f, 2.0f, 3.0f);
    camera.reset();
    EXPECT_EQ(camera.mode, 0);
    const CameraView v = camera.view(5, Boarder());
    expectNear(v.eye, Vec3(0.0f, 4500.0f, 1000.0f));
    expectNear(v.centre, Vec3(0.0f, 4500.0f, 999.0f));
    expectNear(v.up, Vec3(0.0f, 1.0f, 0.0f));
}

TEST(CameraRotation, YawByOneDegreeTurnsLeft) {
    Camera camera;
    camera.rotateY(1.0f);
    const float s = std::sin(kDegree), k = std::cos(kDegree);
    expectNear(camera.viewDirection, Vec3(-s, 0.0f, -k), 1e-6f);
    expectNear(camera.rightVector, Vec3(k, 0.0f, -s), 1e-6f);
    expectNear(camera.upVector, Vec3(0.0f, 1.0f, 0.0f), 1e-6f);
}

TEST(CameraRotation, PitchAndRollTurnTheMatchingVectors) {
    const float s = std::sin(kDegree), k = std::cos(kDegree);
    Camera pitched;
    pitched.rotateX(1.0f);
    expectNear(pitched.viewDirection, Vec3(0.0f, s, -k), 1e-6f);
    expectNear(pitched.upVector, Vec3(0.0f, k, s), 1e-6f);
    Camera rolled;
    rolled.rotateZ(1.0f);
    expectNear(rolled.rightVector, Vec3(k, s, 0.0f), 1e-6f);
    expectNear(rolled.upVector, Vec3(-s, k, 0.0f), 1e-6f);
}

TEST(CameraRotation, FullCirclesReturnAndTheFrameStaysOrthonormal) {
    Camera camera;
    for (int i = 0; i < 360; ++i) {
        camera.rotateY(1.0f);
    }
    expectNear(camera.viewDirection, Vec3(0.0f, 0.0f, -1.0f));
    expectNear(camera.rightVector, Vec3(1.0f, 0.0f, 0.0f));
    for (int i = 0; i < 500; ++i) {
        camera.rotateX(7.0f);
        camera.rotateY(-3.0f);
        camera.rotateZ(11.0f);
    }
    EXPECT_NEAR(dot(camera.viewDirection, camera.viewDirection), 1.0f, 1e-4f);
    EXPECT_NEAR(dot(camera.upVector, camera.upVector), 1.0f, 1e-4f);
    EXPECT_NEAR(dot(camera.rightVector, camera.rightVector), 1.0f, 1e-4f);
    EXPECT_NEAR(dot(camera.viewDirection, camera.upVector), 0.0f, 1e-4f);
    EXPECT_NEAR(dot(camera.viewDirection, camera.rightVector), 0.0f, 1e-4f);
    EXPECT_NEAR(dot(camera.upVector, camera.rightVector), 0.0f, 1e-4f);
    expectNear(cross(camera.viewDirection, camera.upVector), camera.rightVector);
}

TEST(CameraMove, MovesAlongItsOwnAxes) {
    Camera camera;
    camera.rotateY(90.0f);  // now looking along -x, right is -z
    camera.moveAlongView(10.0f);
    camera.moveAlongRight(20.0f);
    camera.moveAlongUp(-30.0f);
    expectNear(camera.position, Vec3(-10.0f, 4470.0f, 980.0f));
}

TEST(CameraConsole, WritesTwelveLinesInDefaultFloatFormat) {
    std::ostringstream out;
    writeCameraLines(out, CameraView{Vec3(100.0f, 4010.25f, -0.5f), Vec3(199.123456f, 1e7f, 0.0f),
                                     Vec3(0.0f, 1.0f, 0.0f)});
    EXPECT_EQ(out.str(),
              "------------\n"
              "Position.x = 100\n"
              "Position.y = 4010.25\n"
              "Position.z = -0.5\n"
              "------------\n"
              "ViewPoint.x = 199.123\n"
              "ViewPoint.y = 1e+07\n"
              "ViewPoint.z = 0\n"
              "------------\n"
              "UpVector.x = 0\n"
              "UpVector.y = 1\n"
              "UpVector.z = 0\n");
}

TEST(CameraLook, PrintsOnlyInModeFourAndSetsTheViewPointInModeFive) {
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    ASSERT_TRUE(context.create());
    ASSERT_TRUE(context.makeCurrent(&surface));
    Boarder boarder;
    Camera camera;
    for (int mode = 0; mode <= 5; ++mode) {
        camera.mode = mode;
        CoutCapture out;
        camera.look(boarder);
        std::ostringstream expected;
        if (mode == 4) {
            writeCameraLines(expected, camera.view(4, boarder));
        }
        EXPECT_EQ(out.text(), expected.str()) << "mode " << mode;
    }
    expectNear(camera.viewPoint, Vec3(0.0f, 4500.0f, 999.0f));
    context.doneCurrent();
}
