#include "world/heightmap.h"

#include <cmath>

namespace {

const double gridStep = 25.0;  // metres between neighbouring vertices
const int lastCell = 79;       // the last cell's index along each axis

// A cell number floor(d / 25) clamped to the grid's cells 0..79. The clamp is done in double, so
// that no out-of-range value (a NaN coordinate's, say) is ever converted to int.
int cellIndex(double cell) {
    if (!(cell > 0.0)) {
        return 0;
    }
    if (cell >= lastCell + 1) {
        return lastCell;
    }
    return static_cast<int>(cell);
}

// The elevation of vertex (row, column), rounded to single precision.
double elevation(int row, int column) {
    return static_cast<float>(Heightmap[row][column][2]);
}

}  // namespace

float heightAt(float x, float z) {
    if (x > 1000.0f) {
        x = 1000.0f;
    }
    if (x < -1000.0f) {
        x = -1000.0f;
    }
    if (z > 1000.0f) {
        z = 1000.0f;
    }
    if (z < -1000.0f) {
        z = -1000.0f;
    }
    const double u = static_cast<float>(static_cast<double>(x) + 1000.0);
    const double v = static_cast<float>(static_cast<double>(z) + 1000.0);

    // The fractions come from the unclamped cell, so at exactly +1000 the fraction is 0 while the
    // cell is pulled back to the last one: the edge takes the value one step inside.
    const double cellU = std::floor(u / gridStep);
    const double cellV = std::floor(v / gridStep);
    const double fu = static_cast<float>(u - gridStep * cellU);
    const double fv = static_cast<float>(v - gridStep * cellV);
    const int i = cellIndex(cellU);
    const int j = cellIndex(cellV);

    // Row numbers grow towards -z, so the cell's near (smaller z) row is 80 - j.
    const int nearRow = 80 - j;
    const int farRow = 79 - j;
    const double a = elevation(nearRow, i);
    const double b = elevation(nearRow, i + 1);
    const double c = elevation(farRow, i);
    const double d = elevation(farRow, i + 1);

    const double nearH = static_cast<float>(a + (b - a) * fu / gridStep);
    const double farH = static_cast<float>(c + (d - c) * fu / gridStep);
    return static_cast<float>(nearH + (farH - nearH) * fv / gridStep);
}
