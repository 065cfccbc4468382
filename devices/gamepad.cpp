#include "devices/gamepad.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "devices/sdllibrary.h"
#include "files/datafile.h"

namespace {

PadMapping::Button buttonOf(Uint8 b) {
    switch (b) {
        case SDL_CONTROLLER_BUTTON_A: return PadMapping::Button::A;
        case SDL_CONTROLLER_BUTTON_B: return PadMapping::Button::B;
        case SDL_CONTROLLER_BUTTON_X: return PadMapping::Button::X;
        case SDL_CONTROLLER_BUTTON_Y: return PadMapping::Button::Y;
        case SDL_CONTROLLER_BUTTON_BACK: return PadMapping::Button::Back;
        case SDL_CONTROLLER_BUTTON_GUIDE: return PadMapping::Button::Guide;
        case SDL_CONTROLLER_BUTTON_START: return PadMapping::Button::Start;
        case SDL_CONTROLLER_BUTTON_LEFTSTICK: return PadMapping::Button::LeftStick;
        case SDL_CONTROLLER_BUTTON_RIGHTSTICK: return PadMapping::Button::RightStick;
        case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return PadMapping::Button::LeftShoulder;
        case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return PadMapping::Button::RightShoulder;
        case SDL_CONTROLLER_BUTTON_DPAD_UP: return PadMapping::Button::DpadUp;
        case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return PadMapping::Button::DpadDown;
        case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return PadMapping::Button::DpadLeft;
        case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return PadMapping::Button::DpadRight;
        default: return PadMapping::Button::Other;
    }
}

PadMapping::Axis axisOf(Uint8 a) {
    switch (a) {
        case SDL_CONTROLLER_AXIS_LEFTX: return PadMapping::Axis::LeftX;
        case SDL_CONTROLLER_AXIS_LEFTY: return PadMapping::Axis::LeftY;
        case SDL_CONTROLLER_AXIS_RIGHTX: return PadMapping::Axis::RightX;
        case SDL_CONTROLLER_AXIS_RIGHTY: return PadMapping::Axis::RightY;
        case SDL_CONTROLLER_AXIS_TRIGGERLEFT: return PadMapping::Axis::LeftTrigger;
        case SDL_CONTROLLER_AXIS_TRIGGERRIGHT: return PadMapping::Axis::RightTrigger;
        default: return PadMapping::Axis::Other;
    }
}

// The joystick and game controller events: the range between the first joystick event and the
// first touch event. The joystick events come along with the controller ones and are dropped.
constexpr Uint32 firstPadEvent = SDL_JOYAXISMOTION;
constexpr Uint32 lastPadEvent = SDL_FINGERDOWN - 1;

// A storm of events (a flaky cable, a chattering stick) is taken in bounded batches, so a poll
// never holds the GUI for long; what is left waits for the next poll.
constexpr int eventBatch = 64;
constexpr int maxBatchesPerPoll = 64;

// The community's file of every known controller is under a megabyte; a mapping file of more is
// no mapping file.
constexpr long long maxMappingFileBytes = 16 * 1024 * 1024;

}  // namespace

std::string mappingFileProblem(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return std::string();
    }
    const DataFileStatus status = checkDataFile(path, maxMappingFileBytes);
    return dataFileProblem(status, path, maxMappingFileBytes);
}

Gamepad::Gamepad(PadSink& sink) : mapping_(sink) {
    // SDL reads the file of extra controller mappings named in the environment with a plain
    // fopen when its controller support starts: a FIFO there would hold the game for ever, a
    // device feed it without end. Such a file is judged first, and SDL told to leave it alone.
    const char* mappingFile = std::getenv(mappingFileVariable);
    const std::string problem = mappingFileProblem(mappingFile);
    if (!problem.empty()) {
        std::cerr << "gamepad: controller mappings " << mappingFile << " (" << mappingFileVariable
                  << ") ignored: " << problem << std::endl;
    }
    sdl_ = sdlFunctions();
    if (sdl_ == nullptr) {
        return;
    }
    if (mappingFile != nullptr) {
        // Set each time, so that a file judged unusable once is read when it has become usable.
        sdl_->SDL_SetHintWithPriority(SDL_HINT_GAMECONTROLLERCONFIG_FILE,
                                      problem.empty() ? mappingFile : "", SDL_HINT_OVERRIDE);
    }
    // SDL would otherwise catch SIGINT and SIGTERM for its quit event, which nothing here reads,
    // and the game would no longer end at Ctrl+C; not even the environment may ask for that.
    sdl_->SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
    started_ = sdl_->SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!started_) {
        return;
    }
    // Controllers already plugged in; their "added" events, which SDL queues at start, then find
    // them open.
    for (int i = 0; i < sdl_->SDL_NumJoysticks(); ++i) {
        open(i);
    }
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(clock_.elapsed()); });
    timer_.start(controllers_.empty() ? idlePollMs : activePollMs);
}

Gamepad::~Gamepad() {
    if (!started_) {
        return;
    }
    timer_.stop();
    for (const auto& [id, controller] : controllers_) {
        sdl_->SDL_GameControllerClose(static_cast<SDL_GameController*>(controller));
    }
    controllers_.clear();
    sdl_->SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    // The last user of SDL frees its globals too (the sound may still be using it).
    if (sdl_->SDL_WasInit(SDL_INIT_EVERYTHING) == 0) {
        sdl_->SDL_Quit();
    }
}

void Gamepad::poll(std::int64_t nowMs) {
    if (!started_) {
        return;
    }
    sdl_->SDL_PumpEvents();
    SDL_Event events[eventBatch];
    for (int batch = 0; batch < maxBatchesPerPoll; ++batch) {
        const int n =
            sdl_->SDL_PeepEvents(events, eventBatch, SDL_GETEVENT, firstPadEvent, lastPadEvent);
        for (int i = 0; i < n; ++i) {
            const SDL_Event& e = events[i];
            switch (e.type) {
                case SDL_CONTROLLERDEVICEADDED: open(e.cdevice.which); break;
                case SDL_CONTROLLERDEVICEREMOVED: close(e.cdevice.which); break;
                case SDL_CONTROLLERBUTTONDOWN:
                case SDL_CONTROLLERBUTTONUP:
                    // Only controllers open here hold actions: an unknown one would never be
                    // unplugged, and its held controls would repeat for ever.
                    if (controllers_.count(e.cbutton.which) != 0) {
                        mapping_.button(e.cbutton.which, buttonOf(e.cbutton.button),
                                        e.type == SDL_CONTROLLERBUTTONDOWN, nowMs);
                    }
                    break;
                case SDL_CONTROLLERAXISMOTION:
                    if (controllers_.count(e.caxis.which) != 0) {
                        mapping_.axis(e.caxis.which, axisOf(e.caxis.axis), e.caxis.value, nowMs);
                    }
                    break;
                default: break;
            }
        }
        if (n < eventBatch) {
            break;
        }
    }
    mapping_.tick(nowMs);

    const int interval = controllers_.empty() ? idlePollMs : activePollMs;
    if (timer_.isActive() && timer_.interval() != interval) {
        timer_.setInterval(interval);
    }
}

void Gamepad::open(int deviceIndex) {
    if (!sdl_->SDL_IsGameController(deviceIndex)) {
        return;
    }
    const SDL_JoystickID known = sdl_->SDL_JoystickGetDeviceInstanceID(deviceIndex);
    if (known < 0 || controllers_.count(known) != 0) {
        return;
    }
    SDL_GameController* controller = sdl_->SDL_GameControllerOpen(deviceIndex);
    if (controller == nullptr) {
        return;  // gone again already
    }
    // By the time an "added" event is read its index may belong to another device: the
    // controller is known by the instance that actually opened.
    const SDL_JoystickID id =
        sdl_->SDL_JoystickInstanceID(sdl_->SDL_GameControllerGetJoystick(controller));
    if (id < 0 || controllers_.count(id) != 0) {
        sdl_->SDL_GameControllerClose(controller);
        return;
    }
    controllers_[id] = controller;
    const char* name = sdl_->SDL_GameControllerName(controller);
    std::cerr << "gamepad: " << (name != nullptr ? name : "a controller") << " connected"
              << std::endl;
}

void Gamepad::close(int instanceId) {
    const auto it = controllers_.find(instanceId);
    if (it == controllers_.end()) {
        return;
    }
    auto* controller = static_cast<SDL_GameController*>(it->second);
    controllers_.erase(it);
    mapping_.unplug(instanceId);
    const char* name = sdl_->SDL_GameControllerName(controller);
    std::cerr << "gamepad: " << (name != nullptr ? name : "a controller") << " disconnected"
              << std::endl;
    sdl_->SDL_GameControllerClose(controller);
}
