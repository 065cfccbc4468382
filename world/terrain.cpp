#include "world/terrain.h"

void Terrain::loadTexture() { textureLoaded = true; }
void Terrain::draw() {}
void Panorama::loadTexture() { textureLoaded = true; }
void Panorama::draw() {}
