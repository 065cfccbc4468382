#ifndef SCENE_INVENTORCHECK_H
#define SCENE_INVENTORCHECK_H

#include <string>

class SoNode;

// The check of a scene that Coin read from a model file, before the game draws it. A hostile
// scene can make Coin recurse for ever (a node that holds itself), overflow its stack (a chain of
// USEs thousands of nodes deep), read far outside its arrays (indices past the coordinates) or
// draw for minutes (millions of vertices). Such a scene is refused as a whole.

// At most this many nodes are visited to draw a model once (a node used twice counts twice).
constexpr long long kMaxModelNodeVisits = 100000;
// At most this many vertices are drawn for a model once, over all its shapes and their uses.
constexpr long long kMaxModelVertices = 1000000;

// Checks the scene below root. Returns an empty string when the game may draw it, else a few words
// saying why not. Refused:
// - a node whose kind isModelNodeName does not accept (File, engines, VRML, ...), a
//   vertexProperty that is not a VertexProperty node, a Texture2 with a file name;
// - a field connected to another field or an engine;
// - a node that holds itself, directly or further down; nodes nested deeper than
//   kMaxModelNesting below the root; more than kMaxModelNodeVisits node visits;
// - an indexed shape with an index outside the coordinates in force where the shape is drawn, or
//   outside the materials, normals or texture coordinates in force where those are bound by index
//   (an empty index list stands for coordIndex, as Coin takes it); an index below -1;
// - a non-indexed shape whose start and vertex counts reach past the coordinates;
// - more than kMaxModelVertices vertices over all shapes.
// Needs no GL context; does not change the scene. SoDB::init must have run.
std::string checkInventorScene(SoNode* root);

// Frees a scene, cycles and deep chains included, without recursion: unlinks every node reachable
// from root from its children, then drops the references. REQUIRES: the caller holds exactly one
// reference to root (root->ref()), which this drops; no one else holds nodes of the scene.
void releaseRefusedScene(SoNode* root);

#endif  // SCENE_INVENTORCHECK_H
