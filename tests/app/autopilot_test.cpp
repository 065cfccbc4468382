// End-to-end races on the real window with its real timers: an autopilot steers the boarder with
// key presses into the scene, from the start through the ten gates into the finish.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLCDNumber>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "app/race.h"
#include "app/window.h"
#include "scene/glwidget.h"
#include "support/game_probe.h"

namespace {

// A point to steer at; the autopilot moves on to the next once the boarder is 2 m past its x.
struct Waypoint {
    float x, z;
};

const float slowSpeed = 20.0f;  // through a gate window: 2 m per 100 ms check, window 4 m wide

// The distance the boarder covers while Down is pressed from speed s to slowSpeed: each press
// takes one step at its new speed.
float brakingDistance(float s) {
    float d = 0.0f;
    for (float v = s - 10.0f; v >= slowSpeed; v -= 10.0f) {
        d += v * 0.05f;
    }
    return d;
}

// The highest speed from which the boarder can still brake to slowSpeed before a window that
// starts `room` metres ahead, keeping ten 50 ms ticks in hand for a late autopilot: a busy machine
// may hold the autopilot back while the scene catches up as many missed steps (the most it takes).
float safeSpeed(float room) {
    float best = slowSpeed;
    for (float s = slowSpeed + 10.0f; s <= 100.0f; s += 10.0f) {
        if (brakingDistance(s) + 10.0f * 0.05f * s <= room) {
            best = s;
        }
    }
    return best;
}

class Autopilot : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_NO_FATAL_FAILURE(clickIntoScene());
        // Only the steps' own frames: the autopilot reads the state between them, and frames
        // drawn between the steps (tested in the scene's own tests) would take the turns it needs
        // on a slow build (the sanitizers on a software renderer).
        scene->setFrameRate(20);
        scene->addStepListener(
            [this](const MotionStep&) { path.push_back(boarder.getPosition()); });
    }

    // Where the boarder's steps crossed each gate's x (the first crossing), for a failure message.
    std::string crossings() const {
        std::ostringstream out;
        for (int i = 0; i < 10; ++i) {
            const float g = scene->gates[i].x;
            for (size_t k = 1; k < path.size(); ++k) {
                const Vec3 a = path[k - 1], b = path[k];
                if (a.x < g && b.x >= g) {
                    const float z = a.z + (b.z - a.z) * ((g - a.x) / (b.x - a.x));
                    out << "gate " << i << " (z " << scene->gates[i].z << ") crossed at z " << z
                        << " after step " << k << ", " << b.x - a.x << " m a step\n";
                    break;
                }
            }
        }
        return out.str();
    }

    void clickIntoScene() {
        QTest::mouseClick(scene, Qt::LeftButton, Qt::NoModifier, scene->rect().center());
        ASSERT_TRUE(scene->hasFocus());
    }

    void key(Qt::Key k) { QTest::keyClick(scene, k); }

    // The waypoint beside gate i: `side` metres to the boarder's right (+z) of a red pole and to
    // its left of a blue one; a negative side passes on the wrong hand.
    Waypoint besideGate(int i, float side) const {
        const Vec3 g = scene->gates[i];
        return Waypoint{g.x, g.z + (i % 2 == 0 ? side : -side)};
    }

    // One step of the autopilot: a turn towards the waypoint, then the speed the next gate
    // window allows. The boarder aims at least 10 m ahead, so that it lines up with the waypoint's
    // z and crosses the gate's x there instead of circling round the waypoint.
    void steer(const Waypoint& w) {
        const Vec3 p = boarder.getPosition();
        const Vec3 d = boarder.getDirection();
        const double aheadX = std::max(static_cast<double>(w.x) - p.x, 10.0);
        // Angles as the boarder counts them: positive from +x towards -z.
        const double want = std::atan2(-(w.z - p.z), aheadX) * 180.0 / M_PI;
        const double off = std::remainder(want - std::atan2(-d.z, d.x) * 180.0 / M_PI, 360.0);
        // The whole turn at once, in the 10 degree steps of the keys: an autopilot that took one
        // step a call fell behind the course on a slow machine, where every key's frame is slow.
        const long turns = std::lround(off / 10.0);
        for (long i = 0; i < std::labs(turns); ++i) {
            key(turns > 0 ? Qt::Key_Left : Qt::Key_Right);
        }

        float target = 100.0f;
        for (int i = 0; i < 10; ++i) {
            if (scene->gates[i].x + 2.0f > p.x) {
                target = safeSpeed(scene->gates[i].x - 2.0f - p.x);
                break;
            }
        }
        if (boarder.speed < target) {
            key(Qt::Key_Up);
        }
        while (boarder.speed > target) {
            key(Qt::Key_Down);
        }
    }

    // Drives along the waypoints until the finish stops the clock (or the time is up), stops the
    // boarder, and checks the run: every gate printed once in order, the failures counted and
    // shown, and the total equal to the time shown plus the penalty.
    void expectRun(const std::vector<Waypoint>& waypoints, int failures) {
        CoutCapture console;
        QElapsedTimer wall;
        wall.start();
        size_t next = 0;
        bool started = false, finished = false;
        // Endurance would end a run after 34 s; a slow machine (a sanitizer build on a busy
        // llvmpipe) may need that long, and this race is about the gates and the clock.
        window.endurance = 1000;
        while (wall.elapsed() < 120000) {
            QTest::qWait(5);
            started = started || window.running;
            if (started && !window.running) {
                finished = window.endurance > 0;  // not a game over
                break;
            }
            while (next + 1 < waypoints.size() && boarder.position.x > waypoints[next].x + 2.0f) {
                ++next;
            }
            steer(waypoints[next]);
        }
        while (boarder.speed > 0.0f) {
            key(Qt::Key_Down);
        }
        ASSERT_TRUE(finished);
        const int shownMs = window.shownMs;
        std::istringstream lines(console.text());
        std::vector<std::string> gateLines;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("gate ", 0) == 0) {
                gateLines.push_back(line);
            }
        }
        std::vector<std::string> expected;
        for (int i = 0; i < 10; ++i) {
            expected.push_back("gate " + std::to_string(i) + "passed");
        }
        EXPECT_EQ(gateLines, expected);
        EXPECT_EQ(boarder.gateFailures, failures) << crossings();
        EXPECT_TRUE(lcdShows(window.gateFailuresLCD, QString::number(failures)));
        EXPECT_GT(shownMs, 3000);
        EXPECT_TRUE(lcdShows(window.timerLCD, race::clockText(shownMs)));
        EXPECT_TRUE(
            lcdShows(window.totalResultLCD, race::timeText(shownMs + race::penaltyMs * failures)));
        EXPECT_FALSE(window.running);
        // The clock stays at the run time after the finish.
        QTest::qWait(150);
        EXPECT_EQ(window.shownMs, shownMs);
    }

    // The whole course, with the gates listed in `wrong` passed on the wrong hand.
    std::vector<Waypoint> course(const std::vector<int>& wrong) const {
        // Into the start zone (z < 0), close enough to gate 0's passing side that a late
        // autopilot still lines up with it.
        std::vector<Waypoint> route{{185.0f, -10.0f}};
        for (int i = 0; i < 10; ++i) {
            const bool isWrong = std::count(wrong.begin(), wrong.end(), i) > 0;
            route.push_back(besideGate(i, isWrong ? -15.0f : 15.0f));
        }
        route.push_back({955.0f, 146.0f});  // the middle of the finish zone (109 < z < 183)
        return route;
    }

    // Drives into the start zone and waits until the clock runs.
    void startRun() {
        QElapsedTimer wall;
        wall.start();
        while (!window.running && wall.elapsed() < 10000) {
            QTest::qWait(5);
            steer(Waypoint{185.0f, -20.0f});
        }
        ASSERT_TRUE(window.running);
    }

    Window window;
    GLWidget* scene = window.glWidget;
    Boarder& boarder = window.glWidget->boarder;
    std::vector<Vec3> path;  // the boarder's position after each motion step
};

// Seven gates on their right hand, three on the wrong one.
TEST_F(Autopilot, WrongSidesCostFiveSecondsEach) {
    expectRun(course({2, 5, 8}), 3);
}

TEST_F(Autopilot, UsedUpEnduranceEndsTheGame) {
    ASSERT_NO_FATAL_FAILURE(startRun());
    while (boarder.speed > 0.0f) {
        key(Qt::Key_Down);
    }
    // The real 1000 ms timer may already have ticked while the run started: start from full.
    window.endurance = window.enduranceMax;
    for (int i = 0; i < 33; ++i) {
        ASSERT_TRUE(QMetaObject::invokeMethod(&window, "setProgressBarValue"));
    }
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "checkGateFailures"));
    EXPECT_EQ(window.endurance, 1);
    EXPECT_TRUE(window.running);  // the last bit of endurance still races
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "setProgressBarValue"));
    EXPECT_EQ(window.endurance, -2);
    EXPECT_EQ(window.enduranceBar->value(), 1);
    QTest::qWait(250);  // the next check declares the game over
    EXPECT_FALSE(window.running);
    // The real 1000 ms timer may have taken 3 more before that check; from now on nothing falls.
    const int enduranceAtGameOver = window.endurance;
    EXPECT_LE(enduranceAtGameOver, -2);
    EXPECT_EQ(window.statusLabel->text(), "      GAME OVER      ");
    EXPECT_TRUE(lcdShows(window.timerLCD, "99:99.999"));
    EXPECT_TRUE(lcdShows(window.totalResultLCD, "99:99.999"));
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "99"));
    // Still in the start zone: the game stays over and endurance falls no further.
    QTest::qWait(1200);
    EXPECT_FALSE(window.running);
    EXPECT_EQ(window.endurance, enduranceAtGameOver);
    EXPECT_TRUE(lcdShows(window.timerLCD, "99:99.999"));
}

TEST_F(Autopilot, NewGameDuringARunPutsEverythingBack) {
    key(Qt::Key_F1);
    ASSERT_NO_FATAL_FAILURE(startRun());
    QTest::qWait(300);
    ASSERT_TRUE(window.running);
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "setProgressBarValue"));
    EXPECT_LT(window.enduranceBar->value(), 100);
    EXPECT_EQ(scene->camera.mode, 1);
    QTest::mouseClick(window.newGameButton, Qt::LeftButton);
    EXPECT_FALSE(window.running);
    EXPECT_EQ(window.endurance, 100);
    EXPECT_EQ(window.enduranceBar->value(), 100);
    EXPECT_EQ(window.statusLabel->text(), QString(22, ' '));
    EXPECT_EQ(boarder.position.x, 100.0f);
    EXPECT_EQ(boarder.position.z, 0.0f);
    EXPECT_EQ(boarder.speed, 0.0f);
    EXPECT_EQ(scene->camera.mode, 0);
    QTest::qWait(300);  // the clock stays at zero: the boarder is back before the start zone
    EXPECT_FALSE(window.running);
    EXPECT_TRUE(lcdShows(window.timerLCD, "00:00.000"));
    EXPECT_TRUE(lcdShows(window.totalResultLCD, "00:00.000"));
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "0"));
    // The button took the focus; the scene gets it back with a click and the boarder obeys.
    ASSERT_NO_FATAL_FAILURE(clickIntoScene());
    key(Qt::Key_Up);
    EXPECT_EQ(boarder.speed, 10.0f);
}

}  // namespace
