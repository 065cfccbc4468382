#include "scene/boarder.h"

#include <GL/gl.h>
#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include <cmath>

#include "scene/inventormodel.h"
#include "world/heightmap.h"

Boarder::Boarder() {
    setStartState();
}

Boarder::~Boarder() {
    releaseScene();
}

void Boarder::init() {
    // A new game builds everything anew; the previous graph would otherwise be lost.
    releaseScene();

    SoDB::init();  // before the first node is made
    modelTransform = new SoTransform;
    modelTransform->translation.setValue(-19.0f, 0.0f, 0.0f);
    modelTransform->scaleFactor.setValue(2.0f, 2.0f, 2.0f);
    loadInventorModel("boarder.iv", "boarder", modelTransform, sceneRoot, viewport, renderAction,
                      modelGroup, model, modelInput);

    setStartState();
}

void Boarder::draw() {
    position.y = heightAt(position.x, position.z);
    drawAt(pose());
}

void Boarder::drawAt(const BoarderPose& pose) const {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    const float h = heightAt(pose.position.x, pose.position.z);
    glTranslatef(pose.position.x, h, pose.position.z);
    // A green line 10 m high at the boarder's foot.
    glBegin(GL_LINES);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 10.0f, 0.0f);
    glEnd();
    glPopAttrib();
    glPopMatrix();

    glPushMatrix();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glTranslatef(pose.position.x, h, pose.position.z);
    // The model is built with z up: turn its z into world y, then turn it by the heading.
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(rotation.z, 0.0f, 1.0f, 0.0f);
    glRotatef(pose.heading, 0.0f, 0.0f, 1.0f);
    if (renderAction != nullptr && sceneRoot != nullptr) {
        renderInventorScene(*renderAction, sceneRoot);
    }
    glPopMatrix();
    glPopAttrib();
}

void Boarder::turn(float a) {
    rotation.y = rotation.y + a;
    const double r = a * 0.017453292519943295;
    const float s = static_cast<float>(std::sin(r));
    const float k = static_cast<float>(std::cos(r));
    direction = normalize(direction * k - side * s);
    side = cross(direction, up);
}

void Boarder::moveForward(float d) {
    speed = speed + d;
    if (speed > 100.0f) {
        speed = 100.0f;
    }
    if (speed < 0.0f) {
        speed = 0.0f;
    }
    if (!strideOpen && speed > 0.0f) {
        strideOpen = true;
        strideStart = position;
    }
    position = position + (direction * speed) * 0.05f;
}

void Boarder::setStartState() {
    position = Vec3(100.0f, heightAt(100.0f, 0.0f), 0.0f);
    direction = Vec3(1.0f, 0.0f, 0.0f);
    side = Vec3(0.0f, 0.0f, 1.0f);
    up = Vec3(0.0f, 1.0f, 0.0f);
    rotation = Vec3(0.0f, 0.0f, 0.0f);
    speed = 0.0f;
    gateFailures = 0;
    gatesPassed = 0;
    strideOpen = false;
    strideStart = position;
}

void Boarder::releaseScene() {
    // The group, the transform and the model go with the root that holds them.
    releaseInventorScene(sceneRoot, viewport, renderAction, modelInput);
    modelGroup = nullptr;
    model = nullptr;
    modelTransform = nullptr;
}
