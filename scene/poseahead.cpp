#include "scene/poseahead.h"

#include "world/heightmap.h"

BoarderPose poseAhead(const BoarderPose& atStep, float speed, double seconds) {
    // Written so that a NaN time falls to 0: every comparison with NaN is false.
    double t = 0.0;
    if (seconds > 0.0) {
        t = seconds < kMaxSecondsAhead ? seconds : kMaxSecondsAhead;
    }
    BoarderPose drawn = atStep;
    // The same arithmetic as a step (position + direction x speed x 0.05), so that a whole step
    // ahead lands where the step itself will put the boarder.
    drawn.position = atStep.position + (atStep.direction * speed) * static_cast<float>(t);
    drawn.position.y = heightAt(drawn.position.x, drawn.position.z);
    return drawn;
}

BoarderPose cameraPoseAhead(const BoarderPose& drawn, float speed) {
    BoarderPose camera = drawn;
    const Vec3 behind =
        drawn.position - (drawn.direction * speed) * static_cast<float>(kMaxSecondsAhead);
    camera.position.y = heightAt(behind.x, behind.z);
    return camera;
}
