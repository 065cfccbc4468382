#ifndef WORLD_TERRAIN_H
#define WORLD_TERRAIN_H

#include "bitmap.h"

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
    // Draws the textured grid. REQUIRES: a current GL context, modelview matrix mode.
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

#endif  // WORLD_TERRAIN_H
