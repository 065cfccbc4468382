// Runs tools/make_data.py into a temporary folder and checks what the game needs of the six files
// it writes: the models read through Coin, the boarder stands where the game's placement expects
// it, the pictures are 24-bit BMPs of sizes the GL takes as textures, and the panorama closes
// round the circle.

#include <gtest/gtest.h>

#include <Inventor/SbBox.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "bitmap.h"
#include "generated_folder.h"
#include "scene/inventormodel.h"

namespace fs = std::filesystem;

namespace {

// Generates the data once for all tests; Coin is started for them and finished after.
struct Generated : GeneratedFolder {
    Generated() : GeneratedFolder(MAKE_DATA_SCRIPT) {}
    void SetUp() override {
        GeneratedFolder::SetUp();
        SoDB::init();
    }
    void TearDown() override {
        GeneratedFolder::TearDown();
        SoDB::finish();  // frees the library's own globals, which LeakSanitizer would report
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new Generated);

// Reads a picture as the game does, through the image library: it must hold 24 bits a pixel and
// have power-of-two sides, which every GL takes for a texture.
void readTexture(const char* name, Nevra::Bitmap& picture) {
    ASSERT_EQ(picture.readBitmap((Generated::folder / name).c_str(), 1), 1) << name;
    EXPECT_EQ(picture.m_channels, 3) << name;
    for (int side : {picture.getWidth(), picture.getHeight()}) {
        EXPECT_TRUE(side > 0 && (side & (side - 1)) == 0) << name << " " << side;
    }
}

// Mean absolute difference of all channels between columns a and b of a 24-bit picture.
double columnDifference(Nevra::Bitmap& picture, int a, int b) {
    const unsigned char* data = picture.getData();
    const int width = picture.getWidth(), height = picture.getHeight();
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        for (int c = 0; c < 3; ++c) {
            sum += std::abs(data[(y * width + a) * 3 + c] - data[(y * width + b) * 3 + c]);
        }
    }
    return sum / height;
}

int countNodes(SoNode* node) {
    int count = 1;
    if (node->isOfType(SoGroup::getClassTypeId())) {
        auto* group = static_cast<SoGroup*>(node);
        for (int i = 0; i < group->getNumChildren(); ++i)
            count += countNodes(group->getChild(i));
    }
    return count;
}

// A generated model read through Coin, and its surface as Coin hands its triangles out, in model
// coordinates, with each point rounded to a 1e-3 grid so that vertices repeated with other colours
// or normals meet.
struct Surface {
    using Point = std::tuple<long, long, long>;
    std::map<std::pair<Point, Point>, int> edges;  // directed edge -> how often it occurs
    double volume = 0;                             // signed, positive when wound outwards
    int triangles = 0;
    int shapes = 0;
    int nodes = 0;
    SbBox3f box;

    explicit Surface(const char* name) {
        SoInput input;
        EXPECT_TRUE(input.openFile((Generated::folder / name).c_str()));
        SoSeparator* root = SoDB::readAll(&input);
        input.closeFile();
        if (root == nullptr) {
            ADD_FAILURE() << name << " unreadable";
            return;
        }
        root->ref();
        nodes = countNodes(root);
        SoCallbackAction action;
        action.addTriangleCallback(SoShape::getClassTypeId(), triangle, this);
        action.addPreCallback(SoShape::getClassTypeId(), shape, this);
        action.apply(root);
        root->unref();
    }
    static Point key(const SbVec3f& p) {
        return {std::lround(p[0] * 1000.0f), std::lround(p[1] * 1000.0f),
                std::lround(p[2] * 1000.0f)};
    }
    static void triangle(void* data, SoCallbackAction* action, const SoPrimitiveVertex* a,
                         const SoPrimitiveVertex* b, const SoPrimitiveVertex* c) {
        auto* s = static_cast<Surface*>(data);
        SbVec3f p[3];
        const SoPrimitiveVertex* v[3] = {a, b, c};
        for (int i = 0; i < 3; ++i) {
            action->getModelMatrix().multVecMatrix(v[i]->getPoint(), p[i]);
            s->box.extendBy(p[i]);
        }
        for (int i = 0; i < 3; ++i)
            ++s->edges[{key(p[i]), key(p[(i + 1) % 3])}];
        s->volume += p[0].dot(p[1].cross(p[2])) / 6.0;
        ++s->triangles;
    }
    static SoCallbackAction::Response shape(void* data, SoCallbackAction*, const SoNode*) {
        ++static_cast<Surface*>(data)->shapes;
        return SoCallbackAction::CONTINUE;
    }
};

// The models are read below; the snow picture here.
TEST(MakeData, WritesTheSixGameFiles) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Generated::folder))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"boarder.iv", "finish.iv", "panorama20480256.bmp",
                                            "snow16.bmp", "start.iv", "tree.iv"}));
    Nevra::Bitmap snow;
    readTexture("snow16.bmp", snow);
}

// The game reads a model only after checking its text and its scene: the generated ones pass as
// they are, silently.
TEST(MakeData, ModelsPassTheGamesChecks) {
    for (const char* kind : {"boarder", "start", "finish", "tree"}) {
        const std::string path = (Generated::folder / (std::string(kind) + ".iv")).string();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        SoInput input;
        SoSeparator* scene = readInventorModel(input, path.c_str(), kind);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << kind;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << kind;
        ASSERT_NE(scene, nullptr) << kind;
        scene->ref();
        scene->unref();
    }
}

TEST(MakeData, BoarderStandsOnItsFeetAtTheGamesOrigin) {
    float x0, y0, z0, x1, y1, z1;
    Surface("boarder.iv").box.getBounds(x0, y0, z0, x1, y1, z1);
    // The game scales by 2 and moves by (-19, 0, 0), so x = 9.5 is where it stands the model on
    // the ground: under the rear foot, with only the short tail of the board behind it.
    EXPECT_GT(9.5f - x0, 1.0f);
    EXPECT_LT(9.5f - x0, 2.0f);  // at most 4 m behind once scaled
    EXPECT_GT(x1 - 9.5f, 4.0f);
    EXPECT_NEAR(z0, 0.0f, 0.01f);  // the board's sole on the ground
    EXPECT_GT(z1, 7.5f);           // 15 m and more once scaled
    EXPECT_LT(z1, 9.5f);
}

// The game culls back faces and walks each model's nodes every frame: each model must be one
// shape in a handful of nodes, closed (every edge met by a neighbour running the other way, so no
// hole or flipped triangle shows the sky through it) and wound outwards.
TEST(MakeData, ModelsAreSingleClosedOutwardShapes) {
    for (const char* name : {"boarder.iv", "start.iv", "finish.iv", "tree.iv"}) {
        SCOPED_TRACE(name);
        const Surface surface(name);
        EXPECT_LE(surface.nodes, 8);
        EXPECT_EQ(surface.shapes, 1);
        EXPECT_GT(surface.triangles, 150);  // round parts stay round
        int unmatched = 0;
        for (const auto& [edge, count] : surface.edges) {
            const auto back = surface.edges.find({edge.second, edge.first});
            if (back == surface.edges.end() || back->second != count)
                ++unmatched;
        }
        EXPECT_EQ(unmatched, 0);
        EXPECT_GT(surface.volume, 0.0);
    }
}

TEST(MakeData, PanoramaClosesRoundTheCircle) {
    Nevra::Bitmap pano;
    ASSERT_NO_FATAL_FAILURE(readTexture("panorama20480256.bmp", pano));
    ASSERT_EQ(pano.getWidth(), 2048);
    // The shown half, columns 1664..2047 and 0..639, meets itself at column 640 / 1664, and the
    // texture wraps at 2047 / 0: both halves are the same picture.
    for (int x : {0, 639, 640, 1000, 1023})
        EXPECT_EQ(columnDifference(pano, x, x + 1024), 0.0) << x;
    EXPECT_LT(columnDifference(pano, 639, 1664), 3.0 * columnDifference(pano, 638, 639) + 5.0);
}

}  // namespace
