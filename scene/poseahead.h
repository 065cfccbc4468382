#ifndef SCENE_POSEAHEAD_H
#define SCENE_POSEAHEAD_H

#include "scene/boarderpose.h"

// The boarder's motion is kinematic: between two motion steps it moves in a straight line along
// its heading at its speed, and the next step lands where that line reaches at the step's time.
// A frame drawn between two steps can therefore show the boarder exactly where it is at that
// instant.

// The longest time a frame may draw ahead of the last step, in seconds: one step. Beyond it the
// next step is due, and that step's own frame shows the boarder.
constexpr double kMaxSecondsAhead = 0.05;

// Where the boarder stands `seconds` after the step that left it at `atStep`, moving at `speed`
// metres per second: atStep.position + atStep.direction x speed x t, with t the seconds clamped to
// 0..kMaxSecondsAhead (a negative or not-a-number time counts as 0), on the ground there (y is
// the terrain height at the new x, z). Direction, up and heading are those of atStep. Pure.
BoarderPose poseAhead(const BoarderPose& atStep, float speed, double seconds);

// The pose a frame's camera follows when the frame draws the boarder at `drawn`, moving at
// `speed`: drawn with y the ground height one step's way (speed x kMaxSecondsAhead) back along
// the heading. The steps' own frames look from that height, because the boarder's height is
// brought up to date only as it is drawn, after the camera is set up; frames between the steps
// that looked from the height under the boarder instead would make the view bob at every step
// on a steep slope. Pure.
BoarderPose cameraPoseAhead(const BoarderPose& drawn, float speed);

#endif  // SCENE_POSEAHEAD_H
