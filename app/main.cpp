#include <QApplication>
#include <QSurfaceFormat>
#include <cstdlib>

#include "app/bestdisplay.h"
#include "app/padkeys.h"
#include "app/personalbest.h"
#include "app/window.h"
#include "devices/gamepad.h"
#include "devices/racesound.h"
#include "devices/sdlsound.h"
#include "devices/soundoptions.h"

int main(int argc, char* argv[]) {
    // The scene is drawn with the fixed-function pipeline: a compatibility context with depth.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);

    const bool muted = soundMuted(argc, argv, std::getenv("SKALDORA_MUTE"));
    QApplication app(argc, argv);
    Window window;
    // The player's kit around the window: the personal best, the gamepad, and the race heard
    // (silent when muted or when no audio device can be opened).
    PersonalBest best(PersonalBest::defaultFileName());
    BestDisplay bestDisplay(window, best);
    PadKeys padKeys(window);
    Gamepad gamepad(padKeys);
    SdlSound sound("sounds", muted);
    RaceSound raceSound(window, sound);
    window.show();
    return app.exec();
}
