#include "scene/inventorcheck.h"

#include <Inventor/SoType.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoLazyElement.h>
#include <Inventor/fields/SoField.h>
#include <Inventor/fields/SoMFNode.h>
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedShape.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoNonIndexedShape.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoQuadMesh.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <Inventor/nodes/SoVertexShape.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "scene/inventortext.h"

namespace {

std::string kindOf(const SoNode* node) {
    return node->getTypeId().getName().getString();
}

bool isAllowedKind(const SoNode* node) {
    static const std::unordered_set<int16_t> allowed = [] {
        std::unordered_set<int16_t> keys;
        for (const char* const* name = kModelNodeNames; *name != nullptr; ++name) {
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
            return "a field of a " + kindOf(node) + " connected to another";
        }
    }
    if (node->isOfType(SoVertexShape::getClassTypeId())) {
        const SoNode* property = static_cast<SoVertexShape*>(node)->vertexProperty.getValue();
        if (property != nullptr && property->getTypeId() != SoVertexProperty::getClassTypeId()) {
            return "a vertexProperty that is a " + kindOf(property);
        }
    }
    if (node->isOfType(SoTexture2::getClassTypeId()) &&
        static_cast<SoTexture2*>(node)->filename.getValue().getLength() > 0) {
        return "a texture read from another file";
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
                problem = "a " + kindOf(child) + " that holds itself";
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

// What is in force where a shape is drawn.
struct Supply {
    long long coordinates, materials, normals, textureCoordinates;
    bool materialsIndexed, materialsPerVertexIndexed, normalsIndexed, normalsPerVertexIndexed,
        textureCoordinatesIndexed;
};

bool isIndexed(int binding) {
    return binding == SoMaterialBinding::PER_PART_INDEXED ||
           binding == SoMaterialBinding::PER_FACE_INDEXED ||
           binding == SoMaterialBinding::PER_VERTEX_INDEXED;
}

Supply supplyAt(SoCallbackAction* action, const SoShape* shape) {
    Supply s;
    s.coordinates = action->getNumCoordinates();
    s.materials = SoLazyElement::getInstance(action->getState())->getNumDiffuse();
    s.normals = action->getNumNormals();
    s.textureCoordinates = action->getNumTextureCoordinates();
    const int material = action->getMaterialBinding();
    const int normal = action->getNormalBinding();
    s.materialsIndexed = isIndexed(material);
    s.materialsPerVertexIndexed = material == SoMaterialBinding::PER_VERTEX_INDEXED;
    s.normalsIndexed = isIndexed(normal);
    s.normalsPerVertexIndexed = normal == SoNormalBinding::PER_VERTEX_INDEXED;
    s.textureCoordinatesIndexed =
        action->getTextureCoordinateBinding() == SoTextureCoordinateBinding::PER_VERTEX_INDEXED;
    if (!shape->isOfType(SoVertexShape::getClassTypeId())) {
        return s;
    }
    // A shape's own vertex property replaces what it holds; its bindings are taken as in force
    // too, whichever of the two Coin follows.
    const auto* property = static_cast<const SoVertexProperty*>(
        static_cast<const SoVertexShape*>(shape)->vertexProperty.getValue());
    if (property == nullptr) {
        return s;
    }
    if (property->vertex.getNum() > 0)
        s.coordinates = property->vertex.getNum();
    if (property->orderedRGBA.getNum() > 0)
        s.materials = property->orderedRGBA.getNum();
    if (property->normal.getNum() > 0)
        s.normals = property->normal.getNum();
    if (property->texCoord.getNum() > 0)
        s.textureCoordinates = property->texCoord.getNum();
    if (property->texCoord3.getNum() > 0)
        s.textureCoordinates = property->texCoord3.getNum();
    const int ownMaterial = property->materialBinding.getValue();
    const int ownNormal = property->normalBinding.getValue();
    s.materialsIndexed = s.materialsIndexed || isIndexed(ownMaterial);
    s.materialsPerVertexIndexed =
        s.materialsPerVertexIndexed || ownMaterial == SoMaterialBinding::PER_VERTEX_INDEXED;
    s.normalsIndexed = s.normalsIndexed || isIndexed(ownNormal);
    s.normalsPerVertexIndexed =
        s.normalsPerVertexIndexed || ownNormal == SoNormalBinding::PER_VERTEX_INDEXED;
    return s;
}

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

// An index list that Coin may replace by coordIndex: empty, or starting with an end of face.
bool mayStandForCoordIndex(const SoMFInt32& indices) {
    return indices.getNum() == 0 || indices[0] < 0;
}

// Checks an index list bound to count items: its own entries, and coordIndex where it may stand
// for it.
std::string boundIndexProblem(const SoIndexedShape* shape, const SoMFInt32& indices, bool perVertex,
                              long long count, const char* field, const char* items) {
    std::string problem = indexProblem(indices, count, field, items);
    if (problem.empty() && perVertex && mayStandForCoordIndex(indices)) {
        problem = indexProblem(shape->coordIndex, count, "coordIndex", items);
    }
    return problem;
}

std::string indexedShapeProblem(const SoIndexedShape* shape, const Supply& s, long long& vertices) {
    std::string problem =
        indexProblem(shape->coordIndex, s.coordinates, "coordIndex", "coordinates");
    if (problem.empty() && s.materialsIndexed) {
        problem = boundIndexProblem(shape, shape->materialIndex, s.materialsPerVertexIndexed,
                                    s.materials, "materialIndex", "materials");
    }
    if (problem.empty() && s.normals > 0 && s.normalsIndexed) {
        problem = boundIndexProblem(shape, shape->normalIndex, s.normalsPerVertexIndexed, s.normals,
                                    "normalIndex", "normals");
    }
    if (problem.empty() && s.textureCoordinates > 0 && s.textureCoordinatesIndexed) {
        problem = boundIndexProblem(shape, shape->textureCoordIndex, true, s.textureCoordinates,
                                    "textureCoordIndex", "texture coordinates");
    }
    vertices += shape->coordIndex.getNum();
    return problem;
}

// The vertices a non-indexed shape takes from its start on; -1 when a count is below -1.
long long nonIndexedVertexCount(const SoNonIndexedShape* shape, long long available) {
    auto sumOf = [&](const SoMFInt32& counts) {
        long long used = 0;
        for (int i = 0; i < counts.getNum(); ++i) {
            const long long n = counts[i];
            if (n < -1)
                return -1LL;
            used += n == -1 ? std::max(0LL, available - used) : n;  // -1: the rest
        }
        return used;
    };
    if (shape->isOfType(SoFaceSet::getClassTypeId()))
        return sumOf(static_cast<const SoFaceSet*>(shape)->numVertices);
    if (shape->isOfType(SoLineSet::getClassTypeId()))
        return sumOf(static_cast<const SoLineSet*>(shape)->numVertices);
    if (shape->isOfType(SoTriangleStripSet::getClassTypeId()))
        return sumOf(static_cast<const SoTriangleStripSet*>(shape)->numVertices);
    if (shape->isOfType(SoPointSet::getClassTypeId())) {
        const long long n = static_cast<const SoPointSet*>(shape)->numPoints.getValue();
        return n < -1 ? -1 : n == -1 ? std::max(0LL, available) : n;
    }
    if (shape->isOfType(SoQuadMesh::getClassTypeId())) {
        const auto* mesh = static_cast<const SoQuadMesh*>(shape);
        const long long rows = mesh->verticesPerColumn.getValue();
        const long long columns = mesh->verticesPerRow.getValue();
        return rows < 0 || columns < 0 ? -1 : rows * columns;
    }
    return 0;
}

struct ShapeCheck {
    std::string problem;
    long long vertices = 0;
};

SoCallbackAction::Response checkShape(void* data, SoCallbackAction* action, const SoNode* node) {
    ShapeCheck& check = *static_cast<ShapeCheck*>(data);
    const auto* shape = static_cast<const SoShape*>(node);
    const Supply s = supplyAt(action, shape);
    if (shape->isOfType(SoIndexedShape::getClassTypeId())) {
        check.problem =
            indexedShapeProblem(static_cast<const SoIndexedShape*>(shape), s, check.vertices);
    } else if (shape->isOfType(SoNonIndexedShape::getClassTypeId())) {
        const auto* plain = static_cast<const SoNonIndexedShape*>(shape);
        const long long start = plain->startIndex.getValue();
        const long long used = nonIndexedVertexCount(plain, s.coordinates - start);
        if (start < 0 || used < 0 || start + used > s.coordinates) {
            check.problem = "a " + kindOf(shape) + " using vertices past the " +
                            std::to_string(s.coordinates) + " coordinates";
        }
        check.vertices += std::max(0LL, used);
    }
    if (check.problem.empty() && check.vertices > kMaxModelVertices) {
        check.problem = "more than " + std::to_string(kMaxModelVertices) + " vertices";
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
