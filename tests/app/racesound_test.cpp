// The race heard through a recording output: the cue of each race event the real window reports,
// a carve for a turn made with the keys, the wind following the speed, and no timer of its own on
// the window or the scene. The window is never shown; slots are called directly.
#include "app/racesound.h"

#include <gtest/gtest.h>

#include <QMetaObject>
#include <QTest>
#include <QTimer>
#include <vector>

#include "app/window.h"
#include "devices/soundoutput.h"
#include "scene/glwidget.h"
#include "support/game_probe.h"

namespace {

class RecordingOutput : public SoundOutput {
public:
    void play(const CuePlay& cue) override { played.push_back(cue); }
    void setWindVolume(float volume) override { wind.push_back(volume); }

    std::vector<Cue> cues() const {
        std::vector<Cue> result;
        for (const CuePlay& p : played) {
            result.push_back(p.cue);
        }
        return result;
    }

    std::vector<CuePlay> played;
    std::vector<float> wind;
};

// One timeout of the window's 100 ms check timer.
void checkTimeout(Window& window) {
    callSlot(window, "checkStart");
    callSlot(window, "checkFinish");
    callSlot(window, "checkGateFailures");
}

class RaceSoundTest : public testing::Test {
protected:
    Window window;
    RecordingOutput output;
    Boarder& boarder = window.glWidget->boarder;
    CoutCapture console;  // the gates' lines
};

}  // namespace

TEST_F(RaceSoundTest, PlaysTheCueOfEachRaceEventAndOnlyGameOverOnceTheGameIsOver) {
    RaceSound sound(window, output);
    boarder.position = Vec3(180.0f, 0.0f, -30.0f);  // in the start zone
    checkTimeout(window);
    checkTimeout(window);  // still running: no second start
    // A stride past gates 0 and 1 on the right of both: red 0 right, blue 1 wrong.
    boarder.position = Vec3(215.0f, 0.0f, 0.0f);
    boarder.moveForward(100.0f);
    boarder.position = Vec3(275.0f, 0.0f, 0.0f);
    checkTimeout(window);
    boarder.position = Vec3(960.0f, 0.0f, 146.0f);  // in the finish zone
    checkTimeout(window);
    EXPECT_EQ(output.cues(),
              (std::vector<Cue>{Cue::Start, Cue::GateRight, Cue::GateWrong, Cue::Finish}));

    // Back in the start zone with the endurance used up: the clock starts and stops again at
    // every check; only the game over is heard, once.
    output.played.clear();
    window.endurance = -2;
    boarder.position = Vec3(600.0f, 0.0f, -30.0f);
    for (int i = 0; i < 5; ++i) {
        checkTimeout(window);
    }
    EXPECT_EQ(output.cues(), std::vector<Cue>{Cue::GameOver});

    callSlot(window, "resetAll");  // a new game is heard again
    boarder.position = Vec3(180.0f, 0.0f, -30.0f);
    checkTimeout(window);
    EXPECT_EQ(output.cues(), (std::vector<Cue>{Cue::GameOver, Cue::Start}));
}

TEST_F(RaceSoundTest, ATurnWithTheKeysCarvesOnItsSideButNewGameDoesNot) {
    RaceSound sound(window, output);
    sound.look();
    QTest::keyClick(window.glWidget, Qt::Key_Left);
    sound.look();
    ASSERT_EQ(output.cues(), std::vector<Cue>{Cue::Carve});
    EXPECT_LT(output.played[0].pan, 0.0f);
    QTest::qWait(CueRules::kCarveGapMs + 10);
    callSlot(window, "resetAll");
    sound.look();
    EXPECT_EQ(output.played.size(), 1u);
}

TEST_F(RaceSoundTest, TheWindFollowsTheSpeedFromATimerOfItsOwn) {
    const auto windowTimers = window.findChildren<QTimer*>();  // the scene's among them
    const auto sceneTimers = window.glWidget->findChildren<QTimer*>();
    RaceSound sound(window, output);
    EXPECT_EQ(window.findChildren<QTimer*>(), windowTimers);
    EXPECT_EQ(window.glWidget->findChildren<QTimer*>(), sceneTimers);
    ASSERT_FALSE(output.wind.empty());
    EXPECT_EQ(output.wind.back(), 0.0f);  // silent at rest from the start
    boarder.speed = 60.0f;
    // The window's timers run too, but the boarder is out of every zone and gate.
    QTest::qWait(600);
    EXPECT_GT(output.wind.back(), 0.8f * CueRules::windTarget(60.0f));
    EXPECT_LE(output.wind.back(), CueRules::windTarget(60.0f));
    for (size_t i = 1; i < output.wind.size(); ++i) {
        EXPECT_NE(output.wind[i], output.wind[i - 1]) << "only changes are sent";
    }
    callSlot(window, "resetAll");  // speed 0
    QTest::qWait(1500);
    EXPECT_EQ(output.wind.back(), 0.0f);
}

TEST_F(RaceSoundTest, StopsListeningWhenGone) {
    { RaceSound sound(window, output); }
    boarder.position = Vec3(180.0f, 0.0f, -30.0f);
    checkTimeout(window);
    EXPECT_TRUE(output.played.empty());
}
