#include "scene/inventorcheck.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SoType.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoLazyElement.h>
#include <Inventor/elements/SoMaterialBindingElement.h>
#include <Inventor/fields/SoField.h>
#include <Inventor/fields/SoMFNode.h>
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoComplexity.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoCylinder.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoIndexedShape.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoNonIndexedShape.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoQuadMesh.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoTextureCoordinateBinding.h>
#include <Inventor/nodes/SoTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <Inventor/nodes/SoVertexShape.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "scene/inventortext.h"

namespace {

// A node kind with its article: "a Cube", "an IndexedFaceSet".
std::string aKind(const std::string& kind) {
    const bool vowel = !kind.empty() && std::string("AEIOU").find(kind[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + kind;
}

// The node kinds a scene may hold: groups whose traversal does not change while drawing,
// transforms, properties, and shapes whose drawing cost checkShape counts. Not among them: what
// reads another file or runs an engine, Coordinate4 (Coin's normal generation fails on it),
// textures, draw styles (line and point sizes are unbounded) and text (its triangles depend on
// the fonts found).
const char* const kSceneNodeNames[] = {"Separator",
                                       "Group",
                                       "Switch",
                                       "TransformSeparator",
                                       "Transform",
                                       "Translation",
                                       "Rotation",
                                       "RotationXYZ",
                                       "Scale",
                                       "MatrixTransform",
                                       "ResetTransform",
                                       "Units",
                                       "Material",
                                       "BaseColor",
                                       "PackedColor",
                                       "MaterialBinding",
                                       "Normal",
                                       "NormalBinding",
                                       "Coordinate3",
                                       "VertexProperty",
                                       "TextureCoordinate2",
                                       "TextureCoordinateBinding",
                                       "ShapeHints",
                                       "LightModel",
                                       "Complexity",
                                       "PolygonOffset",
                                       "PickStyle",
                                       "Environment",
                                       "DirectionalLight",
                                       "PointLight",
                                       "SpotLight",
                                       "Cube",
                                       "Sphere",
                                       "Cone",
                                       "Cylinder",
                                       "IndexedFaceSet",
                                       "IndexedLineSet",
                                       "IndexedTriangleStripSet",
                                       "FaceSet",
                                       "LineSet",
                                       "TriangleStripSet",
                                       "QuadMesh",
                                       "PointSet",
                                       nullptr};

std::string kindOf(const SoNode* node) {
    return node->getTypeId().getName().getString();
}

bool isAllowedKind(const SoNode* node) {
    static const std::unordered_set<int16_t> allowed = [] {
        std::unordered_set<int16_t> keys;
        for (const char* const* name = kSceneNodeNames; *name != nullptr; ++name) {
            keys.insert(SoType::fromName(*name).getKey());
        }
        return keys;
    }();
    return allowed.count(node->getTypeId().getKey()) != 0;
}

// The nodes a node leads the drawing to: a group's children, a shape's vertex property.
void linksOf(SoNode* node, std::vector<SoNode*>& out) {
    out.clear();
    if (node->isOfType(SoGroup::getClassTypeId())) {
        SoGroup* group = static_cast<SoGroup*>(node);
        for (int i = 0; i < group->getNumChildren(); ++i) {
            out.push_back(group->getChild(i));
        }
    }
    if (node->isOfType(SoVertexShape::getClassTypeId())) {
        if (SoNode* property = static_cast<SoVertexShape*>(node)->vertexProperty.getValue()) {
            out.push_back(property);
        }
    }
}

// What a single node may not be, whatever its place in the scene.
std::string nodeProblem(SoNode* node) {
    if (!isAllowedKind(node)) {
        return "a node of kind \"" + kindOf(node) + "\", which a model may not hold";
    }
    SoFieldList fields;
    node->getFields(fields);
    for (int i = 0; i < fields.getLength(); ++i) {
        if (fields[i]->isConnected()) {
            return "a field of " + aKind(kindOf(node)) + " connected to another";
        }
    }
    if (node->isOfType(SoVertexShape::getClassTypeId())) {
        const SoNode* property = static_cast<SoVertexShape*>(node)->vertexProperty.getValue();
        if (property != nullptr && property->getTypeId() != SoVertexProperty::getClassTypeId()) {
            return "a vertexProperty that is " + aKind(kindOf(property));
        }
    }
    return std::string();
}

// The structure: node kinds, cycles, nesting and the number of visits a drawing makes, found by a
// depth-first walk with its own stack (the scene may be deeper than the call stack allows).
std::string structureProblem(SoNode* root) {
    struct Info {
        bool open = false;
        long long visits = 0;  // nodes visited to draw this node once, itself included
        int height = 0;        // nodes on the longest path down from this node, itself included
    };
    struct Frame {
        SoNode* node;
        std::vector<SoNode*> links;
        size_t next = 0;
    };
    std::unordered_map<SoNode*, Info> seen;
    std::vector<Frame> stack;
    auto enter = [&](SoNode* node) -> std::string {
        std::string problem = nodeProblem(node);
        if (!problem.empty()) {
            return problem;
        }
        if (static_cast<int>(stack.size()) > kMaxModelNesting) {
            return "nodes nested deeper than " + std::to_string(kMaxModelNesting);
        }
        seen[node].open = true;
        stack.push_back(Frame{node, {}, 0});
        linksOf(node, stack.back().links);
        return std::string();
    };
    std::string problem = enter(root);
    while (problem.empty() && !stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.links.size()) {
            SoNode* child = top.links[top.next++];
            auto found = seen.find(child);
            if (found == seen.end()) {
                problem = enter(child);
            } else if (found->second.open) {
                problem = aKind(kindOf(child)) + " that holds itself";
            }
            continue;
        }
        // A node used in several places is walked once; what lies below it counts every time.
        long long visits = 1;
        int height = 1;
        for (SoNode* child : top.links) {
            const Info& below = seen[child];
            visits = std::min(visits + below.visits, kMaxModelNodeVisits + 1);
            height = std::max(height, below.height + 1);
        }
        Info& info = seen[top.node];
        info.open = false;
        info.visits = visits;
        info.height = height;
        stack.pop_back();
        if (height > kMaxModelNesting + 1) {
            problem = "nodes nested deeper than " + std::to_string(kMaxModelNesting);
        }
    }
    if (problem.empty() && seen[root].visits > kMaxModelNodeVisits) {
        problem = "more than " + std::to_string(kMaxModelNodeVisits) + " node visits to draw";
    }
    return problem;
}

// What the drawing of one shape costs and needs, worked out from its own fields.
struct Geometry {
    long long primitives = 0;  // triangles, line segments or points drawn
    long long parts = 0;       // what a PER_PART or PER_FACE binding needs one item for
    long long vertices = 0;    // what a PER_VERTEX binding needs one item for
    std::string problem;
};

// The runs of an index list between its -1 entries: faces, strips or polylines. A final run
// without a -1 counts too; an empty run (two -1 in a row, or a -1 first) is reported as 0.
std::vector<long long> runsOf(const SoMFInt32& indices) {
    std::vector<long long> runs;
    long long current = 0;
    const int32_t* values = indices.getValues(0);
    for (int i = 0; i < indices.getNum(); ++i) {
        if (values[i] < 0) {
            runs.push_back(current);
            current = 0;
        } else {
            ++current;
        }
    }
    if (current > 0) {
        runs.push_back(current);
    }
    return runs;
}

enum class Kind { Faces, Strips, Lines, Points };

// Counts what the runs of a shape of the given kind draw; a run too short for its kind is a
// problem (Coin's normal generation runs away on a strip of one vertex). convex: faces are drawn
// as they are, else each goes through Coin's tessellator, counted as its square.
Geometry geometryOf(Kind kind, const std::vector<long long>& runs, bool convex,
                    const std::string& shapeKind) {
    Geometry g;
    const long long least = kind == Kind::Lines ? 2 : kind == Kind::Points ? 1 : 3;
    for (const long long n : runs) {
        if (n < least) {
            g.problem = aKind(shapeKind) + " with a " +
                        (kind == Kind::Faces    ? "face"
                         : kind == Kind::Strips ? "strip"
                                                : "line") +
                        " of " + std::to_string(n) + " vertices (at least " +
                        std::to_string(least) + ")";
            return g;
        }
        g.vertices += n;
        switch (kind) {
            case Kind::Faces:
                g.primitives += convex || n == 3 ? n - 2 : n * n;
                g.parts += 1;
                break;
            case Kind::Strips:
                g.primitives += n - 2;
                g.parts += n - 2;  // a triangle per face; a strip per part is never more
                break;
            case Kind::Lines:
                g.primitives += n - 1;
                g.parts += n - 1;  // a segment per part; a line per face is never more
                break;
            case Kind::Points:
                g.primitives += n;
                g.parts += n;
                break;
        }
    }
    return g;
}

// Where a shape's vertices lie: its own vertex property's, else the coordinates in force.
struct Positions {
    const SoCallbackAction* action;
    const SoVertexProperty* property;  // null, or one with vertices
    SbVec3f at(long long i) const {
        return property != nullptr ? property->vertex[static_cast<int>(i)]
                                   : action->getCoordinate3(static_cast<int>(i));
    }
};

// Counts, over the faces of a shape, how many use each point in space. Coin's normal generation
// compares every face at a point with every other (by position, not by index), so many faces on
// one point cost their square.
class PointSharing {
public:
    explicit PointSharing(const Positions& positions) : positions_(positions) {}

    // Adds one face at vertex index i; false once some point has too many.
    bool add(long long i) {
        const SbVec3f p = positions_.at(i);
        Key key;
        for (int k = 0; k < 3; ++k) {
            const float v = p[k] == 0.0f ? 0.0f : p[k];  // -0 and 0 are one point
            std::memcpy(&key.bits[k], &v, sizeof v);
        }
        return ++counts_[key] <= kMaxFacesAtOnePoint;
    }

private:
    struct Key {
        uint32_t bits[3];
        bool operator==(const Key& o) const {
            return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
        }
    };
    struct Hash {
        size_t operator()(const Key& k) const {
            return (static_cast<size_t>(k.bits[0]) * 73856093u) ^
                   (static_cast<size_t>(k.bits[1]) * 19349663u) ^
                   (static_cast<size_t>(k.bits[2]) * 83492791u);
        }
    };
    const Positions& positions_;
    std::unordered_map<Key, int, Hash> counts_;
};

std::string sharingProblem(const std::string& shapeKind) {
    return aKind(shapeKind) + " with more than " + std::to_string(kMaxFacesAtOnePoint) +
           " faces on one point";
}

// The world-space boxes of what a model draws, for the bound on how many surfaces lie on top of
// one another (see layeringProblem).
struct Box {
    SbVec3f low, high;
    int layers;   // surfaces it puts on a line of sight: 1 for a face, 2 for a closed solid
    double area;  // at least the area of what it holds
};

// An upper bound of the area of a face in a box of the given sides: its projections on the
// three planes of the axes are no larger than the box's faces, and its area is the root of the
// sum of their squares (half of that for a triangle).
double faceArea(const SbVec3f& low, const SbVec3f& high, bool triangle) {
    const double x = static_cast<double>(high[0]) - low[0];
    const double y = static_cast<double>(high[1]) - low[1];
    const double z = static_cast<double>(high[2]) - low[2];
    return (triangle ? 0.5 : 1.0) * std::sqrt(x * y * x * y + y * z * y * z + x * z * x * z);
}

class BoxCollector {
public:
    BoxCollector(const SoCallbackAction* action, const Positions& positions,
                 std::vector<Box>& boxes)
        : matrix_(action->getModelMatrix()), positions_(positions), boxes_(boxes) {}

    void begin() {
        open_ = false;
        vertices_ = 0;
    }
    void add(long long i) {
        SbVec3f p;
        matrix_.multVecMatrix(positions_.at(i), p);
        ++vertices_;
        if (!open_) {
            box_ = Box{p, p, 1, 0.0};
            open_ = true;
            return;
        }
        for (int k = 0; k < 3; ++k) {
            box_.low[k] = std::min(box_.low[k], p[k]);
            box_.high[k] = std::max(box_.high[k], p[k]);
        }
    }
    void end() {
        if (open_) {
            box_.area = faceArea(box_.low, box_.high, vertices_ == 3);
            boxes_.push_back(box_);
        }
        open_ = false;
        vertices_ = 0;
    }

private:
    SbMatrix matrix_;
    const Positions& positions_;
    std::vector<Box>& boxes_;
    Box box_{};
    bool open_ = false;
    int vertices_ = 0;
};

// The boxes of the faces of an indexed shape: a face each, a triangle each for strips.
void indexedBoxes(const SoMFInt32& coordIndex, Kind kind, BoxCollector& boxes) {
    const int32_t* values = coordIndex.getValues(0);
    const int n = coordIndex.getNum();
    int runStart = 0;
    for (int i = 0; i <= n; ++i) {
        if (i < n && values[i] >= 0)
            continue;
        if (kind == Kind::Faces) {
            boxes.begin();
            for (int k = runStart; k < i; ++k)
                boxes.add(values[k]);
            boxes.end();
        } else {
            for (int t = runStart; t + 2 < i; ++t) {
                boxes.begin();
                for (int k = t; k < t + 3; ++k)
                    boxes.add(values[k]);
                boxes.end();
            }
        }
        runStart = i + 1;
    }
}

void plainBoxes(long long start, const std::vector<long long>& runs, Kind kind,
                BoxCollector& boxes) {
    long long first = start;
    for (const long long n : runs) {
        if (kind == Kind::Faces) {
            boxes.begin();
            for (long long k = first; k < first + n; ++k)
                boxes.add(k);
            boxes.end();
        } else {
            for (long long t = first; t + 2 < first + n; ++t) {
                boxes.begin();
                for (long long k = t; k < t + 3; ++k)
                    boxes.add(k);
                boxes.end();
            }
        }
        first += n;
    }
}

// Faces of an indexed shape at each point: faces are the runs, strips give a triangle each.
bool indexedSharingFits(const SoMFInt32& coordIndex, Kind kind, const Positions& positions) {
    PointSharing sharing(positions);
    const int32_t* values = coordIndex.getValues(0);
    const int n = coordIndex.getNum();
    int runStart = 0;
    for (int i = 0; i <= n; ++i) {
        if (i < n && values[i] >= 0) {
            continue;
        }
        if (kind == Kind::Faces) {
            for (int k = runStart; k < i; ++k) {
                if (!sharing.add(values[k]))
                    return false;
            }
        } else {
            for (int t = runStart; t + 2 < i; ++t) {
                for (int k = t; k < t + 3; ++k) {
                    if (!sharing.add(values[k]))
                        return false;
                }
            }
        }
        runStart = i + 1;
    }
    return true;
}

// The same for a non-indexed shape whose runs take consecutive vertices from start on.
bool plainSharingFits(long long start, const std::vector<long long>& runs, Kind kind,
                      const Positions& positions) {
    PointSharing sharing(positions);
    long long first = start;
    for (const long long n : runs) {
        if (kind == Kind::Faces) {
            for (long long k = first; k < first + n; ++k) {
                if (!sharing.add(k))
                    return false;
            }
        } else {
            for (long long t = first; t + 2 < first + n; ++t) {
                for (long long k = t; k < t + 3; ++k) {
                    if (!sharing.add(k))
                        return false;
                }
            }
        }
        first += n;
    }
    return true;
}

// What a kind of data bound to a shape has in force: how many items and their bindings (the
// state's and, when the shape's vertex property holds such items, its own: both are checked).
struct Binding {
    const char* items;      // "materials", "normals", "texture coordinates"
    const char* indexName;  // the shape's index field for them
    long long count = 0;
    std::vector<int> bindings;  // SoMaterialBindingElement values
};

// Checks that every entry of indices is -1 (an end of face) or names one of count items.
std::string indexProblem(const SoMFInt32& indices, long long count, const char* field,
                         const char* items) {
    const int32_t* values = indices.getValues(0);
    for (int i = 0; i < indices.getNum(); ++i) {
        if (values[i] < -1 || values[i] >= count) {
            return std::string(field) + " " + std::to_string(values[i]) + " outside the " +
                   std::to_string(count) + " " + items;
        }
    }
    return std::string();
}

// An index list that Coin replaces by coordIndex: empty, or starting with an end of face.
bool standsForCoordIndex(const SoMFInt32& indices) {
    return indices.getNum() == 0 || indices[0] < 0;
}

// Whether what is bound to an indexed shape is enough for what it draws: for each binding, the
// items or the index list (its length and its entries).
std::string indexedBindingProblem(const SoIndexedShape* shape, const SoMFInt32& list,
                                  const Binding& b, const Geometry& g) {
    for (const int binding : b.bindings) {
        std::string problem;
        switch (binding) {
            case SoMaterialBindingElement::PER_PART:
            case SoMaterialBindingElement::PER_FACE:
                if (b.count < g.parts) {
                    problem = std::to_string(b.count) + " " + b.items + " bound per face, for " +
                              std::to_string(g.parts);
                }
                break;
            case SoMaterialBindingElement::PER_VERTEX:
                if (b.count < g.vertices) {
                    problem = std::to_string(b.count) + " " + b.items + " bound per vertex, for " +
                              std::to_string(g.vertices);
                }
                break;
            case SoMaterialBindingElement::PER_PART_INDEXED:
            case SoMaterialBindingElement::PER_FACE_INDEXED:
                if (list.getNum() < g.parts) {
                    problem = std::string(b.indexName) + " of " + std::to_string(list.getNum()) +
                              " entries for " + std::to_string(g.parts) + " faces";
                } else {
                    problem = indexProblem(list, b.count, b.indexName, b.items);
                    for (int i = 0; problem.empty() && i < g.parts; ++i) {
                        if (list[i] < 0) {
                            problem = std::string(b.indexName) + " -1 where a face's index belongs";
                        }
                    }
                }
                break;
            case SoMaterialBindingElement::PER_VERTEX_INDEXED:
                if (standsForCoordIndex(list)) {
                    problem = indexProblem(shape->coordIndex, b.count, "coordIndex", b.items);
                } else if (list.getNum() < shape->coordIndex.getNum()) {
                    problem = std::string(b.indexName) + " of " + std::to_string(list.getNum()) +
                              " entries for a coordIndex of " +
                              std::to_string(shape->coordIndex.getNum());
                } else {
                    problem = indexProblem(list, b.count, b.indexName, b.items);
                }
                break;
            default:
                break;  // OVERALL: one item, and there is always one in force
        }
        if (!problem.empty()) {
            return problem;
        }
    }
    return std::string();
}

// The same for a non-indexed shape, whose indexed bindings Coin takes as plain ones.
std::string plainBindingProblem(const Binding& b, const Geometry& g, long long start) {
    for (const int binding : b.bindings) {
        std::string problem;
        if (binding == SoMaterialBindingElement::PER_VERTEX ||
            binding == SoMaterialBindingElement::PER_VERTEX_INDEXED) {
            if (b.count < start + g.vertices) {
                problem = std::to_string(b.count) + " " + b.items + " bound per vertex, for " +
                          std::to_string(start + g.vertices);
            }
        } else if (binding != SoMaterialBindingElement::OVERALL && b.count < g.parts) {
            problem = std::to_string(b.count) + " " + b.items + " bound per face, for " +
                      std::to_string(g.parts);
        }
        if (!problem.empty()) {
            return problem;
        }
    }
    return std::string();
}

struct Supply {
    long long coordinates;
    const SoVertexProperty* property;  // with vertices, or null
    Binding materials{"materials", "materialIndex", 0, {}};
    Binding normals{"normals", "normalIndex", 0, {}};
    Binding textures{"texture coordinates", "textureCoordIndex", 0, {}};
};

Supply supplyAt(SoCallbackAction* action, const SoShape* shape) {
    Supply s;
    s.coordinates = action->getNumCoordinates();
    s.property = nullptr;
    s.materials.count = SoLazyElement::getInstance(action->getState())->getNumDiffuse();
    s.materials.bindings = {action->getMaterialBinding()};
    s.normals.count = action->getNumNormals();
    s.normals.bindings = {action->getNormalBinding()};
    s.textures.count = action->getNumTextureCoordinates();
    s.textures.bindings = {action->getTextureCoordinateBinding() ==
                                   SoTextureCoordinateBinding::PER_VERTEX
                               ? SoMaterialBindingElement::PER_VERTEX
                               : SoMaterialBindingElement::PER_VERTEX_INDEXED};
    if (!shape->isOfType(SoVertexShape::getClassTypeId())) {
        return s;
    }
    // A shape's own vertex property replaces what is in force where it holds items; its
    // bindings are checked as well as the state's, whichever of the two Coin follows.
    const auto* property = static_cast<const SoVertexProperty*>(
        static_cast<const SoVertexShape*>(shape)->vertexProperty.getValue());
    if (property == nullptr) {
        return s;
    }
    if (property->vertex.getNum() > 0) {
        s.coordinates = property->vertex.getNum();
        s.property = property;
    }
    if (property->orderedRGBA.getNum() > 0) {
        s.materials.count = property->orderedRGBA.getNum();
        s.materials.bindings.push_back(property->materialBinding.getValue());
    }
    if (property->normal.getNum() > 0) {
        s.normals.count = property->normal.getNum();
        s.normals.bindings.push_back(property->normalBinding.getValue());
    }
    if (property->texCoord.getNum() > 0)
        s.textures.count = property->texCoord.getNum();
    if (property->texCoord3.getNum() > 0)
        s.textures.count = property->texCoord3.getNum();
    return s;
}

Kind indexedKind(const SoIndexedShape* shape) {
    if (shape->isOfType(SoIndexedLineSet::getClassTypeId()))
        return Kind::Lines;
    if (shape->isOfType(SoIndexedTriangleStripSet::getClassTypeId()))
        return Kind::Strips;
    return Kind::Faces;
}

std::string indexedShapeProblem(SoCallbackAction* action, const SoIndexedShape* shape,
                                const Supply& s, long long& primitives, std::vector<Box>& boxes) {
    std::string problem =
        indexProblem(shape->coordIndex, s.coordinates, "coordIndex", "coordinates");
    if (!problem.empty())
        return problem;
    const Kind kind = indexedKind(shape);
    const bool convex = action->getFaceType() == SoShapeHints::CONVEX;
    const Geometry g = geometryOf(kind, runsOf(shape->coordIndex), convex, kindOf(shape));
    if (!g.problem.empty())
        return g.problem;
    primitives += g.primitives;
    problem = indexedBindingProblem(shape, shape->materialIndex, s.materials, g);
    if (problem.empty() && s.normals.count > 0)
        problem = indexedBindingProblem(shape, shape->normalIndex, s.normals, g);
    if (problem.empty() && (s.textures.count > 0 || !standsForCoordIndex(shape->textureCoordIndex)))
        problem = indexedBindingProblem(shape, shape->textureCoordIndex, s.textures, g);
    if (problem.empty() && kind != Kind::Lines &&
        g.primitives <= kMaxModelPrimitives &&  // else refused for its size anyway
        !indexedSharingFits(shape->coordIndex, kind, Positions{action, s.property})) {
        problem = sharingProblem(kindOf(shape));
    }
    if (problem.empty() && kind != Kind::Lines && primitives <= kMaxModelPrimitives) {
        const Positions positions{action, s.property};
        BoxCollector collector(action, positions, boxes);
        indexedBoxes(shape->coordIndex, kind, collector);
    }
    return problem;
}

// The runs of a non-indexed shape from its start on, with available vertices there; false when a
// count is below -1 (-1 stands for all the vertices left).
bool plainRuns(const SoNonIndexedShape* shape, long long available, Kind& kind,
               std::vector<long long>& runs) {
    auto fromCounts = [&](const SoMFInt32& counts) {
        long long used = 0;
        for (int i = 0; i < counts.getNum(); ++i) {
            const long long n = counts[i];
            if (n < -1)
                return false;
            runs.push_back(n == -1 ? std::max(0LL, available - used) : n);
            used += runs.back();
        }
        return true;
    };
    if (shape->isOfType(SoFaceSet::getClassTypeId())) {
        kind = Kind::Faces;
        return fromCounts(static_cast<const SoFaceSet*>(shape)->numVertices);
    }
    if (shape->isOfType(SoLineSet::getClassTypeId())) {
        kind = Kind::Lines;
        return fromCounts(static_cast<const SoLineSet*>(shape)->numVertices);
    }
    if (shape->isOfType(SoTriangleStripSet::getClassTypeId())) {
        kind = Kind::Strips;
        return fromCounts(static_cast<const SoTriangleStripSet*>(shape)->numVertices);
    }
    if (shape->isOfType(SoPointSet::getClassTypeId())) {
        kind = Kind::Points;
        const long long n = static_cast<const SoPointSet*>(shape)->numPoints.getValue();
        if (n < -1)
            return false;
        if (n != 0)
            runs.push_back(n == -1 ? std::max(0LL, available) : n);
        return true;
    }
    return false;
}

std::string plainShapeProblem(SoCallbackAction* action, const SoNonIndexedShape* shape,
                              const Supply& s, long long& primitives, std::vector<Box>& boxes) {
    const long long start = shape->startIndex.getValue();
    const std::string kind = kindOf(shape);
    const std::string past =
        aKind(kind) + " using vertices past the " + std::to_string(s.coordinates) + " coordinates";
    if (start < 0 || start > s.coordinates)
        return past;
    Geometry g;
    std::vector<long long> runs;
    Kind runKind = Kind::Faces;
    if (shape->isOfType(SoQuadMesh::getClassTypeId())) {
        const auto* mesh = static_cast<const SoQuadMesh*>(shape);
        const long long rows = mesh->verticesPerColumn.getValue();
        const long long columns = mesh->verticesPerRow.getValue();
        if (rows < 2 || columns < 2)
            return "a QuadMesh of " + std::to_string(rows) + " by " + std::to_string(columns) +
                   " vertices (at least 2 by 2)";
        if (rows * columns > s.coordinates - start)
            return past;
        g.vertices = rows * columns;
        g.parts = (rows - 1) * (columns - 1);
        g.primitives = 2 * g.parts;
        // Each quad is a face at its four corners.
        const Positions positions{action, s.property};
        PointSharing sharing(positions);
        BoxCollector collector(action, positions, boxes);
        for (long long r = 0; r + 1 < rows; ++r) {
            for (long long c = 0; c + 1 < columns; ++c) {
                for (const long long k : {r * columns + c, r * columns + c + 1,
                                          (r + 1) * columns + c, (r + 1) * columns + c + 1}) {
                    if (g.primitives > kMaxModelPrimitives)
                        continue;
                    if (!sharing.add(start + k))
                        return sharingProblem(kind);
                    collector.add(start + k);
                }
                collector.end();
            }
        }
    } else {
        if (!plainRuns(shape, s.coordinates - start, runKind, runs))
            return past;
        long long used = 0;
        for (const long long n : runs)
            used += n;
        if (start + used > s.coordinates)
            return past;
        g = geometryOf(runKind, runs, action->getFaceType() == SoShapeHints::CONVEX, kind);
        if (!g.problem.empty())
            return g.problem;
        if ((runKind == Kind::Faces || runKind == Kind::Strips) &&
            g.primitives <= kMaxModelPrimitives &&
            !plainSharingFits(start, runs, runKind, Positions{action, s.property})) {
            return sharingProblem(kind);
        }
        if ((runKind == Kind::Faces || runKind == Kind::Strips) &&
            g.primitives <= kMaxModelPrimitives) {
            const Positions positions{action, s.property};
            BoxCollector collector(action, positions, boxes);
            plainBoxes(start, runs, runKind, collector);
        }
    }
    primitives += g.primitives;
    std::string problem = plainBindingProblem(s.materials, g, start);
    if (problem.empty() && s.normals.count > 0)
        problem = plainBindingProblem(s.normals, g, start);
    if (problem.empty() && s.textures.count > 0)
        problem = plainBindingProblem(s.textures, g, start);
    return problem;
}

// The triangles Coin tessellates a solid into at a complexity from 0 to 1 (an upper bound of
// what it makes, counted from its output at complexities 0 to 1 in steps of 0.05).
long long solidTriangles(const SoShape* shape, float complexity) {
    const double c = std::clamp(static_cast<double>(complexity), 0.0, 1.0);
    if (shape->isOfType(SoSphere::getClassTypeId())) {
        const double slices = std::ceil(30.0 * c);
        return std::max(8LL, static_cast<long long>(2.0 * slices * slices));
    }
    if (shape->isOfType(SoCone::getClassTypeId()))
        return std::max(6LL, static_cast<long long>(std::ceil(80.0 * c)));
    if (shape->isOfType(SoCylinder::getClassTypeId()))
        return std::max(12LL, static_cast<long long>(std::ceil(160.0 * c)));
    return 12;  // a cube, whatever the complexity
}

// The box of a solid in world space: its own box (centred on the origin) through the model matrix.
Box solidBox(const SoCallbackAction* action, const SoShape* shape) {
    SbVec3f half(1.0f, 1.0f, 1.0f);
    if (shape->isOfType(SoCube::getClassTypeId())) {
        const auto* cube = static_cast<const SoCube*>(shape);
        half.setValue(cube->width.getValue(), cube->height.getValue(), cube->depth.getValue());
        half *= 0.5f;
    } else if (shape->isOfType(SoSphere::getClassTypeId())) {
        const float r = static_cast<const SoSphere*>(shape)->radius.getValue();
        half.setValue(r, r, r);
    } else if (shape->isOfType(SoCone::getClassTypeId())) {
        const auto* cone = static_cast<const SoCone*>(shape);
        const float r = cone->bottomRadius.getValue();
        half.setValue(r, cone->height.getValue() * 0.5f, r);
    } else if (shape->isOfType(SoCylinder::getClassTypeId())) {
        const auto* cylinder = static_cast<const SoCylinder*>(shape);
        const float r = cylinder->radius.getValue();
        half.setValue(r, cylinder->height.getValue() * 0.5f, r);
    }
    const SbMatrix& matrix = action->getModelMatrix();
    Box box{};
    for (int corner = 0; corner < 8; ++corner) {
        const SbVec3f local((corner & 1) ? half[0] : -half[0], (corner & 2) ? half[1] : -half[1],
                            (corner & 4) ? half[2] : -half[2]);
        SbVec3f p;
        matrix.multVecMatrix(local, p);
        if (corner == 0) {
            box.low = box.high = p;
        }
        for (int k = 0; k < 3; ++k) {
            box.low[k] = std::min(box.low[k], p[k]);
            box.high[k] = std::max(box.high[k], p[k]);
        }
    }
    box.layers = 2;
    const double x = static_cast<double>(box.high[0]) - box.low[0];
    const double y = static_cast<double>(box.high[1]) - box.low[1];
    const double z = static_cast<double>(box.high[2]) - box.low[2];
    box.area = 2.0 * (x * y + y * z + x * z);  // the box's surface: no smaller than the solid's
    return box;
}

// How many surfaces may lie on top of one another. The model's box is cut into a grid of
// kLayerGrid cells a side; each face counts in every cell its box meets, a solid twice (its front
// and its back). A cell holding more than kMaxModelLayers means that many surfaces stacked in a
// small part of the model: seen from close by, each covers the screen, and the GL fills every
// one of them (with software GL a screen-wide triangle costs about a millisecond). The game's
// models hold at most 126 in a cell.
std::string layeringProblem(const std::vector<Box>& boxes) {
    if (boxes.empty())
        return std::string();
    SbVec3f low = boxes.front().low, high = boxes.front().high;
    for (const Box& b : boxes) {
        for (int k = 0; k < 3; ++k) {
            if (!std::isfinite(b.low[k]) || !std::isfinite(b.high[k]))
                return "a point beyond the range of a float";
            low[k] = std::min(low[k], b.low[k]);
            high[k] = std::max(high[k], b.high[k]);
        }
    }
    // All the faces together, against the model's size: how many times over the model covers
    // the screen when it is seen whole.
    double area = 0.0, diagonal = 0.0;
    for (const Box& b : boxes)
        area += b.area;
    for (int k = 0; k < 3; ++k) {
        const double side = static_cast<double>(high[k]) - low[k];
        diagonal += side * side;
    }
    if (area > kMaxModelCover * diagonal) {
        return "faces of " + std::to_string(static_cast<long long>(area / diagonal)) +
               " times the area of the model's size, squared (at most " +
               std::to_string(kMaxModelCover) + ")";
    }
    constexpr int n = kLayerGrid;
    auto cell = [&](float v, int k) {
        const double extent = static_cast<double>(high[k]) - low[k];
        if (!(extent > 0.0))
            return 0;
        const double at = (static_cast<double>(v) - low[k]) / extent * n;
        return std::clamp(static_cast<int>(at), 0, n - 1);
    };
    std::vector<int> counts(static_cast<size_t>(n) * n * n, 0);
    for (const Box& b : boxes) {
        const int x0 = cell(b.low[0], 0), x1 = cell(b.high[0], 0);
        const int y0 = cell(b.low[1], 1), y1 = cell(b.high[1], 1);
        const int z0 = cell(b.low[2], 2), z1 = cell(b.high[2], 2);
        for (int x = x0; x <= x1; ++x) {
            for (int y = y0; y <= y1; ++y) {
                for (int z = z0; z <= z1; ++z) {
                    int& count = counts[(static_cast<size_t>(x) * n + y) * n + z];
                    count += b.layers;
                    // Every cell stays at most the bound until here, so this work is bounded too.
                    if (count > kMaxModelLayers) {
                        return "more than " + std::to_string(kMaxModelLayers) +
                               " surfaces stacked in one part of the model";
                    }
                }
            }
        }
    }
    return std::string();
}

struct ShapeCheck {
    std::string problem;
    long long primitives = 0;
    std::vector<Box> boxes;
};

SoCallbackAction::Response checkShape(void* data, SoCallbackAction* action, const SoNode* node) {
    ShapeCheck& check = *static_cast<ShapeCheck*>(data);
    const auto* shape = static_cast<const SoShape*>(node);
    const Supply s = supplyAt(action, shape);
    if (shape->isOfType(SoIndexedShape::getClassTypeId())) {
        check.problem = indexedShapeProblem(action, static_cast<const SoIndexedShape*>(shape), s,
                                            check.primitives, check.boxes);
    } else if (shape->isOfType(SoNonIndexedShape::getClassTypeId())) {
        check.problem = plainShapeProblem(action, static_cast<const SoNonIndexedShape*>(shape), s,
                                          check.primitives, check.boxes);
    } else {
        // The solids. Coin makes as many triangles as the complexity asks, without a bound, and on
        // screen-space complexity as many as the shape covers pixels.
        const float complexity = action->getComplexity();
        if (action->getComplexityType() == SoComplexity::SCREEN_SPACE) {
            check.problem = aKind(kindOf(shape)) + " drawn at screen-space complexity";
        } else if (!(complexity >= 0.0f && complexity <= 1.0f)) {
            check.problem = aKind(kindOf(shape)) + " drawn at complexity " +
                            std::to_string(complexity) + " (at most 1)";
        } else {
            check.primitives += solidTriangles(shape, complexity);
            if (check.primitives <= kMaxModelPrimitives)
                check.boxes.push_back(solidBox(action, shape));
        }
    }
    if (check.problem.empty() && check.primitives > kMaxModelPrimitives) {
        check.problem = "more than " + std::to_string(kMaxModelPrimitives) +
                        " triangles, lines and points to draw";
    }
    // The shape itself is not traversed: it would build caches from the data just checked.
    return check.problem.empty() ? SoCallbackAction::PRUNE : SoCallbackAction::ABORT;
}

}  // namespace

std::string checkInventorScene(SoNode* root) {
    if (root == nullptr) {
        return "no scene";
    }
    std::string problem = structureProblem(root);
    if (!problem.empty()) {
        return problem;
    }
    // The structure is sound and small: Coin's own traversal now finds, for every shape as it is
    // drawn, the coordinates, materials, normals and bindings in force.
    ShapeCheck check;
    SoCallbackAction action;
    action.addPreCallback(SoShape::getClassTypeId(), checkShape, &check);
    action.apply(root);
    if (check.problem.empty())
        check.problem = layeringProblem(check.boxes);
    return check.problem;
}

void releaseRefusedScene(SoNode* root) {
    if (root == nullptr) {
        return;
    }
    // Gather every node reachable through children and node fields, holding each.
    std::vector<SoNode*> nodes{root};
    std::unordered_set<SoNode*> seen{root};
    auto reach = [&](SoNode* node) {
        if (node != nullptr && seen.insert(node).second) {
            node->ref();
            nodes.push_back(node);
        }
    };
    for (size_t i = 0; i < nodes.size(); ++i) {
        SoNode* node = nodes[i];
        if (SoChildList* children = node->getChildren()) {
            for (int c = 0; c < children->getLength(); ++c) {
                reach((*children)[c]);
            }
        }
        SoFieldList fields;
        node->getFields(fields);
        for (int f = 0; f < fields.getLength(); ++f) {
            SoField* field = fields[f];
            if (field->isOfType(SoSFNode::getClassTypeId())) {
                reach(static_cast<SoSFNode*>(field)->getValue());
            } else if (field->isOfType(SoMFNode::getClassTypeId())) {
                const SoMFNode* list = static_cast<SoMFNode*>(field);
                for (int v = 0; v < list->getNum(); ++v) {
                    reach((*list)[v]);
                }
            }
        }
    }
    // Unlink everything, quietly: no notification runs round a cycle.
    for (SoNode* node : nodes) {
        node->enableNotify(false);
        SoFieldList fields;
        node->getFields(fields);
        for (int f = 0; f < fields.getLength(); ++f) {
            SoField* field = fields[f];
            if (field->isOfType(SoSFNode::getClassTypeId())) {
                static_cast<SoSFNode*>(field)->setValue(nullptr);
            } else if (field->isOfType(SoMFNode::getClassTypeId())) {
                static_cast<SoMFNode*>(field)->setNum(0);
            }
        }
        if (SoChildList* children = node->getChildren()) {
            children->truncate(0);
        }
    }
    // Each node now holds no other: dropping the references frees them one by one.
    for (SoNode* node : nodes) {
        node->unref();
    }
}
