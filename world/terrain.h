#ifndef WORLD_TERRAIN_H
#define WORLD_TERRAIN_H

#include <vector>

#include "bitmap.h"

// A picture as the image library holds it after a read, described for the texture upload: rows
// top-first with no padding between them, `channels` bytes a pixel in the file's order. Three
// channels are blue, green, red; four add a fourth byte; two are a 16-bit 5-5-5 value, low byte
// first; one is an index into `palette` (`paletteSize` entries of blue, green, red, reserved).
// A view: it owns none of the memory it points at.
struct TexturePicture {
    int width = 0;
    int height = 0;
    int channels = 0;
    const unsigned char* data = nullptr;
    long long byteCount = 0;  // bytes that data holds
    const unsigned char* palette = nullptr;
    int paletteSize = 0;
};

// The picture as the texture upload takes it: three bytes a pixel (blue, green, red), rows packed
// and in reverse order, so that the picture's bottom row is the texture's first (t = 0) and its top
// row lies at t = 1. Palette indices outside the palette give black; without a palette an index is
// a grey level. Empty when the picture has no pixels, an unsupported channel count, or fewer bytes
// than width x height x channels: nothing beyond byteCount is read.
std::vector<unsigned char> textureBytes(const TexturePicture& picture);

// Makes a GL texture of the picture (linear filters, repeat wrap) and returns its name; 0, with no
// texture made, when textureBytes gives nothing. Leaves the GL attributes, the pixel-store settings
// and the bound texture as it found them. REQUIRES: a current GL context.
unsigned int uploadTexture(const TexturePicture& picture);

// The snow-textured slope: the Heightmap grid drawn as 80 x 80 quads, the snow picture
// "snow16.bmp" covering each 25 x 25 m cell once. Owns a GL texture: not copyable.
class Terrain {
public:
    Terrain() = default;
    Terrain(const Terrain&) = delete;
    Terrain& operator=(const Terrain&) = delete;

    // Reads "snow16.bmp" and makes it the terrain's texture, at most once in the object's life.
    // Prints the picture's size on success, "The Snow Texture couldn't be loaded." on failure.
    // REQUIRES: a current GL context.
    void loadTexture();
    // Draws the textured grid, all quads in one primitive. REQUIRES: a current GL context,
    // modelview matrix mode.
    void draw();

    unsigned int snowTexture = 0;  // GL texture name; 0 until a picture was uploaded
    Nevra::Bitmap snow;
    bool textureLoaded = false;  // set by the first loadTexture, whether the read worked or not
};

// The mountain backdrop: the picture "panorama20480256.bmp" on the inside of a cylinder of radius
// 1500 m round the slope, from 500 m below to 2000 m above the ground at (1000, 1000); half the
// picture's width spans the full circle. Owns a GL texture: not copyable.
class Panorama {
public:
    Panorama() = default;
    Panorama(const Panorama&) = delete;
    Panorama& operator=(const Panorama&) = delete;

    // As Terrain::loadTexture, for the backdrop ("The Panorama couldn't be loaded." on failure).
    void loadTexture();
    // Draws the 40-quad band. REQUIRES: a current GL context, modelview matrix mode.
    void draw();

    unsigned int panoramaTexture = 0;
    Nevra::Bitmap panorama;
    bool textureLoaded = false;
};

// One corner of a backdrop quad: texture coordinates and position relative to the ground height
// at (1000, 1000).
struct BackdropVertex {
    float s, t;
    float x, y, z;
};

// The four corners of backdrop quad i (-15..24) in drawing order: bottom at the angle of i, bottom
// at the next angle, top at the next angle, top at the angle of i. Pure.
void backdropQuad(int i, BackdropVertex corners[4]);

#endif  // WORLD_TERRAIN_H
