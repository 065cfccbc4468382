#include <QApplication>
#include <QSurfaceFormat>
#include <cstdlib>

#include "app/window.h"
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
    // The race heard: silent when muted or when no audio device can be opened.
    SdlSound sound("sounds", muted);
    RaceSound raceSound(window, sound);
    window.show();
    return app.exec();
}
