// The gamepad through SDL with virtual controllers, steering the real game window: each control
// must change the boarder and the camera exactly as its key does on a twin window, repeat while
// held, survive plugging and unplugging, and leave the game as it was when no controller is there.
// The window's timers are stopped and the gamepad is polled with the test's own clock.
#include "devices/gamepad.h"

#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/padkeys.h"
#include "app/window.h"
#include "scene/glwidget.h"
#include "support/fd_capture.h"
#include "support/game_probe.h"

namespace {

constexpr int kNone = -1;

// SDL's game controller support for the test's virtual controllers, while the object lives.
struct SdlSession {
    SdlSession() {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        ok = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    }
    ~SdlSession() {
        if (ok) {
            SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        }
    }
    bool ok;
};

// A virtual controller with the buttons and axes of a common game controller, plugged in while
// the object lives. Its changes reach SDL at the next poll.
class VirtualPad {
public:
    VirtualPad() {
        SDL_VirtualJoystickDesc d;
        SDL_zero(d);
        d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        d.naxes = SDL_CONTROLLER_AXIS_MAX;
        d.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
        d.button_mask = (1u << d.nbuttons) - 1;
        d.axis_mask = (1u << d.naxes) - 1;
        d.name = "Virtual test pad";
        const int index = SDL_JoystickAttachVirtualEx(&d);
        joystick_ = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
        // A virtual axis starts in its middle, which is half way down for a trigger.
        axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0);
        axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0);
    }
    ~VirtualPad() { unplug(); }
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    bool plugged() const { return joystick_ != nullptr; }
    void button(int b, bool down) { SDL_JoystickSetVirtualButton(joystick_, b, down ? 1 : 0); }
    // value 0 is at rest: the middle for a stick, the bottom for a trigger.
    void axis(int a, int value) {
        const bool trigger =
            a == SDL_CONTROLLER_AXIS_TRIGGERLEFT || a == SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
        SDL_JoystickSetVirtualAxis(joystick_, a,
                                   static_cast<Sint16>(trigger && value == 0 ? -32768 : value));
    }
    void unplug() {
        if (joystick_ == nullptr) {
            return;
        }
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
        SDL_JoystickClose(joystick_);
        joystick_ = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) {
                SDL_JoystickDetachVirtual(i);
                return;
            }
        }
    }

private:
    SDL_Joystick* joystick_ = nullptr;
};

// The scene's state that keys and panel buttons change, the boarder's motion, the camera and the
// wire mode, as exact text.
std::string sceneState(const GLWidget& w) {
    std::ostringstream out;
    out.precision(9);
    for (const Vec3& v :
         {w.boarder.position, w.boarder.direction, w.boarder.rotation, w.camera.position,
          w.camera.viewDirection, w.camera.rightVector, w.camera.upVector}) {
        out << v.x << "," << v.y << "," << v.z << " ";
    }
    out << "speed " << w.boarder.speed << " camera " << w.camera.mode << " wire " << w.wireMode;
    return out.str();
}

class GamepadTest : public testing::Test {
protected:
    GamepadTest() {
        stopTimers(padWindow);
        stopTimers(keyWindow);
    }

    // Polls every 10 ms of the test's clock until it reads untilMs.
    void runTo(std::int64_t untilMs) {
        while (now < untilMs) {
            now = std::min(now + 10, untilMs);
            gamepad->poll(now);
        }
    }
    void pollNext() { runTo(now + 10); }
    // A short press of a button, and a poll after each change.
    void tap(VirtualPad& pad, int button) {
        pad.button(button, true);
        pollNext();
        pad.button(button, false);
        pollNext();
    }
    const Boarder& boarder() { return padWindow.glWidget->boarder; }

    SdlSession sdl;
    TempWorkDir dir;
    CoutCapture console;  // the game's lines
    Window padWindow;     // steered by the gamepad
    Window keyWindow;     // its twin, steered by the keys
    PadKeys padKeys{padWindow};
    std::unique_ptr<Gamepad> gamepad = std::make_unique<Gamepad>(padKeys);
    std::int64_t now = 0;
};

}  // namespace

TEST_F(GamepadTest, EachControlDoesWhatItsKeyDoes) {
    // Plugged in before the game starts: opened at once, and SDL's own "added" event for it at
    // the first poll opens no second one (which would double every action below).
    gamepad.reset();
    VirtualPad pad;
    ASSERT_TRUE(pad.plugged());
    gamepad = std::make_unique<Gamepad>(padKeys);
    ASSERT_TRUE(sdl.ok && gamepad->started());
    EXPECT_EQ(gamepad->controllerCount(), 1);
    pollNext();
    ASSERT_EQ(gamepad->controllerCount(), 1);
    // In this order, each step as short presses, the state compared after every one.
    const struct {
        const char* what;
        int button;  // or kNone, and then the axis pushed to value
        int axis, value;
        Qt::Key key;                       // the key that does the same
        QPushButton* Window::*panel = {};  // or the panel button
        int times = 1;
    } steps[] = {
        {"A", SDL_CONTROLLER_BUTTON_A, kNone, 0, Qt::Key_Up, {}, 2},
        {"right trigger", kNone, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767, Qt::Key_Up},
        {"D-pad left", SDL_CONTROLLER_BUTTON_DPAD_LEFT, kNone, 0, Qt::Key_Left},
        {"D-pad right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kNone, 0, Qt::Key_Right, {}, 2},
        {"left stick left", kNone, SDL_CONTROLLER_AXIS_LEFTX, -20000, Qt::Key_Left},
        {"left stick right", kNone, SDL_CONTROLLER_AXIS_LEFTX, 32767, Qt::Key_Right},
        {"B", SDL_CONTROLLER_BUTTON_B, kNone, 0, Qt::Key_Down},
        {"left trigger", kNone, SDL_CONTROLLER_AXIS_TRIGGERLEFT, 20000, Qt::Key_Down},
        {"Y", SDL_CONTROLLER_BUTTON_Y, kNone, 0, Qt::Key_F1, {}, 5},  // the free camera, view 5
        {"right stick up", kNone, SDL_CONTROLLER_AXIS_RIGHTY, -32768, Qt::Key_R},
        {"right stick down", kNone, SDL_CONTROLLER_AXIS_RIGHTY, 20000, Qt::Key_F, {}, 2},
        {"right stick right", kNone, SDL_CONTROLLER_AXIS_RIGHTX, 20000, Qt::Key_T},
        {"right stick left", kNone, SDL_CONTROLLER_AXIS_RIGHTX, -20000, Qt::Key_G, {}, 2},
        {"Back", SDL_CONTROLLER_BUTTON_BACK, kNone, 0, {}, &Window::wireSolidButton},
        {"Start", SDL_CONTROLLER_BUTTON_START, kNone, 0, {}, &Window::newGameButton},
        {"Back", SDL_CONTROLLER_BUTTON_BACK, kNone, 0, {}, &Window::wireSolidButton},
    };
    for (const auto& step : steps) {
        for (int i = 0; i < step.times; ++i) {
            for (bool on : {true, false}) {
                step.button != kNone ? pad.button(step.button, on)
                                     : pad.axis(step.axis, on ? step.value : 0);
                runTo(now + (on ? 10 : 30));  // held shorter than any repeat
            }
            runTo(now + 1000);  // apart, so that no stick waits for a repeat
            step.panel ? (keyWindow.*step.panel)->click()
                       : QTest::keyClick(keyWindow.glWidget, step.key);
        }
        EXPECT_EQ(sceneState(*padWindow.glWidget), sceneState(*keyWindow.glWidget)) << step.what;
    }
    EXPECT_EQ(boarder().speed, 0.0f);  // a new game
    EXPECT_EQ(padWindow.glWidget->camera.mode, 0);
}

TEST_F(GamepadTest, UnpluggingMidHoldStopsItsRepeatsAndAnotherControllerGoesOn) {
    CerrCapture err;
    auto first = std::make_unique<VirtualPad>();
    VirtualPad second;
    pollNext();
    ASSERT_EQ(gamepad->controllerCount(), 2);
    const std::int64_t start = now;
    first->button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    first->button(SDL_CONTROLLER_BUTTON_A, true);
    second.axis(SDL_CONTROLLER_AXIS_LEFTX, -30000);
    runTo(start + 200);  // turns and speed steps at + 10 and + 160, the held ones repeated
    first->unplug();
    runTo(start + 320);  // the second keeps the turns going: + 310
    second.axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    runTo(start + 1000);
    EXPECT_EQ(gamepad->controllerCount(), 1);
    EXPECT_FALSE(gamepad->mapping().holding());
    EXPECT_EQ(boarder().rotation.y, 30.0f);
    EXPECT_EQ(boarder().speed, 20.0f);
    tap(second, SDL_CONTROLLER_BUTTON_B);  // and its other buttons work
    EXPECT_EQ(boarder().speed, 10.0f);
    EXPECT_EQ(err.text(),
              "gamepad: Virtual test pad connected\ngamepad: Virtual test pad connected\n"
              "gamepad: Virtual test pad disconnected\n");
}

TEST_F(GamepadTest, AHotPlugStormLeavesNothingHeldAndTheNextControllerWorks) {
    CerrCapture err;  // the storm's connect lines
    std::vector<std::unique_ptr<VirtualPad>> pads;
    for (int i = 0; i < 120; ++i) {
        pads.push_back(std::make_unique<VirtualPad>());
        pads.back()->button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
        pads.back()->axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
        if (i % 3 == 0) {
            pollNext();
        }
        if (i % 2 == 0) {
            pads[i / 2]->unplug();  // some before they were ever seen
        }
    }
    pollNext();
    pads.clear();
    pollNext();
    EXPECT_EQ(gamepad->controllerCount(), 0);
    EXPECT_FALSE(gamepad->mapping().holding());
    const float heading = boarder().rotation.y;
    const float speed = boarder().speed;
    runTo(now + 2000);
    EXPECT_EQ(boarder().rotation.y, heading);
    EXPECT_EQ(boarder().speed, speed);

    VirtualPad last;
    pollNext();
    tap(last, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    EXPECT_EQ(boarder().rotation.y, heading + 10.0f);
}

// Without a controller nothing changes and nothing is printed, by SDL either; the gamepad's own
// timer, which no widget owns, finds one plugged in later (the slow poll) and then reads its
// buttons (the quick one).
TEST(Gamepad, IsSilentWithoutAControllerAndPollsOnATimerOfItsOwn) {
    TempWorkDir dir;
    Window window;
    stopTimers(window);
    const int windowTimers = window.findChildren<QTimer*>().size();
    const int sceneTimers = window.glWidget->findChildren<QTimer*>().size();
    PadKeys padKeys(window);
    FdCapture out(1), err(2);
    Gamepad gamepad(padKeys);
    QTest::qWait(600);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(err.text(), "");
    EXPECT_TRUE(gamepad.started());
    EXPECT_EQ(window.findChildren<QTimer*>().size(), windowTimers);
    EXPECT_EQ(window.glWidget->findChildren<QTimer*>().size(), sceneTimers);
    EXPECT_EQ(window.glWidget->boarder.speed, 0.0f);

    CerrCapture connected;
    VirtualPad pad;
    EXPECT_TRUE(QTest::qWaitFor([&] { return gamepad.controllerCount() == 1; }, 5000));
    pad.button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.glWidget->boarder.speed > 0.0f; }, 5000));
}

namespace {

struct NoSink : PadSink {
    void padAction(PadAction, Phase) override {}
};

}  // namespace

// A mapping file SDL would block on (a FIFO) or read without end (a device) is not given to SDL,
// with one line; a regular one is, silently. Should SDL still open the FIFO, a watchdog opens
// its other end after 3 s, so that the test fails rather than hangs.
TEST(Gamepad, AMappingFileThatIsNoRegularFileIsIgnoredWithOneLine) {
    TempWorkDir dir;
    ASSERT_EQ(mkfifo("mappings.fifo", 0600), 0);
    ASSERT_EQ(mkdir("mappings.folder", 0700), 0);
    std::ofstream("mappings.txt") << "# no mappings\n";
    const struct {
        const char* path;
        std::string line;  // on standard error
    } cases[] = {
        {"mappings.fifo",
         "gamepad: controller mappings mappings.fifo "
         "(SDL_GAMECONTROLLERCONFIG_FILE) ignored: not a regular file (a FIFO)\n"},
        {"/dev/zero",
         "gamepad: controller mappings /dev/zero (SDL_GAMECONTROLLERCONFIG_FILE) "
         "ignored: not a regular file (a device)\n"},
        {"mappings.folder",
         "gamepad: controller mappings mappings.folder "
         "(SDL_GAMECONTROLLERCONFIG_FILE) ignored: not a regular file (a "
         "directory)\n"},
        {"mappings.txt", ""},
        {"", ""},
    };
    NoSink sink;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        setenv("SDL_GAMECONTROLLERCONFIG_FILE", c.path, 1);
        std::atomic<bool> done{false};
        std::thread watchdog([&] {
            const auto start = std::chrono::steady_clock::now();
            while (!done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (std::chrono::steady_clock::now() - start > std::chrono::seconds(3)) {
                    const int fd = open("mappings.fifo", O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) {
                        close(fd);
                    }
                }
            }
        });
        const auto start = std::chrono::steady_clock::now();
        FdCapture err(2);
        {
            Gamepad gamepad(sink);
            EXPECT_TRUE(gamepad.started());
        }
        const std::string text = err.text();
        done = true;
        watchdog.join();
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count(),
                  2000);
        EXPECT_EQ(text, c.line);
    }
    unsetenv("SDL_GAMECONTROLLERCONFIG_FILE");
}
