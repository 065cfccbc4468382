// Runs tools/make_data.py into a temporary folder and checks the six files it writes: the models
// read through Coin and sit where the game's placement expects them, the pictures are 24-bit BMPs
// of the sizes the game uploads, the snow tiles seamlessly and the panorama closes round the
// circle.

#include <gtest/gtest.h>

#include <Inventor/SbBox.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Generates the data once for all tests into a fresh temporary folder.
class Generated : public ::testing::Environment {
public:
    static fs::path folder;

    void SetUp() override {
        char pattern[] = "/tmp/make_data_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        const std::string command =
            std::string(PYTHON_EXECUTABLE) + " " + MAKE_DATA_SCRIPT + " " + folder.string();
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        SoDB::init();
    }
    void TearDown() override {
        fs::remove_all(folder);
        SoDB::finish();  // frees the library's own globals, which LeakSanitizer would report
    }
};
fs::path Generated::folder;

const auto* const environment = ::testing::AddGlobalTestEnvironment(new Generated);

std::vector<unsigned char> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t u32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t u16(const std::vector<unsigned char>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// A 24-bit BMP as the generator writes it, rows bottom-up as in the file.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bytes;
    size_t offset = 0;

    int at(int x, int y, int channel) const {
        const size_t row = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
        return bytes[offset + y * row + x * 3 + channel];
    }
    // Mean absolute difference of all channels between columns a and b.
    double columnDifference(int a, int b) const {
        double sum = 0;
        for (int y = 0; y < height; ++y)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(at(a, y, c) - at(b, y, c));
        return sum / height;
    }
    double rowDifference(int a, int b) const {
        double sum = 0;
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(at(x, a, c) - at(x, b, c));
        return sum / width;
    }
};

Picture readPicture(const char* name) {
    Picture p;
    p.bytes = readFile(Generated::folder / name);
    EXPECT_GE(p.bytes.size(), 54u);
    if (p.bytes.size() < 54)
        return p;
    EXPECT_EQ(p.bytes[0], 'B');
    EXPECT_EQ(p.bytes[1], 'M');
    EXPECT_EQ(u32(p.bytes, 2), p.bytes.size());  // file size
    EXPECT_EQ(u32(p.bytes, 14), 40u);            // info header size
    EXPECT_EQ(u16(p.bytes, 26), 1);              // planes
    EXPECT_EQ(u16(p.bytes, 28), 24);             // bits per pixel
    EXPECT_EQ(u32(p.bytes, 30), 0u);             // BI_RGB
    p.width = static_cast<int>(u32(p.bytes, 18));
    p.height = static_cast<int>(u32(p.bytes, 22));
    p.offset = u32(p.bytes, 10);
    const size_t row = (static_cast<size_t>(p.width) * 3 + 3) / 4 * 4;
    EXPECT_EQ(p.bytes.size(), p.offset + row * p.height);
    return p;
}

SbBox3f boundsOf(const char* name) {
    SoInput input;
    EXPECT_TRUE(input.openFile((Generated::folder / name).c_str()));
    SoSeparator* root = SoDB::readAll(&input);
    input.closeFile();
    EXPECT_NE(root, nullptr) << name;
    if (!root)
        return SbBox3f();
    root->ref();
    SoGetBoundingBoxAction action(SbViewportRegion(700, 700));
    action.apply(root);
    SbBox3f box = action.getXfBoundingBox().project();
    root->unref();
    return box;
}

TEST(MakeData, WritesExactlyTheSixGameFiles) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Generated::folder))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"boarder.iv", "finish.iv", "panorama20480256.bmp",
                                            "snow16.bmp", "start.iv", "tree.iv"}));
    for (const char* model : {"boarder.iv", "start.iv", "finish.iv", "tree.iv"}) {
        const auto bytes = readFile(Generated::folder / model);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 20), "#Inventor V2.1 ascii") << model;
    }
}

TEST(MakeData, BoarderStandsOnItsFeetAtTheGamesOrigin) {
    const SbBox3f box = boundsOf("boarder.iv");
    float x0, y0, z0, x1, y1, z1;
    box.getBounds(x0, y0, z0, x1, y1, z1);
    // The game scales by 2 and moves by (-19, 0, 0): the board's centre must be at x = 9.5.
    EXPECT_NEAR((x0 + x1) / 2.0f, 9.5f, 0.3f);
    EXPECT_NEAR(z0, 0.0f, 0.01f);  // the board's sole on the ground
    EXPECT_GT(z1, 7.5f);           // 15 m and more once scaled
    EXPECT_LT(z1, 9.5f);
    EXPECT_NEAR(x1 - x0, 8.0f, 0.5f);  // the board is the longest part
    EXPECT_LT(y1 - y0, 3.0f);
}

TEST(MakeData, ArchesSpanTheirZones) {
    struct Case {
        const char* file;
        float left, right;  // post centres, model x
        float bottomBelow;  // the posts reach at least this low
        float topAbove;     // the banner's top at least this high
    };
    for (const Case& c : {Case{"start.iv", 0.4f, 15.0f, -7.0f, 5.0f},
                          Case{"finish.iv", -3.0f, 11.8f, -16.0f, 2.0f}}) {
        const SbBox3f box = boundsOf(c.file);
        float x0, y0, z0, x1, y1, z1;
        box.getBounds(x0, y0, z0, x1, y1, z1);
        SCOPED_TRACE(c.file);
        EXPECT_NEAR(x0, c.left - 0.45f, 0.1f);  // post radius 0.3, the ball on top 0.45
        EXPECT_NEAR(x1, c.right + 0.45f, 0.1f);
        EXPECT_LE(y0, c.bottomBelow);
        EXPECT_GE(y1, c.topAbove);
        EXPECT_LT(z1 - z0, 1.0f);  // flat in the plane z = 0
    }
}

TEST(MakeData, TreeStandsOnTheOrigin) {
    float x0, y0, z0, x1, y1, z1;
    boundsOf("tree.iv").getBounds(x0, y0, z0, x1, y1, z1);
    EXPECT_NEAR(y0, 0.0f, 0.01f);
    EXPECT_NEAR(y1, 70.3f, 0.5f);
}

TEST(MakeData, SnowTilesSeamlessly) {
    const Picture snow = readPicture("snow16.bmp");
    ASSERT_EQ(snow.width, 128);
    ASSERT_EQ(snow.height, 128);
    // Across the wrap the picture changes no more than between neighbours inside it.
    double inside = 0;
    for (int i = 1; i < 128; ++i)
        inside += snow.columnDifference(i - 1, i) + snow.rowDifference(i - 1, i);
    inside /= 2 * 127;
    EXPECT_LT(snow.columnDifference(127, 0), 2.5 * inside);
    EXPECT_LT(snow.rowDifference(127, 0), 2.5 * inside);
    // Mostly white.
    double sum = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            for (int c = 0; c < 3; ++c)
                sum += snow.at(x, y, c);
    EXPECT_GT(sum / (128 * 128 * 3), 215.0);
}

TEST(MakeData, PanoramaClosesRoundTheCircle) {
    const Picture pano = readPicture("panorama20480256.bmp");
    ASSERT_EQ(pano.width, 2048);
    ASSERT_EQ(pano.height, 256);
    // The shown half, columns 1664..2047 and 0..639, meets itself at column 640 / 1664, and the
    // texture wraps at 2047 / 0: both halves are the same picture.
    for (int x : {0, 639, 640, 1000, 1023})
        EXPECT_EQ(pano.columnDifference(x, x + 1024), 0.0) << x;
    EXPECT_LT(pano.columnDifference(639, 1664), 3.0 * pano.columnDifference(638, 639) + 5.0);
    // Sky at the top (blue above red), snow at the bottom (bright); the file's rows run bottom-up.
    for (int x = 0; x < 2048; x += 97) {
        EXPECT_GT(pano.at(x, 255, 0), pano.at(x, 255, 2) + 60) << x;  // blue byte first
        EXPECT_GT(pano.at(x, 0, 1), 200) << x;
    }
}

}  // namespace
