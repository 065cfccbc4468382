// The headless demo: builds the real game window, plays one clean run through all ten gates into
// the finish with real key events, and saves screenshots of the window along the way.
//
//   skaldora_demo <output-folder>      (run in the data folder, on a display: see run_demo)
//
// Game time is paced by the demo: it stops the window's and the scene's timers and runs their
// slots itself, one 50 ms tick after another (the step and redraw; the clock; every second tick
// the start, finish and gate checks; every twentieth the endurance), with the player's keys in
// between. So the run does not depend on how fast the machine draws: under software GL on a busy
// machine a frame can take longer than a tick, and the real-time endurance would run out first.
// The race clock reads real time, so on a machine that keeps the pace it shows the game time.
//
// Screenshots: start.png (before the first key), gate.png (approaching the fourth gate),
// finish.png (stopped in the finish zone, the total shown and, beside the endurance bar, "NEW
// BEST": the demo keeps its personal best in a temporary folder of its own, so its finish is
// always the first, and the player's record is never touched), then camera-<mode>.png for each
// of the six camera views, switched with F1. Exit code 0 when the run finished with every gate
// passed on its right side, 1 otherwise.
//
// Sound: the game's own (SdlSound and RaceSound, from the sounds folder), on whatever audio
// device SDL opens; run_demo chooses SDL's disk driver, which writes the mix to a file.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPushButton>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/bestdisplay.h"
#include "app/personalbest.h"
#include "app/racesound.h"
#include "app/window.h"
#include "devices/sdlsound.h"
#include "scene/glwidget.h"

namespace {

// The gate table of the course: red gates (even index) are passed with z above the gate's z,
// blue ones with z at or below it.
struct Gate {
    float x, z;
};
const Gate kGates[10] = {{220, -17}, {270, -30}, {360, 39}, {440, -30}, {520, 34},
                         {580, 100}, {640, 160}, {730, 70}, {800, 110}, {880, 84}};

constexpr float kSideMargin = 10.0f;     // metres beside a gate's pole on its passing side
constexpr float kGateSpeed = 20.0f;      // m/s through a gate window (checked every 100 ms, +-2 m)
constexpr float kCruiseSpeed = 60.0f;    // m/s between gates
constexpr float kBrakeDistance = 22.0f;  // metres before a gate where the boarder slows down
constexpr double kPi = 3.14159265358979323846;

struct Waypoint {
    float x, z;
    int gate;  // the gate this point leads through, -1 for none
};

// The line the boarder follows: into the start zone, then for every gate a point before it and
// one just after it on its passing side, then the middle of the finish zone.
std::vector<Waypoint> course() {
    std::vector<Waypoint> points;
    for (int i = 0; i < 10; ++i) {
        const float z = kGates[i].z + (i % 2 == 0 ? kSideMargin : -kSideMargin);
        points.push_back({kGates[i].x - 12.0f, z, i});
        points.push_back({kGates[i].x + 3.0f, z, i});
    }
    points.push_back({990.0f, 146.0f, -1});
    return points;
}

// Prints each race event with its time since the sound started, to find its cue in the mix.
class EventLog : public RaceListener {
public:
    EventLog() { clock.start(); }
    void raceEvent(const RaceEvent& e) override {
        const char* what[] = {"clock started", "gate judged", "finished", "game over"};
        std::printf("demo: %7.3f s into the sound: %s", clock.elapsed() / 1000.0, what[e.kind]);
        if (e.kind == RaceEvent::GateJudged) {
            std::printf(" %d, %s side", e.gate, e.wrongSide ? "wrong" : "right");
        }
        std::printf("\n");
        std::fflush(stdout);
    }

private:
    QElapsedTimer clock;
};

class Pilot {
public:
    Pilot(Window& window, const QString& folder) : window(window), folder(folder), path(course()) {}

    // Stops the game's own timers: the demo runs their slots itself (tick).
    void takeOverTimers() {
        for (QTimer* timer : window.findChildren<QTimer*>())
            timer->stop();
    }

    // One 50 ms tick of game time: at most one key of the player, then the game's timer slots.
    void step() {
        GLWidget* scene = window.glWidget;
        const Vec3 p = scene->boarder.getPosition();
        act(p);
        if (phase == Phase::Done)
            return;
        scene->boarderMoveForward();
        QMetaObject::invokeMethod(&window, "showTime");
        if (tickCount % 2 == 0) {
            QMetaObject::invokeMethod(&window, "checkStart");
            QMetaObject::invokeMethod(&window, "checkFinish");
            QMetaObject::invokeMethod(&window, "checkGateFailures");
        }
        if (tickCount % 20 == 19)
            QMetaObject::invokeMethod(&window, "setProgressBarValue");
        ++tickCount;
    }

    int exitCode = 1;

private:
    enum class Phase { Settle, Drive, Stop, Cameras, Done };

    void act(const Vec3& p) {
        GLWidget* scene = window.glWidget;
        switch (phase) {
            case Phase::Settle:
                if (tickCount == 20) {
                    save("start");
                    QTest::mouseClick(scene, Qt::LeftButton);  // the scene takes the keys
                    phase = Phase::Drive;
                }
                break;
            case Phase::Drive:
                if (tickCount > 4000)
                    return finish("the run took too long");
                drive(p);
                break;
            case Phase::Stop:
                if (scene->boarder.speed > 0) {
                    QTest::keyClick(scene, Qt::Key_Down);
                } else if (!window.running && ++waitTicks > 10) {
                    save("finish");
                    phase = Phase::Cameras;
                    waitTicks = 0;
                }
                break;
            case Phase::Cameras:
                // Press F1, let a few frames come, save the view; six presses come back to mode 0.
                if (waitTicks++ % 5 == 0) {
                    if (waitTicks > 1) {
                        save(QString("camera-%1").arg(scene->camera.mode));
                        if (++camerasSaved == 6)
                            return finish(nullptr);
                    }
                    QTest::keyClick(scene, Qt::Key_F1);
                }
                break;
            case Phase::Done:
                break;
        }
    }

    void drive(const Vec3& p) {
        GLWidget* scene = window.glWidget;
        Boarder& boarder = scene->boarder;
        if (window.running)
            wasRunning = true;
        if (wasRunning && !window.running && p.x > 950.0f) {
            std::printf("demo: in the finish zone at x %.1f z %.1f\n", p.x, p.z);
            std::fflush(stdout);
            phase = Phase::Stop;
            return;
        }
        // A machine too busy to keep the game's pace, or a missed gate, spoils the run: try again.
        for (int i = 0; i < 10; ++i) {
            if (p.x > kGates[i].x + 4.0f && boarder.gatesPassed <= i)
                return retry("a gate was missed");
        }
        if (boarder.gateFailures > 0)
            return retry("a gate was passed on the wrong side");
        if (window.endurance <= 0)
            return retry("endurance ran out");

        while (next < path.size() - 1 && p.x >= path[next].x)
            ++next;
        const Waypoint& target = path[next];
        if (!gateSaved && p.x >= kGates[3].x - 8.0f) {
            save("gate");
            gateSaved = true;
        }

        // Speed first: slow through each gate window, fast between gates.
        float speed = kCruiseSpeed;
        for (const Gate& g : kGates) {
            if (p.x > g.x - kBrakeDistance && p.x < g.x + 3.0f)
                speed = kGateSpeed;
        }
        if (boarder.speed < speed - 5)
            return QTest::keyClick(scene, Qt::Key_Up);
        if (boarder.speed > speed + 5)
            return QTest::keyClick(scene, Qt::Key_Down);

        // Then the heading, towards the next waypoint. Left turns from +x towards -z by 10 degrees.
        const Vec3 d = boarder.getDirection();
        const double heading = std::atan2(-d.z, d.x) * 180.0 / kPi;
        double turn = std::atan2(-(target.z - p.z), target.x - p.x) * 180.0 / kPi - heading;
        while (turn > 180)
            turn -= 360;
        while (turn < -180)
            turn += 360;
        if (turn > 6)
            return QTest::keyClick(scene, Qt::Key_Left);
        if (turn < -6)
            return QTest::keyClick(scene, Qt::Key_Right);
    }

    void retry(const char* why) {
        if (++attempts == 3)
            return finish(why);
        std::printf("demo: %s; New Game and another try\n", why);
        std::fflush(stdout);
        window.newGameButton->click();
        QTest::mouseClick(window.glWidget, Qt::LeftButton);
        next = 0;
        wasRunning = false;
    }

    void save(const QString& name) {
        const QString file = QDir(folder).filePath(name + ".png");
        // QWidget::grab blends the scene's framebuffer by its alpha (the clear colour has 0.5)
        // over the window's background; on screen the scene is opaque, so it is painted opaque.
        QImage picture = window.grab().toImage();
        QPainter painter(&picture);
        const QImage scene =
            window.glWidget->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        painter.drawImage(
            QRect(window.glWidget->mapTo(&window, QPoint(0, 0)), window.glWidget->size()), scene);
        painter.end();
        const bool saved = picture.save(file);
        std::printf("demo: %s %s\n", saved ? "saved" : "could not save", qPrintable(file));
        std::fflush(stdout);
    }

    void finish(const char* failure) {
        phase = Phase::Done;
        const Boarder& b = window.glWidget->boarder;
        const bool clean = failure == nullptr && b.gatesPassed == 10 && b.gateFailures == 0;
        if (failure != nullptr)
            std::printf("demo: FAILED: %s\n", failure);
        std::printf("demo: gates passed %d, gate failures %d, run %d ms, total %d ms -> %s\n",
                    b.gatesPassed, b.gateFailures, window.shownMs,
                    window.shownMs + 5000 * b.gateFailures,
                    clean ? "clean run" : "NOT a clean run");
        std::fflush(stdout);
        exitCode = clean ? 0 : 1;
        QCoreApplication::exit(exitCode);
    }

    Window& window;
    QString folder;
    std::vector<Waypoint> path;
    size_t next = 0;
    Phase phase = Phase::Settle;
    int tickCount = 0;
    bool wasRunning = false;
    bool gateSaved = false;
    int attempts = 0;
    int waitTicks = 0;
    int camerasSaved = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    // The game's own surface, except that buffer swaps do not wait for a vertical blank: a virtual
    // X server has none, and its stand-in makes every synchronous redraw wait about 50 ms.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setSwapInterval(0);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skaldora_demo <output-folder>  (run in the data folder)\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "skaldora_demo: cannot make %s\n", argv[1]);
        return 2;
    }

    Window window;
    QTemporaryDir bestFolder;
    PersonalBest best(bestFolder.isValid() ? QDir(bestFolder.path()).filePath("skaldora.ini")
                                           : QString());
    BestDisplay bestDisplay(window, best);
    // The game's sound as in the game; run_demo has SDL's disk driver record the mix to a file.
    SdlSound sound("sounds");
    EventLog events;
    RaceSound raceSound(window, sound);
    window.addRaceListener(&events);
    window.show();
    Pilot pilot(window, folder);
    pilot.takeOverTimers();
    // One tick every 50 ms of real time where the machine keeps up, later where it does not; the
    // window's painting and input events flow between ticks.
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&pilot] { pilot.step(); });
    timer.start(50);
    app.exec();
    window.removeRaceListener(&events);
    return pilot.exitCode;
}
