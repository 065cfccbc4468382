#ifndef SCENE_INVENTORCHECK_H
#define SCENE_INVENTORCHECK_H

#include <string>

class SoNode;

// The check of a scene that Coin read from a model file, before the game draws it. It counts what
// Coin will do to draw the scene, not only what the file holds. A hostile scene can make Coin
// recurse for ever (a node that holds itself), overflow its stack (a chain of USEs thousands of
// nodes deep), read far outside its arrays (indices past the coordinates, index lists shorter than
// their binding needs), run away in its normal generation (strips of one vertex, thousands of
// faces on one point, homogeneous coordinates) or draw for minutes (millions of triangles, a
// sphere used a hundred thousand times). Such a scene is refused as a whole.

// At most this many nodes are visited to draw a model once (a node used twice counts twice).
constexpr long long kMaxModelNodeVisits = 100000;

// The drawing budget of one model: the triangles, line segments and points Coin draws for it in
// one frame, over all its shapes and their uses, solids counted by the triangles they are
// tessellated into at the complexity in force, faces that need tessellating by the square of
// their vertices. The game's largest model (finish.iv) draws 5,036 triangles.
// Measured with fuzz/model_fuzz (MODEL_FUZZ_TIMES=1) on the largest models the checks admit
// (fuzz/make_seeds.py --worst: 50,000 lit triangles with up to 60 faces on a point, so Coin
// generates normals; the same unlit; 111 lit spheres), seen whole in a 700 x 700 frame, Mesa's
// software GL under Xvfb on this two-core machine: the worst first frame took 270-380 ms of
// processor time (the lit triangles; unlit 140-200 ms, the spheres 125-210 ms; the first frame of
// a process adds about 100 ms of GL set-up), finish.iv 13 ms. On the clock that was 0.6-1.2 s
// while five other jobs kept the load near 10; on an idle machine it is about the processor
// time, Mesa drawing on both cores.
constexpr long long kMaxModelPrimitives = 50000;

// At most this many faces (a strip's triangles each count) of one shape may use one point in
// space. Coin's normal generation compares each face at a point with every other there, so the
// faces on one point cost their square. The game's models have at most 19.
constexpr int kMaxFacesAtOnePoint = 64;

// At most this many surfaces may be stacked in one part of a model: the model's box is cut into
// kLayerGrid cells a side, and no cell may meet more faces than this (a solid counts twice). So
// however close the camera comes, few surfaces cover the same pixels. The game's models have at
// most 126 in a cell.
constexpr int kLayerGrid = 16;
// And all its faces together (solids by their boxes) may have at most this many times the area
// of the square of its box's diagonal: seen whole, the model covers the screen about that many
// times over at most. The game's models have at most 2.
constexpr int kMaxModelCover = 16;
constexpr int kMaxModelLayers = 256;

// Checks the scene below root. Returns an empty string when the game may draw it, else a few words
// saying why not. Refused:
// - a node of a kind that is not a group, transform, property or shape whose cost is counted here
//   (File, engines, VRML, Coordinate4, textures, draw styles, text, ...), a vertexProperty that is
//   not a VertexProperty node;
// - a field connected to another field or an engine;
// - a node that holds itself, directly or further down; nodes nested deeper than
//   kMaxModelNesting below the root; more than kMaxModelNodeVisits node visits;
// - an indexed shape with an index outside the coordinates in force where it is drawn, or below
//   -1;
// - materials, normals or texture coordinates too few for their binding: per face or part at
//   least one per face (for lines one per segment, for strips one per triangle), per vertex one per
//   vertex; an index list bound per face shorter than the faces, one bound per vertex shorter
//   than coordIndex (an empty list, or one starting with -1, stands for coordIndex, as Coin takes
//   it), an entry outside the items;
// - a non-indexed shape whose start and vertex counts reach past the coordinates;
// - a face of fewer than 3 vertices, a strip of fewer than 3, a line of fewer than 2, a QuadMesh
//   of fewer than 2 by 2 vertices;
// - more than kMaxFacesAtOnePoint faces of a shape on one point;
// - a solid (Cube, Sphere, Cone, Cylinder) drawn at screen-space complexity or at a complexity
//   above 1;
// - more than kMaxModelPrimitives to draw;
// - more than kMaxModelLayers surfaces in one cell of the model's box, faces of more than
//   kMaxModelCover times the area of its diagonal squared, a point beyond a float.
// Needs no GL context; does not change the scene. SoDB::init must have run.
std::string checkInventorScene(SoNode* root);

// Frees a scene, cycles and deep chains included, without recursion: unlinks every node reachable
// from root from its children, then drops the references. REQUIRES: the caller holds exactly one
// reference to root (root->ref()), which this drops; no one else holds nodes of the scene.
void releaseRefusedScene(SoNode* root);

#endif  // SCENE_INVENTORCHECK_H
