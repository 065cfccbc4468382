#ifndef SCENE_BOARDER_H
#define SCENE_BOARDER_H

#include "scene/boarderpose.h"
#include "scene/vec3.h"

class SoSeparator;
class SbViewportRegion;
class SoGLRenderAction;
class SoTransform;
class SoInput;

// The player's snowboarder: its model (read from "boarder.iv" through Coin) and its kinematic
// state. The speed changes only by key presses; every 50 ms tick moves the boarder by
// speed * 0.05 along its heading; its height comes from the terrain each time it is drawn.
// Owns Coin objects: not copyable.
class Boarder {
public:
    // Gives every field its start value (the motion state of init) without reading the model, so
    // a timer tick before init moves a well-defined boarder.
    Boarder();
    ~Boarder();
    Boarder(const Boarder&) = delete;
    Boarder& operator=(const Boarder&) = delete;

    // Builds the scene graph anew (releasing the previous one), reads "boarder.iv" from the
    // working directory and puts the boarder at its start state: x = 100, z = 0 on the ground,
    // heading +x, speed 0, both gate counters 0. A file that cannot be opened or read is reported
    // by one line on standard output; the boarder is then drawn as its marker line alone.
    void init();
    // Draws the marker line and the model at the boarder's place on the current modelview matrix,
    // and sets position.y to the ground height there. REQUIRES: a current GL context.
    void draw();
    // Draws the marker line and the model as draw does, but at the pose's x and z (on the ground
    // there) and heading, and changes nothing of the boarder. REQUIRES: a current GL context.
    void drawAt(const BoarderPose& pose) const;
    // The boarder's state as a frame shows it: position, direction, up and heading (rotation.y).
    BoarderPose pose() const { return BoarderPose{position, direction, up, rotation.y}; }
    // Turns the heading by a degrees; positive turns left (from +x towards -z).
    void turn(float a);
    // Changes the speed by d (clamped to 0..100 metres per second), then takes one 50 ms step.
    // A step that moves the boarder while no stride is open opens one where the step began.
    void moveForward(float d);

    Vec3 getPosition() const { return position; }
    Vec3 getDirection() const { return direction; }
    Vec3 getUp() const { return up; }

    int gatesPassed = 0;  // index of the next gate the pass check looks at
    SoSeparator* sceneRoot = nullptr;
    SbViewportRegion* viewport = nullptr;
    SoGLRenderAction* renderAction = nullptr;
    SoSeparator* modelGroup = nullptr;
    SoSeparator* model = nullptr;  // null when "boarder.iv" could not be read
    SoTransform* modelTransform = nullptr;
    SoInput* modelInput = nullptr;
    Vec3 position;       // the boarder's foot, world metres
    Vec3 direction;      // heading: horizontal unit vector
    Vec3 side;           // direction x up: horizontal unit vector to the boarder's right
    Vec3 up;             // always (0, 1, 0)
    Vec3 rotation;       // degrees; y is the sum of all turns, never wrapped
    float speed = 0.0f;  // metres per second, 0..100
    int gateFailures = 0;  // gates passed on the wrong side

    // The stride since the last gate check: strideOpen is set by the first step after it that
    // moves the boarder, and strideStart is where that step began. The gate check closes it, and
    // init and construction start with none, so a position set by hand is never a stride. The
    // check judges a gate whose whole window the stride crossed, however fast the boarder went.
    bool strideOpen = false;
    Vec3 strideStart;

private:
    void setStartState();
    void releaseScene();
};

#endif  // SCENE_BOARDER_H
