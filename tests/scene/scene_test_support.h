#ifndef TESTS_SCENE_SCENE_TEST_SUPPORT_H
#define TESTS_SCENE_SCENE_TEST_SUPPORT_H

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/cout_capture.h"

// Runs the test inside a fresh temporary working directory, optionally holding a "boarder.iv"
// with the given text; the previous working directory comes back at the end of the scope.
class ScopedWorkingDir {
public:
    explicit ScopedWorkingDir(const char* boarderText = nullptr) : previous_(QDir::currentPath()) {
        if (boarderText != nullptr) {
            QFile file(dir_.filePath("boarder.iv"));
            file.open(QIODevice::WriteOnly);
            file.write(boarderText);
        }
        QDir::setCurrent(dir_.path());
    }
    ~ScopedWorkingDir() { QDir::setCurrent(previous_); }
    ScopedWorkingDir(const ScopedWorkingDir&) = delete;
    ScopedWorkingDir& operator=(const ScopedWorkingDir&) = delete;

private:
    QTemporaryDir dir_;
    QString previous_;
};

// A magenta cube, drawn unlit (a colour nothing else in the scene has), 6 m wide once the boarder's
// transform has scaled it, centred 10 m above the boarder's foot and 10 m to its right.
inline const char* kCubeBoarder =
    "#Inventor V2.1 ascii\n"
    "Separator {\n"
    "  LightModel { model BASE_COLOR }\n"
    "  BaseColor { rgb 1 0 1 }\n"
    "  Translation { translation 9.5 -5 5 }\n"
    "  Cube { width 3 height 3 depth 3 }\n"
    "}\n";

#endif  // TESTS_SCENE_SCENE_TEST_SUPPORT_H
