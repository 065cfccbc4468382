#ifndef APP_GHOSTDRAW_H
#define APP_GHOSTDRAW_H

#include <string>

#include "scene/framelayer.h"

class Boarder;
class SoDrawStyle;
class SoSeparator;

// The GL drawing of the ghost and of the split text. REQUIRES for the draw calls: the scene's
// context current, inside a frame; they leave the matrices and the GL attributes as they found
// them.

// The ghost: a translucent copy of the boarder's model, blended over the scene at a constant
// opacity without writing depth, so that the player's boarder shows through it. The model draws
// itself filled whatever the polygon mode; in wire mode the ghost is drawn as its outlines, through
// a scene of its own that holds the boarder's model under a line draw style. Owns Coin nodes (no
// GL objects): not copyable.
class GhostFigure {
public:
    GhostFigure();
    ~GhostFigure();
    GhostFigure(const GhostFigure&) = delete;
    GhostFigure& operator=(const GhostFigure&) = delete;

    // Draws model's figure at pose, as outlines when wire is set.
    void draw(const Boarder& model, const BoarderPose& pose, bool wire);

private:
    SoSeparator* wireRoot_ = nullptr;  // the line draw style, then the boarder's scene
    SoDrawStyle* lines_ = nullptr;
};

// Colours of a split text.
enum class SplitColour { Green, Red, White };

// Draws text (UTF-8) centred near the top of the frame, in letters about a twentieth of the
// frame's height (at least 24 device pixels), outlined in black so it reads on snow and sky.
void drawSplitText(const FrameInfo& frame, const std::string& text, SplitColour colour);

#endif  // APP_GHOSTDRAW_H
