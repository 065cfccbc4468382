// Helpers for the slope-world tests: a temporary working folder, tiny data files written into it,
// and a bare GL widget that draws whatever a test hands it.
#ifndef TESTS_WORLD_WORLD_PROBE_H
#define TESTS_WORLD_WORLD_PROBE_H

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QOpenGLWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

// A fresh temporary folder, the working directory for the object's life.
class TempWorkDir {
public:
    TempWorkDir() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~TempWorkDir() { QDir::setCurrent(previous); }

private:
    QTemporaryDir dir;
    QString previous;
};

inline void writeFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
}

struct Rgb {
    int r, g, b;
};

inline bool near(QRgb p, Rgb c) {
    return std::abs(qRed(p) - c.r) <= 1 && std::abs(qGreen(p) - c.g) <= 1 &&
           std::abs(qBlue(p) - c.b) <= 1;
}

// Writes a bottom-up 24-bit BMP, rows padded to 4 bytes; pixels are given top row first.
inline void writeBmp24(const std::string& name, int width, int height,
                       const std::vector<Rgb>& topRowFirst) {
    const int stride = (3 * width + 3) & ~3;
    std::string b(54 + stride * height, '\0');
    auto put = [&b](int at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            b[at + i] = static_cast<char>(value >> (8 * i));
        }
    };
    b[0] = 'B';
    b[1] = 'M';
    put(10, 54);
    put(14, 40);
    put(18, width);
    put(22, height);
    put(26, 1 | (24 << 16));  // planes, then bits per pixel
    put(34, stride * height);
    for (int i = 0; i < width * height; ++i) {
        const Rgb& p = topRowFirst[i];
        const int at = 54 + (height - 1 - i / width) * stride + 3 * (i % width);
        b[at] = static_cast<char>(p.b);
        b[at + 1] = static_cast<char>(p.g);
        b[at + 2] = static_cast<char>(p.r);
    }
    writeFile(name, b);
}

// An Open Inventor model: a box of the given model-unit sizes round the origin in one unlit
// colour.
inline std::string flatBox(float w, float h, float d, Rgb c) {
    return "#Inventor V2.1 ascii\nSeparator { LightModel { model BASE_COLOR } BaseColor { rgb " +
           std::to_string(c.r / 255.0) + " " + std::to_string(c.g / 255.0) + " " +
           std::to_string(c.b / 255.0) + " } Cube { width " + std::to_string(w) + " height " +
           std::to_string(h) + " depth " + std::to_string(d) + " } }\n";
}

// A perspective view (vertical field of view in degrees) from eye to centre, y up.
inline void lookAt(double fov, double ex, double ey, double ez, double cx, double cy, double cz) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fov, 1.0, 1.0, 10000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(ex, ey, ez, cx, cy, cz, 0.0, 1.0, 0.0);
}

// A 200 x 200 GL widget whose set-up and frame are handed in by the test. Each frame starts
// cleared to black with depth testing and back-face culling on.
class GLProbe : public QOpenGLWidget {
public:
    std::function<void()> setUp = [] {};
    std::function<void()> frame = [] {};

    GLProbe() { resize(200, 200); }

    // Shows the widget and returns one rendered frame.
    QImage render() {
        if (!isVisible()) {
            show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
        }
        return grabFramebuffer();
    }

protected:
    void initializeGL() override { setUp(); }
    void paintGL() override {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        frame();
    }
};

#endif  // TESTS_WORLD_WORLD_PROBE_H
