// Helpers shared by the game's tests: a temporary working folder with tiny data files, an
// offscreen GL canvas, colour matching, a probe for the text an LCD shows, and the window's race
// slots called by hand with its timers stopped.
#ifndef TESTS_SUPPORT_GAME_PROBE_H
#define TESTS_SUPPORT_GAME_PROBE_H

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QLCDNumber>
#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/window.h"
#include "scene/glwidget.h"
#include "support/bmp_file.h"
#include "support/cout_capture.h"
#include "world/gates.h"

// A fresh temporary folder, the working directory while the object lives: the game finds there
// only the data files a test writes.
class TempWorkDir {
public:
    TempWorkDir() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~TempWorkDir() { QDir::setCurrent(previous_); }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

private:
    QTemporaryDir dir_;
    QString previous_;
};

inline void writeFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
}

struct Rgb {
    int r, g, b;
};

// Within one step a channel: the GL may round a colour's components.
inline bool near(QRgb p, Rgb c) {
    return std::abs(qRed(p) - c.r) <= 1 && std::abs(qGreen(p) - c.g) <= 1 &&
           std::abs(qBlue(p) - c.b) <= 1;
}

// Writes a bottom-up 24-bit BMP, rows padded to 4 bytes; pixels are given top row first.
inline void writeBmp24(const std::string& name, int width, int height,
                       const std::vector<Rgb>& topRowFirst) {
    writeFile(name,
              bmp_file::asString(bmp_file::build({24, width, height}, [&](int x, int y, int k) {
                  const Rgb& p = topRowFirst[y * width + x];
                  return static_cast<unsigned char>(k == 0 ? p.b : k == 1 ? p.g : p.r);
              })));
}

// An Open Inventor model: a box of the given model-unit sizes centred at (x, y, z), in one unlit
// colour.
inline std::string flatBox(float w, float h, float d, Rgb c, float x = 0, float y = 0,
                           float z = 0) {
    auto n = [](double v) { return std::to_string(v) + " "; };
    return "#Inventor V2.1 ascii\nSeparator { LightModel { model BASE_COLOR } BaseColor { rgb " +
           n(c.r / 255.0) + n(c.g / 255.0) + n(c.b / 255.0) + "} Translation { translation " +
           n(x) + n(y) + n(z) + "} Cube { width " + n(w) + "height " + n(h) + "depth " + n(d) +
           "} }\n";
}

// An offscreen GL context, current while the object lives, drawing into a framebuffer of the
// given size cleared to black, with depth testing and back-face culling on as in a game frame.
class Canvas {
public:
    Canvas(int width, int height) {
        surface_.create();
        ok_ = context_.create() && context_.makeCurrent(&surface_);
        if (ok_) {
            fbo_ = std::make_unique<QOpenGLFramebufferObject>(width, height,
                                                              QOpenGLFramebufferObject::Depth);
            fbo_->bind();
            glViewport(0, 0, width, height);
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glEnable(GL_DEPTH_TEST);
            glEnable(GL_CULL_FACE);
        }
    }
    ~Canvas() {
        fbo_.reset();
        context_.doneCurrent();
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ok() const { return ok_; }
    QImage image() { return fbo_->toImage(); }

private:
    QOffscreenSurface surface_;
    QOpenGLContext context_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    bool ok_ = false;
};

// The picture a QLCDNumber like lcd shows with text at lcd's size: a twin drawn off screen.
inline QImage lcdPicture(QLCDNumber* lcd, const QString& text) {
    QWidget holder;  // a child is drawn at its own size; a hidden top-level is not
    QLCDNumber twin(lcd->digitCount(), &holder);
    twin.setSegmentStyle(lcd->segmentStyle());
    twin.setFrameStyle(lcd->frameStyle());
    twin.setSmallDecimalPoint(lcd->smallDecimalPoint());
    twin.setPalette(lcd->palette());
    twin.setGeometry(QRect(QPoint(0, 0), lcd->size()));
    twin.display(text);
    return twin.grab().toImage();
}

// A QLCDNumber does not give back the text it shows, so the probe draws a twin of the display
// with the expected text and compares the two pictures.
inline testing::AssertionResult lcdShows(QLCDNumber* lcd, const QString& text) {
    // Grabbing lays the display out first, which gives it its size in the window.
    const QImage shown = lcd->grab().toImage();
    if (shown == lcdPicture(lcd, text)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "the display does not show \"" << text.toStdString() << "\"";
}

// Stops the timers of a window or widget, so that only the test moves the race on.
inline void stopTimers(QObject& owner) {
    for (QTimer* timer : owner.findChildren<QTimer*>()) {
        timer->stop();
    }
}

// Calls one of the window's race slots by name, as its timers would. The gates are set up first,
// as the scene's GL does for a shown window.
inline void callSlot(Window& window, const char* slot) {
    setUpGates(window.glWidget->gates);
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, slot)) << slot;
}

// A run that reaches the finish zone with the clock at runMs and this many gate failures
// (running: whether a run was under way at all).
inline void finishRun(Window& window, int runMs, int failures, bool running = true) {
    window.running = running;
    window.shownMs = runMs;
    window.glWidget->boarder.gateFailures = failures;
    window.glWidget->boarder.position = Vec3(960.0f, 0.0f, 146.0f);
    callSlot(window, "checkFinish");
}

#endif  // TESTS_SUPPORT_GAME_PROBE_H
