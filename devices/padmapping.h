#ifndef DEVICES_PADMAPPING_H
#define DEVICES_PADMAPPING_H

#include <array>
#include <cstdint>
#include <map>
#include <utility>

#include "devices/padaction.h"

// The gamepad's rules: which button or axis asks for which action, when a stick counts as
// pushed, and how often a held control repeats its action. It knows nothing of the device
// library: the caller names each controller by a number of its choice and reports each change
// of a button or an axis, with the time of a monotonic clock in milliseconds, and calls tick()
// often (every few ms) so that held controls repeat on time.
//
//   D-pad left / right, left stick left / right  Left / Right    repeat every repeatMs
//   A, right trigger                             Faster          repeat every repeatMs
//   B, left trigger                              Slower          repeat every repeatMs
//   Y                                            NextCamera      once per press
//   Start                                        NewGame         once per press
//   Back                                         WireMode        once per press
//   right stick up / down / right / left         FlyForward / FlyBack / FlyRight / FlyLeft,
//                                                                repeat every flyRepeatMs
//
// An action is held while any control of any controller holds it: the D-pad and the stick
// pushed the same way make one stream of repeats, and letting go of one of them keeps it going.
// A stick or trigger counts as pushed beyond deadZone and as let go at three quarters of it, so
// a stick resting near the edge does not flicker; and a stick that comes back within a repeat
// interval waits for that interval rather than acting again at once (buttons act on every
// press, as keys do). A late tick repeats once and goes on from then: a stalled caller never
// gets a burst. Copyable; not thread-safe.
class PadMapping {
public:
    // A controller's buttons and axes, named by their place on a common game controller.
    enum class Button {
        A, B, X, Y, Back, Guide, Start, LeftStick, RightStick, LeftShoulder, RightShoulder,
        DpadUp, DpadDown, DpadLeft, DpadRight, Other
    };
    enum class Axis { LeftX, LeftY, RightX, RightY, LeftTrigger, RightTrigger, Other };

    // Stick axes run from -32768 (left, up) to 32767 (right, down); triggers from 0 (at rest)
    // to 32767, a negative trigger value counting as 0.
    static constexpr int axisMax = 32767;

    int deadZone = 8000;    // axis travel, of axisMax, that counts as at rest
    int repeatMs = 150;     // steering and speed repeat while held
    int flyRepeatMs = 50;   // free camera flight repeat while the right stick is held

    // The sink must outlive the mapping and must not call back into it.
    explicit PadMapping(PadSink& sink) : sink_(&sink) {}

    // Controller pad's button went down or up at nowMs.
    void button(int pad, Button b, bool down, std::int64_t nowMs);
    // Controller pad's axis moved to value at nowMs.
    void axis(int pad, Axis a, int value, std::int64_t nowMs);
    // Repeats every held action that is due at nowMs.
    void tick(std::int64_t nowMs);
    // Controller pad is gone: lets go of everything it held, as if each control was released.
    void unplug(int pad);
    // True while any control holds an action.
    bool holding() const { return !holders_.empty(); }

private:
    // A control of a controller that can hold an action: a button, or an axis (which holds at
    // most one of its two directions at a time).
    using Control = std::pair<int, int>;

    struct ActionState {
        int holders = 0;               // controls holding it
        bool pressed = false;          // a Press went out and no Release yet
        bool fired = false;            // it has acted at least once
        std::int64_t lastMs = 0;       // when it last acted
        std::int64_t nextMs = 0;       // when a held repeating action acts next
    };

    void hold(Control control, PadAction action, bool fromAxis, std::int64_t nowMs);
    void letGo(Control control);
    void act(PadAction action, std::int64_t nowMs);
    int repeatOf(PadAction action) const;

    PadSink* sink_;
    std::map<Control, PadAction> holders_;
    std::array<ActionState, padActionCount> actions_{};
};

#endif  // DEVICES_PADMAPPING_H
