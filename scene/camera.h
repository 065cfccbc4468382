#ifndef SCENE_CAMERA_H
#define SCENE_CAMERA_H

#include <iosfwd>

#include "scene/boarderpose.h"
#include "scene/vec3.h"

class Boarder;

// Eye, centre and up vector of one view, in world metres.
struct CameraView {
    Vec3 eye;
    Vec3 centre;
    Vec3 up;
};

// The view of the slope, in six modes: 0 to 3 chase the boarder from behind and above at different
// distances, 4 looks from the boarder's eyes along the slope, 5 is a free camera flown by keys.
// The free camera's vectors form a right-handed orthonormal frame: rightVector = viewDirection x
// upVector. A plain value type.
class Camera {
public:
    // Leaves the free camera at its start values and mode 0 (as reset does).
    Camera();

    // Free camera back to (0, 4500, 1000) looking along -z with +y up; mode 0. viewPoint is kept.
    void reset();
    // Multiplies the view of the current mode onto the current GL matrix (gluLookAt). In mode 4
    // it also writes the twelve camera lines to standard output; in mode 5 it sets viewPoint.
    // REQUIRES: a current GL context.
    void look(const Boarder& boarder);
    // The same for a boarder seen at the given pose.
    void look(const BoarderPose& boarder);
    // What look does for the pose, but writing no camera lines in mode 4 (the frames drawn
    // between motion steps keep the console as it is). Returns the view it set up.
    // REQUIRES: a current GL context.
    CameraView lookSilently(const BoarderPose& boarder);
    // The view that look sets up for the given mode, without any GL call. Pure.
    // Modes 0 to 3 look at the boarder's foot from behind and above; mode 4 looks 100 m ahead from
    // 10 m above the foot, along the line from the ground 5 m behind up to the foot; mode 5 looks
    // from position towards position + viewDirection. REQUIRES: 0 <= forMode <= 5.
    CameraView view(int forMode, const Boarder& boarder) const;
    CameraView view(int forMode, const BoarderPose& boarder) const;

    // Turns of the free camera by an angle in degrees: pitch about rightVector (positive up), yaw
    // about upVector (positive left), roll about viewDirection (positive to the left).
    void rotateX(float angle);
    void rotateY(float angle);
    void rotateZ(float angle);
    // Moves of the free camera by a distance in metres along its own axes.
    void moveAlongView(float distance);
    void moveAlongUp(float distance);
    void moveAlongRight(float distance);

    Vec3 position;       // eye of the free camera, world metres
    Vec3 viewDirection;  // unit
    Vec3 rightVector;    // unit
    Vec3 upVector;       // unit
    Vec3 viewPoint;      // position + viewDirection, written by look in mode 5
    int mode = 0;        // 0..5
};

// Writes the twelve console lines of the boarder's-eyes view: eye ("Position"), centre
// ("ViewPoint") and up ("UpVector"), each group after a line of twelve dashes, floats in the
// stream's default format, every line ended by std::endl.
void writeCameraLines(std::ostream& out, const CameraView& view);

#endif  // SCENE_CAMERA_H
