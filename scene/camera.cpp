#include "scene/camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cassert>
#include <cmath>
#include <iostream>

#include "scene/boarder.h"
#include "world/heightmap.h"

namespace {

// Height above the boarder and distance behind it of the four chase views, in metres.
struct ChaseOffset {
    float above;
    float behind;
};
constexpr ChaseOffset kChase[4] = {
    {900.0f, 300.0f}, {600.0f, 200.0f}, {300.0f, 100.0f}, {1000.0f, 1000.0f}};

// Sine and cosine of an angle in degrees, worked out in double and rounded to float.
void sinCos(float degrees, float& s, float& k) {
    const double r = degrees * 0.017453292519943295;
    s = static_cast<float>(std::sin(r));
    k = static_cast<float>(std::cos(r));
}

}  // namespace

Camera::Camera() : viewPoint(0.0f, 0.0f, 0.0f) {
    reset();
}

void Camera::reset() {
    position = Vec3(0.0f, 4500.0f, 1000.0f);
    viewDirection = Vec3(0.0f, 0.0f, -1.0f);
    rightVector = Vec3(1.0f, 0.0f, 0.0f);
    upVector = Vec3(0.0f, 1.0f, 0.0f);
    mode = 0;
}

CameraView Camera::view(int forMode, const Boarder& boarder) const {
    return view(forMode, boarder.pose());
}

CameraView Camera::view(int forMode, const BoarderPose& boarder) const {
    assert(forMode >= 0 && forMode <= 5);
    const Vec3 p = boarder.position;
    const Vec3 d = boarder.direction;
    const Vec3 u = boarder.up;
    if (forMode == 4) {
        Vec3 b = p - d * 5.0f;
        b.y = heightAt(b.x, b.z);
        const Vec3 n = normalize(p - b);
        const Vec3 eye(p.x, p.y + 10.0f, p.z);
        return CameraView{eye, eye + n * 100.0f, u};
    }
    if (forMode == 5) {
        return CameraView{position, position + viewDirection, upVector};
    }
    const ChaseOffset& c = kChase[forMode >= 0 && forMode < 4 ? forMode : 0];
    return CameraView{(p - d * c.behind) + u * c.above, p, u};
}

void Camera::look(const Boarder& boarder) { look(boarder.pose()); }

void Camera::look(const BoarderPose& boarder) {
    const CameraView v = lookSilently(boarder);
    if (mode == 4) {
        writeCameraLines(std::cout, v);
    }
}

CameraView Camera::lookSilently(const BoarderPose& boarder) {
    const CameraView v = view(mode, boarder);
    if (mode == 5) {
        viewPoint = v.centre;
    }
    gluLookAt(static_cast<double>(v.eye.x), static_cast<double>(v.eye.y),
              static_cast<double>(v.eye.z), static_cast<double>(v.centre.x),
              static_cast<double>(v.centre.y), static_cast<double>(v.centre.z),
              static_cast<double>(v.up.x), static_cast<double>(v.up.y),
              static_cast<double>(v.up.z));
    return v;
}

void Camera::rotateX(float angle) {
    float s, k;
    sinCos(angle, s, k);
    viewDirection = normalize(viewDirection * k + upVector * s);
    upVector = cross(viewDirection, rightVector) * -1.0f;
}

void Camera::rotateY(float angle) {
    float s, k;
    sinCos(angle, s, k);
    viewDirection = normalize(viewDirection * k - rightVector * s);
    rightVector = cross(viewDirection, upVector);
}

void Camera::rotateZ(float angle) {
    float s, k;
    sinCos(angle, s, k);
    rightVector = normalize(rightVector * k + upVector * s);
    upVector = cross(viewDirection, rightVector) * -1.0f;
}

void Camera::moveAlongView(float distance) {
    position = position + viewDirection * distance;
}

void Camera::moveAlongUp(float distance) {
    position = position + upVector * distance;
}

void Camera::moveAlongRight(float distance) {
    position = position + rightVector * distance;
}

void writeCameraLines(std::ostream& out, const CameraView& view) {
    out << "------------" << std::endl;
    out << "Position.x = " << view.eye.x << std::endl;
    out << "Position.y = " << view.eye.y << std::endl;
    out << "Position.z = " << view.eye.z << std::endl;
    out << "------------" << std::endl;
    out << "ViewPoint.x = " << view.centre.x << std::endl;
    out << "ViewPoint.y = " << view.centre.y << std::endl;
    out << "ViewPoint.z = " << view.centre.z << std::endl;
    out << "------------" << std::endl;
    out << "UpVector.x = " << view.up.x << std::endl;
    out << "UpVector.y = " << view.up.y << std::endl;
    out << "UpVector.z = " << view.up.z << std::endl;
}
