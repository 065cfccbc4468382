#include "world/gates.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <iostream>

#include "scene/boarder.h"
#include "world/heightmap.h"

namespace {

// The course, gate i at row i: x and z in world metres. Even rows are red, odd rows blue.
const float course[10][2] = {
    {220.0f, -17.0f}, {270.0f, -30.0f}, {360.0f, 39.0f}, {440.0f, -30.0f}, {520.0f, 34.0f},
    {580.0f, 100.0f}, {640.0f, 160.0f}, {730.0f, 70.0f}, {800.0f, 110.0f}, {880.0f, 84.0f},
};

const float poleHeight = 20.0f;

// True when a stride from x = a to x = b went through the whole pass window of the gate at x = g,
// in either direction: from g - 2 or before to g + 2 or beyond.
bool crossesWindow(double a, double b, double g) {
    return (a <= g - 2.0 && b >= g + 2.0) || (a >= g + 2.0 && b <= g - 2.0);
}

}  // namespace

void setUpGates(Vec3 gates[10]) {
    for (int i = 0; i < 10; ++i) {
        // y is never read: the poles stand on the terrain wherever it is.
        gates[i].x = course[i][0];
        gates[i].z = course[i][1];
    }
}

void drawGates(Vec3 gates[10]) {
    glMatrixMode(GL_MODELVIEW);
    for (int i = 0; i < 10; ++i) {
        drawPole(gates[i].x, heightAt(gates[i].x, gates[i].z), gates[i].z, poleHeight, i);
    }
}

void drawPole(float x, float y, float z, float height, int index) {
    // One quadric per pole, freed at once, so nothing piles up from frame to frame.
    GLUquadric* quadric = gluNewQuadric();
    if (quadric == nullptr) {
        return;  // out of memory: this frame goes without the pole
    }
    glMatrixMode(GL_MODELVIEW);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushMatrix();
    glTranslatef(x, y, z);
    if (index % 2 == 0) {
        glColor3f(1.0f, 0.0f, 0.0f);
    } else {
        glColor3f(0.0f, 0.0f, 1.0f);
    }
    // GLU builds the cylinder along +z; turn it upright.
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    const double radius = height / 10.0;
    gluCylinder(quadric, radius, radius, height, 10, 2);
    glPopMatrix();
    glPopAttrib();
    gluDeleteQuadric(quadric);
}

void checkGates(Vec3 gates[10], Boarder& boarder) {
    std::vector<GateJudgement> judged;
    checkGates(gates, boarder, judged);
}

void checkGates(Vec3 gates[10], Boarder& boarder, std::vector<GateJudgement>& judged) {
    // The stride is the boarder's motion since the previous check; this check uses it up.
    const bool stride = boarder.strideOpen;
    const Vec3 from = boarder.strideStart;
    boarder.strideOpen = false;

    const int first = boarder.gatesPassed < 0 ? 0 : boarder.gatesPassed;
    for (int i = first; i < 10; ++i) {
        const Vec3 p = boarder.getPosition();
        double z = 0.0;
        if (gates[i].x + 2.0 > p.x && p.x > gates[i].x - 2.0) {
            z = p.z;
        } else if (stride && crossesWindow(from.x, p.x, gates[i].x)) {
            // Between two checks the boarder went through the whole window: the side is where
            // the stride met the gate's x.
            z = from.z + (p.z - from.z) * ((gates[i].x - from.x) / (double(p.x) - from.x));
        } else {
            continue;
        }
        std::cout << "gate " << i << "passed" << std::endl;
        // Judged once: the scan starts after this gate from now on, also when an earlier gate's
        // window was jumped over without a stride to tell its side.
        boarder.gatesPassed = i + 1;
        const bool red = i % 2 == 0;
        const bool failure = red ? !(z > gates[i].z) : z > gates[i].z;
        if (failure) {
            ++boarder.gateFailures;
        }
        judged.push_back(GateJudgement{i, failure});
    }
}
