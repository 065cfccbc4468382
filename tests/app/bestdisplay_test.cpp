// The personal best on the real window: what the status label shows at each finish, and that
// nothing else of the window changes. The race slots are called directly, the timers never run;
// the record lives in a temporary folder.
#include "app/bestdisplay.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/personalbest.h"
#include "app/race.h"
#include "app/window.h"
#include "scene/glwidget.h"
#include "support/game_probe.h"

namespace {

class BestDisplayTest : public testing::Test {
protected:
    BestDisplayTest() : file(QDir(config.path()).filePath("skaldora/skaldora.ini")) {}

    QTemporaryDir config;
    QString file;
    TempWorkDir dir;
};

}  // namespace

TEST_F(BestDisplayTest, EachFinishShowsNewBestOrTheKeptBestUntilNewGame) {
    CoutCapture console;
    Window window;
    PersonalBest best(file);
    BestDisplay display(window, best);
    // Each gate failure adds 5 s to the total.
    const struct {
        int runMs, failures;
        const char* label;
    } runs[] = {
        {62500, 2, "NEW BEST"},  // the first finish ever: 01:12.500
        {80000, 0, "BEST 01:12.500"},
        {72500, 0, "BEST 01:12.500"},  // equal: not a new best
        {69999, 0, "NEW BEST"},
    };
    for (const auto& r : runs) {
        finishRun(window, r.runMs, r.failures);
        EXPECT_EQ(window.statusLabel->text(), r.label) << r.runMs;
    }
    callSlot(window, "resetAll");
    EXPECT_EQ(window.statusLabel->text(), QString(22, ' '));
    finishRun(window, 90000, 0);
    window.endurance = 0;
    callSlot(window, "checkGateFailures");  // game over overwrites it, as before
    EXPECT_EQ(window.statusLabel->text(), "      GAME OVER      ");
}

TEST_F(BestDisplayTest, NothingElseOnTheWindowOrTheConsoleChanges) {
    // Two windows run the same finishes, one of them showing the best: their console output,
    // displays and the places of all their widgets stay the same.
    CoutCapture outer;
    Window plain;
    Window shown;
    for (Window* w : {&plain, &shown}) {
        stopTimers(*w);
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
            finishRun(*w, runMs, 1);
            QApplication::processEvents();  // layouts settle
            printed[w == &shown] = console.text();
        }
        EXPECT_EQ(printed[0], printed[1]);
        EXPECT_EQ(plain.size(), shown.size());
        const QList<QWidget*> mine = shown.findChildren<QWidget*>();
        const QList<QWidget*> twins = plain.findChildren<QWidget*>();
        ASSERT_EQ(mine.size(), twins.size());
        for (int i = 0; i < mine.size(); ++i) {
            EXPECT_TRUE(mine[i] == shown.statusLabel || mine[i]->geometry() == twins[i]->geometry())
                << mine[i]->metaObject()->className() << " with "
                << shown.statusLabel->text().toStdString();
        }
        EXPECT_TRUE(lcdShows(shown.totalResultLCD, race::timeText(runMs + 5000)));
    }
}
