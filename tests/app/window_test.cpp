// The game window as the player meets it: its texts, displays and buttons, and the race slots that
// the autopilot's runs leave out. Slots are called directly; the event loop does not run, so no
// timer interferes.
#include "app/window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLCDNumber>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/race.h"
#include "scene/glwidget.h"
#include "support/game_probe.h"

namespace {

const char* const goalText =
    "GOAL: \nmove your boarder across the slope smoothly.\nBe as fast as possible but pay "
    "attention "
    "to the gates!\nThe red ones have to be passed right hand\nthe blue ones left hand.\nEvery "
    "missed gate result in 5 seconds penalty time.\nTake care of your endurance, it becomes less "
    "with ongoing time.\n\nCONTROL:\nmove your boarder with the UP/ DOWN/ RIGHT/ LEFT keys.\nWith "
    "F1 it is possible to control the camera.\n\nGOOD LUCK!";

}  // namespace

TEST(Window, ShowsItsTextsAndBlankDisplaysBeforeTheFirstRun) {
    Window window;
    EXPECT_EQ(window.windowTitle(), "Skaldora");
    EXPECT_EQ(window.wireSolidButton->text(), "Wire/Solid Mode");
    EXPECT_EQ(window.exitButton->text(), "Exit");
    EXPECT_EQ(window.newGameButton->text(), "New Game");
    EXPECT_EQ(window.goalLabel->frameStyle(), QFrame::Panel | QFrame::Sunken);
    QStringList labels;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const QString& text :
         {QString(goalText), QString(35, ' '), QString("Timer"), QString("Gate Failures"),
          QString("Total Result"), QString("Endurance")}) {
        EXPECT_TRUE(labels.contains(text)) << text.toStdString();
    }

    QProgressBar* bar = window.enduranceBar;
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(bar->orientation(), Qt::Vertical);
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_NE(bar->style(), QApplication::style());  // a style of its own

    // The displays as constructed: no race slot may run before they are looked at.
    stopTimers(window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const struct {
        QLCDNumber* lcd;
        int digits;
        const char* text;
    } displays[] = {
        {window.timerLCD, 9, "00:00.000"},
        {window.gateFailuresLCD, 2, "00"},
        {window.totalResultLCD, 9, "00:00.000"},
    };
    for (const auto& d : displays) {
        EXPECT_EQ(d.lcd->digitCount(), d.digits) << d.text;
        EXPECT_EQ(d.lcd->segmentStyle(), QLCDNumber::Filled) << d.text;
        EXPECT_EQ(d.lcd->palette().color(QPalette::Light), QColor(Qt::red)) << d.text;
        EXPECT_TRUE(lcdShows(d.lcd, d.text));
        EXPECT_FALSE(lcdShows(d.lcd, "88"));  // the probe tells texts apart
    }
}

TEST(Window, ExitClosesTheWindow) {
    Window window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.exitButton->click();
    EXPECT_FALSE(window.isVisible());
}

TEST(WindowSlots, FailuresAreCountedAndShownAsAPlainNumberAlsoBeforeTheStart) {
    Window window;
    callSlot(window, "checkGateFailures");
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "0"));
    EXPECT_FALSE(lcdShows(window.gateFailuresLCD, "00"));
    // The red gate 0 on its wrong side, with no run under way.
    window.glWidget->boarder.position = Vec3(220.0f, 0.0f, -30.0f);
    CoutCapture console;  // the gate's line
    callSlot(window, "checkGateFailures");
    EXPECT_TRUE(lcdShows(window.gateFailuresLCD, "1"));
    EXPECT_FALSE(window.running);
}

TEST(WindowSlots, FinishShowsTheRunTimePlusPenaltyWithoutBlinking) {
    const struct {
        bool running;
        int shownMs, failures;
        const char* total;
    } cases[] = {
        {false, 62500, 2, "00:00.000"},  // no run, nothing to finish
        {true, 62500, 2, "01:12.500"},
        {true, 6123, 0, "00:06.123"},  // an even second: the clock would blank its colon
    };
    for (const auto& c : cases) {
        Window window;
        finishRun(window, c.shownMs, c.failures, c.running);
        EXPECT_FALSE(window.running);
        EXPECT_TRUE(lcdShows(window.totalResultLCD, c.total));
    }
}

namespace {

// Each event as a line of text, with the fields that belong to its kind.
struct EventLog : RaceListener {
    void raceEvent(const RaceEvent& e) override {
        const char* const kinds[] = {"started", "gate", "finished", "over"};
        std::string line = kinds[e.kind];
        if (e.kind == RaceEvent::GateJudged) {
            line += " " + std::to_string(e.gate) + (e.wrongSide ? " wrong" : " right");
        } else if (e.kind == RaceEvent::Finished) {
            line += " " + std::to_string(e.runMs) + " " + std::to_string(e.gateFailures) + " " +
                    std::to_string(e.totalMs);
        }
        events.push_back(line);
    }
    std::vector<std::string> events;
};

}  // namespace

TEST(WindowSlots, TellTheirListenersWhatHappensInTheRaceOnce) {
    Window window;
    EventLog log;
    window.addRaceListener(&log);
    Boarder& boarder = window.glWidget->boarder;
    CoutCapture console;  // the gates' lines

    boarder.position = Vec3(180.0f, 0.0f, -30.0f);  // in the start zone
    callSlot(window, "checkStart");
    callSlot(window, "checkStart");
    // A stride from before gate 0 to beyond gate 1, on the right of both: red 0 right, blue 1 wrong.
    boarder.position = Vec3(215.0f, 0.0f, 0.0f);
    boarder.moveForward(100.0f);
    boarder.position = Vec3(275.0f, 0.0f, 0.0f);
    callSlot(window, "checkGateFailures");
    window.shownMs = 20000;
    boarder.position = Vec3(960.0f, 0.0f, 146.0f);  // in the finish zone
    callSlot(window, "checkFinish");
    window.endurance = 0;
    callSlot(window, "checkGateFailures");
    callSlot(window, "checkGateFailures");  // still over: told once
    callSlot(window, "resetAll");
    window.endurance = -2;
    callSlot(window, "checkGateFailures");
    EXPECT_EQ(log.events, (std::vector<std::string>{"started", "gate 0 right", "gate 1 wrong",
                                                    "finished 20000 1 25000", "over", "over"}));

    window.removeRaceListener(&log);
    callSlot(window, "resetAll");
    boarder.position = Vec3(180.0f, 0.0f, -30.0f);
    callSlot(window, "checkStart");
    EXPECT_EQ(log.events.size(), 6u);
}

// The clock is given a new time every millisecond but shown at most about 60 times a second. Its
// updates are never switched off (a display whose updates are off is left out when the panel
// around it is repainted, and the screen shows it blank). The last time given reaches it; the
// run time at the finish, game over and a new game reach it at once, and no time held back
// replaces them afterwards.
TEST(WindowSlots, TheClockShowsTheLastTimeGivenHoweverOftenItIsGiven) {
    Window window;
    stopTimers(window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    setUpGates(window.glWidget->gates);
    const auto tick = [&window] {
        ASSERT_TRUE(QMetaObject::invokeMethod(&window, "showTime"));
        ASSERT_TRUE(window.timerLCD->updatesEnabled());
    };
    const auto run = [&](int ms) {
        window.running = true;
        window.raceTime.start();
        QElapsedTimer wall;
        wall.start();
        while (wall.elapsed() < ms) {
            ASSERT_NO_FATAL_FAILURE(tick());
            QTest::qWait(1);
        }
        ASSERT_NO_FATAL_FAILURE(tick());
        EXPECT_EQ(window.shownMs, window.elapsedMs);
    };

    ASSERT_NO_FATAL_FAILURE(run(300));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return lcdShows(window.timerLCD, race::clockText(window.elapsedMs)); }, 2000));

    // The finish: the run time is on the clock at once, and stays.
    ASSERT_NO_FATAL_FAILURE(run(100));
    window.glWidget->boarder.position = Vec3(960.0f, 0.0f, 146.0f);
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "checkFinish"));
    ASSERT_FALSE(window.running);
    EXPECT_TRUE(lcdShows(window.timerLCD, race::clockText(window.shownMs)));
    QTest::qWait(50);
    EXPECT_TRUE(lcdShows(window.timerLCD, race::clockText(window.shownMs)));

    // Game over and a new game, each straight after a tick.
    window.glWidget->boarder.position = Vec3(100.0f, 0.0f, 0.0f);
    ASSERT_NO_FATAL_FAILURE(run(100));
    window.endurance = 0;
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "checkGateFailures"));
    EXPECT_TRUE(lcdShows(window.timerLCD, "99:99.999"));
    QTest::qWait(50);
    EXPECT_TRUE(lcdShows(window.timerLCD, "99:99.999"));
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "resetAll"));
    ASSERT_NO_FATAL_FAILURE(run(100));
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "resetAll"));
    EXPECT_TRUE(lcdShows(window.timerLCD, "00:00.000"));
    QTest::qWait(50);
    EXPECT_TRUE(lcdShows(window.timerLCD, "00:00.000"));
}
