#ifndef WORLD_SCENERY_H
#define WORLD_SCENERY_H

#include "scene/vec3.h"

class SoSeparator;
class SbViewportRegion;
class SoGLRenderAction;
class SoInput;

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

// Ten trees scattered over the slope, each a brown trunk and a green cone. "tree.iv" is read and
// kept but the trees are drawn from GL primitives. Owns Coin objects: not copyable.
class Trees {
public:
    // Reads "tree.iv", then places the trees (placeTrees).
    Trees();
    ~Trees();
    Trees(const Trees&) = delete;
    Trees& operator=(const Trees&) = delete;

    // Picks the ten positions with the unseeded rand(): x, then z, whole metres in -1000..1000.
    void placeTrees();
    // REQUIRES: a current GL context.
    void draw();

    SoSeparator* sceneRoot = nullptr;
    SbViewportRegion* viewport = nullptr;
    SoGLRenderAction* renderAction = nullptr;
    SoSeparator* modelGroup = nullptr;
    SoSeparator* model = nullptr;
    SoInput* modelInput = nullptr;
    Vec3 positions[10];  // x and z used
};

#endif  // WORLD_SCENERY_H
