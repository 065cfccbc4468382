// checkInventorScene on scenes read by Coin straight from text (no scan first) or built in code,
// and releaseRefusedScene on what is refused.
#include "scene/inventorcheck.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoLOD.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <gtest/gtest.h>

#include <string>

#include "scene/inventortext.h"

namespace {

const std::string triangle = "Coordinate3 { point [0 0 0, 1 0 0, 0 1 0] }\n";

// Reads body (after a header) with Coin, checks the scene and frees it. "unread" when Coin read
// nothing.
std::string checkText(const std::string& body) {
    SoDB::init();
    const std::string text = "#Inventor V2.1 ascii\n" + body;
    SoInput input;
    input.setBuffer(text.data(), text.size());
    SoSeparator* scene = SoDB::readAll(&input);
    input.closeFile();
    if (scene == nullptr) {
        return "unread";
    }
    scene->ref();
    std::string problem = checkInventorScene(scene);
    releaseRefusedScene(scene);
    return problem;
}

// A chain of n groups, each using the one before.
std::string useChain(int n) {
    std::string body = "Separator { DEF D0 Cube {}\n";
    for (int i = 1; i < n; ++i) {
        body += "DEF D" + std::to_string(i) + " Group { USE D" + std::to_string(i - 1) + " }\n";
    }
    return body + "}\n";
}

// n levels, each using the level below twice: 2^n visits of the cube.
std::string doublings(int n) {
    std::string body = "Separator { DEF D0 Cube {}\n";
    for (int i = 1; i < n; ++i) {
        const std::string below = "USE D" + std::to_string(i - 1);
        body += "DEF D" + std::to_string(i) + " Group { " + below + " " + below + " }\n";
    }
    return body + "}\n";
}

}  // namespace

TEST(InventorCheck, AcceptsSoundScenes) {
    const std::string accepted[] = {
        "Separator { Cube {} Sphere {} }",
        // Colours per vertex indexed by coordIndex, as the game's own models are made.
        "Separator { Material { diffuseColor [1 0 0, 0 1 0, 0 0 1] }"
        " MaterialBinding { value PER_VERTEX_INDEXED } " +
            triangle + " IndexedFaceSet { coordIndex [0, 1, 2, -1] } }",
        // Coordinates set inside a separator stay there.
        "Separator { " + triangle +
            " Separator { Coordinate3 { point [0 0 0] } }"
            " IndexedFaceSet { coordIndex [2, 1, 0] } }",
        "Separator { " + triangle +
            " Normal { vector [0 0 1] } NormalBinding { value PER_FACE_INDEXED }"
            " IndexedFaceSet { coordIndex [0, 1, 2] normalIndex [0] } }",
        "Separator { " + triangle +
            " TextureCoordinate2 { point [0 0, 1 0, 0 1] }"
            " IndexedFaceSet { coordIndex [0, 1, 2] } }",
        "Separator { IndexedFaceSet { vertexProperty VertexProperty { vertex [0 0 0, 1 0 0, 0 1 0] "
        "}"
        " coordIndex [0, 1, 2] } }",
        // The switch draws its first child only.
        "Separator { " + triangle +
            " Switch { whichChild 0 IndexedFaceSet { coordIndex [0, 1, 2] }"
            " IndexedFaceSet { coordIndex [7] } } }",
        "Separator { " + triangle +
            " FaceSet { numVertices [3] } PointSet { startIndex 1 numPoints -1 }"
            " LineSet { numVertices [2, -1] } QuadMesh { verticesPerColumn 1 verticesPerRow 3 } }",
        "Separator { DEF T " + triangle +
            " DEF F IndexedFaceSet { coordIndex [0, 1, 2] } USE F USE F }",
        useChain(kMaxModelNesting),
    };
    for (const std::string& body : accepted) {
        EXPECT_EQ(checkText(body), "") << body.substr(0, 200);
    }
}

TEST(InventorCheck, RefusesHostileScenes) {
    const struct {
        std::string body;
        const char* reason;
    } refused[] = {
        {"DEF A Separator { Cube {} USE A }", "holds itself"},
        {"DEF A Separator { Group { Group { USE A } } }", "holds itself"},
        {"DEF A Separator { IndexedFaceSet { vertexProperty USE A } }", "vertexProperty that is"},
        {"Separator { LOD { Cube {} } }", "\"LOD\""},
        {"Separator { " + triangle + " IndexedFaceSet { coordIndex [0, 1, 99999999, -1] } }",
         "coordIndex 99999999 outside the 3 coordinates"},
        {"Separator { " + triangle + " IndexedFaceSet { coordIndex [0, 1, -2] } }",
         "coordIndex -2"},
        // Coin's state starts with one coordinate, the origin.
        {"Separator { IndexedFaceSet { coordIndex [0, 1] } }",
         "coordIndex 1 outside the 1 coordinates"},
        // Coordinates set inside a separator are gone after it.
        {"Separator { " + triangle +
             " Separator { Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] } }"
             " IndexedFaceSet { coordIndex [3, 1, 0] } }",
         "coordIndex 3"},
        {"Separator { " + triangle +
             " Material { diffuseColor [1 0 0, 0 1 0] }"
             " MaterialBinding { value PER_VERTEX_INDEXED } IndexedFaceSet { coordIndex [0, 1, 2] "
             "} }",
         "coordIndex 2 outside the 2 materials"},
        {"Separator { " + triangle +
             " Material { diffuseColor [1 0 0, 0 1 0] }"
             " MaterialBinding { value PER_FACE_INDEXED } IndexedFaceSet { coordIndex [0, 1, 2]"
             " materialIndex [5] } }",
         "materialIndex 5"},
        {"Separator { " + triangle +
             " Normal { vector [0 0 1] }"
             " IndexedFaceSet { coordIndex [0, 1, 2] normalIndex [0, 1, 0] } }",
         "normalIndex 1 outside the 1 normals"},
        {"Separator { " + triangle +
             " TextureCoordinate2 { point [0 0] }"
             " IndexedFaceSet { coordIndex [0, 1, 2] } }",
         "outside the 1 texture coordinates"},
        {"Separator { IndexedFaceSet { vertexProperty VertexProperty { vertex [0 0 0] }"
         " coordIndex [0, 5] } }",
         "coordIndex 5 outside the 1 coordinates"},
        {"Separator { " + triangle + " FaceSet { numVertices [100000000] } }", "past the 3"},
        {"Separator { " + triangle +
             " QuadMesh { verticesPerColumn 100000 verticesPerRow 100000 } }",
         "past the 3"},
        {"Separator { " + triangle + " PointSet { startIndex 5 } }", "past the 3"},
        {"Separator { " + triangle + " LineSet { numVertices [-2] } }", "past the 3"},
        {useChain(kMaxModelNesting + 2), "deeper than 256"},
        {doublings(20), "more than 100000 node visits"},
        // 1001 uses of a 1000-vertex shape.
        {"Separator { " + triangle + " DEF F IndexedFaceSet { coordIndex [" +
             [] {
                 std::string list;
                 for (int i = 0; i < 1000; ++i)
                     list += "0, ";
                 return list;
             }() +
             "] } " +
             [] {
                 std::string uses;
                 for (int i = 0; i < 1000; ++i)
                     uses += "USE F ";
                 return uses;
             }() +
             "}",
         "more than 1000000 vertices"},
    };
    for (const auto& c : refused) {
        const std::string reason = checkText(c.body);
        EXPECT_NE(reason.find(c.reason), std::string::npos)
            << "reason \"" << reason << "\" for " << c.body.substr(0, 120);
    }
}

// What text cannot make: nodes of kinds the scan stops, and fields connected in code.
TEST(InventorCheck, RefusesFileNodesAndConnectedFields) {
    SoDB::init();
    SoSeparator* root = new SoSeparator;
    root->ref();
    root->addChild(new SoFile);
    EXPECT_NE(checkInventorScene(root).find("\"File\""), std::string::npos);
    root->removeAllChildren();
    SoTranslation* first = new SoTranslation;
    SoTranslation* second = new SoTranslation;
    root->addChild(first);
    root->addChild(second);
    EXPECT_EQ(checkInventorScene(root), "");
    second->translation.connectFrom(&first->translation);
    EXPECT_NE(checkInventorScene(root).find("connected"), std::string::npos);
    releaseRefusedScene(root);
}

// A refused scene with cycles is freed: every link is cut, so nothing keeps another alive.
TEST(InventorCheck, ReleaseFreesCycles) {
    SoDB::init();
    SoSeparator* root = new SoSeparator;
    root->ref();
    SoGroup* loop = new SoGroup;
    loop->ref();  // the test's own hold, to look at it afterwards
    root->addChild(loop);
    loop->addChild(root);
    loop->addChild(loop);
    SoCube* cube = new SoCube;
    cube->ref();
    loop->addChild(cube);
    EXPECT_NE(checkInventorScene(root).find("holds itself"), std::string::npos);
    releaseRefusedScene(root);
    EXPECT_EQ(loop->getNumChildren(), 0);
    EXPECT_EQ(loop->getRefCount(), 1);
    EXPECT_EQ(cube->getRefCount(), 1);
    loop->unref();
    cube->unref();
}
