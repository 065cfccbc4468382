#include "world/terrain.h"

#include <gtest/gtest.h>

#include "support/game_probe.h"

using Bytes = std::vector<unsigned char>;

TEST(TextureBytes, BgrRowsBottomFirstFromEveryDepthNeverPastTheData) {
    const Bytes palette = {1, 2, 3, 0, 10, 20, 30, 0};
    struct Case {
        const char* name;
        int width, height, channels;
        Bytes data;
        Bytes expected;
    };
    const Case cases[] = {
        {"24-bit, rows reversed", 1, 2, 3, {1, 2, 3, 4, 5, 6}, {4, 5, 6, 1, 2, 3}},
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
