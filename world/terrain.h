#ifndef WORLD_TERRAIN_H
#define WORLD_TERRAIN_H

#include <string>
#include <vector>

#include "bitmap.h"

// A picture as the image library holds it after a read, described for the texture upload: rows
// top-first with no padding between them, `channels` bytes a pixel in the file's order. Three
// channels are blue, green, red; four add a fourth byte; two are a 16-bit value, low byte first;
// one is an index into `palette` (`paletteSize` entries of blue, green, red, reserved). Two or
// four channels with non-zero `colorMasks` (red, green, blue) hold a little-endian value whose
// components those masks select; two channels without masks are 5-5-5.
// A view: it owns none of the memory it points at.
struct TexturePicture {
    int width = 0;
    int height = 0;
    int channels = 0;
    const unsigned char* data = nullptr;
    long long byteCount = 0;  // bytes that data holds
    const unsigned char* palette = nullptr;
    int paletteSize = 0;
    unsigned colorMasks[3] = {0, 0, 0};
};

// The picture of a Bitmap after a read (its palette for one channel, its masks for two or four).
TexturePicture texturePicture(Nevra::Bitmap& bitmap);

// The picture as the texture upload takes it: three bytes a pixel (blue, green, red), rows packed
// and in reverse order, so that the picture's bottom row is the texture's first (t = 0) and its top
// row lies at t = 1. Palette indices outside the palette give black; without a palette an index is
// a grey level. A masked component of fewer than 8 bits is widened by repeating its bits (5 bits:
// 31 gives 255), one of more keeps its top 8. Empty when the picture has no pixels, an
// unsupported channel count, or fewer bytes than width x height x channels: nothing beyond
// byteCount is read.
std::vector<unsigned char> textureBytes(const TexturePicture& picture);

// Why the picture cannot become a texture of a GL whose largest texture side is maxSide pixels:
// no pixels, a channel count other than 1 to 4, missing pixel bytes, or a side longer than
// maxSide. Empty when it can. Pure.
std::string textureProblem(const TexturePicture& picture, int maxSide);

// Makes a GL texture of the picture (linear filters, repeat wrap) and returns its name. Returns 0,
// with no texture made and the reason in problem, when textureProblem finds one for the GL's
// largest texture, or the GL refuses the picture's size or the upload. Leaves the GL attributes,
// the pixel-store settings and the bound texture as it found them; clears the GL error flags, so
// that an error of the upload is its own and is not left for Coin to report as one of its own.
// REQUIRES: a current GL context.
unsigned int uploadTexture(const TexturePicture& picture, std::string& problem);

// The snow-textured slope: the Heightmap grid drawn as 80 x 80 quads, the snow picture
// "snow16.bmp" covering each 25 x 25 m cell once. Owns a GL texture: not copyable.
class Terrain {
public:
    Terrain() = default;
    Terrain(const Terrain&) = delete;
    Terrain& operator=(const Terrain&) = delete;

    // Reads "snow16.bmp" and makes it the terrain's texture, at most once in the object's life.
    // Prints the picture's size on success, "The Snow Texture couldn't be loaded." on failure
    // (a FIFO, device or directory in the file's place counts as unreadable and is not opened).
    // A picture that was read but cannot be a texture is named on standard error with the
    // reason, and the slope is drawn without texture.
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
