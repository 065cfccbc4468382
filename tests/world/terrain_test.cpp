#include "world/terrain.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>

#include "world/heightmap.h"
#include "world_probe.h"

namespace {

std::vector<unsigned char> bytesOf(std::initializer_list<int> values) {
    std::vector<unsigned char> out;
    for (int v : values) {
        out.push_back(static_cast<unsigned char>(v));
    }
    return out;
}

QRgb pixel(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

QRgb rgb(Rgb c) {
    return qRgb(c.r, c.g, c.b) & 0xFFFFFF;
}

// A picture held in memory for uploadTexture, with its own bytes.
struct HeldPicture {
    std::vector<unsigned char> data;
    TexturePicture picture;
};

// A 24-bit picture from pixels given top row first.
HeldPicture picture24(int width, int height, const std::vector<Rgb>& topRowFirst) {
    HeldPicture held;
    for (const Rgb& p : topRowFirst) {
        held.data.insert(held.data.end(),
                         {static_cast<unsigned char>(p.b), static_cast<unsigned char>(p.g),
                          static_cast<unsigned char>(p.r)});
    }
    held.picture.width = width;
    held.picture.height = height;
    held.picture.channels = 3;
    held.picture.data = held.data.data();
    held.picture.byteCount = static_cast<long long>(held.data.size());
    return held;
}

}  // namespace

TEST(TextureBytes, ConvertsEveryDepthToBgrRowsBottomFirst) {
    const std::vector<unsigned char> palette = bytesOf({1, 2, 3, 0, 10, 20, 30, 0});
    struct Case {
        const char* name;
        int width, height, channels;
        std::vector<unsigned char> data;
        const std::vector<unsigned char>* palette;
        std::vector<unsigned char> expected;
    };
    const Case cases[] = {
        {"24-bit rows reversed", 1, 2, 3, bytesOf({1, 2, 3, 4, 5, 6}), nullptr,
         bytesOf({4, 5, 6, 1, 2, 3})},
        {"32-bit fourth byte dropped", 2, 1, 4, bytesOf({1, 2, 3, 99, 4, 5, 6, 99}), nullptr,
         bytesOf({1, 2, 3, 4, 5, 6})},
        // 0x7C00 is full red, 0x03E0 full green, 0x0010 half blue (16 of 31 -> 132).
        {"16-bit 5-5-5 expanded", 3, 1, 2, bytesOf({0x00, 0x7C, 0xE0, 0x03, 0x10, 0x00}), nullptr,
         bytesOf({0, 0, 255, 0, 255, 0, 132, 0, 0})},
        {"8-bit through the palette", 3, 1, 1, bytesOf({1, 0, 7}), &palette,
         bytesOf({10, 20, 30, 1, 2, 3, 0, 0, 0})},
        {"8-bit without palette is grey", 1, 1, 1, bytesOf({77}), nullptr, bytesOf({77, 77, 77})},
    };
    for (const Case& c : cases) {
        TexturePicture picture;
        picture.width = c.width;
        picture.height = c.height;
        picture.channels = c.channels;
        picture.data = c.data.data();
        picture.byteCount = static_cast<long long>(c.data.size());
        if (c.palette != nullptr) {
            picture.palette = c.palette->data();
            picture.paletteSize = 2;
        }
        EXPECT_EQ(textureBytes(picture), c.expected) << c.name;
    }
}

TEST(TextureBytes, RefusesWhatItCannotReadSafely) {
    const std::vector<unsigned char> data(12, 200);
    TexturePicture good;
    good.width = 2;
    good.height = 2;
    good.channels = 3;
    good.data = data.data();
    good.byteCount = 12;
    ASSERT_EQ(textureBytes(good).size(), 12u);

    TexturePicture shortData = good;
    shortData.byteCount = 11;
    TexturePicture noRows = good;
    noRows.height = 0;
    TexturePicture fiveChannels = good;
    fiveChannels.channels = 5;
    fiveChannels.width = 1;
    TexturePicture noData = good;
    noData.data = nullptr;
    for (const TexturePicture& bad : {shortData, noRows, fiveChannels, noData}) {
        EXPECT_TRUE(textureBytes(bad).empty());
    }
}

TEST(BackdropQuad, BandClosesTheCircleAtRadius1500) {
    BackdropVertex first[4], last[4];
    backdropQuad(-15, first);
    backdropQuad(24, last);
    EXPECT_FLOAT_EQ(first[0].s, -0.1875f);
    EXPECT_FLOAT_EQ(last[1].s, 0.3125f);
    // -135 degrees and 225 degrees are the same place.
    EXPECT_NEAR(first[0].x, last[1].x, 0.01);
    EXPECT_NEAR(first[0].z, last[1].z, 0.01);
    EXPECT_NEAR(first[0].x, -1060.66, 0.01);
    for (int i = -15; i <= 24; ++i) {
        BackdropVertex q[4], next[4];
        backdropQuad(i, q);
        backdropQuad(i + 1, next);
        // Neighbours share an edge exactly, so the band has no cracks.
        EXPECT_EQ(q[1].x, next[0].x);
        EXPECT_EQ(q[1].z, next[0].z);
        for (const BackdropVertex& v : q) {
            EXPECT_NEAR(std::hypot(v.x, v.z), 1500.0, 0.01);
            EXPECT_TRUE(v.y == -500.0f || v.y == 2000.0f);
            EXPECT_EQ(v.t, v.y == 2000.0f ? 1.0f : 0.0f);
        }
    }
}

TEST(UploadTexture, PictureTopLandsAtTopWithTrueColoursForAnyWidth) {
    const Rgb a{255, 0, 0}, b{0, 255, 0}, c{0, 0, 255}, d{10, 20, 30}, e{40, 50, 60}, f{70, 80, 90};
    HeldPicture held = picture24(3, 2, {a, b, c, d, e, f});
    GLProbe probe;
    probe.render();
    probe.inContext([&] {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        const unsigned int name = uploadTexture(held.picture);
        ASSERT_NE(name, 0u);
        GLint alignment = 0, bound = -1;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(alignment, 4);
        EXPECT_EQ(bound, 0);

        unsigned char texels[18] = {};
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
        glBindTexture(GL_TEXTURE_2D, 0);
        // The texture's first row (t = 0) is the picture's bottom row, in red, green, blue.
        const std::vector<unsigned char> expected =
            bytesOf({10, 20, 30, 40, 50, 60, 70, 80, 90, 255, 0, 0, 0, 255, 0, 0, 0, 255});
        EXPECT_EQ(std::vector<unsigned char>(texels, texels + 18), expected);
        glDeleteTextures(1, &name);
    });
}

TEST(TerrainLoad, MissingPicturesAreReportedOnceAndMakeNoTexture) {
    TempWorkDir dir;
    GLProbe probe;
    probe.render();
    Terrain terrain;
    Panorama panorama;
    probe.inContext([&] {
        testing::internal::CaptureStdout();
        terrain.loadTexture();
        panorama.loadTexture();
        terrain.loadTexture();
        panorama.loadTexture();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "The Snow Texture couldn't be loaded.\nThe Panorama couldn't be loaded.\n");
    });
    EXPECT_TRUE(terrain.textureLoaded);
    EXPECT_TRUE(panorama.textureLoaded);
    EXPECT_EQ(terrain.snowTexture, 0u);
    EXPECT_EQ(panorama.panoramaTexture, 0u);
}

TEST(TerrainLoad, PicturesReadAreReportedWithTheirSizesOnce) {
    TempWorkDir dir;
    writeBmp24("snow16.bmp", 3, 2, std::vector<Rgb>(6, Rgb{250, 250, 250}));
    writeBmp24("panorama20480256.bmp", 5, 1, std::vector<Rgb>(5, Rgb{40, 90, 230}));
    GLProbe probe;
    probe.render();
    Terrain terrain;
    Panorama panorama;
    probe.inContext([&] {
        testing::internal::CaptureStdout();
        terrain.loadTexture();
        panorama.loadTexture();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "Success: snow.getWidth  = 3\nSuccess: snow.getHeight = 2\n"
                  "Success: panorama.getWidth  = 5\nSuccess: panorama.getHeight = 1\n");
        EXPECT_NE(terrain.snowTexture, 0u);
        EXPECT_NE(panorama.panoramaTexture, 0u);
        const unsigned int snow = terrain.snowTexture;
        const unsigned int backdrop = panorama.panoramaTexture;

        testing::internal::CaptureStdout();
        terrain.loadTexture();
        panorama.loadTexture();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(terrain.snowTexture, snow);
        EXPECT_EQ(panorama.panoramaTexture, backdrop);
        // No texture name was taken by the second calls.
        GLuint next = 0;
        glGenTextures(1, &next);
        EXPECT_EQ(next, std::max(snow, backdrop) + 1);
        glDeleteTextures(1, &next);
    });
}

TEST(TerrainLoad, MissingSnowStillLoadsTheBackdrop) {
    TempWorkDir dir;
    writeBmp24("panorama20480256.bmp", 2, 2, std::vector<Rgb>(4, Rgb{1, 2, 3}));
    GLProbe probe;
    probe.render();
    Terrain terrain;
    Panorama panorama;
    probe.inContext([&] {
        testing::internal::CaptureStdout();
        terrain.loadTexture();
        panorama.loadTexture();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "The Snow Texture couldn't be loaded.\n"
                  "Success: panorama.getWidth  = 2\nSuccess: panorama.getHeight = 2\n");
    });
    EXPECT_EQ(terrain.snowTexture, 0u);
    EXPECT_NE(panorama.panoramaTexture, 0u);
}

TEST(TerrainLoad, PalettePictureUploadsInItsTrueColours) {
    TempWorkDir dir;
    // Top row: palette 1, 0, 2; bottom row: 2, 2, 1. Odd width, so file rows are padded.
    writeBmp8("snow16.bmp", 3, 2, {{10, 20, 30}, {200, 100, 0}, {0, 50, 250}}, {1, 0, 2, 2, 2, 1});
    GLProbe probe;
    probe.render();
    Terrain terrain;
    probe.inContext([&] {
        testing::internal::CaptureStdout();
        terrain.loadTexture();
        testing::internal::GetCapturedStdout();
        ASSERT_NE(terrain.snowTexture, 0u);
        unsigned char texels[18] = {};
        glBindTexture(GL_TEXTURE_2D, terrain.snowTexture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
        glBindTexture(GL_TEXTURE_2D, 0);
        const std::vector<unsigned char> expected =
            bytesOf({0, 50, 250, 0, 50, 250, 200, 100, 0, 200, 100, 0, 10, 20, 30, 0, 50, 250});
        EXPECT_EQ(std::vector<unsigned char>(texels, texels + 18), expected);
    });
}

// Looks straight down on the slope round the world origin: 100 x 100 m on 200 x 200 pixels,
// +x to the right and -z up, so a pixel (px, py) shows world x = px / 2 - 50, z = py / 2 - 50.
void lookDownOnOrigin() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-50.0, 50.0, -50.0, 50.0, 1.0, 10000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 6000.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -1.0);
}

TEST(TerrainDraw, EachCellShowsTheWholePictureFacingUp) {
    // Picture rows, top first: a b / c d. Across a cell s runs with x; t runs from 0 on the
    // cell's larger-z edge to 1 on its smaller-z edge, and t = 1 is the picture's top row.
    const Rgb a{200, 40, 40}, b{40, 200, 40}, c{40, 40, 200}, d{220, 220, 220};
    HeldPicture held = picture24(2, 2, {a, b, c, d});
    Terrain terrain;
    GLProbe probe;
    probe.setUp = [&] { terrain.snowTexture = uploadTexture(held.picture); };
    probe.frame = [&] {
        lookDownOnOrigin();
        terrain.draw();
    };
    const QImage image = probe.render();
    // The cell from x = 0 to 25, z = -25 to 0, quarter points.
    EXPECT_EQ(pixel(image, 112, 87), rgb(c));  // x 6.25, z -6.25: s 0.25, t 0.25
    EXPECT_EQ(pixel(image, 137, 87), rgb(d));  // x 18.75
    EXPECT_EQ(pixel(image, 112, 62), rgb(a));  // z -18.75: t 0.75
    EXPECT_EQ(pixel(image, 137, 62), rgb(b));
    // The neighbouring cell repeats the picture.
    EXPECT_EQ(pixel(image, 62, 137), rgb(c));  // x -18.75, z 18.75
}

TEST(PanoramaDraw, SkyAboveGroundBelowInTrueColours) {
    const Rgb sky{40, 90, 230}, ground{150, 100, 50};
    // Three rows of each, so that linear filtering (which wraps round at the top and bottom
    // edges) leaves both colours pure over a wide band.
    HeldPicture held = picture24(1, 6, {sky, sky, sky, ground, ground, ground});
    Panorama panorama;
    GLProbe probe;
    probe.setUp = [&] { panorama.panoramaTexture = uploadTexture(held.picture); };
    for (const double heading : {0.0, 90.0, 200.0, 300.0}) {
        probe.frame = [&] {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            gluPerspective(90.0, 1.0, 1.0, 10000.0);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            const double h = heightAt(1000.0f, 1000.0f);
            const double r = heading * M_PI / 180.0;
            gluLookAt(0.0, h, 0.0, std::cos(r), h, std::sin(r), 0.0, 1.0, 0.0);
            panorama.draw();
        };
        const QImage image = probe.render();
        EXPECT_EQ(pixel(image, 100, 3), rgb(sky)) << heading;       // 44 degrees up
        EXPECT_EQ(pixel(image, 100, 110), rgb(ground)) << heading;  // 6 degrees down
        EXPECT_EQ(pixel(image, 100, 197), 0u) << heading;           // under the band
    }
}
