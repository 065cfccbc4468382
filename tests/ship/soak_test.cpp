// A long session on the real window: minutes of simulated play, driven by calling the game's own
// timer slots in a loop (so game time passes far faster than real time) with real key events and
// "New Game" clicks in between, rendering frames as it goes. Resident memory must settle after the
// first simulated minute. The sanitizer build runs a shorter session; its leak checker reports
// anything lost at exit.
#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>
#include <QMetaObject>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string>

#include "app/window.h"
#include "scene/glwidget.h"
#include "ship/support/gamefiles.h"

namespace {

#ifdef SKALDORA_SOAK_SHORT
constexpr int kMinutes = 2;
constexpr int kNewGames = 40;
#else
constexpr int kMinutes = 10;
constexpr int kNewGames = 500;
#endif
constexpr int kTicksPerMinute = 60 * 1000 / 50;  // the scene widget's 50 ms timer
constexpr int kFrameEvery = 4;                   // ticks between two drawn frames

// Resident memory of this process in KiB, from /proc/self/status; 0 when unknown. Free heap
// memory is handed back to the system first, so the figure follows what is in use rather than
// what the allocator keeps in reserve.
long residentKiB() {
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

class Soak : public testing::Test {
protected:
    void SetUp() override {
        dir = makeTempDir("skaldora-soak");
        ASSERT_FALSE(dir.empty());
        ASSERT_TRUE(writeGameFiles(dir));
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        previousDir = here;
        ASSERT_EQ(chdir(dir.c_str()), 0);  // the game reads its files from the working directory
    }
    void TearDown() override {
        if (!previousDir.empty()) {
            EXPECT_EQ(chdir(previousDir.c_str()), 0);
        }
        removeTree(dir);
    }

    // One 50 ms tick of game time: the scene widget's step (drawing the frame when draw is set,
    // otherwise the same step without the redraw), the window's clock, and every second tick its
    // 100 ms checks, every twentieth its 1000 ms endurance step.
    static void tick(Window& window, int n, bool draw) {
        GLWidget* scene = window.glWidget;
        if (draw) {
            scene->boarderMoveForward();
        } else {
            scene->boarder.moveForward(0.0f);
        }
        QMetaObject::invokeMethod(&window, "showTime", Qt::DirectConnection);
        if (n % 2 == 0) {
            QMetaObject::invokeMethod(&window, "checkStart", Qt::DirectConnection);
            QMetaObject::invokeMethod(&window, "checkFinish", Qt::DirectConnection);
            QMetaObject::invokeMethod(&window, "checkGateFailures", Qt::DirectConnection);
        }
        if (n % 20 == 0) {
            QMetaObject::invokeMethod(&window, "setProgressBarValue", Qt::DirectConnection);
        }
    }

    // The player's hands: a fixed pattern of key presses over each simulated 12 seconds, speeding
    // up, steering both ways, slowing down, and switching the camera twice, so every camera view
    // has been drawn within the first minute.
    static void play(Window& window, int n) {
        static const Qt::Key pattern[] = {Qt::Key_Up, Qt::Key_Up,    Qt::Key_F1,    Qt::Key_Left,
                                          Qt::Key_Up, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down,
                                          Qt::Key_F1, Qt::Key_Left,  Qt::Key_Up,    Qt::Key_Down};
        if (n % 20 == 10) {
            const Qt::Key key = pattern[(n / 20) % (sizeof pattern / sizeof pattern[0])];
            QTest::keyClick(window.glWidget, key);
        }
    }

    std::string dir;
    std::string previousDir;
};

TEST_F(Soak, MinutesOfPlayAndNewGamesKeepMemorySteady) {
    Window window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.glWidget, Qt::LeftButton);  // the scene takes the keys
    // Game time is this loop's alone: the game's own timers would add steps at real-time pace.
    for (QTimer* timer : window.findChildren<QTimer*>())
        timer->stop();

    const int totalTicks = kMinutes * kTicksPerMinute;
    // The New Game clicks are spread evenly over the whole session, so the first minute has run
    // every path once (the driver's lazily made shader variants, the boarder read anew) before
    // memory is first measured.
    const int clickEvery = totalTicks / kNewGames;
    long afterFirstMinute = 0;
    int clicks = 0;
    for (int n = 0; n < totalTicks; ++n) {
        play(window, n);
        tick(window, n, n % kFrameEvery == 0);
        if (n % clickEvery == clickEvery - 1 && clicks < kNewGames) {
            window.newGameButton->click();
            ++clicks;
        }
        if (n % 50 == 0)
            QCoreApplication::processEvents();
        if (n == kTicksPerMinute - 1)
            afterFirstMinute = residentKiB();
    }
    QCoreApplication::processEvents();
    const long atEnd = residentKiB();

    EXPECT_EQ(clicks, kNewGames);
    std::printf("soak: %d simulated minutes, %d New Game clicks, %d frames\n", kMinutes, clicks,
                totalTicks / kFrameEvery);
    std::printf(
        "soak: resident memory after the first minute %ld KiB, at the end %ld KiB, "
        "growth %ld KiB\n",
        afterFirstMinute, atEnd, atEnd - afterFirstMinute);
#ifndef SKALDORA_SOAK_SHORT
    // The sanitizers' own bookkeeping grows with every allocation; only the normal build is held
    // to the figure.
    EXPECT_LT(atEnd - afterFirstMinute, 2048);
#endif
    EXPECT_TRUE(window.isVisible());
}

}  // namespace
