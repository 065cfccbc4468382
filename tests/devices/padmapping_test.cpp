// The gamepad's rules without any device: which control asks for which action, the dead zone,
// repeats while held, several controls and controllers, unplugging.
#include "devices/padmapping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Button = PadMapping::Button;
using Axis = PadMapping::Axis;

struct Heard {
    PadAction action;
    PadSink::Phase phase;
    bool operator==(const Heard& o) const { return action == o.action && phase == o.phase; }
};

std::ostream& operator<<(std::ostream& out, const Heard& h) {
    return out << "action " << static_cast<int>(h.action) << " phase " << h.phase;
}

struct Log : PadSink {
    void padAction(PadAction action, Phase phase) override { heard.push_back({action, phase}); }
    // What was heard since the last call.
    std::vector<Heard> take() {
        std::vector<Heard> out;
        out.swap(heard);
        return out;
    }
    // Presses and repeats of one action since the last call, everything else dropped.
    int actsOf(PadAction action) {
        int n = 0;
        for (const Heard& h : take()) {
            n += h.action == action && h.phase != PadSink::Release;
        }
        return n;
    }
    std::vector<Heard> heard;
};

constexpr auto Press = PadSink::Press;
constexpr auto Repeat = PadSink::Repeat;
constexpr auto Release = PadSink::Release;

class PadMappingTest : public testing::Test {
protected:
    Log log;
    PadMapping map{log};
};

}  // namespace

TEST_F(PadMappingTest, EachButtonAsksForItsActionOnceAndLetsGoOfIt) {
    const struct {
        Button button;
        bool acts;
        PadAction action;
    } cases[] = {
        {Button::DpadLeft, true, PadAction::Left},      {Button::DpadRight, true, PadAction::Right},
        {Button::A, true, PadAction::Faster},           {Button::B, true, PadAction::Slower},
        {Button::Y, true, PadAction::NextCamera},       {Button::Start, true, PadAction::NewGame},
        {Button::Back, true, PadAction::WireMode},      {Button::X, false, {}},
        {Button::Guide, false, {}},                     {Button::DpadUp, false, {}},
        {Button::DpadDown, false, {}},                  {Button::LeftShoulder, false, {}},
        {Button::RightShoulder, false, {}},             {Button::LeftStick, false, {}},
        {Button::RightStick, false, {}},                {Button::Other, false, {}},
    };
    for (const auto& c : cases) {
        map.button(7, c.button, true, 1000);
        map.button(7, c.button, false, 1010);
        const std::vector<Heard> expected =
            c.acts ? std::vector<Heard>{{c.action, Press}, {c.action, Release}}
                   : std::vector<Heard>{};
        EXPECT_EQ(log.take(), expected) << "button " << static_cast<int>(c.button);
    }
}

TEST_F(PadMappingTest, EachAxisDirectionAsksForItsAction) {
    const struct {
        Axis axis;
        int value;
        bool acts;
        PadAction action;
    } cases[] = {
        {Axis::LeftX, -32768, true, PadAction::Left},
        {Axis::LeftX, 32767, true, PadAction::Right},
        {Axis::RightTrigger, 32767, true, PadAction::Faster},
        {Axis::LeftTrigger, 32767, true, PadAction::Slower},
        {Axis::RightY, -32768, true, PadAction::FlyForward},  // pushed up
        {Axis::RightY, 32767, true, PadAction::FlyBack},
        {Axis::RightX, 32767, true, PadAction::FlyRight},
        {Axis::RightX, -32768, true, PadAction::FlyLeft},
        {Axis::LeftY, -32768, false, {}},
        {Axis::LeftY, 32767, false, {}},
        {Axis::LeftTrigger, -32768, false, {}},  // a trigger has no negative side
        {Axis::Other, 32767, false, {}},
        {Axis::LeftX, 1000000, true, PadAction::Right},  // out of range: taken as the end
    };
    int t = 0;
    for (const auto& c : cases) {
        t += 1000;
        map.axis(3, c.axis, c.value, t);
        map.axis(3, c.axis, 0, t + 10);
        const std::vector<Heard> expected =
            c.acts ? std::vector<Heard>{{c.action, Press}, {c.action, Release}}
                   : std::vector<Heard>{};
        EXPECT_EQ(log.take(), expected) << "axis " << static_cast<int>(c.axis) << " " << c.value;
    }
}

TEST_F(PadMappingTest, HeldSteeringAndSpeedRepeatEvery150Ms) {
    for (Button b : {Button::DpadRight, Button::A}) {
        const PadAction action = b == Button::A ? PadAction::Faster : PadAction::Right;
        map.button(0, b, true, 1000);
        for (int t = 1010; t < 1150; t += 10) {
            map.tick(t);
        }
        EXPECT_EQ(log.take(), (std::vector<Heard>{{action, Press}}));
        map.tick(1150);
        map.tick(1299);
        map.tick(1300);
        map.tick(1300);  // a second tick at the same time repeats nothing
        EXPECT_EQ(log.take(), (std::vector<Heard>{{action, Repeat}, {action, Repeat}}));
        map.button(0, b, false, 1320);
        map.tick(1450);
        map.tick(5000);
        EXPECT_EQ(log.take(), (std::vector<Heard>{{action, Release}}));
    }
}

TEST_F(PadMappingTest, LateTicksKeepTheRhythmAndAStallGivesNoBurst) {
    map.button(0, Button::DpadLeft, true, 0);
    map.tick(160);  // 10 ms late: the next is still due at 300
    map.tick(300);
    EXPECT_EQ(log.actsOf(PadAction::Left), 3);
    map.tick(2000);  // a stall of more than ten intervals: one repeat, then on from there
    EXPECT_EQ(log.actsOf(PadAction::Left), 1);
    map.tick(2149);
    EXPECT_EQ(log.actsOf(PadAction::Left), 0);
    map.tick(2150);
    EXPECT_EQ(log.actsOf(PadAction::Left), 1);
}

TEST_F(PadMappingTest, CameraStartNewGameAndWireModeActOncePerPressHoweverLongHeld) {
    for (Button b : {Button::Y, Button::Start, Button::Back}) {
        map.button(0, b, true, 0);
        for (int t = 0; t <= 3000; t += 10) {
            map.tick(t);
        }
        map.button(0, b, false, 3000);
        const std::vector<Heard> heard = log.take();
        ASSERT_EQ(heard.size(), 2u);
        EXPECT_EQ(heard[0].phase, Press);
        EXPECT_EQ(heard[1].phase, Release);
    }
}

TEST_F(PadMappingTest, RightStickFliesTheCameraWithItsOwnRepeat) {
    map.axis(0, Axis::RightY, -20000, 0);
    for (int t = 10; t <= 200; t += 10) {
        map.tick(t);
    }
    EXPECT_EQ(log.actsOf(PadAction::FlyForward), 1 + 200 / map.flyRepeatMs);
    // Both ways at once: forward and right repeat side by side.
    map.axis(0, Axis::RightX, 20000, 200);
    map.tick(250);
    const std::vector<Heard> heard = log.take();
    EXPECT_EQ(heard, (std::vector<Heard>{{PadAction::FlyRight, Press},
                                         {PadAction::FlyForward, Repeat},
                                         {PadAction::FlyRight, Repeat}}));
}

TEST_F(PadMappingTest, DeadZoneBoundsWithALowerLetGo) {
    const int dz = map.deadZone;
    const int letGo = dz - dz / 4;
    // Each row: the stick's values one after another, and how many presses and releases they
    // make in all.
    const struct {
        std::vector<int> values;
        int presses, releases;
    } cases[] = {
        {{dz, -dz, 0}, 0, 0},                      // at the dead zone is at rest
        {{dz + 1}, 1, 0},                          // just beyond: pushed
        {{-dz - 1}, 1, 0},                         // the other way
        {{dz + 1, letGo + 1, dz, letGo + 1}, 1, 0},  // back above the let-go level: still held
        {{dz + 1, letGo}, 1, 1},                   // at the let-go level: released
        {{-dz - 1, -letGo - 1, -letGo}, 1, 1},
        {{dz + 1, dz / 2, dz + 1}, 1, 1},          // pushed again at once: waits a repeat
    };
    int t = 0;
    for (const auto& c : cases) {
        t += 1000;  // well apart, so no repeat and no wait for one
        std::string row;
        for (int v : c.values) {
            map.axis(0, Axis::LeftX, v, t);
            row += std::to_string(v) + " ";
        }
        int presses = 0, releases = 0;
        for (const Heard& h : log.take()) {
            presses += h.phase == Press;
            releases += h.phase == Release;
        }
        EXPECT_EQ(presses, c.presses) << row;
        EXPECT_EQ(releases, c.releases) << row;
        map.axis(0, Axis::LeftX, 0, t);
        log.take();
    }
}

TEST_F(PadMappingTest, StickChatteringAtTheEdgeActsNoFasterThanHeld) {
    // A worn stick resting near the edge of the dead zone, swinging well past both levels every
    // poll for two seconds: as often as a held stick at most, never a turn per swing.
    int acts = 0;
    for (int t = 0; t < 2000; t += 10) {
        map.axis(0, Axis::LeftX, (t / 10) % 2 == 0 ? map.deadZone + 2500 : 0, t);
        map.tick(t);
        acts += log.actsOf(PadAction::Right);
    }
    EXPECT_GE(acts, 1);
    EXPECT_LE(acts, 2000 / map.repeatMs + 1);
    // Buttons are not held back: each press of a quick tapping acts, as keys do.
    for (int t = 3000; t < 3100; t += 20) {
        map.button(0, Button::DpadRight, true, t);
        map.button(0, Button::DpadRight, false, t + 10);
    }
    EXPECT_EQ(log.actsOf(PadAction::Right), 5);
}

TEST_F(PadMappingTest, StickSweptAcrossLetsGoOfOneSideAndPushesTheOther) {
    map.axis(0, Axis::LeftX, -30000, 0);
    map.axis(0, Axis::LeftX, 30000, 5);
    EXPECT_EQ(log.take(), (std::vector<Heard>{{PadAction::Left, Press},
                                               {PadAction::Left, Release},
                                               {PadAction::Right, Press}}));
}

TEST_F(PadMappingTest, ControlsHoldingOneActionMakeOneStreamUntilTheLastLetsGo) {
    map.button(0, Button::DpadLeft, true, 0);
    map.axis(0, Axis::LeftX, -30000, 50);
    map.button(1, Button::DpadLeft, true, 60);  // a second controller too
    EXPECT_EQ(log.take(), (std::vector<Heard>{{PadAction::Left, Press}}));
    map.button(0, Button::DpadLeft, false, 100);
    map.tick(150);
    map.unplug(1);
    map.tick(300);
    EXPECT_EQ(log.take(), (std::vector<Heard>{{PadAction::Left, Repeat}, {PadAction::Left, Repeat}}));
    map.axis(0, Axis::LeftX, 0, 310);
    EXPECT_EQ(log.take(), (std::vector<Heard>{{PadAction::Left, Release}}));
    EXPECT_FALSE(map.holding());
}

TEST_F(PadMappingTest, UnpluggingMidHoldReleasesAndStopsTheRepeatsOfThatControllerOnly) {
    map.button(4, Button::DpadRight, true, 0);
    map.axis(4, Axis::RightTrigger, 30000, 0);
    map.button(5, Button::B, true, 0);
    log.take();
    map.unplug(4);
    EXPECT_EQ(log.take(), (std::vector<Heard>{{PadAction::Right, Release},
                                               {PadAction::Faster, Release}}));
    map.tick(1000);
    EXPECT_EQ(log.take(), (std::vector<Heard>{{PadAction::Slower, Repeat}}));
    map.unplug(4);  // again, or a controller never seen: nothing
    map.unplug(99);
    EXPECT_TRUE(log.take().empty());
    // A late report of its release finds nothing held.
    map.button(4, Button::DpadRight, false, 1000);
    EXPECT_TRUE(log.take().empty());
}

TEST_F(PadMappingTest, RepeatedDownReportsAreOneHoldAndAnUpWithoutDownIsNothing) {
    map.button(0, Button::A, false, 0);
    map.button(0, Button::A, true, 0);
    map.button(0, Button::A, true, 10);
    map.axis(0, Axis::LeftTrigger, 20000, 10);
    map.axis(0, Axis::LeftTrigger, 25000, 20);
    map.button(0, Button::A, false, 30);
    map.axis(0, Axis::LeftTrigger, 0, 30);
    EXPECT_EQ(log.take(), (std::vector<Heard>{{PadAction::Faster, Press},
                                               {PadAction::Slower, Press},
                                               {PadAction::Faster, Release},
                                               {PadAction::Slower, Release}}));
}
