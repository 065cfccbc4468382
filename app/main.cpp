#include <unistd.h>

#include <QApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app/bestdisplay.h"
#include "app/commandline.h"
#include "app/ghost.h"
#include "app/padkeys.h"
#include "app/personalbest.h"
#include "app/runrecordfile.h"
#include "app/window.h"
#include "devices/gamepad.h"
#include "app/racesound.h"
#include "devices/sdlsound.h"
#include "devices/soundoptions.h"
#include "scene/glwidget.h"

namespace {

// The files the game reads from its working directory.
const char* const dataFiles[] = {"boarder.iv", "start.iv",   "finish.iv",
                                 "tree.iv",    "snow16.bmp", "panorama20480256.bmp"};

// Started in a folder that holds none of the game's files (from the checkout's root, say), the
// game would show a bare white slope; one line says where it looked and how to start it.
void tellWhenNoDataHere() {
    for (const char* file : dataFiles) {
        if (access(file, F_OK) == 0) {
            return;
        }
    }
    char here[4096];
    const char* folder = getcwd(here, sizeof here) != nullptr ? here : "the working directory";
    std::cerr << "skaldora: none of the game's data files (boarder.iv, snow16.bmp, ...) is in "
              << folder
              << "; start the game with scripts/play from its checkout, or from its data folder"
              << std::endl;
}

QtMessageHandler toolkitMessages = nullptr;

// While the toolkit starts: should it find no display after all (DISPLAY names one that cannot
// be reached), it aborts the program with a fatal message; the game says why in its own words
// first.
void startupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        const char* display = std::getenv("DISPLAY");
        std::cerr << "skaldora: the display " << (display != nullptr ? display : "")
                  << " could not be opened; start the game in a desktop session, or under "
                     "xvfb-run"
                  << std::endl;
    }
    toolkitMessages(type, context, message);
}

// Whether the toolkit's platform can make an OpenGL context at all ("offscreen" and "minimal",
// or an X server without GLX, cannot): the scene is drawn with nothing else.
bool openGLAvailable() {
    QOpenGLContext probe;
    return probe.create();
}

}  // namespace

int main(int argc, char* argv[]) {
    // The game's own options come first: --help and --version answer without a display.
    const CommandLine options = parseCommandLine(argc, argv);
    switch (options.action) {
        case CommandLine::ShowHelp: std::cout << usageText() << std::flush; return 0;
        case CommandLine::ShowVersion: std::cout << versionText() << std::flush; return 0;
        case CommandLine::Refuse: std::cerr << options.error << std::endl; return 2;
        case CommandLine::Play: break;
    }
    tellWhenNoDataHere();

    // The scene is drawn with the fixed-function pipeline: a compatibility context with depth.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);

    const std::string noDisplay =
        missingDisplayProblem(argc, argv, std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                              std::getenv("WAYLAND_DISPLAY"));
    if (!noDisplay.empty()) {
        std::cerr << noDisplay << std::endl;
        return 1;
    }

    const bool muted = soundMuted(argc, argv, std::getenv("SKALDORA_MUTE"));
    toolkitMessages = qInstallMessageHandler(startupMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(toolkitMessages);
    if (!openGLAvailable()) {
        std::cerr << "skaldora: the " << QApplication::platformName().toStdString()
                  << " platform offers no OpenGL, which the game draws its scene with" << std::endl;
        return 1;
    }
    Window window;
    window.glWidget->setFrameRate(options.frameRate);
    // The player's kit around the window: the personal best, the gamepad, and the race heard
    // (silent when muted or when no audio device can be opened).
    PersonalBest best(PersonalBest::defaultFileName());
    BestDisplay bestDisplay(window, best);
    // Every run recorded, the best one kept and raced as a ghost, with split times.
    Ghost::Options ghostOptions;
    ghostOptions.show = !options.noGhost;
    ghostOptions.rivalFile = options.ghostFile;
    ghostOptions.bestRunFile = defaultBestRunFile();
    Ghost ghost(window, best, ghostOptions);
    PadKeys padKeys(window);
    // SDL's devices start once the first frame is on screen: opening them (and, where there is no
    // audio device, SDL's giving up on sound, which waits for a thread of its own) would hold the
    // window back by tens of milliseconds, up to a tenth of a second. Nobody plays before the
    // scene is seen. Should no frame come within a second (a window that starts hidden), they
    // start then.
    std::unique_ptr<Gamepad> gamepad;
    std::unique_ptr<SdlSound> sound;
    std::unique_ptr<RaceSound> raceSound;
    auto startDevices = [&] {
        if (gamepad != nullptr) {
            return;
        }
        gamepad = std::make_unique<Gamepad>(padKeys);
        sound = std::make_unique<SdlSound>("sounds", muted);
        raceSound = std::make_unique<RaceSound>(window, *sound);
    };
    window.glWidget->afterFirstFrame(startDevices);
    QTimer::singleShot(1000, &app, startDevices);
    window.show();
    return app.exec();
}
