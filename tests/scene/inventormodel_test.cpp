#include "scene/inventormodel.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <unistd.h>

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <cstring>

#include "scene_test_support.h"

namespace {

const char* kUnlitRedCube =
    "#Inventor V2.1 ascii\n"
    "Separator { LightModel { model BASE_COLOR } BaseColor { rgb 1 0 0 } Cube {} }\n";

// Puts a pipe holding a valid scene on standard input while it lives, so that a reader that
// wrongly falls back to the console would read a scene instead of waiting.
class ScopedSceneOnStdin {
public:
    ScopedSceneOnStdin() : saved_(dup(0)) {
        int fds[2];
        if (pipe(fds) == 0) {
            EXPECT_EQ(write(fds[1], kUnlitRedCube, std::strlen(kUnlitRedCube)),
                      static_cast<ssize_t>(std::strlen(kUnlitRedCube)));
            close(fds[1]);
            dup2(fds[0], 0);
            close(fds[0]);
        }
    }
    ~ScopedSceneOnStdin() {
        dup2(saved_, 0);
        close(saved_);
    }

private:
    int saved_;
};

SoSeparator* read(const char* fileText, std::string& console) {
    ScopedWorkingDir dir(fileText);  // writes "boarder.iv" when given a text
    SoInput input;
    CoutCapture out;
    SoSeparator* scene = readInventorModel(input, "boarder.iv", "tree");
    console = out.text();
    return scene;
}

}  // namespace

TEST(InventorModelRead, ReadsAValidFileQuietly) {
    std::string console;
    SoSeparator* scene = read(kUnlitRedCube, console);
    ASSERT_NE(scene, nullptr);
    scene->ref();
    EXPECT_EQ(console, "");
    EXPECT_EQ(scene->getNumChildren(), 3);
    scene->unref();
}

TEST(InventorModelRead, AMissingFileIsNeverReadFromTheConsole) {
    ScopedSceneOnStdin stdinHoldsAScene;
    std::string console;
    EXPECT_EQ(read(nullptr, console), nullptr);
    EXPECT_EQ(console,
              ".iv tree file not found: boarder.iv\n"
              "Problem reading .iv tree file: boarder.iv\n");
}

TEST(InventorModelRead, AnUnreadableFileGivesTheReadProblemLineOnly) {
    std::string console;
    EXPECT_EQ(read("#Inventor V2.1 ascii\nSeparator { Cube { width ", console), nullptr);
    EXPECT_EQ(console, "Problem reading .iv tree file: boarder.iv\n");
}

// Renders into a 320 x 200 offscreen frame under a known camera.
class InventorModelRender : public testing::Test {
protected:
    void SetUp() override {
        surface_.create();
        ASSERT_TRUE(context_.create());
        ASSERT_TRUE(context_.makeCurrent(&surface_));
        fbo_ =
            std::make_unique<QOpenGLFramebufferObject>(320, 200, QOpenGLFramebufferObject::Depth);
        fbo_->bind();
        glViewport(0, 0, 320, 200);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(20.0, 1.6, 0.1, 100.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(0.0, 0.0, 20.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
        glTranslatef(2.0f, 0.0f, 0.0f);  // the cube sits right of the image centre
        SoInput input;
        input.setBuffer(kUnlitRedCube, std::strlen(kUnlitRedCube));
        scene_ = SoDB::readAll(&input);
        ASSERT_NE(scene_, nullptr);
        scene_->ref();
    }
    void TearDown() override {
        if (scene_ != nullptr) {
            scene_->unref();
        }
        fbo_.reset();
        context_.doneCurrent();
    }

    QOffscreenSurface surface_;
    QOpenGLContext context_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    SoSeparator* scene_ = nullptr;
};

TEST_F(InventorModelRender, DrawsUnderTheCurrentMatricesInTheCurrentViewport) {
    GLfloat modelviewBefore[16], projectionBefore[16], modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelviewBefore);
    glGetFloatv(GL_PROJECTION_MATRIX, projectionBefore);
    SoGLRenderAction action(SbViewportRegion(700, 700));  // the size a model is built with
    renderInventorScene(action, scene_);

    EXPECT_EQ(action.getViewportRegion().getViewportSizePixels(), SbVec2s(320, 200));
    GLint viewport[4], mode;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 200);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_EQ(std::memcmp(modelview, modelviewBefore, sizeof modelview), 0);
    EXPECT_EQ(std::memcmp(projection, projectionBefore, sizeof projection), 0);

    // The cube (2 m wide, 2 m right of the centre, 20 m away) covers about x 187..250, y 73..127.
    const QImage image = fbo_->toImage();
    long count = 0, sumX = 0, sumY = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60) {
                ++count;
                sumX += x;
                sumY += y;
            }
        }
    }
    ASSERT_GT(count, 1000);
    EXPECT_NEAR(static_cast<double>(sumX) / count, 218.0, 4.0);
    EXPECT_NEAR(static_cast<double>(sumY) / count, 100.0, 4.0);
}

TEST(InventorModelRelease, FreesEverythingAndNullsThePointers) {
    SoSeparator* root = new SoSeparator;
    root->ref();
    SbViewportRegion* viewport = new SbViewportRegion(700, 700);
    SoGLRenderAction* action = new SoGLRenderAction(*viewport);
    SoInput* input = new SoInput;
    releaseInventorScene(root, viewport, action, input);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(viewport, nullptr);
    EXPECT_EQ(action, nullptr);
    EXPECT_EQ(input, nullptr);
    releaseInventorScene(root, viewport, action, input);  // nothing left: a no-op
}
