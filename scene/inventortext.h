#ifndef SCENE_INVENTORTEXT_H
#define SCENE_INVENTORTEXT_H

#include <string>
#include <string_view>

// A look at an Open Inventor model's text before Coin reads it. Coin's reader is not safe on
// hostile text: it recurses once per level of nesting, follows File nodes and texture file names,
// overflows a stack buffer on a number of some thousand digits and its name table on a word over
// 65,535 characters, and throws std::bad_alloc on a huge inline image. So the scan is an
// allow-list, not a list of known dangers: it admits only the node kinds, fields and value forms
// the game's models are made of, and refuses everything else. Pure text work: no Coin, no file
// access.
//
// Admitted, node by node (each field optional, fields before children, in any order):
//   Separator       { renderCaching ON|OFF|AUTO }  and child nodes
//   Group           { }                             and child nodes
//   ShapeHints      { vertexOrdering UNKNOWN_ORDERING|CLOCKWISE|COUNTERCLOCKWISE
//                     shapeType UNKNOWN_SHAPE_TYPE|SOLID }
//   LightModel      { model BASE_COLOR|PHONG }
//   Material        { diffuseColor <colours> }
//   BaseColor       { rgb <colours> }
//   MaterialBinding { value DEFAULT|OVERALL|PER_VERTEX_INDEXED }
//   Coordinate3     { point <points> }
//   IndexedFaceSet  { coordIndex <indices> }
//   Translation     { translation <x y z> }
//   Cube            { width <n> height <n> depth <n> }
//   Sphere          { radius <n> }
//   Cone            { bottomRadius <n> height <n> }
//   Cylinder        { radius <n> height <n> }
// The four models the game ships (tools/make_data.py) are one Separator holding ShapeHints,
// LightModel, Material, MaterialBinding PER_VERTEX_INDEXED, Coordinate3 and an IndexedFaceSet; the
// Group, BaseColor, Translation and the four solids are what a hand-made stand-in needs.
// Value forms: <n> is a number; <x y z> three numbers; <colours> and <points> one such triple, or
// a bracketed list of them, each optionally followed by a comma; <indices> one index or a
// bracketed list of them, commas optional. A number is an optional sign, digits with an optional
// fraction and exponent, at most kMaxModelNumberChars characters, no larger in size than 1e18 (so
// that squares and sums stay finite in a float); an index is -1 or an integer in 0..2^31-1.
// A node may be named with "DEF <name>" and used again with "USE <name>": a name is a letter or
// '_' followed by letters, digits and '_', at most kMaxModelNameChars characters; USE must name an
// earlier DEF whose node is complete (a node may not hold itself).

// The deepest nesting of nodes a model may have, both in its text (open braces) and in the read
// scene (nodes on the longest path from the root). Coin's reader survives some thousands.
constexpr int kMaxModelNesting = 256;
// The longest number and the longest DEF name admitted, in characters.
constexpr size_t kMaxModelNumberChars = 64;
constexpr size_t kMaxModelNameChars = 255;

// Whether name is one of the node kinds listed above, exactly as written there.
bool isModelNodeName(std::string_view name);

// The node kinds listed above, one after another until a null entry.
extern const char* const kModelNodeNames[];

// Scans the text of a model file. Returns an empty string when Coin may read it, else a few words
// saying why not (the first problem found). Besides anything outside the allow-list above,
// refused are: a first line other than "#Inventor V2.1 ascii" (binary files, VRML, compressed
// files, older versions); a NUL byte, a carriage return without a line feed; braces not matched,
// nesting deeper than kMaxModelNesting; anything after the last node but white space and
// comments. Comments ('#' to the end of the line, where a word may start) are skipped.
std::string scanInventorText(std::string_view text);

#endif  // SCENE_INVENTORTEXT_H
