#include "world/gates.h"

#include "scene/boarder.h"

void setUpGates(Vec3 gates[10]) {
    for (int i = 0; i < 10; ++i) {
        gates[i] = Vec3(0.0f, 0.0f, 0.0f);
    }
}

void drawGates(Vec3[10]) {}

void drawPole(float, float, float, float, int) {}

void checkGates(Vec3[10], Boarder&) {}
