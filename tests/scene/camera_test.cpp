#include "scene/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "scene/boarder.h"
#include "support/game_probe.h"
#include "world/heightmap.h"

namespace {

const double kDegree = 0.017453292519943295;

void expectNear(Vec3 actual, Vec3 expected, float tolerance = 1e-3f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

}  // namespace

TEST(CameraView, EachModeAtTheStartAndAfterAReset) {
    // At (100, h, 0) heading +x, with h stored 5 m above the ground as after a move and before the
    // next draw: the views use the stored height.
    Boarder boarder;
    boarder.position.y += 5.0f;
    Camera camera;
    camera.mode = 3;
    camera.position = Vec3(1.0f, 2.0f, 3.0f);
    camera.rotateY(20.0f);
    camera.rotateX(20.0f);
    camera.reset();
    EXPECT_EQ(camera.mode, 0);
    const float h = boarder.position.y;
    // The boarder's eyes look 100 m along the line from the ground 5 m behind up to the foot.
    const Vec3 eyes(100.0f, h + 10.0f, 0.0f);
    const Vec3 n = normalize(Vec3(5.0f, h - heightAt(95.0f, 0.0f), 0.0f));
    const struct {
        int mode;
        Vec3 eye, centre;
    } table[] = {
        {0, Vec3(-200.0f, h + 900.0f, 0.0f), Vec3(100.0f, h, 0.0f)},
        {4, eyes, eyes + n * 100.0f},
        {5, Vec3(0.0f, 4500.0f, 1000.0f), Vec3(0.0f, 4500.0f, 999.0f)},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.mode);
        const CameraView v = camera.view(row.mode, boarder);
        expectNear(v.eye, row.eye);
        expectNear(v.centre, row.centre);
        expectNear(v.up, Vec3(0.0f, 1.0f, 0.0f));
    }

    // The chase view turns with the boarder at once.
    boarder.turn(10.0f);
    expectNear(camera.view(0, boarder).eye, Vec3(100.0f - 300.0f * std::cos(10 * kDegree),
                                                 h + 900.0f, 300.0f * std::sin(10 * kDegree)));
}

TEST(CameraRotation, OneDegreeTurnsTheMatchingVectors) {
    const float s = std::sin(kDegree), k = std::cos(kDegree);
    const struct {
        const char* name;
        void (Camera::*rotate)(float);
        Vec3 view, right, up;
    } turns[] = {
        {"yaw left", &Camera::rotateY, Vec3(-s, 0, -k), Vec3(k, 0, -s), Vec3(0, 1, 0)},
        {"pitch up", &Camera::rotateX, Vec3(0, s, -k), Vec3(1, 0, 0), Vec3(0, k, s)},
        {"roll left", &Camera::rotateZ, Vec3(0, 0, -1), Vec3(k, s, 0), Vec3(-s, k, 0)},
    };
    for (const auto& t : turns) {
        SCOPED_TRACE(t.name);
        Camera camera;
        (camera.*t.rotate)(1.0f);
        expectNear(camera.viewDirection, t.view, 1e-6f);
        expectNear(camera.rightVector, t.right, 1e-6f);
        expectNear(camera.upVector, t.up, 1e-6f);
    }
}

TEST(CameraRotation, FullCirclesReturnAndTheFrameStaysOrthonormal) {
    Camera camera;
    for (int i = 0; i < 360; ++i) {
        camera.rotateY(1.0f);
    }
    expectNear(camera.viewDirection, Vec3(0.0f, 0.0f, -1.0f));
    expectNear(camera.rightVector, Vec3(1.0f, 0.0f, 0.0f));
    // Many turns about all axes keep the frame orthonormal: no drift piles up.
    for (int i = 0; i < 500; ++i) {
        camera.rotateX(7.0f);
        camera.rotateY(-3.0f);
        camera.rotateZ(11.0f);
    }
    const Vec3 v = camera.viewDirection, u = camera.upVector;
    EXPECT_NEAR(v.x * v.x + v.y * v.y + v.z * v.z, 1.0f, 1e-4f);
    EXPECT_NEAR(u.x * u.x + u.y * u.y + u.z * u.z, 1.0f, 1e-4f);
    EXPECT_NEAR(v.x * u.x + v.y * u.y + v.z * u.z, 0.0f, 1e-4f);
    expectNear(cross(v, u), camera.rightVector);
}

TEST(CameraMove, MovesAlongItsOwnAxes) {
    Camera camera;
    camera.rotateY(90.0f);  // now looking along -x, right is -z
    camera.moveAlongView(10.0f);
    camera.moveAlongRight(20.0f);
    camera.moveAlongUp(-30.0f);
    expectNear(camera.position, Vec3(-10.0f, 4470.0f, 980.0f));
}

TEST(CameraLook, PrintsTwelveLinesOnlyInModeFourAndSetsTheViewPointInModeFive) {
    std::ostringstream lines;
    writeCameraLines(lines, CameraView{Vec3(100.0f, 4010.25f, -0.5f), Vec3(199.123456f, 1e7f, 0.0f),
                                       Vec3(0.0f, 1.0f, 0.0f)});
    EXPECT_EQ(lines.str(),
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

    Canvas canvas(16, 16);
    ASSERT_TRUE(canvas.ok());
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
}
