#include "world/terrain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>

#include "support/game_probe.h"

using Bytes = std::vector<unsigned char>;

TEST(TextureBytes, BgrRowsBottomFirstFromEveryDepthNeverPastTheData) {
    const Bytes palette = {1, 2, 3, 0, 10, 20, 30, 0};
    struct Case {
        const char* name;
        int width, height, channels;
        Bytes data;
        Bytes expected;
        std::array<unsigned, 3> masks = {0, 0, 0};  // red, green, blue
    };
    const Case cases[] = {
        {"24-bit, rows reversed", 1, 2, 3, {1, 2, 3, 4, 5, 6}, {4, 5, 6, 1, 2, 3}},
        // Masks mean nothing to 24-bit pictures.
        {"24-bit, two pixels a row, masks ignored",
         2,
         2,
         3,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6},
         {0xFF, 0xFF00, 0xFF0000}},
        {"32-bit, fourth byte dropped", 2, 1, 4, {1, 2, 3, 9, 4, 5, 6, 9}, {1, 2, 3, 4, 5, 6}},
        // 0x7C00 full red, 0x03E0 full green, 0x0010 blue 16 of 31.
        {"16-bit 5-5-5",
         3,
         1,
         2,
         {0x00, 0x7C, 0xE0, 0x03, 0x10, 0x00},
         {0, 0, 255, 0, 255, 0, 132, 0, 0}},
        // Index 7 lies outside the two-entry palette.
        {"8-bit palette", 3, 1, 1, {1, 0, 7}, {10, 20, 30, 1, 2, 3, 0, 0, 0}},
        {"too few bytes", 2, 2, 3, Bytes(11, 1), {}},
        {"no rows", 2, 0, 3, Bytes(6, 1), {}},
        {"five channels", 1, 1, 5, Bytes(5, 1), {}},
        // 0xF800 full red, 0x07E0 full green, 0x0400 green 32 of 63, 0x0010 blue 16 of 31.
        {"16-bit 5-6-5",
         4,
         1,
         2,
         {0x00, 0xF8, 0xE0, 0x07, 0x00, 0x04, 0x10, 0x00},
         {0, 0, 255, 0, 255, 0, 0, 130, 0, 132, 0, 0},
         {0xF800, 0x07E0, 0x001F}},
        // Red in the top byte, blue in the second: a 32-bit layout other than the stored order.
        {"32-bit masked",
         1,
         1,
         4,
         {0x00, 0x30, 0x20, 0x10},
         {0x30, 0x20, 0x10},
         {0xFF000000, 0x00FF0000, 0x0000FF00}},
    };
    for (const Case& c : cases) {
        TexturePicture picture;
        picture.width = c.width;
        picture.height = c.height;
        picture.channels = c.channels;
        picture.data = c.data.data();
        picture.byteCount = static_cast<long long>(c.data.size());
        picture.palette = palette.data();
        picture.paletteSize = 2;
        std::copy(c.masks.begin(), c.masks.end(), picture.colorMasks);
        EXPECT_EQ(textureBytes(picture), c.expected) << c.name;
    }
}

TEST(TerrainLoad, ReportsEachPictureOnceAndMakesATextureOnlyOfWhatWasRead) {
    struct Case {
        bool snow, backdrop;  // file present
        std::string expected;
    };
    const Case cases[] = {
        {true, true,
         "Success: snow.getWidth  = 3\nSuccess: snow.getHeight = 2\n"
         "Success: panorama.getWidth  = 5\nSuccess: panorama.getHeight = 1\n"},
        {false, true,
         "The Snow Texture couldn't be loaded.\n"
         "Success: panorama.getWidth  = 5\nSuccess: panorama.getHeight = 1\n"},
        {false, false, "The Snow Texture couldn't be loaded.\nThe Panorama couldn't be loaded.\n"},
    };
    for (const Case& c : cases) {
        TempWorkDir dir;
        if (c.snow) {
            writeBmp24("snow16.bmp", 3, 2, std::vector<Rgb>(6, Rgb{250, 250, 250}));
        }
        if (c.backdrop) {
            writeBmp24("panorama20480256.bmp", 5, 1, std::vector<Rgb>(5, Rgb{1, 2, 3}));
        }
        Terrain terrain;
        Panorama panorama;
        Canvas canvas(4, 4);
        ASSERT_TRUE(canvas.ok());
        CoutCapture console;
        terrain.loadTexture();
        panorama.loadTexture();
        EXPECT_EQ(console.text(), c.expected);
        EXPECT_EQ(terrain.snowTexture != 0, c.snow);
        EXPECT_EQ(panorama.panoramaTexture != 0, c.backdrop);

        // Again: nothing printed, no texture name taken.
        GLuint before = 0, after = 0;
        glGenTextures(1, &before);
        CoutCapture again;
        terrain.loadTexture();
        panorama.loadTexture();
        EXPECT_EQ(again.text(), "");
        glGenTextures(1, &after);
        EXPECT_EQ(after, before + 1);
    }
}

// A picture file far larger than any picture of the game (a sparse one: a 3 x 2 picture followed
// by 64 MiB of nothing) is refused before the reader sees it, as a FIFO is, with one line saying
// why; the picture of the bound's size is still read.
TEST(TerrainLoad, RefusesAPictureFileLargerThanItsBound) {
    constexpr long long bound = 64LL * 1024 * 1024;
    for (const long long size : {bound, bound + 1}) {
        SCOPED_TRACE(size);
        TempWorkDir dir;
        writeBmp24("snow16.bmp", 3, 2, std::vector<Rgb>(6, Rgb{250, 250, 250}));
        ASSERT_EQ(truncate("snow16.bmp", size), 0);
        Terrain terrain;
        Canvas canvas(4, 4);
        ASSERT_TRUE(canvas.ok());
        CoutCapture console;
        CerrCapture err;
        terrain.loadTexture();
        if (size == bound) {
            EXPECT_EQ(console.text(), "Success: snow.getWidth  = 3\nSuccess: snow.getHeight = 2\n");
            EXPECT_NE(terrain.snowTexture, 0u);
        } else {
            EXPECT_EQ(console.text(), "The Snow Texture couldn't be loaded.\n");
            EXPECT_EQ(err.text(), "Picture snow16.bmp refused: larger than 67108864 bytes\n");
            EXPECT_EQ(terrain.snowTexture, 0u);
        }
    }
}

TEST(TerrainDraw, EveryCellShowsTheWholePictureFacingUpInTrueColours) {
    // Picture rows, top first: a b / c d, 6 bytes a row (unaligned). Across a cell s runs with x;
    // t runs from 0 on the cell's larger-z edge to 1 on its smaller-z edge, t = 1 being the top.
    const Rgb a{200, 40, 40}, b{40, 200, 40}, c{40, 40, 200}, d{220, 220, 220};
    TempWorkDir dir;
    writeBmp24("snow16.bmp", 2, 2, {a, b, c, d});
    Terrain terrain;
    Canvas canvas(200, 200);
    ASSERT_TRUE(canvas.ok());
    CoutCapture console;
    terrain.loadTexture();
    // Straight down on 100 x 100 m round the origin: pixel (px, py) shows x = px / 2 - 50 and
    // z = py / 2 - 50.
    glMatrixMode(GL_PROJECTION);
    glOrtho(-50.0, 50.0, -50.0, 50.0, 1.0, 10000.0);
    glMatrixMode(GL_MODELVIEW);
    gluLookAt(0.0, 6000.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -1.0);
    terrain.draw();
    const QImage image = canvas.image();
    // Quarter points of the cell x 0..25, z -25..0, and one of its neighbour x -25..0, z 0..25.
    EXPECT_TRUE(near(image.pixel(112, 87), c));
    EXPECT_TRUE(near(image.pixel(137, 87), d));
    EXPECT_TRUE(near(image.pixel(112, 62), a));
    EXPECT_TRUE(near(image.pixel(137, 62), b));
    EXPECT_TRUE(near(image.pixel(62, 137), c));
}

TEST(TextureProblem, NamesWhyAPictureCannotBeATexture) {
    const Bytes pixels(3 * 16385, 7);
    struct Case {
        int width, height, channels;
        long long byteCount;
        const char* problem;  // part of it; "" for none
    };
    const Case cases[] = {
        {16384, 1, 3, 3 * 16384, ""},
        {16385, 1, 3, 3 * 16385, "16385 x 1 is larger than the largest texture, 16384 x 16384"},
        {1, 16385, 3, 3 * 16385, "1 x 16385 is larger"},
        {0, 4, 3, 0, "it has no pixels (0 x 4)"},
        {4, 0, 3, 0, "no pixels"},
        {2, 2, 8, 32, "8 bytes a pixel"},
        {2, 2, 3, 11, "its pixels are missing"},
    };
    for (const Case& c : cases) {
        TexturePicture picture;
        picture.width = c.width;
        picture.height = c.height;
        picture.channels = c.channels;
        picture.data = pixels.data();
        picture.byteCount = c.byteCount;
        const std::string problem = textureProblem(picture, 16384);
        if (*c.problem == '\0') {
            EXPECT_EQ(problem, "") << c.width << " x " << c.height;
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        }
    }
}

// A picture one pixel wider than the GL's largest texture keeps the success lines, makes no
// texture, leaves no GL error for others to find, and is named on standard error; a FIFO in the
// backdrop's place is an unreadable file, never opened.
TEST(TerrainLoad, PicturesTheGLCannotTakeOrThatAreNoFilesAreNamedOnStandardError) {
    TempWorkDir dir;
    Canvas canvas(4, 4);
    ASSERT_TRUE(canvas.ok());
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    ASSERT_GT(maxSide, 0);
    writeBmp24("snow16.bmp", maxSide + 1, 1, std::vector<Rgb>(maxSide + 1, Rgb{9, 9, 9}));
    ASSERT_EQ(mkfifo("panorama20480256.bmp", 0600), 0);
    Terrain terrain;
    Panorama panorama;
    CoutCapture console;
    CerrCapture errors;
    terrain.loadTexture();
    panorama.loadTexture();
    const std::string side = std::to_string(maxSide);
    EXPECT_EQ(console.text(), "Success: snow.getWidth  = " + std::to_string(maxSide + 1) +
                                  "\nSuccess: snow.getHeight = 1\n"
                                  "The Panorama couldn't be loaded.\n");
    EXPECT_EQ(errors.text(),
              "Picture snow16.bmp not used as a texture: " + std::to_string(maxSide + 1) +
                  " x 1 is larger than the largest texture, " + side + " x " + side +
                  "\nPicture panorama20480256.bmp refused: not a regular file (a "
                  "FIFO)\n");
    EXPECT_EQ(terrain.snowTexture, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A 16-bit picture with 5-6-5 masks, read from its file, shows its true colours.
TEST(TexturePicture, SixteenBitPicturesFollowTheirColourMasks) {
    TempWorkDir dir;
    // 2 x 1 pixels, BI_BITFIELDS, masks after the 40-byte header: pure red, then pure green.
    const unsigned short pixels[] = {0xF800, 0x07E0};
    bmp_file::Layout layout{16, 2, 1};
    layout.bitfields = true;
    layout.patches = {
        {bmp_file::kMasks, 0xF800}, {bmp_file::kMasks + 4, 0x07E0}, {bmp_file::kMasks + 8, 0x001F}};
    writeFile("picture.bmp", bmp_file::asString(bmp_file::build(layout, [&](int x, int, int k) {
                  return static_cast<unsigned char>(pixels[x] >> (8 * k));
              })));
    Nevra::Bitmap bitmap;
    ASSERT_EQ(bitmap.readBitmap("picture.bmp", 1), 1);
    EXPECT_EQ(textureBytes(texturePicture(bitmap)), (Bytes{0, 0, 255, 0, 255, 0}));
}
