#include "support/qt_run.h"

#include <GL/freeglut.h>
#include <Inventor/SoDB.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QSurfaceFormat>

int runTestsInApplication(int argc, char** argv) {
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    // The trees' cones opened a connection of GLUT's own to the X server, which goes first.
    if (glutGet(GLUT_INIT_STATE) != 0) {
        glutExit();
    }
    if (SoDB::isInitialized()) {
        SoDB::finish();  // frees Coin's own globals, which LeakSanitizer would report
    }
    return result;
}
