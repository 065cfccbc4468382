#ifndef SCENE_INVENTORTEXT_H
#define SCENE_INVENTORTEXT_H

#include <string>
#include <string_view>

// A quick look at an Open Inventor model's text before Coin reads it. Coin's reader recurses once
// per level of nesting and follows File nodes and texture file names while it reads, so a hostile
// file can overflow its stack or make it wait on a FIFO before any check of the read scene could
// run. The scan is pure text work: no Coin, no file access.

// The deepest nesting of nodes a model may have, both in its text (open braces) and in the read
// scene (nodes on the longest path from the root). Coin's reader survives some thousands.
constexpr int kMaxModelNesting = 256;

// Whether name is one of the node kinds a model may hold: groups (Separator, Group, Switch,
// TransformSeparator), transforms, materials, bindings, coordinates, normals, texture coordinates,
// Texture2 with its image inline, shape hints, light model, draw style, complexity, lights, and
// the shapes Cube, Sphere, Cone, Cylinder, IndexedFaceSet, IndexedLineSet,
// IndexedTriangleStripSet, FaceSet, LineSet, TriangleStripSet, QuadMesh and PointSet. Nothing that
// reads another file, runs an engine or chooses what to draw while drawing. Coin's "So" prefix is
// accepted ("SoCube" is "Cube").
bool isModelNodeName(std::string_view name);

// The model kinds of isModelNodeName, as Coin names them (without "So"), one after another until
// a null entry.
extern const char* const kModelNodeNames[];

// Scans the text of a model file. Returns an empty string when Coin may read it, else a few words
// saying why not. Refused:
// - a first line other than "#Inventor V2.1 ascii" (V2.0 and V1.0 too): binary files, VRML,
//   compressed files and anything else that is not an Inventor text file;
// - a NUL byte, a lone carriage return, a quotation mark (no node kind of a model has a string
//   field), a '#' inside a word, '=' (a field connection);
// - a brace not preceded by the name of a model node kind (this refuses File, engines and unknown
//   kinds), a closing brace too many, open braces nested deeper than kMaxModelNesting;
// - a word, comma or bracket outside every node other than a node's name, DEF and USE with their
//   names (values after the scene, say);
// - the word "filename" (a texture read from another file).
// Comments ('#' to the end of the line) are skipped.
std::string scanInventorText(std::string_view text);

#endif  // SCENE_INVENTORTEXT_H
