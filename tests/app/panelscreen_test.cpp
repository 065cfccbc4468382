// The panel as the X server shows it while a run is under way. A thread of the test takes pictures
// of the root window (XGetImage, as `import -window root` or `xwd -root` do) the whole time, in
// each of the six camera views, and every picture must show the three LCDs, the endurance bar and
// the status label whole. QWidget::grab cannot stand in for this: it paints the widget afresh, so
// a display that the screen shows blank looks fine to it.
//
// The binary starts an X server of its own, so that no other test's window ever covers the panel,
// and runs in the game's data folder, so that the scene draws what a player sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLCDNumber>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/window.h"
#include "scene/glwidget.h"
#include "ship/support/gameprocess.h"
#include "ship/support/rootpicture.h"
#include "support/game_probe.h"
#include "support/qt_run.h"
#include "world/heightmap.h"

namespace {

std::string displayName;

// One widget of the panel: where it is on the screen, and the test a picture of it must pass.
struct Part {
    Part(std::string n, QRect r, std::function<bool(const QImage&)> s)
        : name(std::move(n)), onScreen(r), shown(std::move(s)) {}

    std::string name;
    QRect onScreen;
    std::function<bool(const QImage&)> shown;
    int missing = 0;  // pictures without it
    QImage firstMissing;
};

// The picture a QLCDNumber like lcd would show with text, in the root picture's pixel format.
QImage lcdScreenPicture(QLCDNumber* lcd, const QString& text) {
    return ::lcdPicture(lcd, text).convertToFormat(QImage::Format_RGB32);
}

QImage picture(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Any of pictures, pixel for pixel.
std::function<bool(const QImage&)> oneOf(std::vector<QImage> pictures) {
    return [pictures](const QImage& shot) {
        for (const QImage& p : pictures) {
            if (p == shot) {
                return true;
            }
        }
        return false;
    };
}

// The race clock: its frame as drawn at rest, the minutes "00" of the first minute of a run, and
// inside the frame no colour that no text of the display would give.
std::function<bool(const QImage&)> clockShown(QLCDNumber* lcd) {
    const QImage rest = lcdScreenPicture(lcd, QStringLiteral("00:00.000"));
    const QImage minutes = lcdScreenPicture(lcd, QStringLiteral("00       "));
    const QImage blank = lcdScreenPicture(lcd, QStringLiteral("         "));
    const int frame = lcd->frameWidth();
    const QRect inside = rest.rect().adjusted(frame, frame, -frame, -frame);
    // The edges of the segments are smoothed, so their colours depend on the digit's shape.
    std::vector<QRgb> colours;
    for (QChar d = '0'; d <= '9'; d = QChar(d.unicode() + 1)) {
        for (const QString& text : {QStringLiteral("dd:dd.ddd"), QStringLiteral("dd dd.ddd")}) {
            const QImage p = lcdScreenPicture(lcd, QString(text).replace('d', d));
            for (int y = inside.top(); y <= inside.bottom(); ++y) {
                for (int x = inside.left(); x <= inside.right(); ++x) {
                    if (std::find(colours.begin(), colours.end(), p.pixel(x, y)) == colours.end()) {
                        colours.push_back(p.pixel(x, y));
                    }
                }
            }
        }
    }
    return [=](const QImage& shot) {
        if (shot.size() != rest.size()) {
            return false;
        }
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb c = shot.pixel(x, y);
                if (!inside.contains(x, y)) {
                    if (c != rest.pixel(x, y)) {
                        return false;  // the frame
                    }
                } else if (minutes.pixel(x, y) != blank.pixel(x, y)) {
                    if (c != minutes.pixel(x, y)) {
                        return false;  // the minutes' digits
                    }
                } else if (std::find(colours.begin(), colours.end(), c) == colours.end()) {
                    return false;
                }
            }
        }
        return true;
    };
}

// Takes pictures of the parts from the root window until stopped; each part of each picture is
// judged at once, so that only counts are kept.
class Photographer {
public:
    explicit Photographer(std::vector<Part>& parts) : parts_(parts) {
        thread_ = std::thread([this] { run(); });
    }
    ~Photographer() { stop(); }
    Photographer(const Photographer&) = delete;
    Photographer& operator=(const Photographer&) = delete;

    int pictures() const { return pictures_; }
    bool failed() const { return failed_; }
    void stop() {
        stopping_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    void run() {
        RootPicture root(displayName);
        if (!root.ok()) {
            failed_ = true;
            return;
        }
        std::vector<std::uint32_t> pixels;
        while (!stopping_) {
            for (Part& part : parts_) {
                const QRect& r = part.onScreen;
                if (!root.take(r.x(), r.y(), r.width(), r.height(), pixels)) {
                    failed_ = true;
                    return;
                }
                QImage shot(r.size(), QImage::Format_RGB32);
                for (int y = 0; y < r.height(); ++y) {
                    auto* line = reinterpret_cast<QRgb*>(shot.scanLine(y));
                    for (int x = 0; x < r.width(); ++x) {
                        line[x] = 0xff000000u | pixels[static_cast<size_t>(y) * r.width() + x];
                    }
                }
                if (!part.shown(shot) && part.missing++ == 0) {
                    part.firstMissing = shot;
                }
            }
            ++pictures_;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    }

    std::vector<Part>& parts_;
    std::atomic<int> pictures_{0};
    std::atomic<bool> failed_{false};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// Runs the event loop as the game does (QTest::qWait would sleep between its rounds, which paces
// the timers otherwise) until done() holds or ms pass; true when it held.
bool runUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || waited.elapsed() > ms) {
            loop.quit();
        }
    });
    poll.start(20);
    loop.exec();
    return done();
}

QRect onScreen(QWidget* w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

}  // namespace

TEST(PanelOnScreen, EveryPartIsInEveryPictureOfARunInEveryView) {
    Window window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(window.devicePixelRatio(), 1.0);
    GLWidget* scene = window.glWidget;
    QTest::mouseClick(scene, Qt::LeftButton, Qt::NoModifier, scene->rect().center());
    // The first checks have shown the gate failures as "0".
    QTest::qWait(300);

    // What each part may show during the run: the bar falls by 3 each second from 100.
    std::vector<QImage> bars;
    for (int v = window.enduranceMax; v > 0; v -= 3) {
        window.enduranceBar->setValue(v);
        bars.push_back(picture(window.enduranceBar));
    }
    window.enduranceBar->setValue(window.enduranceMax);
    std::vector<Part> parts;
    parts.push_back({"timerLCD", onScreen(window.timerLCD), clockShown(window.timerLCD)});
    parts.push_back({"gateFailuresLCD", onScreen(window.gateFailuresLCD),
                     oneOf({lcdScreenPicture(window.gateFailuresLCD, QStringLiteral("0"))})});
    parts.push_back(
        {"totalResultLCD", onScreen(window.totalResultLCD),
         oneOf({lcdScreenPicture(window.totalResultLCD, QStringLiteral("00:00.000"))})});
    parts.push_back({"enduranceBar", onScreen(window.enduranceBar), oneOf(bars)});
    parts.push_back(
        {"statusLabel", onScreen(window.statusLabel), oneOf({picture(window.statusLabel)})});

    // Into the start zone at speed 10, heading down the course.
    Boarder& boarder = scene->boarder;
    boarder.position = Vec3(175.0f, heightAt(175.0f, -30.0f), -30.0f);
    QTest::keyClick(scene, Qt::Key_Up);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.running; }, 5000));

    // The run is kept within what the pictures expect, however slowly a busy machine lets the
    // test go on: the boarder before the first gate (no gate failure), endurance above the end of
    // the game (the bar shows 100, 97, ...), the clock in its first minute.
    QTimer keeper;
    QObject::connect(&keeper, &QTimer::timeout, [&] {
        if (boarder.position.x > 190.0f) {
            boarder.position.x = 175.0f;
        }
        if (window.endurance < 40) {
            window.endurance = window.enduranceMax;
        }
        if (window.raceTime.elapsed() > 50000) {
            window.raceTime.start();
        }
    });
    keeper.start(20);

    const int perView = 55;
    {
        Photographer camera(parts);
        for (int view = 0; view < 6; ++view) {
            if (view > 0) {
                QTest::keyClick(scene, Qt::Key_F1);
            }
            ASSERT_EQ(scene->camera.mode, view);
            ASSERT_TRUE(runUntil([&] { return camera.pictures() >= perView * (view + 1); }, 60000))
                << camera.pictures() << " pictures in view " << view;
            ASSERT_FALSE(camera.failed()) << "the X server gave no picture";
        }
        camera.stop();
        EXPECT_GE(camera.pictures(), 300);
    }
    keeper.stop();
    EXPECT_TRUE(window.running);
    EXPECT_GT(window.elapsedMs, 3000);
    EXPECT_EQ(boarder.gateFailures, 0);
    for (Part& part : parts) {
        EXPECT_EQ(part.missing, 0) << part.name << " is missing from pictures";
        if (part.missing > 0) {
            const QString file =
                QDir::temp().filePath(QString::fromStdString("panelscreen-" + part.name + ".png"));
            part.firstMissing.save(file);
            std::fprintf(stderr, "first picture without %s: %s\n", part.name.c_str(),
                         file.toLocal8Bit().constData());
        }
    }
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    VirtualDisplay display("1366x768x24");
    if (display.name().empty()) {
        std::fprintf(stderr, "panelscreen_test: Xvfb could not be started\n");
        return 1;
    }
    displayName = display.name();
    setenv("DISPLAY", displayName.c_str(), 1);
    unsetenv("QT_SCALE_FACTOR");
    unsetenv("QT_SCREEN_SCALE_FACTORS");
    unsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
    unsetenv("QT_ENABLE_HIGHDPI_SCALING");
    if (chdir(SKALDORA_DATA_DIR) != 0) {
        std::fprintf(stderr, "panelscreen_test: no data folder %s\n", SKALDORA_DATA_DIR);
        return 1;
    }
    char* qtArgv[] = {argv[0], nullptr};
    return runTestsInApplication(1, qtArgv);
}
