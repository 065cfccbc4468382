#include "world/heightmap.h"

const double Heightmap[81][81][3] = {};
