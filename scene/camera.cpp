#include "scene/camera.h"

#include "scene/boarder.h"

Camera::Camera() : viewPoint(0.0f, 0.0f, 0.0f) { reset(); }

void Camera::reset() {
    position = Vec3(0.0f, 4500.0f, 1000.0f);
    viewDirection = Vec3(0.0f, 0.0f, -1.0f);
    rightVector = Vec3(1.0f, 0.0f, 0.0f);
    upVector = Vec3(0.0f, 1.0f, 0.0f);
    mode = 0;
}

void Camera::look(const Boarder&) {}

CameraView Camera::view(int, const Boarder& boarder) const {
    return CameraView{boarder.getPosition(), boarder.getPosition(), boarder.getUp()};
}

void Camera::rotateX(float) {}
void Camera::rotateY(float) {}
void Camera::rotateZ(float) {}
void Camera::moveAlongView(float) {}
void Camera::moveAlongUp(float) {}
void Camera::moveAlongRight(float) {}
