// The window's race slots, called directly; the event loop is not run, so no timer interferes.
#include <gtest/gtest.h>

#include <QLCDNumber>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>

#include "app/lcd_probe.h"
#include "app/race.h"
#include "app/window.h"
#include "scene/glwidget.h"
#include "support/cout_capture.h"
#include "world/gates.h"

namespace {

class WindowSlots : public ::testing::Test {
protected:
    void call(const char* slot) { ASSERT_TRUE(QMetaObject::invokeMethod(&window, slot)) << slot; }
    void placeBoarder(float x, float z) {
        window.glWidget->boarder.position.x = x;
        window.glWidget->boarder.position.z = z;
    }

    Window window;
    Boarder& boarder = window.glWidget->boarder;
};

// ---- The clock ---------------------------------------------------------------------------------

TEST_F(WindowSlots, ClockShowsTheTimeSinceTheStartDuringARun) {
    window.shownMs = 777;
    call("showTime");
    EXPECT_EQ(window.shownMs, 777);
    EXPECT_TRUE(lcdShows(window.timerLCD, "00:00.000"));
    EXPECT_FALSE(lcdShows(window.timerLCD, "00 00.000"));  // the probe tells the colon apart

    window.running = true;
    window.raceTime.start();
    call("showTime");
    EXPECT_EQ(window.shownMs, window.elapsedMs);
    EXPECT_GE(window.elapsedMs, 0);
    EXPECT_LT(window.elapsedMs, 5000);
    EXPECT_TRUE(lcdShows(window.timerLCD, race::clockText(window.shownMs)));
}

// ---- Start and finish --------------------------------------------------------------------------

struct ZoneCase {
    float x, z;
    bool inside;
};

TEST_F(WindowSlots, StartZoneStartsTheClock) {
    const ZoneCase cases[] = {{170.0f, -1.0f, false},  {171.0f, 0.0f, false},
                              {171.0f, -73.0f, false}, {100.0f, 0.0f, false},
                              {170.5f, -72.5f, true},  {5000.0f, -36.0f, true}};
    for (const ZoneCase& c : cases) {
        window.running = false;
        placeBoarder(c.x, c.z);
        call("checkStart");
        EXPECT_EQ(window.running, c.inside) << c.x << ", " << c.z;
        EXPECT_EQ(window.raceTime.isValid(), c.inside) << c.x << ", " << c.z;
    }
}

TEST_F(WindowSlots, FinishShowsRunTimePlusPenalty) {
    struct FinishCase {
        bool running;
        float x, z;
        int shownMs, failures;
        const char* total;  // nullptr: not finished
    };
    const FinishCase cases[] = {
        // clang-format off
        {true,  950.0f, 146.0f, 62500, 2, nullptr},
        {true,  951.0f, 109.0f, 62500, 2, nullptr},
        {true,  951.0f, 183.0f, 62500, 2, nullptr},
        {false, 960.0f, 146.0f, 62500, 2, nullptr},  // no run, nothing to finish
        {true,  951.0f, 146.0f, 62500, 2, "01:12.500"},
        {true,  960.0f, 109.5f, 6123, 0, "00:06.123"},  // the total never blinks
        {true,  960.0f, 182.5f, 3600500, 0, "00:00.500"},
        // clang-format on
    };
    for (const FinishCase& c : cases) {
        window.totalResultLCD->display(QStringLiteral("00:00.000"));
        window.running = c.running;
        window.shownMs = c.shownMs;
        boarder.gateFailures = c.failures;
        placeBoarder(c.x, c.z);
        call("checkFinish");
        EXPECT_EQ(window.running, c.running && c.total == nullptr) << c.x << ", " << c.z;
        EXPECT_TRUE(lcdShows(window.totalResultLCD, c.total ? c.total : "00:00.000"))
            << c.x << ", " << c.z;
    }
}

// ---- Gate failures and endurance ---------------------------------------------------------------

TEST_F(WindowSlots, FailureCountIsShownAsAPlainNumberAlsoBeforeTheStart) {
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "00"));
    call("checkGateFailures");
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "0"));
    EXPECT_FALSE(lcdShows(window.gateFailuresLCD, "00"));
    // The red gate 0 on its wrong side, with no run under way.
    placeBoarder(220.0f, -30.0f);
    CoutCapture capture;
    call("checkGateFailures");
    EXPECT_EQ(capture.text(), "gate 0passed\n");
    EXPECT_EQ(boarder.gateFailures, 1);
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "1"));
    EXPECT_FALSE(window.running);
}

TEST_F(WindowSlots, EnduranceFallsByThreeUntilTheGameIsOver) {
    call("setProgressBarValue");  // no run: no change
    EXPECT_EQ(window.endurance, 100);
    window.running = true;
    for (int expected = 97; expected >= 1; expected -= 3) {
        call("setProgressBarValue");
        ASSERT_EQ(window.endurance, expected);
        ASSERT_EQ(window.enduranceBar->value(), expected);
        call("checkGateFailures");
        ASSERT_TRUE(window.running) << expected;
    }
    call("setProgressBarValue");
    EXPECT_EQ(window.endurance, -2);
    EXPECT_EQ(window.enduranceBar->value(), 1);  // below the range: the bar keeps its last value
    EXPECT_TRUE(window.running);

    call("checkGateFailures");
    EXPECT_FALSE(window.running);
    EXPECT_EQ(window.statusLabel->text(), "      GAME OVER      ");
    EXPECT_TRUE(lcdShows(window.totalResultLCD, "99:99.999"));
    EXPECT_TRUE(lcdShows(window.timerLCD, "99:99.999"));
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "99"));

    // The start zone cannot bring a game that is over back to life within a check.
    placeBoarder(180.0f, -10.0f);
    call("checkStart");
    call("checkFinish");
    call("checkGateFailures");
    EXPECT_FALSE(window.running);
    call("setProgressBarValue");
    EXPECT_EQ(window.endurance, -2);
}

// ---- New game ----------------------------------------------------------------------------------

TEST_F(WindowSlots, NewGameRestoresTheStartButNotTheFailureDisplay) {
    window.running = true;
    window.raceTime.start();
    window.elapsedMs = 4321;
    window.shownMs = 4321;
    window.endurance = 40;
    window.enduranceBar->setValue(40);
    window.timerLCD->display(QStringLiteral("00:04.321"));
    window.totalResultLCD->display(QStringLiteral("00:09.000"));
    window.gateFailuresLCD->display(QStringLiteral("3"));
    window.statusLabel->setText(QStringLiteral("      GAME OVER      "));
    boarder.turn(30.0f);
    boarder.moveForward(50.0f);
    boarder.gateFailures = 3;
    boarder.gatesPassed = 4;
    window.glWidget->camera.mode = 3;
    setUpGates(window.glWidget->gates);

    call("resetAll");

    EXPECT_FALSE(window.running);
    EXPECT_EQ(window.elapsedMs, 0);
    EXPECT_EQ(window.endurance, 100);
    EXPECT_EQ(window.enduranceBar->value(), 100);
    EXPECT_TRUE(lcdShows(window.timerLCD, "00:00.000"));
    EXPECT_TRUE(lcdShows(window.totalResultLCD, "00:00.000"));
    EXPECT_EQ(window.statusLabel->text(), QString(22, ' '));
    EXPECT_EQ(boarder.position.x, 100.0f);
    EXPECT_EQ(boarder.position.z, 0.0f);
    EXPECT_EQ(boarder.direction.x, 1.0f);
    EXPECT_EQ(boarder.speed, 0.0f);
    EXPECT_EQ(boarder.gateFailures, 0);
    EXPECT_EQ(boarder.gatesPassed, 0);
    EXPECT_EQ(window.glWidget->camera.mode, 0);
    // Left alone: the failure display (the next check shows "0"), shownMs, the clock's start
    // and the gates.
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "3"));
    EXPECT_EQ(window.shownMs, 4321);
    EXPECT_TRUE(window.raceTime.isValid());
    EXPECT_EQ(window.glWidget->gates[9].x, 880.0f);
    call("checkGateFailures");
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "0"));
}

}  // namespace
