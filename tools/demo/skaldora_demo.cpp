// The headless demo: builds the real game window, plays one clean run through all ten gates into
// the finish with real key events, and saves screenshots of the window along the way.
//
//   skaldora_demo <output-folder>      (run in the data folder, on a display: see run_demo)
//
// Screenshots: start.png (before the first key), gate.png (approaching the fourth gate),
// finish.png (stopped in the finish zone, the total shown), then camera-<mode>.png for each of the
// six camera views, switched with F1. Exit code 0 when the run finished with every gate passed on
// its right side, 1 otherwise.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/window.h"
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
constexpr float kCruiseSpeed = 70.0f;    // m/s between gates
constexpr float kBrakeDistance = 32.0f;  // metres before a gate where the boarder slows down
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

class Pilot {
public:
    Pilot(Window& window, const QString& folder) : window(window), folder(folder), path(course()) {}

    // One look at the game and at most one steering and one speed key. Called every 20 ms.
    void step() {
        if (clock.elapsed() > 150000)
            return finish("the run took too long");
        GLWidget* scene = window.glWidget;
        const Vec3 p = scene->boarder.getPosition();
        switch (phase) {
            case Phase::Settle:
                if (clock.elapsed() > 1500) {
                    save("start");
                    QTest::mouseClick(scene, Qt::LeftButton);  // the scene takes the keys
                    phase = Phase::Drive;
                }
                break;
            case Phase::Drive:
                drive(p);
                break;
            case Phase::Stop:
                if (scene->boarder.speed > 0) {
                    QTest::keyClick(scene, Qt::Key_Down);
                } else if (!window.running && ++settleTicks > 15) {
                    save("finish");
                    phase = Phase::Cameras;
                    settleTicks = 0;
                }
                break;
            case Phase::Cameras:
                // Press F1, let a few frames come, save the view; six presses come back to mode 0.
                if (settleTicks++ % 12 == 0) {
                    if (camerasSaved == 6)
                        return finish(nullptr);
                    if (settleTicks > 1) {
                        save(QString("camera-%1").arg(scene->camera.mode));
                        ++camerasSaved;
                        if (camerasSaved == 6)
                            return;
                    }
                    QTest::keyClick(scene, Qt::Key_F1);
                }
                break;
            case Phase::Done:
                break;
        }
    }

    int exitCode = 1;

private:
    enum class Phase { Settle, Drive, Stop, Cameras, Done };

    void drive(const Vec3& p) {
        GLWidget* scene = window.glWidget;
        Boarder& boarder = scene->boarder;
        if (window.running)
            wasRunning = true;
        while (next < path.size() - 1 && p.x >= path[next].x)
            ++next;
        const Waypoint& target = path[next];

        if (!gateSaved && p.x >= kGates[3].x - 8.0f) {
            save("gate");
            gateSaved = true;
        }
        if (wasRunning && !window.running && p.x > 950.0f) {
            std::printf("demo: finished at x %.1f z %.1f, gates passed %d, failures %d\n", p.x, p.z,
                        boarder.gatesPassed, boarder.gateFailures);
            std::fflush(stdout);
            phase = Phase::Stop;
            return;
        }

        // Heading: Left turns from +x towards -z, in steps of 10 degrees.
        const Vec3 d = boarder.getDirection();
        const double heading = std::atan2(-d.z, d.x) * 180.0 / kPi;
        const double wanted = std::atan2(-(target.z - p.z), target.x - p.x) * 180.0 / kPi;
        double turn = wanted - heading;
        while (turn > 180)
            turn -= 360;
        while (turn < -180)
            turn += 360;
        if (turn > 5) {
            QTest::keyClick(scene, Qt::Key_Left);
        } else if (turn < -5) {
            QTest::keyClick(scene, Qt::Key_Right);
        }

        // Slow through each gate window, fast between gates.
        float speed = kCruiseSpeed;
        for (const Gate& g : kGates) {
            if (p.x > g.x - kBrakeDistance && p.x < g.x + 3.0f)
                speed = kGateSpeed;
        }
        if (boarder.speed < speed - 5) {
            QTest::keyClick(scene, Qt::Key_Up);
        } else if (boarder.speed > speed + 5) {
            QTest::keyClick(scene, Qt::Key_Down);
        }
        if (window.endurance <= 0)
            finish("endurance ran out");
    }

    void save(const QString& name) {
        const QString file = QDir(folder).filePath(name + ".png");
        const bool saved = window.grab().save(file);
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
    bool wasRunning = false;
    bool gateSaved = false;
    int settleTicks = 0;
    int camerasSaved = 0;

public:
    QElapsedTimer clock;
};

}  // namespace

int main(int argc, char* argv[]) {
    // The same surface as the game's own entry point.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
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
    window.show();
    Pilot pilot(window, folder);
    pilot.clock.start();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&pilot] { pilot.step(); });
    timer.start(20);
    app.exec();
    return pilot.exitCode;
}
