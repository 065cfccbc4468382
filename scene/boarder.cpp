#include "scene/boarder.h"

#include <cmath>

#include "world/heightmap.h"

Boarder::Boarder() { setStartState(); }

Boarder::~Boarder() { releaseScene(); }

void Boarder::init() {
    releaseScene();
    setStartState();
}

void Boarder::draw() {}

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
}

void Boarder::releaseScene() {}
