#ifndef SCENE_INVENTORMODEL_H
#define SCENE_INVENTORMODEL_H

#include <string>

class SoSeparator;
class SbViewportRegion;
class SoGLRenderAction;
class SoInput;
class SoNode;

// Reading Open Inventor model files and rendering them into the widget's own GL frame, shared by
// the boarder and the scenery models.

// The largest model file read, in bytes; the game's own are a few hundred kilobytes.
constexpr long long kMaxModelBytes = 8 << 20;

// Reads the model file fileName into a scene with input. kind names the model in the console
// lines: ".iv <kind> file not found: <file>" when the file cannot be opened or is not a regular
// file (a FIFO, device, socket or directory, never waited on), then
// "Problem reading .iv <kind> file: <file>" when no scene was read. A model is read only when
// it is safe to draw: the file is at most kMaxModelBytes, its text passes scanInventorText before
// Coin reads it, Coin's reader neither reports an error nor throws (std::bad_alloc and the like
// are caught), and the scene passes checkInventorScene; otherwise
// the scene is freed, the read-problem line printed and the reason written to standard error
// ("Model <file> refused: <reason>"). Returns the scene, not yet referenced, or null. Calls
// SoDB::init first.
SoSeparator* readInventorModel(SoInput& input, const char* fileName, const char* kind);

// The reading of readInventorModel after the file: scans text with scanInventorText, lets Coin
// read it (catching what Coin throws, such as std::bad_alloc) and checks the scene with
// checkInventorScene. Returns the scene, not yet referenced, or null with the reason in problem.
// Prints nothing itself (Coin's own read errors go to standard error). Calls SoDB::init first.
SoSeparator* readInventorText(SoInput& input, const std::string& text, std::string& problem);

// readInventorText without the scan: for text that passed it, and for tests of what lies behind
// it. Coin's reader is not safe on text the scan refuses.
SoSeparator* readUnscannedInventorText(SoInput& input, const std::string& text,
                                       std::string& problem);

// Builds a model's scene graph, sceneRoot -> modelGroup -> (firstChild, model), and reads fileName
// into it with readInventorModel. sceneRoot is referenced once; the viewport region is 700 x 700.
// firstChild, when not null, goes into the group before the model (the boarder's transform). A
// file that yields no scene adds no model and leaves model null. The caller owns what is made and
// frees it with releaseInventorScene.
void loadInventorModel(const char* fileName, const char* kind, SoNode* firstChild,
                       SoSeparator*& sceneRoot, SbViewportRegion*& viewport,
                       SoGLRenderAction*& renderAction, SoSeparator*& modelGroup,
                       SoSeparator*& model, SoInput*& modelInput);

// Renders root with action into the current GL context. The action's viewport region is first set
// to the context's current GL viewport, so the model lands where the rest of the frame is drawn
// whatever the widget's size. With no camera in the graph Coin draws under the current projection
// and modelview matrices and leaves both, and the matrix mode, as they were; it does change other
// GL state (face culling, lighting, colours), so callers bracket the call with glPushAttrib and
// glPopAttrib. REQUIRES: a current GL context.
void renderInventorScene(SoGLRenderAction& action, SoNode* root);

// Releases what a model's loading created and sets every pointer to null: unreferences sceneRoot
// (which frees the group and the model under it) and deletes the action, the viewport and the
// input. Null pointers are skipped.
void releaseInventorScene(SoSeparator*& sceneRoot, SbViewportRegion*& viewport,
                          SoGLRenderAction*& renderAction, SoInput*& modelInput);

#endif  // SCENE_INVENTORMODEL_H
