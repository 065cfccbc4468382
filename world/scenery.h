#ifndef WORLD_SCENERY_H
#define WORLD_SCENERY_H

#include "scene/vec3.h"

class SoSeparator;
class SbViewportRegion;
class SoGLRenderAction;
class SoInput;
struct GLUquadric;

// A model of the course read from an Open Inventor file and drawn standing on the terrain: the
// start and the finish. Owns Coin objects: not copyable.
class SceneryModel {
public:
    // Reads fileName from the working directory at once (kind names it in the console lines:
    // "start" or "finish"). The model stands at (x, ground + heightAboveGround, z), turned by -90
    // degrees about y and scaled by 5. A file that cannot be read is reported and draws nothing.
    SceneryModel(const char* fileName, const char* kind, float x, float z, float heightAboveGround);
    ~SceneryModel();
    SceneryModel(const SceneryModel&) = delete;
    SceneryModel& operator=(const SceneryModel&) = delete;

    // REQUIRES: a current GL context.
    void draw();

    SoSeparator* sceneRoot = nullptr;
    SbViewportRegion* viewport = nullptr;
    SoGLRenderAction* renderAction = nullptr;
    SoSeparator* modelGroup = nullptr;
    SoSeparator* model = nullptr;  // null when the file could not be read
    SoInput* modelInput = nullptr;
    float x, z, heightAboveGround;
};

// Ten trees scattered over the slope, each a brown trunk (a GLU cylinder) and a green crown (a
// GLUT cone, or the same cone from GLU where GLUT cannot be used). "tree.iv" is read and kept but
// the trees are drawn from GL primitives. Owns Coin objects: not copyable.
class Trees {
public:
    // Reads "tree.iv", then places the trees (placeTrees).
    Trees();
    ~Trees();
    Trees(const Trees&) = delete;
    Trees& operator=(const Trees&) = delete;

    // Picks the ten positions with the unseeded rand(): x, then z, whole metres in -1000..1000.
    void placeTrees();
    // Draws each tree at its place on the ground; makes one GLU quadric and releases it before
    // returning. The first call decides whether GLUT is used (see glutConeUsable) and initialises
    // it then. REQUIRES: a current GL context.
    void draw();

    SoSeparator* sceneRoot = nullptr;
    SbViewportRegion* viewport = nullptr;
    SoGLRenderAction* renderAction = nullptr;
    SoSeparator* modelGroup = nullptr;
    SoSeparator* model = nullptr;
    SoInput* modelInput = nullptr;
    Vec3 positions[10];  // x and z used
};

// Starts initialising GLUT for the trees' cones (when glutConeUsable allows it and the toolkit's X
// display has GLX, without which GLUT would end the process) on a thread of its
// own, at most once in the process; the first tree drawn waits for it. Call it once the toolkit's
// application object exists; without a call, the first tree drawn initialises GLUT itself.
void startGlut();

// Whether GLUT may be initialised for its cone, given the DISPLAY variable and the toolkit's
// platform name: only when an X display is named and the toolkit itself runs on X ("xcb"), since
// GLUT ends the process when it finds no display. Null arguments count as absent. Pure.
bool glutConeUsable(const char* display, const char* platform);

// Draws a solid cone along +z with its base disk (radius base, metres) at z = 0 and its tip at
// z = height: GLUT's solid cone when useGlut is set (GLUT must then be initialised), otherwise a
// GLU cylinder of top radius 0 and a disk facing -z drawn with quadric, the same shape.
// REQUIRES: a current GL context; quadric not null when useGlut is false.
void drawCone(GLUquadric* quadric, bool useGlut, double base, double height, int slices,
              int stacks);

#endif  // WORLD_SCENERY_H
