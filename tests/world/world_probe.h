// Helpers for the slope-world tests: a temporary working folder, tiny data files written into it,
// and a bare GL widget that draws whatever a test hands it.
#ifndef TESTS_WORLD_WORLD_PROBE_H
#define TESTS_WORLD_WORLD_PROBE_H

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QOpenGLWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

// A fresh temporary folder made the working directory for the object's life.
class TempWorkDir {
public:
    TempWorkDir() {
        char buffer[4096];
        previous = getcwd(buffer, sizeof buffer) != nullptr ? buffer : ".";
        if (chdir(dir.path().toLocal8Bit().constData()) != 0) {
            ADD_FAILURE() << "cannot enter " << dir.path().toStdString();
        }
    }
    ~TempWorkDir() {
        if (chdir(previous.c_str()) != 0) {
            ADD_FAILURE() << "cannot return to " << previous;
        }
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

private:
    QTemporaryDir dir;
    std::string previous;
};

inline void writeFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
}

struct Rgb {
    int r, g, b;
};

// Writes a bottom-up 24-bit BMP; pixels are given top row first.
inline void writeBmp24(const std::string& name, int width, int height,
                       const std::vector<Rgb>& topRowFirst) {
    const int stride = (3 * width + 3) & ~3;
    std::string bytes(54 + stride * height, '\0');
    auto put = [&bytes](int at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, bytes.size(), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, width, 4);
    put(22, height, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, stride * height, 4);
    for (int row = 0; row < height; ++row) {
        const int fileRow = height - 1 - row;
        for (int column = 0; column < width; ++column) {
            const Rgb& p = topRowFirst[row * width + column];
            const int at = 54 + fileRow * stride + 3 * column;
            bytes[at] = static_cast<char>(p.b);
            bytes[at + 1] = static_cast<char>(p.g);
            bytes[at + 2] = static_cast<char>(p.r);
        }
    }
    writeFile(name, bytes);
}

// Writes a bottom-up 8-bit BMP with the given palette; indices are given top row first.
inline void writeBmp8(const std::string& name, int width, int height,
                      const std::vector<Rgb>& palette, const std::vector<int>& topRowFirst) {
    const int stride = (width + 3) & ~3;
    const int offset = 54 + 4 * static_cast<int>(palette.size());
    std::string bytes(offset + stride * height, '\0');
    auto put = [&bytes](int at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, bytes.size(), 4);
    put(10, offset, 4);
    put(14, 40, 4);
    put(18, width, 4);
    put(22, height, 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(34, stride * height, 4);
    put(46, palette.size(), 4);
    for (size_t i = 0; i < palette.size(); ++i) {
        put(54 + 4 * static_cast<int>(i), palette[i].b | (palette[i].g << 8) | (palette[i].r << 16),
            4);
    }
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            bytes[offset + (height - 1 - row) * stride + column] =
                static_cast<char>(topRowFirst[row * width + column]);
        }
    }
    writeFile(name, bytes);
}

// An Open Inventor model: a cube of half-size `half` in one flat colour, unlit.
inline std::string flatCube(float half, float r, float g, float b) {
    return "#Inventor V2.1 ascii\nSeparator {\n  LightModel { model BASE_COLOR }\n"
           "  BaseColor { rgb " +
           std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b) +
           " }\n  Cube { width " + std::to_string(2 * half) + " height " +
           std::to_string(2 * half) + " depth " + std::to_string(2 * half) + " }\n}\n";
}

// A GL widget whose set-up and frame are handed in by the test. The frame starts cleared to the
// clear colour with depth testing and back-face culling on, the projection and modelview as
// the frame function sets them.
class GLProbe : public QOpenGLWidget {
public:
    std::function<void()> setUp = [] {};
    std::function<void()> frame = [] {};

    GLProbe() { resize(200, 200); }

    // Shows the widget and returns one rendered frame.
    QImage render() {
        if (!isVisible()) {
            show();
            if (!QTest::qWaitForWindowExposed(this)) {
                ADD_FAILURE() << "probe window not exposed";
            }
        }
        return grabFramebuffer();
    }

    // Runs f with the widget's context current.
    void inContext(const std::function<void()>& f) {
        makeCurrent();
        f();
        doneCurrent();
    }

protected:
    void initializeGL() override { setUp(); }
    void paintGL() override {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        frame();
    }
};

#endif  // TESTS_WORLD_WORLD_PROBE_H
