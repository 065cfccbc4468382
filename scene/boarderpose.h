#ifndef SCENE_BOARDERPOSE_H
#define SCENE_BOARDERPOSE_H

#include "scene/vec3.h"

// Where one frame shows a boarder: a copy of the part of its state that the camera and the
// drawing read. A frame drawn from a pose changes nothing of the boarder it was taken from.
// A plain value type.
struct BoarderPose {
    Vec3 position;   // the foot, world metres; y is the height the camera looks from
    Vec3 direction;  // heading: horizontal unit vector
    Vec3 up;         // (0, 1, 0)
    float heading;   // degrees, the sum of all turns (the boarder's rotation.y)
};

#endif  // SCENE_BOARDERPOSE_H
