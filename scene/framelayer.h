#ifndef SCENE_FRAMELAYER_H
#define SCENE_FRAMELAYER_H

#include <string>

#include "scene/boarderpose.h"

// One frame of the scene as the layers drawn into it see it.
struct FrameInfo {
    long long number = 0;     // frames drawn since the scene was made, this one included
    long long steps = 0;      // motion steps taken since the scene was made
    bool between = false;     // drawn between two motion steps, the boarder ahead along its motion
    BoarderPose boarder{};    // where this frame draws the player's boarder
    int cameraMode = 0;       // 0..5, as Camera::mode
    bool wireMode = false;    // polygons drawn as outlines
    int pixelWidth = 0;       // the scene's size in device pixels
    int pixelHeight = 0;
    double devicePixelRatio = 1.0;
};

// Something drawn into every frame of the scene besides the game's own objects (a ghost, split
// times). Layers are drawn after everything the frame draws itself, in the order they were
// added, and may add fields to the frame's trace line. A layer only draws: it changes no state
// of the game. The scene does not own its layers.
class FrameLayer {
public:
    virtual ~FrameLayer() = default;

    // Draws into the world, on the frame's modelview matrix (the world's scale and the camera
    // applied), after the boarder. Must leave the matrix mode, the matrices and the GL attributes
    // as it found them. REQUIRES: the scene's GL context is current.
    virtual void drawInWorld(const FrameInfo&) {}
    // Draws over the finished picture of the world, after every layer's drawInWorld. The same
    // rules as drawInWorld; the projection is the scene's, so a layer that draws in pixels sets up
    // and restores its own.
    virtual void drawOverlay(const FrameInfo&) {}
    // Appends the layer's fields to the frame's trace line (see appendTraceField), when a trace is
    // written. Called after the frame is drawn.
    virtual void appendTrace(const FrameInfo&, std::string&) const {}
};

#endif  // SCENE_FRAMELAYER_H
