#include "world/scenery.h"

SceneryModel::SceneryModel(const char*, const char*, float x, float z, float heightAboveGround)
    : x(x), z(z), heightAboveGround(heightAboveGround) {}
SceneryModel::~SceneryModel() {}
void SceneryModel::draw() {}

Trees::Trees() { placeTrees(); }
Trees::~Trees() {}
void Trees::placeTrees() {
    for (Vec3& p : positions) {
        p = Vec3(0.0f, 0.0f, 0.0f);
    }
}
void Trees::draw() {}
