// The gamepad through SDL with virtual controllers, steering the real game window: each control
// must change the boarder and the camera exactly as its key does on a twin window, repeat while
// held, survive plugging and unplugging, and leave the game as it was when no controller is there.
// The window's timers are stopped and the gamepad is polled with the test's own clock.
#include "devices/gamepad.h"

#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/padkeys.h"
#include "app/window.h"
#include "scene/glwidget.h"
#include "support/game_probe.h"

namespace {

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
        release(SDL_CONTROLLER_AXIS_TRIGGERLEFT);
        release(SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    }
    ~VirtualPad() { unplug(); }
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    bool plugged() const { return joystick_ != nullptr; }
    void button(SDL_GameControllerButton b, bool down) {
        SDL_JoystickSetVirtualButton(joystick_, b, down ? 1 : 0);
    }
    void axis(SDL_GameControllerAxis a, int value) {
        SDL_JoystickSetVirtualAxis(joystick_, a, static_cast<Sint16>(value));
    }
    // Back to rest: the middle for a stick, the bottom for a trigger.
    void release(SDL_GameControllerAxis a) {
        const bool trigger =
            a == SDL_CONTROLLER_AXIS_TRIGGERLEFT || a == SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
        axis(a, trigger ? SDL_JOYSTICK_AXIS_MIN : 0);
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

// Collects what is written to a file descriptor (1 or 2) while it lives, whoever writes it.
class FdCapture {
public:
    explicit FdCapture(int fd) : fd_(fd), file_(std::tmpfile()) {
        std::fflush(nullptr);
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~FdCapture() {
        restore();
        std::fclose(file_);
    }
    FdCapture(const FdCapture&) = delete;
    FdCapture& operator=(const FdCapture&) = delete;

    std::string text() {
        restore();
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            out += static_cast<char>(c);
        }
        return out;
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::cout.flush();
            std::cerr.flush();
            std::fflush(nullptr);
            dup2(saved_, fd_);
            close(saved_);
            saved_ = -1;
        }
    }
    int fd_;
    std::FILE* file_;
    int saved_ = -1;
};

void stopTimers(Window& window) {
    for (QTimer* timer : window.findChildren<QTimer*>()) {
        timer->stop();
    }
}

bool same(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// The scene's state that keys change: the boarder's motion and the camera.
testing::AssertionResult sameScene(const GLWidget& a, const GLWidget& b) {
    const Boarder& p = a.boarder;
    const Boarder& q = b.boarder;
    const Camera& c = a.camera;
    const Camera& d = b.camera;
    if (same(p.position, q.position) && same(p.direction, q.direction) &&
        same(p.rotation, q.rotation) && p.speed == q.speed && c.mode == d.mode &&
        same(c.position, d.position) && same(c.viewDirection, d.viewDirection) &&
        same(c.rightVector, d.rightVector) && same(c.upVector, d.upVector)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "gamepad: heading " << p.rotation.y << " speed " << p.speed << " camera mode "
           << c.mode << " at " << c.position.x << "," << c.position.y << "," << c.position.z
           << "; keys: heading " << q.rotation.y << " speed " << q.speed << " camera mode "
           << d.mode << " at " << d.position.x << "," << d.position.y << "," << d.position.z;
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
    // One poll a little later.
    void pollNext() { runTo(now + 10); }
    void keys(Qt::Key key, int times = 1) {
        for (int i = 0; i < times; ++i) {
            QTest::keyClick(keyWindow.glWidget, key);
        }
    }
    GLWidget& padScene() { return *padWindow.glWidget; }

    SdlSession sdl;
    TempWorkDir dir;
    Window padWindow;  // steered by the gamepad
    Window keyWindow;  // its twin, steered by the keys
    PadKeys padKeys{padWindow};
    std::unique_ptr<Gamepad> gamepad = std::make_unique<Gamepad>(padKeys);
    std::int64_t now = 0;
};

}  // namespace

TEST_F(GamepadTest, EachControlDoesWhatItsKeyDoes) {
    ASSERT_TRUE(sdl.ok && gamepad->started());
    VirtualPad pad;
    ASSERT_TRUE(pad.plugged());
    pollNext();
    ASSERT_EQ(gamepad->controllerCount(), 1);

    const auto button = [&pad](SDL_GameControllerButton b) {
        return std::make_pair(std::function<void()>([&pad, b] { pad.button(b, true); }),
                              std::function<void()>([&pad, b] { pad.button(b, false); }));
    };
    const auto stick = [&pad](SDL_GameControllerAxis a, int value) {
        return std::make_pair(std::function<void()>([&pad, a, value] { pad.axis(a, value); }),
                              std::function<void()>([&pad, a] { pad.release(a); }));
    };
    // In this order, each step as a short press, the state compared after every one.
    const struct {
        const char* what;
        std::pair<std::function<void()>, std::function<void()>> control;
        Qt::Key key;
    } steps[] = {
        {"A", button(SDL_CONTROLLER_BUTTON_A), Qt::Key_Up},
        {"A", button(SDL_CONTROLLER_BUTTON_A), Qt::Key_Up},
        {"right trigger", stick(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767), Qt::Key_Up},
        {"D-pad left", button(SDL_CONTROLLER_BUTTON_DPAD_LEFT), Qt::Key_Left},
        {"D-pad right", button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT), Qt::Key_Right},
        {"D-pad right", button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT), Qt::Key_Right},
        {"left stick left", stick(SDL_CONTROLLER_AXIS_LEFTX, -20000), Qt::Key_Left},
        {"left stick right", stick(SDL_CONTROLLER_AXIS_LEFTX, 32767), Qt::Key_Right},
        {"B", button(SDL_CONTROLLER_BUTTON_B), Qt::Key_Down},
        {"left trigger", stick(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 20000), Qt::Key_Down},
        {"Y", button(SDL_CONTROLLER_BUTTON_Y), Qt::Key_F1},
        {"Y", button(SDL_CONTROLLER_BUTTON_Y), Qt::Key_F1},
        {"Y", button(SDL_CONTROLLER_BUTTON_Y), Qt::Key_F1},
        {"Y", button(SDL_CONTROLLER_BUTTON_Y), Qt::Key_F1},
        {"Y", button(SDL_CONTROLLER_BUTTON_Y), Qt::Key_F1},  // the free camera, view 5
        {"right stick up", stick(SDL_CONTROLLER_AXIS_RIGHTY, -32768), Qt::Key_R},
        {"right stick down", stick(SDL_CONTROLLER_AXIS_RIGHTY, 20000), Qt::Key_F},
        {"right stick down", stick(SDL_CONTROLLER_AXIS_RIGHTY, 20000), Qt::Key_F},
        {"right stick right", stick(SDL_CONTROLLER_AXIS_RIGHTX, 20000), Qt::Key_T},
        {"right stick left", stick(SDL_CONTROLLER_AXIS_RIGHTX, -20000), Qt::Key_G},
        {"right stick left", stick(SDL_CONTROLLER_AXIS_RIGHTX, -20000), Qt::Key_G},
        {"Y", button(SDL_CONTROLLER_BUTTON_Y), Qt::Key_F1},  // back to view 0
    };
    ASSERT_TRUE(sameScene(padScene(), *keyWindow.glWidget));
    for (const auto& step : steps) {
        step.control.first();
        pollNext();
        step.control.second();
        runTo(now + 30);  // shorter than any repeat
        keys(step.key);
        EXPECT_TRUE(sameScene(padScene(), *keyWindow.glWidget)) << step.what;
        runTo(now + 1000);  // apart, so that no stick waits for a repeat
    }
    EXPECT_EQ(padScene().camera.mode, 0);
    EXPECT_NE(padScene().boarder.speed, 0.0f);
}

TEST_F(GamepadTest, HeldControlsRepeatEvery150MsAndTheRightStickFliesFaster) {
    VirtualPad pad;
    pollNext();
    // Each control held alone for 460 ms from its first poll: it acts then and at every repeat.
    const auto hold = [&](const std::function<void(bool)>& control) {
        control(true);
        const std::int64_t first = now + 10;
        runTo(first + 460);
        control(false);
        runTo(now + 1000);
    };
    hold([&pad](bool down) { pad.button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, down); });
    hold([&pad](bool down) {
        pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, down ? 32767 : SDL_JOYSTICK_AXIS_MIN);
    });
    hold([&pad](bool down) { pad.axis(SDL_CONTROLLER_AXIS_RIGHTY, down ? -20000 : 0); });
    keys(Qt::Key_Right, 1 + 460 / 150);
    keys(Qt::Key_Up, 1 + 460 / 150);
    keys(Qt::Key_R, 1 + 460 / 50);
    EXPECT_TRUE(sameScene(padScene(), *keyWindow.glWidget));
    EXPECT_EQ(padScene().boarder.rotation.y, -40.0f);
    EXPECT_EQ(padScene().boarder.speed, 40.0f);
}

TEST_F(GamepadTest, TheLeftStickActsOnlyBeyondTheDeadZone) {
    VirtualPad pad;
    pollNext();
    const int deadZone = gamepad->mapping().deadZone;
    for (int value : {deadZone, -deadZone, deadZone / 2}) {
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, value);
        runTo(now + 500);
    }
    pad.release(SDL_CONTROLLER_AXIS_LEFTX);
    runTo(now + 500);
    EXPECT_EQ(padScene().boarder.rotation.y, 0.0f);
    pad.axis(SDL_CONTROLLER_AXIS_LEFTX, deadZone + 1);
    pollNext();
    pad.release(SDL_CONTROLLER_AXIS_LEFTX);
    pollNext();
    EXPECT_EQ(padScene().boarder.rotation.y, -10.0f);
}

TEST_F(GamepadTest, StartClicksNewGameAndBackClicksWireSolidOncePerPress) {
    VirtualPad pad;
    pollNext();
    QSignalSpy newGame(padWindow.newGameButton, &QPushButton::clicked);
    QSignalSpy wireSolid(padWindow.wireSolidButton, &QPushButton::clicked);
    Boarder& boarder = padScene().boarder;
    boarder.position = Vec3(500.0f, 0.0f, 50.0f);
    boarder.speed = 50.0f;
    padScene().camera.mode = 3;
    padWindow.endurance = 40;
    padWindow.statusLabel->setText("      GAME OVER      ");

    pad.button(SDL_CONTROLLER_BUTTON_START, true);
    runTo(now + 1000);  // held for a second: still one click
    pad.button(SDL_CONTROLLER_BUTTON_START, false);
    pollNext();
    EXPECT_EQ(newGame.count(), 1);
    EXPECT_EQ(boarder.position.x, 100.0f);
    EXPECT_EQ(boarder.position.z, 0.0f);
    EXPECT_EQ(boarder.speed, 0.0f);
    EXPECT_EQ(padScene().camera.mode, 0);
    EXPECT_EQ(padWindow.endurance, 100);
    EXPECT_EQ(padWindow.enduranceBar->value(), 100);
    EXPECT_EQ(padWindow.statusLabel->text(), QString(22, ' '));

    CoutCapture console;
    for (int press = 0; press < 2; ++press) {
        pad.button(SDL_CONTROLLER_BUTTON_BACK, true);
        runTo(now + 500);
        pad.button(SDL_CONTROLLER_BUTTON_BACK, false);
        pollNext();
    }
    EXPECT_EQ(wireSolid.count(), 2);
    EXPECT_EQ(console.text(), "Wire Mode:\nSolid Mode:\n");
    EXPECT_EQ(padScene().wireMode, 0);
}

TEST_F(GamepadTest, UnpluggingMidHoldStopsTheRepeatsAndAnotherControllerTakesOver) {
    CerrCapture err;
    auto pad = std::make_unique<VirtualPad>();
    pollNext();
    pad->button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    pad->button(SDL_CONTROLLER_BUTTON_A, true);
    runTo(now + 200);  // two turns and two speed steps
    pad->unplug();
    runTo(now + 2000);
    EXPECT_EQ(gamepad->controllerCount(), 0);
    EXPECT_FALSE(gamepad->mapping().holding());
    EXPECT_EQ(padScene().boarder.rotation.y, 20.0f);
    EXPECT_EQ(padScene().boarder.speed, 20.0f);

    VirtualPad second;
    pollNext();
    second.button(SDL_CONTROLLER_BUTTON_B, true);
    pollNext();
    second.button(SDL_CONTROLLER_BUTTON_B, false);
    pollNext();
    EXPECT_EQ(padScene().boarder.speed, 10.0f);
    EXPECT_EQ(err.text(),
              "gamepad: Virtual test pad connected\ngamepad: Virtual test pad disconnected\n"
              "gamepad: Virtual test pad connected\n");
}

TEST_F(GamepadTest, TwoControllersHoldingOneActionMakeOneStream) {
    VirtualPad first;
    VirtualPad second;
    pollNext();
    ASSERT_EQ(gamepad->controllerCount(), 2);
    const std::int64_t start = now;
    first.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    second.axis(SDL_CONTROLLER_AXIS_LEFTX, -30000);
    pollNext();  // one turn for both, at start + 10
    runTo(start + 100);
    first.unplug();
    runTo(start + 320);  // the second keeps it going: + 160, + 310
    second.button(SDL_CONTROLLER_BUTTON_Y, true);  // and its other buttons work
    second.release(SDL_CONTROLLER_AXIS_LEFTX);
    runTo(start + 1000);
    EXPECT_EQ(padScene().boarder.rotation.y, 30.0f);
    EXPECT_EQ(padScene().camera.mode, 1);
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
    for (auto& pad : pads) {
        pad->unplug();
    }
    pollNext();
    EXPECT_EQ(gamepad->controllerCount(), 0);
    EXPECT_FALSE(gamepad->mapping().holding());
    const float heading = padScene().boarder.rotation.y;
    const float speed = padScene().boarder.speed;
    runTo(now + 2000);
    EXPECT_EQ(padScene().boarder.rotation.y, heading);
    EXPECT_EQ(padScene().boarder.speed, speed);

    VirtualPad last;
    pollNext();
    last.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    pollNext();
    last.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
    pollNext();
    EXPECT_EQ(padScene().boarder.rotation.y, heading + 10.0f);
}

TEST_F(GamepadTest, AControllerPluggedInBeforeTheGameStartsIsOpenedAtOnce) {
    gamepad.reset();
    VirtualPad pad;
    gamepad = std::make_unique<Gamepad>(padKeys);
    EXPECT_EQ(gamepad->controllerCount(), 1);
    pad.button(SDL_CONTROLLER_BUTTON_Y, true);
    pollNext();  // also SDL's own "added" event for it: still one
    EXPECT_EQ(gamepad->controllerCount(), 1);
    EXPECT_EQ(padScene().camera.mode, 1);
}

TEST_F(GamepadTest, PollsOnItsOwnTimer) {
    VirtualPad pad;
    // The event loop runs the gamepad's timer (the window's are stopped): first the slow poll
    // that finds the controller, then the quick one that reads its buttons.
    QElapsedTimer waited;
    waited.start();
    while (gamepad->controllerCount() == 0 && waited.elapsed() < 5000) {
        QTest::qWait(20);
    }
    pad.button(SDL_CONTROLLER_BUTTON_A, true);
    while (padScene().boarder.speed == 0.0f && waited.elapsed() < 5000) {
        QTest::qWait(20);
    }
    pad.button(SDL_CONTROLLER_BUTTON_A, false);
    EXPECT_GT(padScene().boarder.speed, 0.0f);
}

TEST(Gamepad, WithoutAControllerNothingChangesNothingIsPrintedAndNoWidgetOwnsItsTimer) {
    TempWorkDir dir;
    Window window;
    stopTimers(window);
    const int windowTimers = window.findChildren<QTimer*>().size();
    const int sceneTimers = window.glWidget->findChildren<QTimer*>().size();
    PadKeys padKeys(window);
    std::string out, err;
    bool started = false;
    {
        FdCapture stdoutCapture(1);
        FdCapture stderrCapture(2);
        {
            Gamepad gamepad(padKeys);
            started = gamepad.started();
            for (int t = 0; t <= 1000; t += 10) {
                gamepad.poll(t);
            }
            QTest::qWait(300);  // its own timer too
        }
        out = stdoutCapture.text();
        err = stderrCapture.text();
    }
    EXPECT_TRUE(started);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(window.findChildren<QTimer*>().size(), windowTimers);
    EXPECT_EQ(window.glWidget->findChildren<QTimer*>().size(), sceneTimers);
    EXPECT_EQ(window.glWidget->boarder.speed, 0.0f);
    EXPECT_EQ(window.glWidget->boarder.rotation.y, 0.0f);
}
