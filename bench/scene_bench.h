// What the scene benchmarks share: the scene widget with its frame callable outside the toolkit's
// paint cycle, their command line, and a still scene on screen to time frames on.
#pragma once

#include <QString>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scene/glwidget.h"

class BenchScene : public GLWidget {
public:
    void fullFrame() { paintGL(); }
};

struct SceneBenchArgs {
    int frames;     // frames a kind or a mode, at least 10
    QString shots;  // --shots DIR: where to save pictures (none when empty)
};

// Reads `[frames] [--shots DIR]`.
inline SceneBenchArgs sceneBenchArgs(int argc, char** argv, int defaultFrames) {
    SceneBenchArgs args{defaultFrames, QString()};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--shots") == 0 && i + 1 < argc) {
            args.shots = argv[++i];
        } else {
            args.frames = std::max(10, std::atoi(argv[i]));
        }
    }
    return args;
}

// Stops the scene's timers, so that only the benchmark draws and nothing moves, and shows it at
// the game's 700 x 700. False, with a message naming the program, when no window could be shown.
inline bool showStillScene(GLWidget& scene, const char* program) {
    for (QTimer* timer : scene.findChildren<QTimer*>()) {
        timer->stop();
    }
    scene.resize(700, 700);
    scene.show();
    if (!QTest::qWaitForWindowExposed(&scene)) {
        std::fprintf(stderr, "%s: no window could be shown\n", program);
        return false;
    }
    return true;
}
