#ifndef APP_GHOSTDRAW_H
#define APP_GHOSTDRAW_H

#include <string>

#include "scene/framelayer.h"

class Boarder;

// The GL drawing of the ghost and of the split text. REQUIRES for both: the scene's context
// current, inside a frame; both leave the matrices and the GL attributes as they found them.

// Draws the boarder's model at pose as a translucent copy: blended over the scene at a
// constant opacity, without writing depth, so that the player's boarder shows through it. The
// polygon mode in force (wire or solid) is kept.
void drawGhostBoarder(const Boarder& model, const BoarderPose& pose);

// Colours of a split text.
enum class SplitColour { Green, Red, White };

// Draws text (UTF-8) centred near the top of the frame, in letters about a twentieth of the
// frame's height (at least 24 device pixels), outlined in black so it reads on snow and sky.
void drawSplitText(const FrameInfo& frame, const std::string& text, SplitColour colour);

#endif  // APP_GHOSTDRAW_H
