// Frame benchmark: draws the full scene at 700 x 700 in each of the six camera modes and compares
// it with two references drawn in the same context: an empty frame (clear only) and the terrain
// and backdrop geometry drawn from one vertex buffer (the practical limit of the GL). A frame is
// timed from the start of its drawing until glFinish returns. A second measure paces frames at
// the game's 50 ms redraw and divides the process's CPU time (all threads) by the frames.
//
// Run it with data/ as the working directory, under a display (xvfb-run):
//   frame_bench [frames per mode, default 300] [--shots DIR]
// --shots DIR also saves one picture per camera mode as DIR/mode<N>.png.
#include <GL/gl.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include "scene_bench.h"
#include "world/heightmap.h"
#include "world/terrain.h"

namespace {

class BenchWidget : public BenchScene {
public:
    // The frame with the terrain and the backdrop alone, drawn as the widget draws them.
    void groundFrame() {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glScalef(0.0005f, 0.0005f, 0.0005f);
        camera.look(boarder);
        terrain.draw();
        panorama.draw();
        glFlush();
    }
};

struct Stats {
    double median, p90;
};

Stats statsOf(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return Stats{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)]};
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The terrain quads and the backdrop band in one vertex buffer: texture s, t then x, y, z.
class LimitScene {
public:
    void build(QOpenGLFunctions* gl) {
        std::vector<float> v;
        auto put = [&v](float s, float t, const double* vertex) {
            v.insert(v.end(), {s, t, static_cast<float>(vertex[0]), static_cast<float>(vertex[2]),
                               static_cast<float>(vertex[1])});
        };
        for (int r = 0; r < 80; ++r) {
            for (int c = 0; c < 80; ++c) {
                put(0, 0, Heightmap[r][c]);
                put(1, 0, Heightmap[r][c + 1]);
                put(1, 1, Heightmap[r + 1][c + 1]);
                put(0, 1, Heightmap[r + 1][c]);
            }
        }
        terrainCount = static_cast<int>(v.size() / 5);
        for (int i = -15; i <= 24; ++i) {
            BackdropVertex corners[4];
            backdropQuad(i, corners);
            for (const BackdropVertex& b : corners) {
                v.insert(v.end(), {b.s, b.t, b.x, b.y, b.z});
            }
        }
        backdropCount = static_cast<int>(v.size() / 5) - terrainCount;
        gl->glGenBuffers(1, &buffer);
        gl->glBindBuffer(GL_ARRAY_BUFFER, buffer);
        gl->glBufferData(GL_ARRAY_BUFFER, static_cast<long>(v.size() * sizeof(float)), v.data(),
                         GL_STATIC_DRAW);
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    }

    // Draws with the widget's camera and textures, one draw call per texture.
    void draw(QOpenGLFunctions* gl, BenchWidget& w) {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glScalef(0.0005f, 0.0005f, 0.0005f);
        w.camera.look(w.boarder);
        gl->glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 5 * sizeof(float), nullptr);
        glVertexPointer(3, GL_FLOAT, 5 * sizeof(float),
                        reinterpret_cast<const void*>(2 * sizeof(float)));
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glEnable(GL_TEXTURE_2D);
        glPushMatrix();
        glTranslatef(-617000.0f, 0.0f, -91700.0f);
        glBindTexture(GL_TEXTURE_2D, w.terrain.snowTexture);
        glDrawArrays(GL_QUADS, 0, terrainCount);
        glPopMatrix();
        glPushMatrix();
        glTranslatef(0.0f, heightAt(1000.0f, 1000.0f), 0.0f);
        glBindTexture(GL_TEXTURE_2D, w.panorama.panoramaTexture);
        glDrawArrays(GL_QUADS, terrainCount, backdropCount);
        glPopMatrix();
        glPopAttrib();
        glPopClientAttrib();
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        glFlush();
    }

    void release(QOpenGLFunctions* gl) { gl->glDeleteBuffers(1, &buffer); }

private:
    GLuint buffer = 0;
    int terrainCount = 0;
    int backdropCount = 0;
};

// Times the kinds of frame in turn, one frame of each per round, so that whatever else runs on
// the machine weighs on all of them alike. A frame is timed from its start until glFinish returns.
std::vector<Stats> timeFrames(BenchWidget& w, int frames,
                              const std::vector<std::function<void()>>& kinds) {
    std::vector<std::vector<double>> ms(kinds.size());
    w.makeCurrent();
    for (int i = 0; i < 10; ++i) {
        for (const auto& draw : kinds) {
            draw();
        }
    }
    glFinish();
    for (int i = 0; i < frames; ++i) {
        for (size_t k = 0; k < kinds.size(); ++k) {
            QElapsedTimer timer;
            timer.start();
            kinds[k]();
            glFinish();
            ms[k].push_back(timer.nsecsElapsed() / 1e6);
        }
    }
    w.doneCurrent();
    std::vector<Stats> stats;
    for (auto& m : ms) {
        stats.push_back(statsOf(m));
    }
    return stats;
}

// CPU milliseconds of the whole process (all threads) per frame when a frame is drawn every
// 50 ms, the kinds taking turns; each frame is charged from its start to the next one's.
std::vector<double> cpuPerPacedFrame(BenchWidget& w, int frames,
                                     const std::vector<std::function<void()>>& kinds) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> used(kinds.size(), 0.0);
    w.makeCurrent();
    Clock::time_point next = Clock::now();
    for (int i = 0; i < frames; ++i) {
        for (size_t k = 0; k < kinds.size(); ++k) {
            const double start = cpuSeconds();
            kinds[k]();
            glFinish();
            next += std::chrono::milliseconds(50);
            std::this_thread::sleep_until(next);
            used[k] += cpuSeconds() - start;
        }
    }
    w.doneCurrent();
    for (double& u : used) {
        u = u * 1000.0 / frames;
    }
    return used;
}

}  // namespace

int main(int argc, char** argv) {
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    const SceneBenchArgs args = sceneBenchArgs(argc, argv, 300);
    const int frames = args.frames;
    const QString& shots = args.shots;

    BenchWidget widget;
    if (!showStillScene(widget, "frame_bench")) {
        return 1;
    }
    std::printf("frame_bench: %d x %d, %d frames a mode, GL renderer %s\n", widget.width(),
                widget.height(), frames,
                [&] {
                    widget.makeCurrent();
                    const char* r = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
                    std::string name = r != nullptr ? r : "?";
                    widget.doneCurrent();
                    return name;
                }()
                    .c_str());

    // The view from the boarder's eyes prints the camera every frame; keep that off the report.
    std::ostringstream sink;
    std::streambuf* console = std::cout.rdbuf(sink.rdbuf());

    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        for (int mode = 0; mode < 6; ++mode) {
            widget.camera.mode = mode;
            widget.grabFramebuffer().save(QString("%1/mode%2.png").arg(shots).arg(mode));
        }
    }

    LimitScene limit;
    widget.makeCurrent();
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    limit.build(gl);
    widget.doneCurrent();
    const std::vector<std::function<void()>> kinds = {
        [&] { widget.fullFrame(); },
        [&] { limit.draw(gl, widget); },
        [&] { widget.groundFrame(); },
        [] {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glFlush();
        },
    };
    std::vector<std::vector<Stats>> perMode;
    for (int mode = 0; mode < 6; ++mode) {
        widget.camera.mode = mode;
        perMode.push_back(timeFrames(widget, frames, kinds));
        sink.str("");
    }
    widget.camera.mode = 0;
    const int paced = std::max(20, frames / 8);
    const std::vector<double> cpu = cpuPerPacedFrame(widget, paced, kinds);
    widget.makeCurrent();
    limit.release(gl);
    widget.doneCurrent();
    std::cout.rdbuf(console);

    std::printf("median and 90th percentile frame times in ms (paint plus glFinish)\n");
    std::printf("%4s %16s %16s %16s %16s %10s %10s\n", "mode", "full", "limit (1 buffer)",
                "terrain+backdrop", "empty", "full/limit", "full/empty");
    for (int mode = 0; mode < 6; ++mode) {
        const std::vector<Stats>& m = perMode[mode];
        std::printf("%4d %7.3f %8.3f %7.3f %8.3f %7.3f %8.3f %7.3f %8.3f %10.2f %10.2f\n", mode,
                    m[0].median, m[0].p90, m[1].median, m[1].p90, m[2].median, m[2].p90,
                    m[3].median, m[3].p90, m[0].median / m[1].median, m[0].median / m[3].median);
    }
    std::printf(
        "CPU per frame at a 50 ms redraw, camera mode 0, %d frames each: full %.3f ms, "
        "limit %.3f ms (full/limit %.2f), terrain+backdrop %.3f ms (%.2f), empty %.3f ms\n",
        paced, cpu[0], cpu[1], cpu[0] / cpu[1], cpu[2], cpu[2] / cpu[1], cpu[3]);
    return 0;
}
