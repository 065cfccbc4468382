// The ghost on the real window: which runs are kept as the best run, which run is raced, and what
// the frame trace says. The race slots are called by hand with the timers stopped; every file
// lives in a temporary folder.
#include "app/ghost.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>

#include "app/personalbest.h"
#include "app/runrecordfile.h"
#include "app/window.h"
#include "scene/glwidget.h"
#include "support/fd_capture.h"
#include "support/game_probe.h"

namespace {

class GhostTest : public testing::Test {
protected:
    GhostTest() {
        stopTimers(window);
        stopTimers(*window.glWidget);
    }

    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }

    Ghost::Options options(std::string rival = std::string()) const {
        Ghost::Options o;
        o.bestRunFile = path("data/skaldora/best.run");
        o.rivalFile = std::move(rival);
        return o;
    }

    // Starts the clock in the start zone, then takes steps at the given speed.
    void startRun(int steps, float speed) {
        window.glWidget->boarder.init();
        window.glWidget->boarder.position = Vec3(180.0f, 0.0f, -10.0f);
        window.glWidget->boarder.speed = speed;
        callSlot(window, "checkStart");
        ASSERT_TRUE(window.running);
        for (int i = 0; i < steps; ++i) {
            window.glWidget->boarderMoveForward();
        }
    }

    // The finish after startRun, its path through the gates left out.
    void finish(int runMs, bool running = true) {
        window.glWidget->boarder.strideOpen = false;
        finishRun(window, runMs, 0, running);
    }

    long long keptTotal() const {
        const auto run = loadRunFile(path("data/skaldora/best.run"), RefusedRunFile::LeaveAlone);
        return run ? run->totalMs : -1;
    }

    FrameInfo frame(int cameraMode = 0) {
        FrameInfo f;
        f.number = ++frames;
        f.cameraMode = cameraMode;
        return f;
    }

    QTemporaryDir dir;
    TempWorkDir work;
    CoutCapture console;
    Window window;
    PersonalBest best{QString::fromStdString(path("config/skaldora.ini"))};
    long long frames = 0;
};

bool has(const std::string& line, const char* field) {
    return line.find(field) != std::string::npos;
}

}  // namespace

TEST_F(GhostTest, AFinishThatBeatsTheBestIsKeptAndRacedAtOnce) {
    Ghost ghost(window, best, options());
    EXPECT_EQ(ghost.rival(), nullptr);
    startRun(3, 20.0f);
    best.recordFinish(30000, 0);  // as the best display does first at a finish
    finish(30000);
    EXPECT_EQ(keptTotal(), 30000);
    ASSERT_NE(ghost.rival(), nullptr);
    EXPECT_EQ(ghost.rival()->totalMs, 30000);
    EXPECT_EQ(ghost.rival()->steps.size(), 5u);  // the start, three steps, the finish

    startRun(2, 20.0f);  // worse: not kept
    best.recordFinish(31000, 0);
    finish(31000);
    EXPECT_EQ(keptTotal(), 30000);
    EXPECT_EQ(ghost.rival()->totalMs, 30000);

    startRun(2, 20.0f);  // equal: not a new best either
    finish(30000);
    EXPECT_EQ(keptTotal(), 30000);

    startRun(2, 20.0f);
    finish(29000);
    EXPECT_EQ(keptTotal(), 29000);
    EXPECT_EQ(ghost.rival()->totalMs, 29000);

    // Another game reads it.
    Window other;
    stopTimers(other);
    Ghost again(other, best, options());
    ASSERT_NE(again.rival(), nullptr);
    EXPECT_EQ(again.rival()->totalMs, 29000);
}

TEST_F(GhostTest, ARunEndedByGameOverOrNewGameIsNotKept) {
    Ghost ghost(window, best, options());
    startRun(3, 20.0f);
    window.endurance = 0;
    callSlot(window, "checkGateFailures");
    finish(1000);  // a finish heard after it does not keep the run
    EXPECT_EQ(keptTotal(), -1);

    window.endurance = 100;
    startRun(3, 20.0f);
    window.newGameButton->click();
    finish(1000);  // the clock never started again
    EXPECT_EQ(keptTotal(), -1);
    EXPECT_EQ(ghost.rival(), nullptr);
}

TEST_F(GhostTest, ARunGivenByNameIsRacedAndTheOwnBestKeptOnlyWhenBeaten) {
    RunRecord friendRun;
    friendRun.runMs = friendRun.totalMs = 25000;
    friendRun.steps = {{0, 180.0f, -10.0f, 0.0f, 50.0f}, {25000, 960.0f, 146.0f, 0.0f, 50.0f}};
    ASSERT_TRUE(saveRunFile(path("friend.run"), friendRun));
    {
        Ghost ghost(window, best, options(path("friend.run")));
        ASSERT_NE(ghost.rival(), nullptr);
        EXPECT_EQ(ghost.rival()->totalMs, 25000);
        startRun(2, 20.0f);
        finish(27000);
        EXPECT_EQ(keptTotal(), 27000);             // the own best, beaten (there was none)
        EXPECT_EQ(ghost.rival()->totalMs, 25000);  // still the friend's run
    }
    // A run file given by name that cannot be raced: told, left as it is; the own best is raced.
    std::ofstream(path("bad.run")) << "not a run";
    FdCapture err(2);
    Ghost ghost(window, best, options(path("bad.run")));
    EXPECT_NE(err.text().find("bad.run is not a run file"), std::string::npos);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path("bad.run"))));
    ASSERT_NE(ghost.rival(), nullptr);
    EXPECT_EQ(ghost.rival()->totalMs, 27000);
}

TEST_F(GhostTest, TheTraceHasTheClockWhileItRunsAndTheGhostWhereItIsDrawn) {
    RunRecord run;
    run.runMs = run.totalMs = 60000;
    run.steps = {{0, 180.0f, -10.0f, 0.0f, 50.0f}, {60000, 960.0f, -10.0f, 0.0f, 50.0f}};
    ASSERT_TRUE(saveRunFile(path("data/skaldora/best.run"), run));
    Ghost ghost(window, best, options());
    std::string line;
    ghost.appendTrace(frame(), line);
    EXPECT_EQ(line, "");  // before the clock starts: neither
    startRun(0, 0.0f);
    line.clear();
    ghost.appendTrace(frame(), line);
    EXPECT_TRUE(has(line, " clock ")) << line;
    EXPECT_TRUE(has(line, " ghost 18")) << line;  // just after the start, near x = 180
    line.clear();
    ghost.appendTrace(frame(4), line);  // from the boarder's eyes: no ghost
    EXPECT_TRUE(has(line, " clock ")) << line;
    EXPECT_FALSE(has(line, "ghost")) << line;

    Ghost::Options off = options();
    off.show = false;
    Window quiet;
    stopTimers(quiet);
    Ghost hidden(quiet, best, off);
    quiet.glWidget->boarder.position = Vec3(180.0f, 0.0f, -10.0f);
    callSlot(quiet, "checkStart");
    line.clear();
    hidden.appendTrace(frame(), line);
    EXPECT_TRUE(has(line, " clock ")) << line;
    EXPECT_FALSE(has(line, "ghost")) << line;
}
