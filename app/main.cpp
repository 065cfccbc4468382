#include <QApplication>
#include <QSurfaceFormat>

#include "app/window.h"

int main(int argc, char* argv[]) {
    // The scene is drawn with the fixed-function pipeline: a compatibility context with depth.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);

    QApplication app(argc, argv);
    Window window;
    window.show();
    return app.exec();
}
