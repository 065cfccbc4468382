// The gamepad's rules without any device: which control asks for which action, the dead zone,
// repeats while held, several controls and controllers, unplugging.
#include "devices/padmapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Button = PadMapping::Button;
using Axis = PadMapping::Axis;

// What the sink hears, as text: the action's name with + for a Press, * for a Repeat and - for a
// Release, such as "Left+ Left* Left-".
struct Log : PadSink {
    void padAction(PadAction action, Phase phase) override {
        static const char* const names[padActionCount] = {"Left",   "Right",    "Faster", "Slower",
                                                          "Camera", "NewGame",  "Wire",   "Forward",
                                                          "Back",   "FlyRight", "FlyLeft"};
        heard += (heard.empty() ? "" : " ") + std::string(names[static_cast<int>(action)]) +
                 "+*-"[phase];
    }
    // What was heard since the last call.
    std::string take() { return std::exchange(heard, {}); }
    // How often the action acted (Presses and Repeats) since the last call.
    int actsOf(const std::string& name) {
        std::istringstream words(take());
        int n = 0;
        for (std::string word; words >> word;) {
            n += word == name + "+" || word == name + "*";
        }
        return n;
    }
    std::string heard;
};

class PadMappingTest : public testing::Test {
protected:
    Log log;
    PadMapping map{log};
};

}  // namespace

// Each control held alone for 400 ms, ticked every 10 ms: its action's Press, a Repeat every
// interval of its kind (none for the once-per-press ones), then a Release.
TEST_F(PadMappingTest, EachControlAsksForItsActionAndRepeatsItAsItsKind) {
    const struct {
        std::optional<Button> button;  // else the axis, pushed to value
        Axis axis;
        int value;
        const char* action;  // null: none
        int repeatMs;        // 0: once per press
    } cases[] = {
        {Button::DpadLeft, {}, 0, "Left", 150},
        {Button::DpadRight, {}, 0, "Right", 150},
        {Button::A, {}, 0, "Faster", 150},
        {Button::B, {}, 0, "Slower", 150},
        {Button::Y, {}, 0, "Camera", 0},
        {Button::Start, {}, 0, "NewGame", 0},
        {Button::Back, {}, 0, "Wire", 0},
        {Button::X, {}, 0, nullptr, 0},
        {Button::DpadUp, {}, 0, nullptr, 0},
        {{}, Axis::LeftX, -32768, "Left", 150},
        {{}, Axis::LeftX, 1000000, "Right", 150},  // out of range: taken as the end
        {{}, Axis::RightTrigger, 32767, "Faster", 150},
        {{}, Axis::LeftTrigger, 32767, "Slower", 150},
        {{}, Axis::LeftTrigger, -32768, nullptr, 0},  // a trigger has no negative side
        {{}, Axis::RightY, -32768, "Forward", 50},    // pushed up
        {{}, Axis::RightY, 32767, "Back", 50},
        {{}, Axis::RightX, 32767, "FlyRight", 50},
        {{}, Axis::RightX, -32768, "FlyLeft", 50},
        {{}, Axis::LeftY, 32767, nullptr, 0},
    };
    long long t = 0;
    for (const auto& c : cases) {
        const auto set = [&](bool on) {
            c.button ? map.button(7, *c.button, on, t) : map.axis(7, c.axis, on ? c.value : 0, t);
        };
        t += 1000;  // apart, so that no stick waits for a repeat
        set(true);
        for (int i = 0; i < 40; ++i) {
            map.tick(t += 10);
        }
        set(false);
        std::string expected;
        if (c.action) {
            const std::string a = c.action;
            expected = a + "+";
            for (int i = 0; c.repeatMs > 0 && i < 400 / c.repeatMs; ++i) {
                expected += " " + a + "*";
            }
            expected += " " + a + "-";
        }
        EXPECT_EQ(log.take(), expected) << "row " << &c - cases;
    }
}

TEST_F(PadMappingTest, RepeatsKeepTheirRhythmThroughLateTicksAndAStallGivesNoBurst) {
    map.button(0, Button::DpadLeft, true, 0);
    map.tick(149);
    EXPECT_EQ(log.take(), "Left+");
    map.tick(160);  // 10 ms late: the next is still due at 300
    map.tick(299);
    EXPECT_EQ(log.take(), "Left*");
    map.tick(300);
    map.tick(300);  // a second tick at the same time repeats nothing
    EXPECT_EQ(log.take(), "Left*");
    map.tick(2000);  // a stall of more than ten intervals: one repeat, then on from there
    map.tick(2149);
    EXPECT_EQ(log.take(), "Left*");
    map.tick(2150);
    map.button(0, Button::DpadLeft, false, 2200);
    map.tick(5000);
    EXPECT_EQ(log.take(), "Left* Left-");
}

TEST_F(PadMappingTest, DeadZoneBoundsWithALowerLetGo) {
    const int dz = map.deadZone;
    const int letGo = dz - dz / 4;
    // Each row: the stick's values one after another, and the presses and releases they make.
    const struct {
        std::vector<int> values;
        int presses, releases;
    } cases[] = {
        {{dz, -dz, 0}, 0, 0},                        // at the dead zone is at rest
        {{dz + 1}, 1, 0},                            // just beyond: pushed
        {{-dz - 1}, 1, 0},                           // the other way
        {{dz + 1, letGo + 1, dz, letGo + 1}, 1, 0},  // back above the let-go level: still held
        {{dz + 1, letGo}, 1, 1},                     // at the let-go level: released
        {{-dz - 1, -letGo - 1, -letGo}, 1, 1},
        {{dz + 1, dz / 2, dz + 1}, 1, 1},  // pushed again at once: waits a repeat
        {{-dz - 1, dz + 1}, 2, 1},         // swept across: left let go, right pushed
    };
    long long t = 0;
    for (const auto& c : cases) {
        t += 1000;  // well apart, so no repeat and no wait for one
        for (int v : c.values) {
            map.axis(0, Axis::LeftX, v, t);
        }
        const std::string heard = log.take();
        EXPECT_EQ(std::count(heard.begin(), heard.end(), '+'), c.presses) << "row " << &c - cases;
        EXPECT_EQ(std::count(heard.begin(), heard.end(), '-'), c.releases) << "row " << &c - cases;
        map.axis(0, Axis::LeftX, 0, t);
        log.take();
    }
}

TEST_F(PadMappingTest, StickChatteringAtTheEdgeActsNoFasterThanHeldButButtonTapsAllAct) {
    // A worn stick resting near the edge of the dead zone, swinging well past both levels every
    // poll for two seconds: as often as a held stick at most, never a turn per swing.
    int acts = 0;
    for (int t = 0; t < 2000; t += 10) {
        map.axis(0, Axis::LeftX, (t / 10) % 2 == 0 ? map.deadZone + 2500 : 0, t);
        map.tick(t);
        acts += log.actsOf("Right");
    }
    EXPECT_GE(acts, 1);
    EXPECT_LE(acts, 2000 / map.repeatMs + 1);
    // Buttons are not held back: each press of a quick tapping acts, as keys do.
    for (int t = 3000; t < 3100; t += 20) {
        map.button(0, Button::DpadRight, true, t);
        map.button(0, Button::DpadRight, false, t + 10);
    }
    EXPECT_EQ(log.actsOf("Right"), 5);
}

TEST_F(PadMappingTest, ControlsHoldingOneActionMakeOneStreamUntilTheLastLetsGo) {
    map.button(0, Button::DpadLeft, true, 0);
    map.axis(0, Axis::LeftX, -30000, 50);
    map.button(1, Button::DpadLeft, true, 60);  // a second controller too
    map.button(0, Button::DpadLeft, false, 100);
    map.tick(150);
    map.unplug(1);
    map.tick(300);
    EXPECT_EQ(log.take(), "Left+ Left* Left*");
    map.axis(0, Axis::LeftX, 0, 310);
    EXPECT_EQ(log.take(), "Left-");
    EXPECT_FALSE(map.holding());
}

TEST_F(PadMappingTest, UnpluggingMidHoldReleasesAndStopsTheRepeatsOfThatControllerOnly) {
    map.button(4, Button::DpadRight, true, 0);
    map.axis(4, Axis::RightTrigger, 30000, 0);
    map.button(5, Button::B, true, 0);
    log.take();
    map.unplug(4);
    EXPECT_EQ(log.take(), "Right- Faster-");
    map.tick(1000);
    EXPECT_EQ(log.take(), "Slower*");
    map.unplug(4);  // again, or a controller never seen: nothing
    map.unplug(99);
    map.button(4, Button::DpadRight, false, 1000);  // a late release finds nothing held
    EXPECT_EQ(log.take(), "");
}

TEST_F(PadMappingTest, RepeatedDownReportsAreOneHoldAndAnUpWithoutDownIsNothing) {
    map.button(0, Button::A, false, 0);
    map.button(0, Button::A, true, 0);
    map.button(0, Button::A, true, 10);
    map.axis(0, Axis::LeftTrigger, 20000, 10);
    map.axis(0, Axis::LeftTrigger, 25000, 20);
    map.button(0, Button::A, false, 30);
    map.axis(0, Axis::LeftTrigger, 0, 30);
    EXPECT_EQ(log.take(), "Faster+ Slower+ Faster- Slower-");
}
