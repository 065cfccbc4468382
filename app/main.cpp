#include <QApplication>
#include <QSurfaceFormat>

#include "app/bestdisplay.h"
#include "app/padkeys.h"
#include "app/personalbest.h"
#include "app/window.h"
#include "devices/gamepad.h"

int main(int argc, char* argv[]) {
    // The scene is drawn with the fixed-function pipeline: a compatibility context with depth.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);

    QApplication app(argc, argv);
    Window window;
    // The player's kit around the window: the personal best, the gamepad.
    PersonalBest best(PersonalBest::defaultFileName());
    BestDisplay bestDisplay(window, best);
    PadKeys padKeys(window);
    Gamepad gamepad(padKeys);
    window.show();
    return app.exec();
}
