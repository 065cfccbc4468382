// The personal best on the real window: what the status label shows at each finish, and that
// nothing else of the window changes. The race slots are called directly, the timers never run;
// the record lives in a temporary folder.
#include "app/bestdisplay.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLCDNumber>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/personalbest.h"
#include "app/race.h"
#include "app/window.h"
#include "scene/glwidget.h"
#include "support/game_probe.h"
#include "world/gates.h"

namespace {

void call(Window& window, const char* slot) {
    setUpGates(window.glWidget->gates);
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, slot)) << slot;
}

// A run that ends in the finish zone with the clock at runMs and this many gate failures.
void finish(Window& window, int runMs, int failures) {
    window.running = true;
    window.shownMs = runMs;
    window.glWidget->boarder.gateFailures = failures;
    window.glWidget->boarder.position = Vec3(960.0f, 0.0f, 146.0f);
    call(window, "checkFinish");
}

class BestDisplayTest : public testing::Test {
protected:
    BestDisplayTest() : file(QDir(config.path()).filePath("skaldora/skaldora.ini")) {}

    QTemporaryDir config;
    QString file;
    TempWorkDir dir;
};

}  // namespace

TEST(BestText, NewBestOrTheKeptBestInTheClocksFormat) {
    EXPECT_EQ(bestText(true, 72500), "NEW BEST");
    EXPECT_EQ(bestText(false, 72500), "BEST 01:12.500");
    EXPECT_EQ(bestText(false, 0), "BEST 00:00.000");
    EXPECT_EQ(bestText(false, 3600500), "BEST 00:00.500");  // minutes wrap as on the displays
}

TEST_F(BestDisplayTest, EachFinishShowsNewBestOrTheKeptBestUntilNewGame) {
    CoutCapture console;
    Window window;
    PersonalBest best(file);
    BestDisplay display(window, best);
    const struct {
        int runMs, failures;
        const char* total;
        const char* label;
    } runs[] = {
        {62500, 2, "01:12.500", "NEW BEST"},  // the first finish ever
        {80000, 0, "01:20.000", "BEST 01:12.500"},
        {72500, 0, "01:12.500", "BEST 01:12.500"},  // equal: not a new best
        {65000, 1, "01:10.000", "NEW BEST"},
        {69999, 0, "01:09.999", "NEW BEST"},
    };
    for (const auto& r : runs) {
        finish(window, r.runMs, r.failures);
        EXPECT_EQ(window.statusLabel->text(), r.label) << r.runMs;
        EXPECT_TRUE(lcdShows(window.totalResultLCD, r.total)) << r.runMs;
    }
    call(window, "resetAll");
    EXPECT_EQ(window.statusLabel->text(), QString(22, ' '));
    finish(window, 90000, 0);
    window.endurance = 0;
    call(window, "checkGateFailures");  // game over overwrites it, as before
    EXPECT_EQ(window.statusLabel->text(), "      GAME OVER      ");

    // Another game later: the best is still there.
    Window later;
    PersonalBest kept(file);
    BestDisplay laterDisplay(later, kept);
    finish(later, 75000, 0);
    EXPECT_EQ(later.statusLabel->text(), "BEST 01:09.999");
    EXPECT_EQ(kept.bestCleanMs(), 69999);
}

TEST_F(BestDisplayTest, NothingElseOnTheWindowOrTheConsoleChanges) {
    // Two windows run the same finishes, one of them showing the best: their console output,
    // displays and the places of all their widgets stay the same.
    CoutCapture outer;
    Window plain;
    Window shown;
    for (Window* w : {&plain, &shown}) {
        for (QTimer* timer : w->findChildren<QTimer*>()) {
            timer->stop();
        }
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }
    PersonalBest best(file);
    BestDisplay display(shown, best);
    // The widest texts: a best of 59:59.999 shown after a worse run (whose total wraps).
    for (int runMs : {3594999, 3700000, 100000}) {
        std::string printed[2];
        for (Window* w : {&plain, &shown}) {
            CoutCapture console;
            finish(*w, runMs, 1);
            QApplication::processEvents();  // layouts settle
            printed[w == &shown] = console.text();
        }
        EXPECT_EQ(printed[0], printed[1]);
        EXPECT_EQ(plain.size(), shown.size());
        const std::pair<QWidget*, QWidget*> twins[] = {
            {shown.enduranceBar, plain.enduranceBar},
            {shown.totalResultLCD, plain.totalResultLCD},
            {shown.glWidget, plain.glWidget},
            {shown.goalLabel, plain.goalLabel},
            {shown.newGameButton, plain.newGameButton},
        };
        for (const auto& [mine, twin] : twins) {
            EXPECT_EQ(mine->geometry(), twin->geometry())
                << shown.statusLabel->text().toStdString();
        }
        EXPECT_TRUE(lcdShows(shown.totalResultLCD, race::timeText(runMs + 5000)));
    }
}
