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
    const int first = boarder.gatesPassed < 0 ? 0 : boarder.gatesPassed;
    for (int i = first; i < 10; ++i) {
        const Vec3 p = boarder.getPosition();
        if (gates[i].x + 2.0 > p.x && p.x > gates[i].x - 2.0) {
            std::cout << "gate " << i << "passed" << std::endl;
            // Judged once: the scan starts after this gate from now on, also when an earlier
            // gate's window was jumped over between two checks.
            boarder.gatesPassed = i + 1;
            const bool red = i % 2 == 0;
            const bool failure = red ? !(p.z > gates[i].z) : p.z > gates[i].z;
            if (failure) {
                ++boarder.gateFailures;
            }
        }
    }
}
