// The boarder against the snow as a player sees them: the vertices of the game's boarder model
// placed as the boarder's drawing places them, and the terrain's height as the GL draws it.
#ifndef TESTS_SUPPORT_SNOW_CLEARANCE_H
#define TESTS_SUPPORT_SNOW_CLEARANCE_H

#include <Inventor/SbMatrix.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoSeparator.h>

#include <QDir>
#include <QString>
#include <algorithm>
#include <cmath>
#include <vector>

#include "scene/boarder.h"
#include "world/heightmap.h"

namespace snow_clearance {

struct Point {
    double x, y, z;
};

// The lines along which the course is checked, and its extent along them.
const float lines[] = {0.0f, -20.0f, 60.0f, 140.0f};
const int firstX = 100, lastX = 950, stepX = 10;

// Every vertex of the boarder's model as the game reads it from dataDir: the boarder's own init
// reads "boarder.iv" there and adds its transform, and the points of the model's coordinate nodes
// are taken through everything above them. Empty when the model could not be read.
inline std::vector<Point> modelVertices(const QString& dataDir) {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dataDir);
    Boarder boarder;
    boarder.init();
    QDir::setCurrent(previous);
    std::vector<Point> points;
    if (boarder.model == nullptr) {
        return points;
    }
    SoCallbackAction action;
    action.addPreCallback(
        SoCoordinate3::getClassTypeId(),
        [](void* data, SoCallbackAction* a, const SoNode* node) {
            auto* out = static_cast<std::vector<Point>*>(data);
            const auto* coordinates = static_cast<const SoCoordinate3*>(node);
            for (int i = 0; i < coordinates->point.getNum(); ++i) {
                SbVec3f p;
                a->getModelMatrix().multVecMatrix(coordinates->point[i], p);
                out->push_back(Point{p[0], p[1], p[2]});
            }
            return SoCallbackAction::CONTINUE;
        },
        &points);
    action.apply(boarder.sceneRoot);
    return points;
}

inline double elevation(int row, int column) {
    return static_cast<float>(Heightmap[row][column][2]);
}

// The terrain's height under world (x, z) as drawn: the cell's quad of vertices (r, c), (r, c + 1),
// (r + 1, c + 1), (r + 1, c) split into two triangles along the diagonal from (r, c) to
// (r + 1, c + 1) (diagonal 0) or from (r, c + 1) to (r + 1, c) (diagonal 1); a GL may take either.
inline double drawnHeight(double x, double z, int diagonal) {
    const double gx = (std::clamp(x, -1000.0, 1000.0) + 1000.0) / 25.0;
    const double gr = (1000.0 - std::clamp(z, -1000.0, 1000.0)) / 25.0;
    const int c = std::clamp(static_cast<int>(std::floor(gx)), 0, 79);
    const int r = std::clamp(static_cast<int>(std::floor(gr)), 0, 79);
    const double s = gx - c, t = gr - r;  // towards column c + 1 and row r + 1
    const double p00 = elevation(r, c), p10 = elevation(r, c + 1);
    const double p01 = elevation(r + 1, c), p11 = elevation(r + 1, c + 1);
    if (diagonal == 0) {
        return s >= t ? p00 + (p10 - p00) * s + (p11 - p10) * t
                      : p00 + (p11 - p01) * s + (p01 - p00) * t;
    }
    return s + t <= 1.0 ? p00 + (p10 - p00) * s + (p01 - p00) * t
                        : p11 + (p01 - p11) * (1.0 - s) + (p10 - p11) * (1.0 - t);
}

// The share of the model's vertices above the drawn snow with the boarder's foot at (x, z) and
// the given heading in degrees, placed as its drawing does: on heightAt there, the model's z turned
// into world y, turned about it by the heading.
inline double shareAbove(const std::vector<Point>& model, float x, float z, float heading,
                         int diagonal) {
    if (model.empty()) {
        return 0.0;
    }
    const double h = heightAt(x, z);
    const double a = heading * 0.017453292519943295;
    const double ca = std::cos(a), sa = std::sin(a);
    int above = 0;
    for (const Point& p : model) {
        const double wx = x + (p.x * ca - p.y * sa);
        const double wy = h + p.z;
        const double wz = z - (p.x * sa + p.y * ca);
        if (wy > drawnHeight(wx, wz, diagonal)) {
            ++above;
        }
    }
    return static_cast<double>(above) / model.size();
}

}  // namespace snow_clearance

#endif  // TESTS_SUPPORT_SNOW_CLEARANCE_H
