#ifndef DEVICES_GAMEPAD_H
#define DEVICES_GAMEPAD_H

#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <map>
#include <string>

#include "devices/padmapping.h"

struct SdlFunctions;

// The game controllers, through SDL's game controller support: every controller SDL has a
// mapping for, plugged in before the game starts or while it runs, any number at once. Their
// buttons and axes go through a PadMapping to the sink. A controller unplugged while it holds a
// control lets go of it (the sink hears the Release); the others go on.
//
// Opens SDL 2 (see sdllibrary.h) and starts its game controller subsystem alone (no video: Qt keeps
// the window and the keyboard; no signal handlers: Ctrl+C and SIGTERM end the game as before) and
// polls it from a timer of its own, which is no child of any widget: every 10 ms while a controller
// is open, every 250 ms otherwise, only to notice one being plugged in. When SDL cannot be opened
// or cannot start it, or no controller is there, the game goes on as without it, and nothing is
// printed. A controller coming or going is told in one line on standard error.
//
// SDL_GAMECONTROLLERCONFIG_FILE may name a file of extra controller mappings, which SDL reads when
// it starts. A path there that fails the game's file check (a FIFO, a device, a folder, a file
// over 16 MiB, one that cannot be opened) is not given to SDL, and said in one line on standard
// error.
//
// One per program: each poll takes the joystick and controller events off SDL's event queue
// (other events, such as the audio device's, stay there). Lives on the GUI thread, after the
// QApplication is made. Not copyable.
class Gamepad {
public:
    static constexpr const char* mappingFileVariable = "SDL_GAMECONTROLLERCONFIG_FILE";

    // The sink must outlive the gamepad. Starts polling at once.
    explicit Gamepad(PadSink& sink);
    // Closes the controllers and stops SDL's game controller subsystem; the sink hears nothing
    // more, not even Releases.
    ~Gamepad();
    Gamepad(const Gamepad&) = delete;
    Gamepad& operator=(const Gamepad&) = delete;

    // False when SDL could not start its game controller support: then nothing ever happens.
    bool started() const { return started_; }
    // Controllers open now.
    int controllerCount() const { return static_cast<int>(controllers_.size()); }
    // The rules: dead zone and repeat intervals may be changed at any time.
    PadMapping& mapping() { return mapping_; }

    // Opens the controllers plugged in and closes those unplugged since the last poll, hands
    // every button and axis change to the mapping, then repeats held actions due at nowMs (a
    // monotonic clock in milliseconds, never going back). The timer calls it with its own clock;
    // a caller with its timer stopped may call it with another.
    void poll(std::int64_t nowMs);

    static constexpr int activePollMs = 10;
    static constexpr int idlePollMs = 250;

private:
    void open(int deviceIndex);
    void close(int instanceId);

    PadMapping mapping_;
    const SdlFunctions* sdl_ = nullptr;  // SDL 2, opened by the constructor
    bool started_ = false;
    std::map<int, void*> controllers_;  // SDL instance id -> its SDL_GameController
    QTimer timer_;
    QElapsedTimer clock_;
};

// Why the mapping file at path is not given to SDL ("not a regular file (a FIFO)", ...); empty
// when it may be read, or when path is null or empty (no file named). Opens nothing that blocks.
std::string mappingFileProblem(const char* path);

#endif  // DEVICES_GAMEPAD_H
