#ifndef WORLD_GATES_H
#define WORLD_GATES_H

#include <vector>

#include "scene/vec3.h"

class Boarder;

// The slalom course: ten single-pole gates down the slope along +x. Even indices are red and must
// be passed with the boarder's z greater than the gate's; odd indices are blue and must be passed
// with z not greater. Only x and z of a gate are used.

// Writes the ten gate positions of the course.
void setUpGates(Vec3 gates[10]);
// Draws the ten poles standing on the ground. REQUIRES: a current GL context.
void drawGates(Vec3 gates[10]);
// Draws one pole of the given height (metres) with its base at (x, y, z): a cylinder of radius
// height / 10, red for an even index, blue for an odd one. REQUIRES: a current GL context.
void drawPole(float x, float y, float z, float height, int index);
// The pass check: for every gate from the boarder's gatesPassed on whose window
// (gate x - 2, gate x + 2), open at both ends, holds the boarder's x, prints "gate <i>passed",
// sets gatesPassed to i + 1 and counts a failure when the side is wrong. A gate whose whole window
// the boarder's stride since the previous check went through (see Boarder::strideOpen) is judged
// the same way, in gate order, its side taken where the stride met the gate's x. The check closes
// the stride.
void checkGates(Vec3 gates[10], Boarder& boarder);

// One gate judged by the pass check: its index and whether it was passed on the wrong side.
struct GateJudgement {
    int gate;
    bool failure;
};
// The pass check above, which also appends each gate it judges, in order, to `judged`.
void checkGates(Vec3 gates[10], Boarder& boarder, std::vector<GateJudgement>& judged);

#endif  // WORLD_GATES_H
