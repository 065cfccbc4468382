#include "world/scenery.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <Inventor/nodes/SoSeparator.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>

#include "scene/inventormodel.h"
#include "world/heightmap.h"

// Last: the X headers define words (None, Bool, Status) that the others use.
#include <GL/glx.h>

namespace {

// Initialises GLUT for its cone when this process may use it; false, without touching GLUT, when
// it may not.
bool initialiseGlut() {
    if (!glutConeUsable(std::getenv("DISPLAY"),
                        QGuiApplication::platformName().toLatin1().constData())) {
        return false;
    }
    // GLUT draws through GLX and ends the process on a display without it, where the toolkit may
    // still have OpenGL through EGL.
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    int errorBase = 0, eventBase = 0;
    if (x11 == nullptr || x11->display() == nullptr ||
        !glXQueryExtension(x11->display(), &errorBase, &eventBase)) {
        return false;
    }
    if (glutGet(GLUT_INIT_STATE) == 0) {
        char name[] = "skaldora";
        char* argv[] = {name, nullptr};
        int argc = 1;
        glutInit(&argc, argv);
    }
    return true;
}

std::shared_future<bool>& glutSetUp() {
    static std::shared_future<bool> setUp;
    return setUp;
}

// True once GLUT has been initialised for its cone; false when this process may not use it.
bool glutReady() {
    static const bool ready = [] {
        startGlut();
        return glutSetUp().get();
    }();
    return ready;
}

}  // namespace

void startGlut() {
    static std::once_flag once;
    std::call_once(once, [] {
        // GLUT opens a connection of its own to the X server and loads the GL driver; on a thread
        // of its own that overlaps with the window's start instead of holding up the first frame.
        // The toolkit's X platform has called XInitThreads by the time the application object
        // exists, and nothing else touches GLUT before the first tree waits for this.
        glutSetUp() = std::async(std::launch::async, initialiseGlut).share();
    });
}

bool glutConeUsable(const char* display, const char* platform) {
    return display != nullptr && *display != '\0' && platform != nullptr &&
           std::strcmp(platform, "xcb") == 0;
}

void drawCone(GLUquadric* quadric, bool useGlut, double base, double height, int slices,
              int stacks) {
    if (useGlut) {
        glutSolidCone(base, height, slices, stacks);
        return;
    }
    // GLU puts its first slice edge on +y and goes clockwise, GLUT on +x counter-clockwise; a
    // quarter turn makes the two sets of edges the same.
    glPushMatrix();
    glRotatef(-90.0f, 0.0f, 0.0f, 1.0f);
    gluCylinder(quadric, base, 0.0, height, slices, stacks);
    gluQuadricOrientation(quadric, GLU_INSIDE);
    gluDisk(quadric, 0.0, base, slices, 1);
    gluQuadricOrientation(quadric, GLU_OUTSIDE);
    glPopMatrix();
}

SceneryModel::SceneryModel(const char* fileName, const char* kind, float x, float z,
                           float heightAboveGround)
    : x(x), z(z), heightAboveGround(heightAboveGround) {
    loadInventorModel(fileName, kind, nullptr, sceneRoot, viewport, renderAction, modelGroup, model,
                      modelInput);
}

SceneryModel::~SceneryModel() {
    releaseInventorScene(sceneRoot, viewport, renderAction, modelInput);
    modelGroup = nullptr;
    model = nullptr;
}

void SceneryModel::draw() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    const double ground = heightAt(x, z);
    glTranslatef(x, static_cast<float>(ground + heightAboveGround), z);
    glRotatef(-90.0f, 0.0f, 1.0f, 0.0f);
    glScalef(5.0f, 5.0f, 5.0f);
    renderInventorScene(*renderAction, sceneRoot);
    glPopMatrix();
    glPopAttrib();
}

Trees::Trees() {
    loadInventorModel("tree.iv", "tree", nullptr, sceneRoot, viewport, renderAction, modelGroup,
                      model, modelInput);
    placeTrees();
}

Trees::~Trees() {
    releaseInventorScene(sceneRoot, viewport, renderAction, modelInput);
    modelGroup = nullptr;
    model = nullptr;
}

void Trees::placeTrees() {
    for (Vec3& p : positions) {
        const int x = std::rand() % 2001 - 1000;
        const int z = std::rand() % 2001 - 1000;
        p = Vec3(static_cast<float>(x), 0.0f, static_cast<float>(z));
    }
}

void Trees::draw() {
    // One quadric serves every trunk of this frame and is released before returning.
    GLUquadric* quadric = gluNewQuadric();
    if (quadric == nullptr) {
        return;
    }
    const bool glut = glutReady();
    for (const Vec3& p : positions) {
        const float ground = heightAt(p.x, p.z);

        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glTranslatef(p.x, ground, p.z);
        glColor3f(0.545f, 0.3528f, 0.1689f);
        glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
        gluCylinder(quadric, 2.0, 2.0, 20.0, 10, 2);
        glPopMatrix();
        glPopAttrib();

        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glTranslatef(p.x, static_cast<float>(ground + 20.0), p.z);
        glColor3f(0.18f, 0.545f, 0.341f);
        glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
        drawCone(quadric, glut, 10.0, 50.0, 10, 2);
        glPopMatrix();
        glPopAttrib();
    }
    gluDeleteQuadric(quadric);
}
