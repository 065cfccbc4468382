// Ghost benchmark: what the ghost and the split text add to a frame. Draws the full scene at
// 700 x 700 (camera mode 0) without a layer, with the ghost drawn a few metres ahead of the
// boarder, and with the ghost and a split text, the kinds taking turns; a frame is timed from its
// start until glFinish returns. Also times reading a long run's file and placing the ghost.
//
// Run it with data/ as the working directory, under a display (xvfb-run):
//   ghost_bench [frames per kind, default 200] [--shots DIR]
// --shots DIR also saves the frame with the ghost and a split text, solid and in wire mode, as
// DIR/ghost-solid.png and DIR/ghost-wire.png.
#include <GL/gl.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "app/ghostdraw.h"
#include "app/runrecord.h"
#include "scene_bench.h"

namespace {

using BenchWidget = BenchScene;

// The ghost 30 m ahead of the boarder, and optionally a split text.
class BenchLayer : public FrameLayer {
public:
    explicit BenchLayer(const Boarder& model) : model_(model) {}
    void drawInWorld(const FrameInfo& frame) override {
        BoarderPose pose = frame.boarder;
        pose.position.x += 30.0f;
        figure_.draw(model_, pose, frame.wireMode);
    }
    void drawOverlay(const FrameInfo& frame) override {
        if (text) {
            drawSplitText(frame, "Gate 4 \u22120.412", SplitColour::Green);
        }
    }
    bool text = false;

private:
    const Boarder& model_;
    GhostFigure figure_;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    const SceneBenchArgs args = sceneBenchArgs(argc, argv, 200);
    const int frames = args.frames;
    const QString& shots = args.shots;

    BenchWidget widget;
    if (!showStillScene(widget, "ghost_bench")) {
        return 1;
    }
    widget.boarder.position = Vec3(400.0f, 0.0f, 0.0f);
    BenchLayer layer(widget.boarder);
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        widget.addFrameLayer(&layer);
        layer.text = true;
        widget.grabFramebuffer();  // the first frame after showing may come out blank
        widget.grabFramebuffer().save(shots + "/ghost-solid.png");
        widget.wireMode = 1;
        widget.grabFramebuffer().save(shots + "/ghost-wire.png");
        widget.wireMode = 0;
        widget.removeFrameLayer(&layer);
        widget.doneCurrent();
    }
    const std::vector<std::function<void()>> kinds = {
        [&] {
            widget.removeFrameLayer(&layer);
            widget.fullFrame();
        },
        [&] {
            widget.addFrameLayer(&layer);
            layer.text = false;
            widget.fullFrame();
        },
        [&] {
            widget.addFrameLayer(&layer);
            layer.text = true;
            widget.fullFrame();
        },
    };
    std::vector<std::vector<double>> ms(kinds.size());
    widget.makeCurrent();
    for (int i = 0; i < frames + 10; ++i) {
        for (size_t k = 0; k < kinds.size(); ++k) {
            QElapsedTimer timer;
            timer.start();
            kinds[k]();
            glFinish();
            if (i >= 10) {
                ms[k].push_back(timer.nsecsElapsed() / 1e6);
            }
        }
    }
    widget.removeFrameLayer(&layer);
    widget.doneCurrent();
    std::printf(
        "ghost_bench: 700 x 700, camera mode 0, %d frames a kind, median ms per frame "
        "(paint plus glFinish)\n",
        frames);
    std::printf(
        "scene alone %.3f, with the ghost %.3f (+%.3f), with the ghost and a split "
        "text %.3f (+%.3f)\n",
        median(ms[0]), median(ms[1]), median(ms[1]) - median(ms[0]), median(ms[2]),
        median(ms[2]) - median(ms[0]));

    // A run as long as endurance allows (34 s), with a key storm's worth of extra steps.
    RunRecord run;
    run.runMs = run.totalMs = 34000;
    for (int i = 0; i < 34000; ++i) {
        run.steps.push_back(RunStep{i, 170.0f + i * 0.02f, 0.0f, 0.0f, 50.0f});
    }
    const std::string bytes = encodeRun(run);
    QElapsedTimer timer;
    timer.start();
    RunRecord back;
    const int reads = 20;
    for (int i = 0; i < reads; ++i) {
        decodeRun(bytes, back);
    }
    const double readMs = timer.nsecsElapsed() / 1e6 / reads;
    timer.restart();
    double sink = 0;
    const int places = 100000;
    for (int i = 0; i < places; ++i) {
        sink += back.at((i * 7919) % 34000).x;
    }
    const double placeUs = timer.nsecsElapsed() / 1e3 / places;
    std::printf(
        "a run file of %zu steps (%zu bytes): decoded in %.2f ms; the ghost placed in "
        "%.3f us%s\n",
        run.steps.size(), bytes.size(), readMs, placeUs, sink < 0 ? " " : "");
    return 0;
}
